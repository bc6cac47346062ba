// The upgrade as the main window runs it: the automatic check during start-up, and the Upgrade button
// through the offer to an install that runs stand-in programs after the user's data is saved.
#include "core/base/hosts.h"
#include "core/base/settings.h"
#include "core/upgrade/upgrade_date.h"
#include "gui/app/main_window.h"
#include "gui/base/control_ids.h"
#include "gui/upgrade/check_upgrade_dialog.h"
#include "gui/upgrade/upgrade_command.h"
#include "tests/gui/support/gui_test_env.h"
#include "tests/gui/support/started_window.h"
#include "tests/gui/support/window_test_support.h"
#include "tests/support/http_test_server.h"
#include "tests/support/signing_key.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using sendwell::gui::CheckUpgradeDialog;
using sendwell::gui::MainWindow;
using sendwell::test::ScratchWorld;
namespace ids = sendwell::gui::ids;
namespace fs = std::filesystem;

namespace {

// The stand-in installer the server hands out.
const char* const kInstaller = "#!/bin/sh\nprintf 'installer %s [%s]\\n' \"$#\" \"$1\" >> calls.log\n";

void PointVendorAt(const sendwell::test::HttpTestServer& server, const std::string& page) {
    const_cast<sendwell::test::HttpTestServer&>(server).Route("/sendwell_upgrade.html",
                                                              sendwell::test::Response(200, page));
    sendwell::WriteSetting(sendwell::kSettingsSection, sendwell::HostSettingName("Vendor"),
                           server.HostPort());
}

// Clicks OK in "Check for Upgrade" as soon as it is open, then runs then. Start-up drains events before
// the dialog exists, so this looks again on every pass of the event loop until it finds it.
class WhenCheckDialogOpens {
public:
    explicit WhenCheckDialogOpens(std::function<void(CheckUpgradeDialog&)> then) : then_(std::move(then)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<CheckUpgradeDialog*>(QApplication::activeModalWidget())) {
                timer_.stop();
                QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
                then_(*dialog);
            }
        });
        timer_.start(0);
    }

private:
    QTimer timer_;
    std::function<void(CheckUpgradeDialog&)> then_;
};

std::string Today() {
    return sendwell::FormatUpgradeDate(sendwell::DayOf(sendwell::LocalNow()));
}

} // namespace

class UpgradeTest : public QObject {
    Q_OBJECT

private slots:
    void startupOffersTheCheckWhenItIsDue() {
        ScratchWorld world;
        sendwell::test::HttpTestServer server;
        PointVendorAt(server, "<!-- UPGRADE Version -->\r\n3.81\r\n");
        const auto twentyDaysAgo = sendwell::LocalNow() - std::chrono::days(20);
        sendwell::WriteSetting(sendwell::kSettingsSection, "UpgradeDate",
                               sendwell::FormatUpgradeDate(sendwell::DayOf(twentyDaysAgo)));
        bool okSpent = false;
        bool closeFocused = false;
        WhenCheckDialogOpens answer([&](CheckUpgradeDialog& dialog) {
            okSpent = !dialog.okButton()->isEnabled();
            closeFocused = dialog.focusWidget() == dialog.closeButton();
            dialog.closeButton()->click();
        });
        {
            sendwell::test::StartedWindow window(&world.messages);
            QCOMPARE(server.RequestCount(), std::size_t(1));
            QCOMPARE(world.messages.shown.size(), std::size_t(1));
            QCOMPARE(world.messages.shown[0].text,
                     std::string("You have the most recent version v3.81\nNo upgrade is available."));
            QCOMPARE(world.messages.shown[0].caption, std::string("Sendwell! Pro"));
            QVERIFY(okSpent);
            QVERIFY(closeFocused);
        }
        QCOMPARE(sendwell::ReadSetting(sendwell::kSettingsSection, "UpgradeDate"), Today());
    }

    void upgradeButtonSavesTheDataThenRunsUninstallerAndInstaller() {
        ScratchWorld world;
        sendwell::test::HttpTestServer server;
        server.Route("/NewUpdate.exe", sendwell::test::Response(200, kInstaller));
        const sendwell::test::SigningKey key;
        sendwell::WriteSetting(sendwell::kSettingsSection, "UpgradePublicKey", key.PublicKey());
        PointVendorAt(server, "<!-- UPGRADE Version -->\n3.82\n<!-- UPGRADE Description -->\nNew engines.\n"
                              "<!-- END UPGRADE Description -->\n<!-- UPGRADE Download Link -->\n" +
                                  server.Url("/NewUpdate.exe") + "\n<!-- UPGRADE Signature -->\n" +
                                  sendwell::test::Base64(key.Sign(kInstaller)) + "\n");
        const fs::path folder = world.programFolder();
        sendwell::test::WriteFileBytes(
            folder / "unins000.exe",
            "#!/bin/sh\nprintf 'uninstaller %s [%s]\\n' \"$#\" \"$1\" >> calls.log\ncp '" +
                world.databaseFile().string() + "' database-seen\ncp '" +
                sendwell::SettingsFileFor(sendwell::kSettingsSection).string() + "' settings-seen\n");
        fs::permissions(folder / "unins000.exe", fs::perms::owner_all);

        sendwell::test::StartedWindow window(&world.messages);
        QString asked;
        bool ended = false;
        world.messages.confirm = [&](const std::string& text, const std::string& caption) {
            asked = QString::fromStdString(caption + "|" + text);
            return true;
        };
        window.upgradeCommand().setEndProgram([&] { ended = true; });
        window.upgradeCommand().setInstallFolder(folder);
        window.show();
        qobject_cast<QLineEdit*>(window.control(ids::kAddressEdit))->setText("http://entered.example");
        window.button(ids::kAdd)->click();

        WhenCheckDialogOpens answer([](CheckUpgradeDialog&) {});
        window.button(ids::kUpgrade)->click();

        QVERIFY(asked.startsWith("A new upgrade is available.|A new upgrade of Sendwell! Pro is available"));
        QVERIFY(asked.contains("New engines."));
        QVERIFY(ended);
        QCOMPARE(sendwell::test::ReadFileBytes(folder / "calls.log"),
                 std::string("uninstaller 1 [ /SILENT]\ninstaller 1 []\n"));
        QVERIFY(sendwell::test::ReadFileBytes(folder / "database-seen").find("http://entered.example") !=
                std::string::npos);
        QVERIFY(sendwell::test::ReadFileBytes(folder / "settings-seen").find("UpgradeDate=" + Today()) !=
                std::string::npos);
        // The private download folder went with the installer.
        for (const fs::directory_entry& entry : fs::directory_iterator(sendwell::DataHome() / "Sendwell")) {
            QVERIFY2(!entry.path().filename().string().starts_with("upgrade-"), entry.path().c_str());
        }
        QVERIFY(world.messages.shown.empty());
    }
};

SENDWELL_GUI_TEST_MAIN(UpgradeTest)
#include "upgrade_test.moc"
