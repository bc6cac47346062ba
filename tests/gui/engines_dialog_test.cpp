// The "Submit to Engines" dialog as a user meets it: what it shows for the stored flags, and what OK,
// Cancel and closing leave in the settings.
#include "core/base/settings.h"
#include "core/indexnow/indexnow_settings.h"
#include "core/submit/engine_catalogue.h"
#include "gui/submit/engines_dialog.h"
#include "tests/gui/support/gui_test_env.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

using sendwell::gui::EnginesDialog;

namespace {

QCheckBox* BoxLabelled(const EnginesDialog& dlg, const QString& label) {
    for (QCheckBox* box : dlg.findChildren<QCheckBox*>()) {
        if (box->text() == label) {
            return box;
        }
    }
    return nullptr;
}

void Click(EnginesDialog& dlg, const char* objectName) {
    auto* button = dlg.findChild<QPushButton*>(QString::fromLatin1(objectName));
    QVERIFY(button != nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}

std::string Stored(std::string_view flag) {
    return sendwell::ReadSetting(sendwell::kSettingsSection, flag);
}

} // namespace

class EnginesDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        dir_ = std::make_unique<sendwell::test::TempDir>();
        home_ = std::make_unique<sendwell::test::ScopedXdgHome>(dir_->path());
    }
    void cleanup() {
        home_.reset();
        dir_.reset();
    }

    void showsEveryEngineTickedOnAFreshInstallation() {
        EnginesDialog dlg(sendwell::ConnectionSettings{});
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Submit to Engines"));
        bool textShown = false;
        for (QLabel* label : dlg.findChildren<QLabel*>()) {
            textShown = textShown || label->text() == QStringLiteral("Enable sites to submit to:");
        }
        QVERIFY(textShown);
        auto boxes = dlg.findChildren<QCheckBox*>();
        boxes.removeOne(dlg.findChild<QCheckBox*>(QStringLiteral("indexNowInRuns")));
        boxes.removeOne(dlg.findChild<QCheckBox*>(QStringLiteral("indexNowChangedOnly")));
        QCOMPARE(boxes.size(), 26);
        for (QCheckBox* box : boxes) {
            QVERIFY2(box->isChecked(), qPrintable(box->text()));
        }
        for (const sendwell::EngineEntry& engine : sendwell::EngineCatalogue()) {
            QVERIFY2(dlg.checkBoxFor(engine.flagName) != nullptr, engine.flagName.data());
        }
        // Three columns: first, second and third column boxes stand left to right, tops aligned.
        QCheckBox* first = BoxLabelled(dlg, QStringLiteral("Lycos S&ympatico"));
        QCheckBox* second = BoxLabelled(dlg, QStringLiteral("Info Tiger"));
        QCheckBox* third = BoxLabelled(dlg, QStringLiteral("Amfibi"));
        QVERIFY(first && second && third);
        QVERIFY(first->x() < second->x() && second->x() < third->x());
        QCOMPARE(first->y(), third->y());
        QVERIFY(BoxLabelled(dlg, QStringLiteral("AxxaSearch"))->y() > first->y());
    }

    void onlyAStoredZeroUnticksABox() {
        using sendwell::WriteSetting;
        WriteSetting(sendwell::kSettingsSection, "m_Google", "0");
        WriteSetting(sendwell::kSettingsSection, "m_Burf", "1");
        WriteSetting(sendwell::kSettingsSection, "m_Voila", "2");
        WriteSetting(sendwell::kSettingsSection, "m_Amfibi", "-");
        WriteSetting(sendwell::kSettingsSection, "m_Aeiwi", "");
        EnginesDialog dlg(sendwell::ConnectionSettings{});
        QVERIFY(!dlg.checkBoxFor("m_Google")->isChecked());
        QVERIFY(dlg.checkBoxFor("m_Burf")->isChecked());
        QVERIFY(dlg.checkBoxFor("m_Voila")->isChecked());
        QVERIFY(dlg.checkBoxFor("m_Amfibi")->isChecked());
        QVERIFY(dlg.checkBoxFor("m_Aeiwi")->isChecked());
    }

    void okWritesAllTwentySixFlags() {
        sendwell::WriteSetting(sendwell::kSettingsSection, "m_Voila", "2");
        sendwell::WriteSetting(sendwell::kSettingsSection, "m_Google", "0");
        EnginesDialog dlg(sendwell::ConnectionSettings{});
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        // "&Search UK" edits engine 13's flag, not Hotbot UK's.
        QCheckBox* searchUk = BoxLabelled(dlg, QStringLiteral("&Search UK"));
        QVERIFY(searchUk != nullptr);
        QTest::mouseClick(searchUk, Qt::LeftButton, {}, QPoint(4, searchUk->height() / 2));
        QVERIFY(!searchUk->isChecked());
        BoxLabelled(dlg, QStringLiteral("Alexa"))->setChecked(false);
        Click(dlg, "ok");
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        for (const sendwell::EngineEntry& engine : sendwell::EngineCatalogue()) {
            std::string expected = (engine.flagName == "m_Hotbot" || engine.flagName == "m_InfoSpace" ||
                                    engine.flagName == "m_Google")
                                       ? "0"
                                       : "1";
            QCOMPARE(Stored(engine.flagName), expected);
        }
        QCOMPARE(Stored("m_HotbotUK"), std::string("1"));
    }

    void cancelAndClosingWriteNothing() {
        {
            EnginesDialog dlg(sendwell::ConnectionSettings{});
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            dlg.checkBoxFor("m_Hotbot")->setChecked(false);
            Click(dlg, "cancel");
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
        }
        {
            EnginesDialog dlg(sendwell::ConnectionSettings{});
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            dlg.checkBoxFor("m_Hotbot")->setChecked(false);
            QTest::keyClick(&dlg, Qt::Key_Escape);
        }
        {
            EnginesDialog dlg(sendwell::ConnectionSettings{});
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            dlg.checkBoxFor("m_Webcrawler")->setChecked(false);
            dlg.close();
        }
        for (const sendwell::EngineEntry& engine : sendwell::EngineCatalogue()) {
            QCOMPARE(sendwell::ReadFlag(sendwell::kSettingsSection, engine.flagName), -1);
        }
    }

    // The IndexNow section: Generate and Check wired to the core, a key off the rules keeps the dialog.
    void indexNowSectionKeepsAGoodKeyAndRefusesABadOne() {
        sendwell::test::HttpTestServer server;
        EnginesDialog dlg(sendwell::ConnectionSettings{});
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* key = dlg.findChild<QLineEdit*>(QStringLiteral("indexNowKey"));
        auto* result = dlg.findChild<QLabel*>(QStringLiteral("indexNowResult"));
        QVERIFY(key && result);

        key->setText(QStringLiteral("short"));
        Click(dlg, "ok");
        QVERIFY(dlg.isVisible());
        QVERIFY(result->text().contains(QStringLiteral("8 to 128")));
        QCOMPARE(Stored("m_IndexNowKey"), std::string());

        Click(dlg, "indexNowGenerate");
        const std::string generated = key->text().toStdString();
        QCOMPARE(generated.size(), std::size_t(32));
        server.Route("/k.txt", sendwell::test::Response(200, generated));
        dlg.findChild<QLineEdit*>(QStringLiteral("indexNowKeyLocation"))
            ->setText(QString::fromStdString(server.Url("/k.txt")));
        Click(dlg, "indexNowCheck");
        QVERIFY2(result->text().contains(QStringLiteral("serves exactly the key")),
                 qPrintable(result->text()));
        dlg.findChild<QCheckBox*>(QStringLiteral("indexNowInRuns"))->setChecked(true);
        auto* changedOnly = dlg.findChild<QCheckBox*>(QStringLiteral("indexNowChangedOnly"));
        QVERIFY(changedOnly->isChecked()); // runs check pages unless told otherwise
        QCOMPARE(changedOnly->text(), QStringLiteral("Only pages changed since the last submission"));
        changedOnly->setChecked(false);
        Click(dlg, "ok");
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(Stored("m_IndexNowKey"), generated);
        QCOMPARE(Stored("m_bIndexNowInRuns"), std::string("1"));
        QCOMPARE(Stored("IndexNowChangedOnly"), std::string("0"));
        QVERIFY(!sendwell::IndexNowForRuns()->changedOnly);
    }

    // The key check goes the way the window's other requests go, whatever the store says by then.
    void keyCheckGoesThroughTheConnectionItIsGiven() {
        sendwell::test::HttpTestServer server;
        const std::string key(32, 'a');
        server.SetHandler(sendwell::test::Always(sendwell::test::Response(200, key)));
        sendwell::WriteSetting(sendwell::kSettingsSection, "bProxyOn", "1");
        sendwell::WriteSetting(sendwell::kSettingsSection, "m_ProxyName", "127.0.0.1:1");
        sendwell::ConnectionSettings connection;
        connection.useProxy = true;
        connection.proxyName = server.HostPort(); // the server stands in for the proxy too
        EnginesDialog dlg(connection);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.findChild<QLineEdit*>(QStringLiteral("indexNowKey"))->setText(QString::fromStdString(key));
        dlg.findChild<QLineEdit*>(QStringLiteral("indexNowKeyLocation"))
            ->setText(QString::fromStdString(server.Url("/k.txt")));
        Click(dlg, "indexNowCheck");
        auto* result = dlg.findChild<QLabel*>(QStringLiteral("indexNowResult"));
        QVERIFY2(result->text().contains(QStringLiteral("serves exactly the key")),
                 qPrintable(result->text()));
        QCOMPARE(server.RequestCount(), std::size_t(1));
        QCOMPARE(server.Requests()[0].target, server.Url("/k.txt"));
    }

private:
    std::unique_ptr<sendwell::test::TempDir> dir_;
    std::unique_ptr<sendwell::test::ScopedXdgHome> home_;
};

SENDWELL_GUI_TEST_MAIN(EnginesDialogTest)
#include "engines_dialog_test.moc"
