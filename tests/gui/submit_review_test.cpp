// The review window on real stored answers with the real browser: filling, stepping through the
// answers, clearing on OK, keeping on close, and answers' scripts never running.
#include "core/results/answer_store.h"
#include "gui/results/submit_review_dialog.h"
#include "tests/gui/support/gui_test_env.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QtTest>

using sendwell::gui::SubmitReviewDialog;
namespace fs = std::filesystem;

namespace {

// Stores one answer the way a run does and returns its path.
std::string StoreAnswer(const fs::path& folder, const std::string& address, const std::string& engine,
                        const std::string& page) {
    std::string path = sendwell::NameAnswerFile(address, engine, folder);
    sendwell::test::WriteFileBytes(path, page);
    return path;
}

int SelectedRow(const SubmitReviewDialog& review) {
    QList<QTreeWidgetItem*> selected = review.list()->selectedItems();
    return selected.isEmpty() ? -1 : review.list()->indexOfTopLevelItem(selected.first());
}

bool WaitForLoad(QWebEngineView* view) {
    QSignalSpy loaded(view, &QWebEngineView::loadFinished);
    return loaded.wait(20000) && loaded.first().first().toBool();
}

const char kScriptedPage[] = "<html><head><title>stored</title></head><body>answer"
                             "<SCRIPT>document.title = 'script ran';</SCRIPT></body></html>";

} // namespace

class SubmitReviewTest : public QObject {
    Q_OBJECT

private slots:
    void opensOnTheFirstAnswerAndStepsThroughThem() {
        sendwell::test::TempDir dir;
        StoreAnswer(dir.path(), "http://a.test/x", "Google", "<p>one</p>");
        StoreAnswer(dir.path(), "http://b.test/", "Scrub The Web", "<p>two</p>");
        std::string third = StoreAnswer(dir.path(), "http://c.test/", "Hotbot UK", "<p>three</p>");
        SubmitReviewDialog review(dir.path());

        QCOMPARE(review.windowTitle(), QStringLiteral("URL Submission Complete!"));
        QVERIFY(review.engineLabel()->font().bold());
        QCOMPARE(review.list()->topLevelItemCount(), 3);
        QTreeWidgetItem* first = review.list()->topLevelItem(0);
        QCOMPARE(first->text(0), QStringLiteral("a.test"));
        QCOMPARE(first->text(1), QStringLiteral("Google"));
        QCOMPARE(review.list()->topLevelItem(1)->text(1), QStringLiteral("ScrubTheWeb"));
        QCOMPARE(review.list()->topLevelItem(2)->text(2), QString::fromStdString(third));

        QCOMPARE(SelectedRow(review), 0);
        QCOMPARE(review.engineLabel()->text(), QStringLiteral("Google"));
        QVERIFY(!review.previousButton()->isEnabled());
        QVERIFY(review.nextButton()->isEnabled());
        QCOMPARE(review.browser()->url(), QUrl::fromLocalFile(first->text(2)));

        QTest::mouseClick(review.nextButton(), Qt::LeftButton);
        QCOMPARE(SelectedRow(review), 1);
        QVERIFY(review.previousButton()->isEnabled());
        QVERIFY(review.nextButton()->isEnabled());
        QTest::mouseClick(review.nextButton(), Qt::LeftButton);
        QCOMPARE(SelectedRow(review), 2);
        QCOMPARE(review.engineLabel()->text(), QStringLiteral("HotbotUK"));
        QVERIFY(!review.nextButton()->isEnabled());
        QCOMPARE(review.browser()->url(), QUrl::fromLocalFile(QString::fromStdString(third)));
        QTest::mouseClick(review.previousButton(), Qt::LeftButton);
        QTest::mouseClick(review.previousButton(), Qt::LeftButton);
        QCOMPARE(SelectedRow(review), 0);
        QVERIFY(!review.previousButton()->isEnabled());
        QVERIFY(review.nextButton()->isEnabled());
    }

    void singleAndEmptyStores() {
        sendwell::test::TempDir dir;
        {
            SubmitReviewDialog review(dir.path());
            QCOMPARE(review.list()->topLevelItemCount(), 0);
            QCOMPARE(review.engineLabel()->text(), QStringLiteral("Lycos"));
            QVERIFY(!review.previousButton()->isEnabled());
            QTest::mouseClick(review.nextButton(), Qt::LeftButton); // nothing to step to, nothing breaks
        }
        StoreAnswer(dir.path(), "http://a.test/", "Voila", "<p>only</p>");
        sendwell::test::WriteFileBytes(dir / "submitok" / "notes.HTML", "no separator, not listed");
        SubmitReviewDialog review(dir.path());
        QCOMPARE(review.list()->topLevelItemCount(), 1);
        QVERIFY(!review.previousButton()->isEnabled());
        QVERIFY(!review.nextButton()->isEnabled());
    }

    void answerFilesWhoseNamesAreNotUtf8AreStillFound() {
        sendwell::test::TempDir dir;
        StoreAnswer(dir.path(), "http://caf\xe9.test/", "Voila", "<p>latin-1 host</p>");
        SubmitReviewDialog review(dir.path());
        QCOMPARE(review.list()->topLevelItemCount(), 1);
        QVERIFY(QFile::exists(review.list()->topLevelItem(0)->text(2)));
    }

    void okClearsTheStoreAndTheFailureLogButClosingKeepsThem() {
        sendwell::test::TempDir dir;
        std::string answer = StoreAnswer(dir.path(), "http://a.test/", "Voila", "<p>x</p>");
        sendwell::test::WriteFileBytes(dir / "msg_dump.txt", "error\r\n");
        {
            SubmitReviewDialog review(dir.path());
            review.show();
            QTest::keyClick(&review, Qt::Key_Escape);
            QCOMPARE(review.result(), int(QDialog::Rejected));
        }
        QVERIFY(fs::exists(answer));
        QVERIFY(fs::exists(dir / "msg_dump.txt"));
        {
            SubmitReviewDialog review(dir.path());
            review.show();
            QTest::mouseClick(review.okButton(), Qt::LeftButton);
            QCOMPARE(review.result(), int(QDialog::Accepted));
        }
        QVERIFY(!fs::exists(dir / "submitok"));
        QVERIFY(!fs::exists(dir / "msg_dump.txt"));
    }

    void answersScriptsDoNotRunInTheReview() {
        sendwell::test::TempDir dir;
        std::string answer = StoreAnswer(dir.path(), "http://a.test/", "Voila", kScriptedPage);

        // The same page in a browser that runs scripts shows that the page's script would change the title.
        QWebEngineView scripted;
        scripted.settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
        scripted.setUrl(QUrl::fromLocalFile(QString::fromStdString(answer)));
        QVERIFY(WaitForLoad(&scripted));
        QTRY_COMPARE_WITH_TIMEOUT(scripted.title(), QStringLiteral("script ran"), 5000);

        SubmitReviewDialog review(dir.path());
        review.show();
        QVERIFY(WaitForLoad(review.browser()));
        QTest::qWait(300);
        QCOMPARE(review.browser()->title(), QStringLiteral("stored"));
        QVERIFY(!review.browser()->settings()->testAttribute(QWebEngineSettings::JavascriptCanOpenWindows));
    }
};

SENDWELL_GUI_TEST_MAIN(SubmitReviewTest)
#include "submit_review_test.moc"
