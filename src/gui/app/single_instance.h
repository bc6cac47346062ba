// One window per URL database: a second start hands over to the running window, which comes to the
// front, and ends. The window also holds the database lock from before it loads the database until
// after it has saved it, so that no command-line change is lost under it.
#pragma once

#include "core/urldb/database_lock.h"

#include <QObject>
#include <QString>
#include <filesystem>

class QLocalServer;

namespace sendwell::gui {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The key names the hand-over channel; windows of different databases do not meet.
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);

    // True when a running window took the hand-over; this copy then ends.
    bool HandOverToRunningWindow();
    // Takes the hand-over channel; later starts make activationRequested fire.
    bool Listen();

    // The channel's key for a database file (per user, per file).
    static QString KeyFor(const std::filesystem::path& databaseFile);

signals:
    void activationRequested();

private:
    QString key_;
    QLocalServer* server_ = nullptr;
};

enum class StartDecision { Run, HandedOver, Quit };

// Start-up of the window's process: hands over to a running window, else takes the database lock
// (asking to retry while a command-line run holds it). Run: the lock is held and the channel taken.
StartDecision ClaimDatabase(SingleInstance& instance, sendwell::DatabaseLock& lock,
                            const std::filesystem::path& databaseFile);

} // namespace sendwell::gui
