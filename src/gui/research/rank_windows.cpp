#include "gui/research/rank_windows.h"

#include "core/base/program_settings.h"
#include "core/base/vendor_addresses.h"
#include "gui/base/control_ids.h"
#include "gui/base/fixed_dialog.h"
#include "gui/base/program_info.h"
#include "gui/base/text_bytes.h"
#include "gui/widgets/push_button.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSizeGrip>
#include <QStyle>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace sendwell::gui {

namespace {

constexpr int kKeywordsEdit = 1036;
constexpr int kEngineList = 1034;
constexpr int kBrowser = 1046;

// A page for links that ask for a new window: it takes the first address it is sent to, hands it to
// the desktop's browser and goes away without loading anything.
class HandOverPage : public QWebEnginePage {
public:
    HandOverPage(AddressOpener& opener, QObject* parent) : QWebEnginePage(parent), opener_(opener) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        opener_.open(url.toString());
        deleteLater();
        return false;
    }

private:
    AddressOpener& opener_;
};

// The results' own page: new windows (the start page's vendor link) open on the desktop.
class ResultsPage : public QWebEnginePage {
public:
    ResultsPage(AddressOpener& opener, QObject* parent) : QWebEnginePage(parent), opener_(opener) {}

protected:
    QWebEnginePage* createWindow(WebWindowType) override { return new HandOverPage(opener_, this); }

private:
    AddressOpener& opener_;
};

} // namespace

RankKeywordsDialog::RankKeywordsDialog(const std::string& initial, QWidget* parent) : QDialog(parent) {
    const DialogUnits du = SetUpFixedDialog(*this, QStringLiteral("rankKeywords"),
                                            QString::fromUtf8(sendwell::kRankKeywordsCaption), 186, 69);

    auto* text = new QLabel(QString::fromUtf8(sendwell::kRankKeywordsText), this);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setGeometry(du.rect(7, 7, 172, 20));
    edit_ = new QLineEdit(ToQString(initial), this);
    edit_->setObjectName(ids::ControlName(kKeywordsEdit));
    edit_->setGeometry(du.rect(7, 31, 172, 12));
    auto* ok = new PushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setGeometry(du.rect(37, 49, 50, 14));
    ok->setDefault(true);
    auto* cancel = new PushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setGeometry(du.rect(99, 49, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::string RankKeywordsDialog::keywords() const {
    return ToBytes(edit_->text());
}

QString RankResultsDialog::StartPage() {
    InitResources();
    QFile page(QStringLiteral(":/research/rank_start.html"));
    if (!page.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(page.readAll())
        .replace(QStringLiteral("{{VENDOR}}"), ToQString(sendwell::VendorWebAddress()).toHtmlEscaped());
}

RankResultsDialog::RankResultsDialog(std::vector<sendwell::RankEngine> engines, std::filesystem::path folder,
                                     QWidget* parent, AddressOpener& opener)
    : QDialog(parent), engines_(std::move(engines)), folder_(std::move(folder)) {
    setObjectName(QStringLiteral("rankResults"));
    setWindowTitle(QString::fromUtf8(sendwell::kRankResultsCaption));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(false); // our own grip, placed like the main window's
    setFont(DialogFont());
    const DialogUnits du(font());
    resize(du.size(478, 297));

    auto* text = new QLabel(QString::fromUtf8(sendwell::kRankResultsText), this);
    text->setGeometry(du.rect(7, 4, 300, 8));
    list_ = new QListWidget(this);
    list_->setObjectName(ids::ControlName(kEngineList));
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setGeometry(du.rect(7, 16, 80, 258));
    for (const sendwell::RankEngine& engine : engines_) {
        list_->addItem(ToQString(engine.name));
    }
    browser_ = new QWebEngineView(this);
    browser_->setObjectName(ids::ControlName(kBrowser));
    browser_->setPage(new ResultsPage(opener, browser_));
    browser_->setGeometry(du.rect(92, 16, 379, 258));
    auto* close = new PushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setGeometry(du.rect(421, 278, 50, 14));
    close->setDefault(true);
    grip_ = new QSizeGrip(this);
    grip_->setObjectName(QStringLiteral("sizeGrip"));

    anchors_.add(list_, AnchorLayout::kStretchY);
    anchors_.add(browser_, AnchorLayout::kStretchX | AnchorLayout::kStretchY);
    anchors_.add(close, AnchorLayout::kMoveX | AnchorLayout::kMoveY);
    anchors_.clientResized(size());
    PlaceSizeGrip();

    // A choice loads its engine's page; a click on the engine already chosen loads it again. The
    // selection, not the current row, is the choice: the list takes a current row as soon as it gets
    // the focus, and that must leave the start page showing.
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] { ShowEngine(SelectedRow()); });
    list_->viewport()->installEventFilter(this);
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (list_->row(item) == rowBeforePress_ && item->isSelected()) {
            ShowEngine(rowBeforePress_);
        }
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    browser_->setHtml(StartPage(), QUrl(QStringLiteral("qrc:/research/")));
}

RankResultsDialog::~RankResultsDialog() = default;

void RankResultsDialog::ShowEngine(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= engines_.size()) {
        return;
    }
    browser_->load(QUrl(ToQString(engines_[static_cast<std::size_t>(row)].address), QUrl::TolerantMode));
}

int RankResultsDialog::SelectedRow() const {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->row(selected.first());
}

bool RankResultsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress) {
        rowBeforePress_ = SelectedRow();
    }
    return QDialog::eventFilter(watched, event);
}

void RankResultsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!opened_) {
        opened_ = true;
        setMinimumSize(size());
    }
}

void RankResultsDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (anchors_.clientResized(event->size()) && opened_) {
        resized_ = true;
    }
    PlaceSizeGrip();
}

void RankResultsDialog::PlaceSizeGrip() {
    const int side = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    grip_->setFixedSize(side, side);
    grip_->move(width() - side, height() - side);
    grip_->raise();
}

void RankResultsDialog::done(int result) {
    sendwell::DeleteRankLeftovers(folder_);
    if (resized_) {
        const QSize outer = frameGeometry().size();
        sendwell::ProgramSettings::KeepWindowSize(sendwell::SizedWindow::RankResults, outer.width(),
                                                  outer.height());
    }
    QDialog::done(result);
}

void RunRankCommand(QWidget* parent, const std::string& lastSelected, const std::filesystem::path& folder) {
    std::string keywords;
    {
        RankKeywordsDialog ask(sendwell::RankKeywordsPrefill(lastSelected), parent);
        if (ask.exec() != QDialog::Accepted) {
            return;
        }
        keywords = ask.keywords();
    }
    RankResultsDialog results(sendwell::RankEngines(keywords), folder, parent);
    results.exec();
}

} // namespace sendwell::gui
