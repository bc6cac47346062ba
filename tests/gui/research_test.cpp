// The research windows: what Popularity, the promotion buttons and the keyword tool's Help hand to
// the desktop, the keyword tool's empty-text check, the suggested keywords' order and choice, and
// the rank results loading an engine only once one is chosen.
#include "core/research/keyword_suggestion.h"
#include "core/research/promotion.h"
#include "gui/research/keyword_windows.h"
#include "gui/research/promotion_windows.h"
#include "gui/research/rank_windows.h"
#include "gui/widgets/styled_label.h"
#include "tests/gui/support/gui_test_env.h"
#include "tests/gui/support/recording_opener.h"
#include "tests/gui/support/window_test_support.h"
#include "tests/support/loopback_port.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <QtTest>

using sendwell::test::RecordingMessages;
using sendwell::test::RecordingOpener;

class ResearchWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void popularityOpensTheReportOrSaysThereIsNothingToCheck() {
        RecordingOpener opener;
        RecordingMessages messages;
        sendwell::gui::RunPopularityCommand(messages, "http://a.example/?q=1&r=2", opener);
        sendwell::gui::RunPopularityCommand(messages, "", opener);
        QCOMPARE(opener.opened, QStringList{QString::fromStdString(
                                    *sendwell::PopularityAddress("http://a.example/?q=1&r=2"))});
        QCOMPARE(messages.shown.size(), 1u);
        QCOMPARE(messages.shown[0].text, std::string("Select a web page URL to check the popularity"));
        QCOMPARE(messages.shown[0].caption, std::string("Nothing to Check"));
    }

    void promotionButtonsOpenTheirPagesWhileTheWindowStaysOpen() {
        RecordingOpener opener;
        sendwell::gui::PromotionDialog dialog(nullptr, opener);
        dialog.show();
        QStringList expected;
        for (const auto& service : sendwell::PromotionServices()) {
            QPushButton* button = nullptr;
            for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
                button = b->text() == QString::fromStdString(service.button) ? b : button;
            }
            QVERIFY(button);
            QTest::mouseClick(button, Qt::LeftButton);
            expected << QString::fromStdString(service.address);
            QVERIFY(dialog.isVisible());
        }
        QCOMPARE(opener.opened, expected);
        QCOMPARE(opener.opened[0].left(8), QStringLiteral("https://"));
        QVERIFY(opener.opened[0].endsWith(QStringLiteral("/partner.php?id=") + sendwell::kPartnerNumber));
        const QList<sendwell::gui::StyledLabel*> headings =
            dialog.findChildren<sendwell::gui::StyledLabel*>();
        QCOMPARE(headings.size(), 4);
        for (auto* heading : headings) {
            QVERIFY(heading->font().bold());
        }
    }

    void keywordToolWantsTextAndItsHelpOpensTheKeywordPage() {
        RecordingOpener opener;
        RecordingMessages messages;
        sendwell::gui::KeywordToolDialog dialog(nullptr, messages, opener);
        dialog.show();
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QCOMPARE(messages.shown.size(), 1u);
        QCOMPARE(messages.shown[0].caption, std::string("Sendwell!"));
        QCOMPARE(messages.shown[0].icon, sendwell::MessageIcon::Information);

        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("helpButton")), Qt::LeftButton);
        QCOMPARE(opener.opened, QStringList{QString::fromStdString(sendwell::KeywordHelpAddress())});
        QVERIFY(opener.opened[0].endsWith(QStringLiteral("/help/sendwell_help.html#KEYWORDSUGGEST")));
        QVERIFY(dialog.isVisible());

        dialog.findChild<QLineEdit*>()->setText(QStringLiteral("cheap,flights"));
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.typed(), std::string("cheap,flights"));
    }

    void suggestedKeywordsSortWithoutCaseAndHandOverTheHighlightedInListOrder() {
        sendwell::gui::SuggestedKeywordsDialog dialog({"travel", "Berlin", "apple", "Cheap"}, nullptr);
        QListWidget* list = dialog.list();
        QStringList shown;
        for (int row = 0; row < list->count(); ++row) {
            shown << list->item(row)->text();
        }
        QCOMPARE(shown, (QStringList{"apple", "Berlin", "Cheap", "travel"}));
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        list->item(3)->setSelected(true);
        list->item(1)->setSelected(true);
        QCOMPARE(sendwell::JoinChosenKeywords(dialog.chosen()), std::string("Berlin,travel"));
    }

    void rankResultsKeepTheStartPageUntilAnEngineIsChosen() {
        const std::string refused =
            "http://127.0.0.1:" + std::to_string(sendwell::test::ClosedLoopbackPort());
        QTemporaryDir folder;
        RecordingOpener opener;
        sendwell::gui::RankResultsDialog dialog(
            {{"First", refused + "/first"}, {"Second", refused + "/second"}}, folder.path().toStdString(),
            nullptr, opener);
        QSignalSpy urls(dialog.browser(), &QWebEngineView::urlChanged);
        dialog.show();
        // Taking the focus gives the list a current row; that is no choice.
        QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(dialog.list(), &focusIn);
        QVERIFY(dialog.list()->selectedItems().isEmpty());

        dialog.list()->item(1)->setSelected(true);
        const QUrl second(QString::fromStdString(refused + "/second"));
        QTRY_VERIFY(!urls.isEmpty() && urls.last().at(0).toUrl() == second);
        for (const QList<QVariant>& changed : urls) {
            QVERIFY(!changed.at(0).toUrl().path().endsWith(QStringLiteral("/first")));
        }
    }
};

SENDWELL_GUI_TEST_MAIN(ResearchWindowsTest)
#include "research_test.moc"
