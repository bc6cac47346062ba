// The meta-tag windows: "Analy&ze" with its wait window and "META Keywords Found" against a loopback
// page, and the writer's "Inserting New Keywords", cancel question and "Description" windows.
#include "core/meta/meta_save.h"
#include "gui/meta/analyze_command.h"
#include "gui/meta/meta_findings_dialog.h"
#include "gui/meta/meta_save_windows.h"
#include "gui/web/wait_window.h"
#include "tests/gui/support/gui_test_env.h"
#include "tests/gui/support/window_test_support.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <future>
#include <memory>

using sendwell::InsertMode;
using sendwell::gui::InsertModeDialog;
using sendwell::gui::MetaSaveWindowsOnScreen;
using sendwell::gui::WaitWindow;
using sendwell::test::HttpTestServer;
using sendwell::test::RecordingMessages;
using sendwell::test::Response;

namespace {

// Hands each modal window that comes up while the caller runs its own modal loop to act, until act
// says it has dealt with one.
class OnModal : public QObject {
public:
    explicit OnModal(std::function<bool(QWidget*)> act) : act_(std::move(act)) {
        connect(&timer_, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal != nullptr && act_(modal)) {
                timer_.stop();
            }
        });
        timer_.start(10);
    }

private:
    std::function<bool(QWidget*)> act_;
    QTimer timer_;
};

QString LabelText(QWidget* window, const char* name) {
    auto* label = window->findChild<QLabel*>(QString::fromUtf8(name));
    return label != nullptr ? label->text() : QStringLiteral("<missing>");
}

} // namespace

class MetaWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        owner_ = std::make_unique<QWidget>();
        owner_->resize(300, 200);
        owner_->show();
        QVERIFY(QTest::qWaitForWindowExposed(owner_.get()));
    }

    void cleanup() { owner_.reset(); }

    void analyzeChecksThePageBehindAWaitWindowAndShowsTheFindings() {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        HttpTestServer server;
        server.SetHandler([released](const sendwell::test::RecordedRequest&) {
            released.wait_for(std::chrono::seconds(20));
            return Response(200, "<title>Widgets</title>\n"
                                 "<meta name=\"description\" content=\"Fine widgets\">\n"
                                 "<meta name=\"keywords\" content=\"a,b,c,d,e\">\n");
        });
        const std::string address = server.Url("/page");

        QString waitText, waitCaption, title, description, advice, top, caption;
        QStringList keywords;
        OnModal seeWait([&](QWidget* modal) {
            auto* wait = qobject_cast<WaitWindow*>(modal);
            if (wait == nullptr) {
                return false;
            }
            waitText = wait->text();
            waitCaption = wait->windowTitle();
            release.set_value();
            return true;
        });
        OnModal seeFindings([&](QWidget* modal) {
            if (modal->objectName() != QStringLiteral("metaFindings")) {
                return false;
            }
            caption = modal->windowTitle();
            top = LabelText(modal, "addressLine");
            advice = LabelText(modal, "adviceLine");
            title = modal->findChild<QLineEdit*>(QStringLiteral("titleEdit"))->text();
            description = modal->findChild<QLineEdit*>(QStringLiteral("descriptionEdit"))->text();
            auto* list = modal->findChild<QListWidget*>(QStringLiteral("keywordList"));
            for (int i = 0; i < list->count(); ++i) {
                keywords << list->item(i)->text();
            }
            modal->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
            return true;
        });

        RecordingMessages messages;
        sendwell::gui::RunAnalyzeCommand(owner_.get(), messages, address, sendwell::ConnectionSettings{});

        QCOMPARE(waitText, QString("Checking the web page\n") + QString::fromStdString(address));
        QCOMPARE(waitCaption, QString());
        QCOMPARE(caption, QString("META Keywords Found"));
        QCOMPARE(top, QString::fromStdString(address));
        QCOMPARE(title, QString("Widgets"));
        QCOMPARE(description, QString("Fine widgets"));
        QCOMPARE(keywords, QStringList({"a", "b", "c", "d", "e"}));
        QCOMPARE(advice, QString("This page is search engine ready!"));
        QVERIFY(messages.shown.empty());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    void insertingNewKeywordsAnswersWithTheChosenMode_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("mode");
        QTest::newRow("replace") << "replaceButton" << static_cast<int>(InsertMode::Replace);
        QTest::newRow("before") << "beforeButton" << static_cast<int>(InsertMode::Before);
        QTest::newRow("after") << "afterButton" << static_cast<int>(InsertMode::After);
        QTest::newRow("cancel") << "cancelButton" << -1;
    }

    void insertingNewKeywordsAnswersWithTheChosenMode() {
        QFETCH(QString, button);
        QFETCH(int, mode);
        QString caption, text, label;
        OnModal answer([&](QWidget* modal) {
            caption = modal->windowTitle();
            text = LabelText(modal, "text");
            auto* b = modal->findChild<QPushButton*>(button);
            label = b->text();
            b->click();
            return true;
        });
        MetaSaveWindowsOnScreen windows(owner_.get());
        const std::optional<InsertMode> chosen = windows.ChooseInsertMode();

        QCOMPARE(caption, QString("Inserting New Keywords"));
        QCOMPARE(text, QString("Should the new Keywords be inserted BEFORE, AFTER, or REPLACE the existing "
                               "keywords in your web page?"));
        QVERIFY(label.startsWith('&'));
        QCOMPARE(chosen ? static_cast<int>(*chosen) : -1, mode);
    }

    void theCancelQuestionAndTheDescriptionWindowAnswerForTheSave() {
        sendwell::test::TempDir dir;
        const QString page = QString::fromStdString((dir / "new.html").string());
        RecordingMessages messages;
        QString descriptionCaption, descriptionText;

        // A new page: no mode question; the description window is answered with an edited text.
        OnModal describe([&](QWidget* modal) {
            descriptionCaption = modal->windowTitle();
            descriptionText = LabelText(modal, "text");
            modal->findChild<QLineEdit*>(QStringLiteral("descriptionEdit"))->setText("Typed here");
            modal->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
            return true;
        });
        sendwell::gui::SaveKeywordsToPage(owner_.get(), messages, "c,d", [&](QWidget*) { return page; });

        QCOMPARE(descriptionCaption, QString("Description"));
        QCOMPARE(descriptionText, QString("Enter your web page description to be included as a meta-tag.\n"
                                          "This should be a short description of what your page is about."));
        const std::string written = sendwell::test::ReadFileBytes(dir / "new.html");
        QVERIFY(written.find("<META NAME=\"Description\" CONTENT=\"Typed here\">") != std::string::npos);
        QCOMPARE(messages.shown.size(), 1u);
        QCOMPARE(messages.shown[0].caption, std::string("Sendwell!"));

        QString questionCaption, questionText;
        bool questionIcon = false;
        OnModal question([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            questionCaption = box->windowTitle();
            questionText = box->text();
            questionIcon = box->icon() == QMessageBox::Question;
            box->button(QMessageBox::No)->click();
            return true;
        });
        MetaSaveWindowsOnScreen windows(owner_.get());
        QVERIFY(!windows.ConfirmCancelSaving());
        QCOMPARE(questionCaption, QString("Sendwell!"));
        QCOMPARE(questionText, QString("Are you sure you want to CANCEL saving?"));
        QVERIFY(questionIcon);

        OnModal cancelDescription([](QWidget* modal) {
            modal->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
            return true;
        });
        QVERIFY(!windows.EditDescription("kept"));
    }

private:
    std::unique_ptr<QWidget> owner_;
};

SENDWELL_GUI_TEST_MAIN(MetaWindowsTest)
#include "meta_windows_test.moc"
