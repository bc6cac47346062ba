// Desktop notifications (org.freedesktop.Notifications on the session bus) for long work that ends
// while the user is in another window; clicking one brings the window forward. Where no bus or no
// notification service runs, nothing is shown and nothing fails.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <chrono>

namespace sendwell {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QWidget* window, QDBusConnection bus = QDBusConnection::sessionBus());

    // Says that work ended ("Submission finished", "26 requests, 2 failed") when it took longer than
    // the rule's time and the window is not active. True when a notification was asked for.
    bool WorkEnded(std::chrono::milliseconds elapsed, const QString& summary, const QString& body);

signals:
    // The user clicked the notification and the window was brought forward.
    void windowBroughtForward();

private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnNotificationClosed(uint id, uint reason);

private:
    QPointer<QWidget> window_;
    QDBusConnection bus_;
    QList<uint> shown_; // ids of our notifications still on screen
};

} // namespace sendwell
