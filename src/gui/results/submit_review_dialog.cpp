#include "gui/results/submit_review_dialog.h"

#include "core/results/answer_store.h"
#include "gui/base/control_ids.h"
#include "gui/base/dialog_layout.h"
#include "gui/base/text_bytes.h"
#include "gui/widgets/push_button.h"
#include "gui/widgets/styled_label.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace sendwell::gui {

namespace {

constexpr int kWidthDu = 471;
constexpr int kHeightDu = 330;
constexpr int kLocalFileColumn = 2;
constexpr int kEngineColumn = 1;

// Answers are foreign pages: they may show themselves, but run nothing and open nothing.
void LockDown(QWebEngineView* view) {
    QWebEngineSettings* s = view->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
}

} // namespace

SubmitReviewDialog::SubmitReviewDialog(const std::filesystem::path& programFolder, QWidget* parent)
    : QDialog(parent), programFolder_(programFolder) {
    setObjectName(QStringLiteral("submitReview"));
    setFont(DialogFont());
    setWindowTitle(QStringLiteral("URL Submission Complete!"));
    DialogUnits du(font());
    setFixedSize(du.size(kWidthDu, kHeightDu));

    auto* prompt = new QLabel(QStringLiteral("Select a URL to view results"), this);
    prompt->setGeometry(du.rect(8, 4, 152, 8));

    list_ = new QTreeWidget(this);
    list_->setObjectName(ids::ControlName(kList));
    list_->setGeometry(du.rect(7, 13, 457, 93));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setHeaderLabels(
        {QStringLiteral("Web URL"), QStringLiteral("Search Engine"), QStringLiteral("Local File")});
    list_->header()->setStretchLastSection(false);
    list_->setColumnWidth(0, 336);
    list_->setColumnWidth(1, 180);
    list_->setColumnWidth(2, 336);
    // The selection stays visible while the browser has the focus.
    QPalette palette = list_->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    list_->setPalette(palette);

    browser_ = new QWebEngineView(this);
    browser_->setObjectName(ids::ControlName(kBrowser));
    browser_->setGeometry(du.rect(7, 109, 457, 199));
    LockDown(browser_);

    auto* engine = new StyledLabel(QStringLiteral("Lycos"), this);
    engine->setObjectName(ids::ControlName(kEngineLabel));
    engine->setGeometry(du.rect(7, 311, 92, 10));
    engine->setBold(true);
    engine_ = engine;

    previous_ = new PushButton(QStringLiteral("&Previous"), this);
    previous_->setObjectName(ids::ControlName(kPrevious));
    previous_->setGeometry(du.rect(183, 310, 50, 16));
    next_ = new PushButton(QStringLiteral("&Next"), this);
    next_->setObjectName(ids::ControlName(kNext));
    next_->setGeometry(du.rect(238, 310, 50, 16));
    ok_ = new PushButton(QStringLiteral("&OK"), this);
    ok_->setObjectName(ids::ControlName(kOk));
    ok_->setGeometry(du.rect(414, 310, 50, 16));
    ok_->setDefault(true);
    for (QPushButton* b : {previous_, next_}) {
        b->setAutoDefault(false);
    }

    connect(previous_, &QPushButton::clicked, this, &SubmitReviewDialog::OnPrevious);
    connect(next_, &QPushButton::clicked, this, &SubmitReviewDialog::OnNext);
    connect(ok_, &QPushButton::clicked, this, &SubmitReviewDialog::accept);

    Fill();
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &SubmitReviewDialog::ApplySelectionRule);
    SelectRow(0);
    ApplySelectionRule();
    previous_->setEnabled(false);
    if (list_->topLevelItemCount() == 0) {
        next_->setEnabled(false); // nothing to step to
    }
}

void SubmitReviewDialog::Fill() {
    for (const sendwell::StoredAnswer& answer : sendwell::ListStoredAnswers(programFolder_)) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, ToQString(answer.site));
        item->setText(kEngineColumn, ToQString(answer.storeName));
        item->setText(kLocalFileColumn, PathText(answer.path));
    }
}

int SubmitReviewDialog::FirstSelectedRow() const {
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        if (list_->topLevelItem(i)->isSelected()) {
            return i;
        }
    }
    return -1;
}

void SubmitReviewDialog::SelectRow(int row) {
    if (QTreeWidgetItem* item = list_->topLevelItem(row)) {
        list_->setCurrentItem(item);
        item->setSelected(true);
        list_->scrollToItem(item);
    }
}

void SubmitReviewDialog::ShowAnswer(int row) {
    QTreeWidgetItem* item = list_->topLevelItem(row);
    if (item == nullptr) {
        return;
    }
    browser_->setUrl(QUrl::fromLocalFile(item->text(kLocalFileColumn)));
    engine_->setText(item->text(kEngineColumn));
}

void SubmitReviewDialog::ApplySelectionRule() {
    int s = FirstSelectedRow();
    if (s != -1) {
        ShowAnswer(s);
    }
    previous_->setEnabled(s != 0);
    next_->setEnabled(list_->topLevelItemCount() != s + 1);
}

void SubmitReviewDialog::OnPrevious() {
    int s = FirstSelectedRow();
    if (s == -1) {
        s = 1;
    }
    if (s == 0) {
        return;
    }
    SelectRow(s - 1);
    ShowAnswer(s - 1);
    next_->setEnabled(true);
    previous_->setEnabled(s - 1 != 0);
}

void SubmitReviewDialog::OnNext() {
    int rows = list_->topLevelItemCount();
    int s = FirstSelectedRow();
    if (s == -1) {
        s = 0;
    }
    if (s + 1 >= rows) {
        return; // on the last row, or no row to go to
    }
    SelectRow(s + 1);
    ShowAnswer(s + 1);
    previous_->setEnabled(true);
    next_->setEnabled(s + 1 != rows - 1);
}

void SubmitReviewDialog::accept() {
    sendwell::ClearAnswerStore(programFolder_);
    QDialog::accept();
}

} // namespace sendwell::gui
