// The "P&ing" command against a scripted loopback server: the report for each kind of answer, and the
// wait window that stands in front of the request while the UI keeps running.
#include "gui/web/ping_command.h"
#include "gui/web/wait_window.h"
#include "tests/gui/support/gui_test_env.h"
#include "tests/gui/support/window_test_support.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_port.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QtTest>
#include <arpa/inet.h>
#include <future>
#include <memory>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

using sendwell::gui::RunBehindWaitWindow;
using sendwell::gui::RunPingCommand;
using sendwell::gui::WaitWindow;
using sendwell::test::HttpTestServer;
using sendwell::test::RecordingMessages;
using sendwell::test::Response;

namespace {

QString Report(const RecordingMessages& messages) {
    return messages.shown.size() == 1 ? QString::fromStdString(messages.shown[0].text) : QString();
}

// Also notes whether a wait window was still around when the report came.
class ReportSink : public RecordingMessages {
public:
    explicit ReportSink(QWidget* owner) : owner_(owner) {}
    void ShowMessage(const std::string& text, const std::string& caption,
                     sendwell::MessageIcon icon) override {
        waitWindowAtReport = owner_->findChild<WaitWindow*>() != nullptr;
        RecordingMessages::ShowMessage(text, caption, icon);
    }
    bool waitWindowAtReport = true;

private:
    QWidget* owner_;
};

} // namespace

class PingCommandTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        owner_ = std::make_unique<QWidget>();
        owner_->resize(300, 200);
        owner_->show();
        QVERIFY(QTest::qWaitForWindowExposed(owner_.get()));
    }

    void cleanup() {
        QVERIFY(owner_->findChildren<WaitWindow*>().isEmpty());
        owner_.reset();
    }

    void reportsTheStatusInWords_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("report");
        QTest::newRow("200") << "/200"
                             << "Web Site Status Report\n\nCode 200\n\nSuccess: URL OK";
        QTest::newRow("204") << "/204"
                             << "Web Site Status Report\n\nCode 204\n\nSuccess";
        // Five lines: title, blank, code, blank, class and reason run together.
        QTest::newRow("404")
            << "/404"
            << "Web Site Status Report\n\nCode 404\n\nRequest Error: Requested URL not found";
        QTest::newRow("502") << "/502"
                             << "Web Site Status Report\n\nCode 502\n\nServer Error";
        QTest::newRow("503") << "/503"
                             << "Web Site Status Report\n\nCode 503\n\nServer Error: Server capacity reached";
        QTest::newRow("100") << "/raw100"
                             << "Web Site Status Report\n\nCode 100\n\nUnknown Status";
        QTest::newRow("600") << "/raw600"
                             << "Web Site Status Report\n\nCode 600\n\nUnknown Status";
    }

    void reportsTheStatusInWords() {
        QFETCH(QString, path);
        QFETCH(QString, report);
        HttpTestServer server;
        server.SetHandler([](const sendwell::test::RecordedRequest& r) {
            return Response(std::stoi(r.Path().substr(1)), "page body");
        });
        server.Route("/raw100", sendwell::test::RawResponse("HTTP/1.1 100 Continue\r\n\r\n"));
        server.Route("/raw600",
                     sendwell::test::RawResponse("HTTP/1.1 600 Beyond\r\nContent-Length: 0\r\n\r\n"));

        RecordingMessages messages;
        RunPingCommand(owner_.get(), messages, server.HostPort() + path.toStdString());

        QCOMPARE(Report(messages), report);
        QCOMPARE(messages.shown[0].caption, std::string("Web Site Status"));
        QCOMPARE(server.RequestCount(), 1u);
        QCOMPARE(QString::fromStdString(server.Requests()[0].target), path);
    }

    void neitherFollowsARedirectNorAsksForAPassword() {
        HttpTestServer server;
        HttpTestServer target;
        server.Route("/moved", sendwell::test::Redirect(302, target.Url("/")));
        server.Route("/private", sendwell::test::RequireBasicAuth("user", "secret",
                                                                  sendwell::test::Always(Response(200))));

        RecordingMessages moved;
        RunPingCommand(owner_.get(), moved, server.Url("/moved"));
        QCOMPARE(Report(moved), QString("Web Site Status Report\n\nCode 302\n\nInformation: Redirected"));
        QCOMPARE(target.RequestCount(), 0u);

        // No password dialog comes up: it would sit here waiting for an answer.
        RecordingMessages locked;
        RunPingCommand(owner_.get(), locked, server.Url("/private"));
        QCOMPARE(
            Report(locked),
            QString("Web Site Status Report\n\nCode 401\n\nRequest Error: Access denied (password site)"));
        QCOMPARE(server.RequestCount(), 2u);
    }

    void reportsFailuresWithCodeMinusOne() {
        RecordingMessages refused;
        RunPingCommand(owner_.get(), refused,
                       "127.0.0.1:" + std::to_string(sendwell::test::ClosedLoopbackPort()) + "/", 2);
        const QString prefix = "Web Site Status Report\n\nCode -1\n\nError: ";
        const QString report = Report(refused);
        QVERIFY2(report.startsWith(prefix), qPrintable(report));
        QVERIFY2(report.size() > prefix.size(), "the library's message follows \"Error: \"");
        QVERIFY(!report.endsWith("Invalid URL"));

        // No row selected.
        RecordingMessages none;
        RunPingCommand(owner_.get(), none, "");
        QCOMPARE(Report(none), QString("Web Site Status Report\n\nCode -1\n\nError: Invalid URL"));
    }

    void waitsBehindAModalWaitWindowWhileTheUiKeepsRunning() {
        // The server holds its answer until the test has seen the wait window from a timer, which can
        // only fire if the UI thread is running events meanwhile.
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        bool releasedYet = false;
        HttpTestServer server;
        server.SetHandler([released](const sendwell::test::RecordedRequest&) {
            released.wait_for(std::chrono::seconds(20));
            return Response(200);
        });

        struct Seen {
            bool visible = false;
            bool modal = false;
            bool hasImage = false;
            QString caption;
            QString text;
        } seen;
        int ticksWhileHeld = 0;
        QTimer timer;
        timer.setInterval(20);
        connect(&timer, &QTimer::timeout, this, [&] {
            if (releasedYet || server.RequestCount() == 0) {
                return;
            }
            ++ticksWhileHeld;
            if (auto* window = owner_->findChild<WaitWindow*>()) {
                seen.visible = window->isVisible();
                seen.modal = QApplication::activeModalWidget() == window;
                auto* image = window->findChild<QLabel*>(QStringLiteral("waitImage"));
                seen.hasImage = image != nullptr && !image->pixmap().isNull();
                seen.caption = window->windowTitle();
                seen.text = window->text();
            }
            releasedYet = true;
            release.set_value();
        });
        timer.start();

        ReportSink messages(owner_.get());
        RunPingCommand(owner_.get(), messages, server.Url("/"));
        timer.stop();
        if (!releasedYet) {
            release.set_value();
        }

        QCOMPARE(ticksWhileHeld, 1);
        QVERIFY(seen.visible);
        QVERIFY(seen.modal);
        QVERIFY(seen.hasImage);
        QCOMPARE(seen.caption, QString("Please Wait"));
        QCOMPARE(seen.text, QString("Contacting URL"));
        QVERIFY(!messages.waitWindowAtReport);
        QCOMPARE(Report(messages), QString("Web Site Status Report\n\nCode 200\n\nSuccess: URL OK"));
        QVERIFY(owner_->isEnabled());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    void waitWindowStaysUntilItsOwnerEndsTheWait() {
        WaitWindow window(owner_.get(), "Analyzing", "Busy");
        QCOMPARE(window.windowTitle(), QString("Busy"));
        QCOMPARE(window.text(), QString("Analyzing"));
        window.showAndPaint();
        QVERIFY(window.isVisible());
        window.close();
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.isVisible());
    }

    void aFailedJobStillTakesTheWindowAway() {
        // What the job posted before it failed reaches the UI thread first, then its own exception.
        QObject receiver;
        int delivered = 0;
        QString caught;
        try {
            RunBehindWaitWindow(owner_.get(), [&] {
                for (int i = 0; i < 3; ++i) {
                    QMetaObject::invokeMethod(
                        &receiver, [&] { ++delivered; }, Qt::QueuedConnection);
                }
                throw std::runtime_error("no luck");
            });
        } catch (const std::runtime_error& e) {
            caught = QString::fromUtf8(e.what());
            QCOMPARE(delivered, 3);
        }
        QCOMPARE(caught, QStringLiteral("no luck"));
        QVERIFY(owner_->findChildren<WaitWindow*>().isEmpty());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

private:
    std::unique_ptr<QWidget> owner_;
};

SENDWELL_GUI_TEST_MAIN(PingCommandTest)
#include "ping_command_test.moc"
