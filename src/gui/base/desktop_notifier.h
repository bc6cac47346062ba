// Desktop notifications (org.freedesktop.Notifications on the session bus) for long work that ends
// while the user is in another window; clicking one brings the window forward. Where no bus or no
// notification service runs, nothing is shown and nothing fails.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>

namespace sendwell::gui {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit DesktopNotifier(QWidget* window, QDBusConnection bus = QDBusConnection::sessionBus());

    // Where work takes its start time from; tests move time on rather than wait.
    void setClock(Clock clock) { clock_ = std::move(clock); }
    std::chrono::steady_clock::time_point now() const;

    // Says that work ended ("Submission finished", "26 requests, 2 failed") when it took longer than
    // the rule's time and no window of the program is the active one. True when a notification was
    // asked for.
    bool WorkEnded(std::chrono::milliseconds elapsed, const QString& summary, const QString& body);
    // The same for work that began at started (a time of now()).
    bool WorkEndedSince(std::chrono::steady_clock::time_point started, const QString& summary,
                        const QString& body);

    // Times work of a window that has no notifier of its own: it begins whenever begun is emitted and
    // ends with ended, when body() is what the notification says. For a window made elsewhere, as in
    //   notifier->Watch(w->startButton(), &QPushButton::clicked, w, &W::finished, tr("Done"), body);
    template <class Begins, class Begun, class Ends, class Ended, class Body>
    void Watch(Begins* begins, Begun begun, Ends* ends, Ended ended, QString summary, Body body) {
        auto started = std::make_shared<std::chrono::steady_clock::time_point>(now());
        connect(begins, begun, this, [this, started] { *started = now(); });
        connect(ends, ended, this, [this, started, summary = std::move(summary), body = std::move(body)] {
            WorkEndedSince(*started, summary, body());
        });
    }

signals:
    // The user clicked the notification and the window was brought forward.
    void windowBroughtForward();

private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnNotificationClosed(uint id, uint reason);

private:
    QPointer<QWidget> window_;
    QDBusConnection bus_;
    Clock clock_;
    QList<uint> shown_; // ids of our notifications still on screen
};

} // namespace sendwell::gui
