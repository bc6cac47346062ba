#include "gui/base/desktop_notifier.h"

#include "core/base/notification_rule.h"
#include "core/base/prompt.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace sendwell::gui {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

} // namespace

DesktopNotifier::DesktopNotifier(QWidget* window, QDBusConnection bus)
    : QObject(window), window_(window), bus_(std::move(bus)) {
    if (bus_.isConnected()) {
        bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                     SLOT(OnActionInvoked(uint, QString)));
        bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                     SLOT(OnNotificationClosed(uint, uint)));
    }
}

std::chrono::steady_clock::time_point DesktopNotifier::now() const {
    return clock_ ? clock_() : std::chrono::steady_clock::now();
}

bool DesktopNotifier::WorkEndedSince(std::chrono::steady_clock::time_point started, const QString& summary,
                                     const QString& body) {
    return WorkEnded(std::chrono::duration_cast<std::chrono::milliseconds>(now() - started), summary, body);
}

bool DesktopNotifier::WorkEnded(std::chrono::milliseconds elapsed, const QString& summary,
                                const QString& body) {
    // A progress or results window of ours in front counts as the user being with the program.
    const bool ours =
        window_ != nullptr && (window_->isActiveWindow() || QApplication::activeWindow() != nullptr);
    if (window_ == nullptr || !bus_.isConnected() || !WorthANotification(elapsed, ours)) {
        return false;
    }
    QDBusMessage notify =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    notify << QString::fromUtf8(kAppCaption) << uint{0} << QString() << summary << body
           << QStringList{QStringLiteral("default"), QStringLiteral("Show")} << QVariantMap() << int{-1};
    // Asked without waiting: a service that is slow or missing never holds the window up.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        const QDBusPendingReply<uint> reply = *call;
        if (!reply.isError()) {
            shown_.append(reply.value());
        }
        call->deleteLater();
    });
    return true;
}

void DesktopNotifier::OnActionInvoked(uint id, const QString& action) {
    (void)action; // any action of ours means "show the window"
    if (!shown_.contains(id) || window_ == nullptr) {
        return;
    }
    window_->show();
    window_->setWindowState((window_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window_->raise();
    window_->activateWindow();
    emit windowBroughtForward();
}

void DesktopNotifier::OnNotificationClosed(uint id, uint reason) {
    (void)reason;
    shown_.removeAll(id);
}

} // namespace sendwell::gui
