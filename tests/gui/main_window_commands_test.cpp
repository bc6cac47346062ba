// Commands the main window hands to other windows: Ping on the first selected row, Analyze on the last
// one, and the Engines dialog and the Help window from their buttons.
#include "core/base/settings.h"
#include "gui/app/main_window.h"
#include "gui/base/control_ids.h"
#include "gui/submit/engines_dialog.h"
#include "gui/urldb/url_list_view.h"
#include "gui/widgets/help_window.h"
#include "tests/gui/support/gui_test_env.h"
#include "tests/gui/support/started_window.h"
#include "tests/gui/support/window_test_support.h"
#include "tests/support/http_test_server.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using sendwell::gui::MainWindow;
using sendwell::test::DatabaseBytes;
using sendwell::test::ScratchWorld;
namespace ids = sendwell::gui::ids;

class MainWindowCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void pingReportsTheFirstSelectedRowsStatus() {
        ScratchWorld world;
        sendwell::test::HttpTestServer server;
        server.Route("/second", sendwell::test::Response(404, "<h1>gone</h1>"));
        server.Route("/third", sendwell::test::Response(200, "ok"));
        world.writeDatabase(DatabaseBytes({{server.Url("/first"), "", "0"},
                                           {server.Url("/second"), "", "0"},
                                           {server.Url("/third"), "", "0"}},
                                          "me@example.org"));
        sendwell::test::StartedWindow window(&world.messages);
        window.show();
        window.list()->selectRows({2, 1});
        QTest::mouseClick(window.button(ids::kPing), Qt::LeftButton);

        QCOMPARE(server.RequestCount(), std::size_t(1));
        QCOMPARE(server.Requests()[0].Path(), std::string("/second"));
        QCOMPARE(world.messages.shown.size(), std::size_t(1));
        QCOMPARE(world.messages.shown[0].caption, std::string("Web Site Status"));
        QCOMPARE(world.messages.shown[0].text,
                 std::string("Web Site Status Report\n\nCode 404\n\nRequest Error: Requested URL not found"));
    }

    void analyzeChecksTheLastSelectedRowThroughTheUsersProxy() {
        ScratchWorld world;
        sendwell::test::HttpTestServer server;
        server.SetHandler(sendwell::test::Always(sendwell::test::Response(200, "<p>no tags</p>")));
        world.writeDatabase(DatabaseBytes({{server.Url("/first"), "", "0"},
                                           {server.Url("/second"), "", "0"},
                                           {server.Url("/third"), "", "0"}},
                                          "me@example.org"));
        // The server stands in for the proxy too: the request then names the whole address.
        sendwell::WriteSetting(sendwell::kSettingsSection, "bProxyOn", "1");
        sendwell::WriteSetting(sendwell::kSettingsSection, "m_ProxyName", server.HostPort());
        sendwell::test::StartedWindow window(&world.messages);
        window.show();
        window.list()->selectRows({2, 0});
        QTest::mouseClick(window.button(ids::kAnalyze), Qt::LeftButton);

        QCOMPARE(server.RequestCount(), std::size_t(1));
        QCOMPARE(server.Requests()[0].target, server.Url("/third"));
        QCOMPARE(world.messages.shown.size(), std::size_t(1));
        QCOMPARE(world.messages.shown[0].caption, std::string("Sendwell!"));
        QCOMPARE(world.messages.shown[0].text,
                 std::string("No meta tags were found on this web page. Use the "
                             "Keywords tool to add meta-data to your web page."));
    }

    void enginesButtonOpensTheEnginesDialog() {
        ScratchWorld world;
        sendwell::test::StartedWindow window(&world.messages);
        window.show();
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<sendwell::gui::EnginesDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            seen = true;
            dialog->checkBoxFor("m_Hotbot")->setChecked(false);
            dialog->accept();
        });
        QTest::mouseClick(window.button(ids::kEngines), Qt::LeftButton);
        QVERIFY(seen);
        QCOMPARE(sendwell::ReadSetting(sendwell::kSettingsSection, "m_Hotbot"), std::string("0"));
        QCOMPARE(sendwell::ReadSetting(sendwell::kSettingsSection, "m_HotbotUK"), std::string("1"));
    }

    void helpButtonOpensTheHelpWindow() {
        ScratchWorld world;
        sendwell::test::StartedWindow window(&world.messages);
        window.show();
        QString caption;
        QTimer::singleShot(0, [&] {
            auto* help = qobject_cast<sendwell::gui::HelpWindow*>(QApplication::activeModalWidget());
            QVERIFY(help != nullptr);
            caption = help->windowTitle();
            help->accept();
        });
        QTest::mouseClick(window.button(ids::kHelp), Qt::LeftButton);
        QCOMPARE(caption, QStringLiteral("Sendwell! Pro Help"));
    }
};

SENDWELL_GUI_TEST_MAIN(MainWindowCommandsTest)
#include "main_window_commands_test.moc"
