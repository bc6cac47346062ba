// Desktop notifications on a private session bus of the test's own: a stub notification service sees
// what a long run that ended in the background sends, its click brings the window forward, and short
// runs, an active window or a bus without the service send nothing and fail nothing; a check that ends
// in the background after long says so.
#include "gui/base/desktop_notifier.h"
#include "gui/web/status_results_window.h"
#include "tests/gui/support/gui_test_env.h"
#include "tests/gui/support/window_test_support.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QVariantMap>
#include <QtTest>

using namespace std::chrono_literals;

namespace {

// Answers Notify as a notification service would, keeping what it was asked.
class StubNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList summaries;
    QStringList bodies;

public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout) {
        (void)app, (void)replaces, (void)icon, (void)actions, (void)hints, (void)timeout;
        summaries << summary;
        bodies << body;
        emit notified();
        return static_cast<uint>(summaries.size()) + 100;
    }

signals:
    void notified();
};

class DesktopNotifierTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                      QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted()) {
            QSKIP("dbus-daemon is not installed");
        }
        QVERIFY(daemon_.waitForReadyRead());
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        QVERIFY(!address_.isEmpty());
    }

    void cleanupTestCase() {
        daemon_.kill();
        daemon_.waitForFinished();
    }

    void aLongRunInTheBackgroundIsToldAndItsClickBringsTheWindowForward() {
        QDBusConnection service = QDBusConnection::connectToBus(address_, QStringLiteral("service"));
        StubNotifications stub;
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &stub,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

        QWidget window;
        sendwell::gui::DesktopNotifier notifier(
            &window, QDBusConnection::connectToBus(address_, QStringLiteral("app")));
        QSignalSpy notified(&stub, &StubNotifications::notified);
        QVERIFY(!notifier.WorkEnded(9s, QStringLiteral("short"), QString()));
        QVERIFY(notifier.WorkEnded(11s, QStringLiteral("Submission finished"),
                                   QStringLiteral("26 requests, 2 failed")));
        QVERIFY(notified.wait());
        QCOMPARE(stub.summaries, QStringList{QStringLiteral("Submission finished")});
        QCOMPARE(stub.bodies.front(), QStringLiteral("26 requests, 2 failed"));

        QSignalSpy forward(&notifier, &sendwell::gui::DesktopNotifier::windowBroughtForward);
        // Another program's notification clicked: not ours, nothing happens.
        for (uint id : {uint{7}, uint{101}}) {
            QDBusMessage clicked = QDBusMessage::createSignal(
                QStringLiteral("/org/freedesktop/Notifications"),
                QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
            clicked << id << QStringLiteral("default");
            QVERIFY(service.send(clicked));
        }
        QVERIFY(forward.wait());
        QCOMPARE(forward.count(), 1);
        QVERIFY(window.isVisible());

        service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    }

    void aCheckThatEndsInTheBackgroundAfterLongIsTold() {
        QDBusConnection service = QDBusConnection::connectToBus(address_, QStringLiteral("service2"));
        StubNotifications stub;
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &stub,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

        QWidget mainWindow;
        sendwell::gui::DesktopNotifier notifier(
            &mainWindow, QDBusConnection::connectToBus(address_, QStringLiteral("app2")));
        // Each reading of the clock is a minute after the one before: the check "took" a minute.
        auto minutes = std::make_shared<int>(0);
        notifier.setClock(
            [minutes] { return std::chrono::steady_clock::time_point{} + std::chrono::minutes(++*minutes); });
        sendwell::test::RecordingMessages messages;
        sendwell::gui::StatusResultsWindow window(messages); // never shown: no window of ours is active
        window.setNotifier(&notifier);
        QSignalSpy finished(&window, &sendwell::gui::StatusResultsWindow::finished);
        QSignalSpy notified(&stub, &StubNotifications::notified);
        window.start({"http://"}, {});
        QVERIFY(finished.wait());
        QVERIFY(notified.wait());
        QCOMPARE(stub.summaries, QStringList{QStringLiteral("Check All Addresses: done")});
        QCOMPARE(stub.bodies, QStringList{QStringLiteral("1 of 1 checked, 1 failed")});

        // A window of another's, watched from its start button to its end: timed from the click.
        QPushButton startButton;
        auto at = std::make_shared<std::chrono::seconds>(0);
        notifier.setClock([at] { return std::chrono::steady_clock::time_point{} + *at; });
        notifier.Watch(&startButton, &QPushButton::clicked, &window,
                       &sendwell::gui::StatusResultsWindow::finished, QStringLiteral("Site audit finished"),
                       [] { return QStringLiteral("3 issues"); });
        *at = 100s;
        startButton.click();
        *at = 105s;
        emit window.finished(); // 5 s after the click: too short to tell
        *at = 200s;
        startButton.click();
        *at = 260s;
        emit window.finished();
        QVERIFY(notified.wait());
        QCOMPARE(stub.summaries.size(), 2);
        QCOMPARE(stub.bodies.back(), QStringLiteral("3 issues"));

        service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service2"));
    }

    void withoutAServiceOrABusNothingIsShownAndNothingFails() {
        QWidget window;
        sendwell::gui::DesktopNotifier onBus(
            &window, QDBusConnection::connectToBus(address_, QStringLiteral("lonely")));
        QVERIFY(onBus.WorkEnded(60s, QStringLiteral("Audit finished"), QString()));
        sendwell::gui::DesktopNotifier noBus(&window, QDBusConnection(QStringLiteral("never connected")));
        QVERIFY(!noBus.WorkEnded(60s, QStringLiteral("Audit finished"), QString()));
        QTest::qWait(0); // the unanswered call's error is delivered and dropped
    }

private:
    QProcess daemon_;
    QString address_;
};

} // namespace

SENDWELL_GUI_TEST_MAIN(DesktopNotifierTest)
#include "desktop_notifier_test.moc"
