#include "gui/app/main_window.h"

#include "core/base/paths.h"
#include "core/base/program_settings.h"
#include "core/indexnow/indexnow_settings.h"
#include "core/research/last_selected.h"
#include "core/sitemap/sitemap_reader.h"
#include "core/submit/submission_settings.h"
#include "core/urldb/add_command.h"
#include "core/urldb/url_import.h"
#include "gui/app/about_dialog.h"
#include "gui/app/splash_window.h"
#include "gui/audit/site_audit_window.h"
#include "gui/base/control_ids.h"
#include "gui/base/desktop_notifier.h"
#include "gui/base/file_choice.h"
#include "gui/base/program_info.h"
#include "gui/base/text_bytes.h"
#include "gui/history/history_window.h"
#include "gui/meta/analyze_command.h"
#include "gui/research/keyword_windows.h"
#include "gui/research/promotion_windows.h"
#include "gui/research/rank_windows.h"
#include "gui/sitemap/sitemap_commands.h"
#include "gui/submit/engines_dialog.h"
#include "gui/submit/submit_controller.h"
#include "gui/submit/submit_progress_dialog.h"
#include "gui/upgrade/upgrade_command.h"
#include "gui/urldb/import_command.h"
#include "gui/urldb/url_list_model.h"
#include "gui/urldb/url_list_view.h"
#include "gui/web/ping_command.h"
#include "gui/web/status_results_window.h"
#include "gui/widgets/help_window.h"
#include "gui/widgets/push_button.h"
#include "gui/widgets/sound_player.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSizeGrip>
#include <QStyle>
#include <algorithm>
#include <limits>
#include <new>
#include <numeric>
#include <system_error>

namespace sendwell::gui {

namespace fs = std::filesystem;

namespace {

constexpr int kMoveX = AnchorLayout::kMoveX;
constexpr int kMoveY = AnchorLayout::kMoveY;
constexpr int kStretchX = AnchorLayout::kStretchX;
constexpr int kStretchY = AnchorLayout::kStretchY;

// Most selection ranges a sort keeps selected (see OnSortColumn).
constexpr std::size_t kMaxKeptSelectionRanges = 2000;

// Splash window size in dialog units.
constexpr int kSplashWidthDu = 240;
constexpr int kSplashHeightDu = 135;

} // namespace

MainWindow::MainWindow(sendwell::DatabaseSession& session, sendwell::Prompt* messages, QWidget* parent)
    : QDialog(parent), session_(session), messages_(messages), units_(DialogFont()) {
    InitResources();
    setObjectName(QStringLiteral("mainWindow"));
    setFont(DialogFont());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    creationSize_ = units_.size(kWidthDu, kHeightDu);
    resize(creationSize_);
    setMinimumSize(creationSize_ - QSize(kShrinkWidth, kShrinkHeight));
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() -
             QPoint(creationSize_.width() / 2, creationSize_.height() / 2));
    }

    // Controls and their anchors; the creation size is the reference for every later size change.
    CreateControls();
    anchors_.clientResized(creationSize_);
    ownSounds_ = std::make_unique<ResourceSoundPlayer>();
    auto runSettings = [this] {
        return sendwell::RunSettings{connection_, programFolder_, sendwell::ReadSubmissionLimits(),
                                     sendwell::IndexNowForRuns()};
    };
    submit_ = new SubmitController(
        this, *model_, *messages_, runSettings, [this] { takeFields(); }, ownSounds_.get());
    notifier_ = new DesktopNotifier(this);
    submit_->setNotifier(notifier_);

    setWindowIcon(ProgramIcon());

    // The splash shows while the rest of the start-up runs and hides itself after a second.
    splash_ = new SplashWindow(this, units_.size(kSplashWidthDu, kSplashHeightDu));
    splash_->showBriefly();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    button(ids::kAdd)->setEnabled(false);
    button(ids::kRemove)->setEnabled(false);
    button(ids::kSubmit)->setEnabled(false);
    button(ids::kPopularity)->setEnabled(false);
    button(ids::kPing)->setEnabled(false);
    button(ids::kAnalyze)->setEnabled(false);

    programFolder_ = sendwell::ProgramFolder();
    LoadBackgroundPicture();

    upgrade_ = new UpgradeCommand(this, *messages_, [this] { return SaveDatabaseNow(); });

    button(ids::kUpgrade)->setEnabled(true);
    button(ids::kUpgrade)->show();
    setWindowTitle(QStringLiteral("Sendwell! Pro"));
    header_->setText(QStringLiteral("Sendwell! Pro v") + VersionText() +
                     QStringLiteral("\nProgrammed by Quenby"));
    icon_->show();

    connection_ = sendwell::ProgramSettings().Connection();

    SetToolTips();
    showLoadedFields();
}

void MainWindow::showLoadedFields() {
    email_->setText(ToQString(database().email()));
    UpdateSelectionButtons();
}

MainWindow::~MainWindow() {
    if (resized_) {
        const QSize outer = frameGeometry().size();
        sendwell::ProgramSettings::KeepWindowSize(sendwell::SizedWindow::Main, outer.width(), outer.height());
    }
}

void MainWindow::Place(QWidget* widget, int id, int x, int y, int width, int height, int anchor) {
    widget->setObjectName(ids::ControlName(id));
    widget->setGeometry(units_.rect(x, y, width, height));
    anchors_.add(widget, anchor);
}

QPushButton* MainWindow::AddButton(int id, const QString& text, int x, int y, int width, int height,
                                   int anchor) {
    auto* b = new PushButton(text, this);
    Place(b, id, x, y, width, height, anchor);
    return b;
}

QLabel* MainWindow::AddLabel(int id, const QString& text, int x, int y, int width, int height, int anchor) {
    auto* label = new QLabel(text, this);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Place(label, id, x, y, width, height, anchor);
    return label;
}

void MainWindow::CreateControls() {
    // Created in tab order.
    header_ = AddLabel(ids::kHeaderLabel, QString(), 4, 3, 141, 18, 0);

    icon_ = new QLabel(this);
    icon_->setPixmap(ProgramIcon().pixmap(32, 32));
    icon_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Place(icon_, ids::kIcon, 386, 3, 20, 20, kMoveX);
    icon_->hide();

    AddLabel(ids::kAddressPrompt, QStringLiteral("Enter an http:// address and click Add."), 4, 25, 145, 8,
             0);

    address_ = new QLineEdit(this);
    // The data file holds lines of any length; a field must not cut one short on the way through.
    address_->setMaxLength(std::numeric_limits<int>::max());
    Place(address_, ids::kAddressEdit, 4, 34, 349, 13, kStretchX);

    QPushButton* add = AddButton(ids::kAdd, QStringLiteral("&Add"), 360, 33, 38, 16, kMoveX);
    add->setDefault(true);
    AddButton(ids::kRemove, QStringLiteral("R&emove"), 360, 53, 38, 16, kMoveX);
    AddButton(ids::kSubmit, QStringLiteral("&Submit"), 360, 73, 38, 16, kMoveX);
    AddButton(ids::kAnalyze, QStringLiteral("Analy&ze"), 360, 99, 38, 16, kMoveX);
    AddButton(ids::kPopularity, QStringLiteral("&Popularity"), 360, 119, 38, 16, kMoveX);
    AddButton(ids::kPing, QStringLiteral("P&ing"), 360, 139, 38, 16, kMoveX);
    AddButton(ids::kRank, QStringLiteral("Ra&nk"), 360, 159, 38, 16, kMoveX);
    AddButton(ids::kKeywords, QStringLiteral("&Keywords"), 360, 179, 38, 16, kMoveX);
    AddButton(ids::kAdvertise, QStringLiteral("Ad&vertise"), 360, 199, 38, 16, kMoveX);
    AddButton(ids::kImport, QStringLiteral("&Import"), 360, 219, 38, 16, kMoveX);

    model_ = new UrlListModel(session_.db(), this);
    list_ = new UrlListView(this);
    list_->setModel(model_);
    Place(list_, ids::kDatabaseList, 4, 48, 349, 187, kStretchX | kStretchY);

    AddLabel(ids::kEmailLabel, QStringLiteral("Email Address"), 4, 237, 113, 8, kMoveY);
    email_ = new QLineEdit(this);
    email_->setMaxLength(std::numeric_limits<int>::max());
    Place(email_, ids::kEmailEdit, 4, 246, 350, 14, kStretchX | kMoveY);

    AddButton(ids::kSubmitAll, QStringLiteral("Submit &All"), 4, 266, 41, 16, kMoveY);
    AddButton(ids::kEngines, QStringLiteral("&Engines"), 50, 266, 40, 16, kMoveY);
    QPushButton* upgrade = AddButton(ids::kUpgrade, QStringLiteral("&Upgrade"), 95, 266, 40, 16, kMoveY);
    upgrade->setEnabled(false);
    upgrade->hide();
    AddButton(ids::kHelp, QStringLiteral("&Help"), 315, 266, 40, 16, kMoveX | kMoveY);
    AddButton(ids::kQuit, QStringLiteral("&Quit"), 359, 266, 40, 16, kMoveX | kMoveY);

    grip_ = new QSizeGrip(this);
    grip_->setObjectName(QStringLiteral("sizeGrip"));
    PlaceSizeGrip();

    connect(address_, &QLineEdit::textChanged, this, &MainWindow::UpdateAddButton);
    connect(list_, &UrlListView::itemsChanged, this, &MainWindow::UpdateSelectionButtons);
    connect(list_, &UrlListView::listDoubleClicked, this, &MainWindow::OnListDoubleClicked);
    connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this, &MainWindow::OnSortColumn);

    const std::pair<int, void (MainWindow::*)()> commands[] = {
        {ids::kAdd, &MainWindow::OnAdd},
        {ids::kRemove, &MainWindow::OnRemove},
        {ids::kSubmit, &MainWindow::OnSubmitSelected},
        {ids::kAnalyze, &MainWindow::OnAnalyze},
        {ids::kPopularity, &MainWindow::OnPopularity},
        {ids::kPing, &MainWindow::OnPing},
        {ids::kRank, &MainWindow::OnRank},
        {ids::kKeywords, &MainWindow::OnKeywords},
        {ids::kAdvertise, &MainWindow::OnAdvertise},
        {ids::kImport, &MainWindow::OnImport},
        {ids::kSubmitAll, &MainWindow::OnSubmitAll},
        {ids::kEngines, &MainWindow::OnEngines},
        {ids::kUpgrade, &MainWindow::OnUpgrade},
        {ids::kHelp, &MainWindow::OnHelp},
        {ids::kQuit, &MainWindow::OnQuit},
    };
    for (const auto& [id, handler] : commands) {
        connect(button(id), &QPushButton::clicked, this, handler);
    }
    // Not a button: the window's layout stays as it is; the action lives in the context menu and on
    // the window, so that its shortcut works whenever the window has the focus.
    const auto windowAction = [this](const QString& text, const QString& name, Qt::Key key,
                                     void (MainWindow::*handler)()) {
        auto* action = new QAction(text, this);
        action->setObjectName(name);
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | key));
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    checkAll_ = windowAction(QString::fromLatin1(kCheckAllCaption) + QStringLiteral("..."),
                             QStringLiteral("checkAllAction"), Qt::Key_I, &MainWindow::OnCheckAll);
    audit_ = windowAction(QStringLiteral("Audit Site..."), QStringLiteral("auditAction"), Qt::Key_A,
                          &MainWindow::OnAudit);
    history_ = windowAction(QString::fromLatin1(kHistoryCaption) + QStringLiteral("..."),
                            QStringLiteral("historyAction"), Qt::Key_H, &MainWindow::OnHistory);
}

void MainWindow::SetToolTips() {
    const std::pair<int, QString> tips[] = {
        {ids::kSubmitAll, QStringLiteral("Begin submitting the database list to the search engines.")},
        {ids::kAddressEdit,
         QStringLiteral("Enter a web page address in the form: http://") + QLatin1String(kExampleAddress)},
        {ids::kEmailEdit, QStringLiteral("Your Email Address, all search engines require this.")},
        {ids::kAdd, QStringLiteral("Add this URL to the database of sites to submit to the engines.")},
        {ids::kRemove, QStringLiteral("Remove this URL from the database.")},
        {ids::kDatabaseList, QStringLiteral("This is the database list. Enter a web address in the space "
                                            "provided above and click ADD.")},
        {ids::kSubmit, QStringLiteral("Submit the single URL currently selected in the database.")},
        {ids::kPopularity,
         QStringLiteral("Count how many other web sites link to yours in the search engines.")},
        {ids::kRank, QStringLiteral("Rank your web site in the search engines.")},
        {ids::kPing, QStringLiteral("Test the web site currently selected for its web server status.")},
        {ids::kImport,
         QStringLiteral("Read a file containing URLs in a per-line or comma-delimited format.")},
        {ids::kAdvertise, QStringLiteral("Resources for additional advertising in search engines.")},
        {ids::kKeywords, QStringLiteral("The keyword suggestion tool shows your competitors' keywords.")},
        {ids::kAnalyze, QStringLiteral("Analyze your web page's meta tags, description, and title")},
    };
    for (const auto& [id, tip] : tips) {
        control(id)->setToolTip(tip);
    }
}

QWidget* MainWindow::control(int id) const {
    return findChild<QWidget*>(ids::ControlName(id), Qt::FindDirectChildrenOnly);
}

QPushButton* MainWindow::button(int id) const {
    return qobject_cast<QPushButton*>(control(id));
}

QString MainWindow::addressText() const {
    return address_->text();
}

void MainWindow::takeFields() {
    // Only a changed field replaces the stored bytes, so an address that is not valid UTF-8 survives.
    const QString shown = email_->text();
    if (shown != ToQString(database().email())) {
        database().setEmail(ToBytes(shown));
    }
}

std::vector<std::size_t> MainWindow::selectedRows() const {
    return list_->selectedRows();
}

void MainWindow::UpdateAddButton() {
    button(ids::kAdd)->setEnabled(!address_->text().isEmpty());
}

void MainWindow::UpdateSelectionButtons() {
    const bool any = list_->hasSelectedRow();
    for (int id : {ids::kRemove, ids::kSubmit, ids::kPopularity, ids::kPing, ids::kAnalyze}) {
        button(id)->setEnabled(any);
    }
}

void MainWindow::LoadBackgroundPicture() {
    const fs::path file = sendwell::BackgroundPicturePath(programFolder_);
    std::error_code ec;
    if (programFolder_.empty() || !fs::is_regular_file(file, ec)) {
        return;
    }
    QPixmap picture;
    if (picture.load(PathText(file))) {
        list_->setBackgroundPicture(picture);
    }
}

void MainWindow::PlaceSizeGrip() {
    const int w = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const int h = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    grip_->setFixedSize(w, h);
    grip_->move(width() - w, height() - h);
    grip_->raise();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (isMinimized()) {
        return;
    }
    if (anchors_.clientResized(event->size())) {
        resized_ = true;
    }
    PlaceSizeGrip();
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    addContextMenuItems(&menu);
    menu.exec(event->globalPos());
}

void MainWindow::addContextMenuItems(QMenu* menu) {
    // The About item, the sitemap export, the status check of all addresses and the site audit live in
    // the window's own context menu. New items go last, so that the others keep their places.
    QAction* about = menu->addAction(QStringLiteral("&About Sendwell! Pro..."));
    about->setObjectName(QStringLiteral("aboutAction"));
    connect(about, &QAction::triggered, this, &MainWindow::ShowAbout);
    QAction* exportSitemap = menu->addAction(QStringLiteral("Export &Sitemap..."));
    exportSitemap->setObjectName(QStringLiteral("exportSitemapAction"));
    connect(exportSitemap, &QAction::triggered, this, [this] {
        const UrlListModel::SortHold hold(*model_);
        RunSitemapExport(this, database(), *messages_);
    });
    menu->addAction(checkAll_);
    menu->addAction(audit_);
    menu->addAction(history_); // last, so that the items above keep their places
}

void MainWindow::ShowAbout() {
    AboutDialog about(this);
    about.exec();
}

void MainWindow::OnAdd() {
    takeFields();
    const std::string text = ToBytes(address_->text());
    switch (model_->addCommand(text)) {
    case sendwell::AddOutcome::Nothing:
        break;
    case sendwell::AddOutcome::InvalidUrl:
        messages_->ShowMessage(sendwell::kInvalidUrlText, sendwell::kInvalidUrlCaption);
        break;
    case sendwell::AddOutcome::Appended:
        address_->clear();
        break;
    }
}

void MainWindow::OnRemove() {
    // The selection names rows as they are shown, so a sort under way is put in place first.
    model_->finishSort();
    const long select = model_->removeRows(list_->selectedRows());
    if (select >= 0 && model_->rowCount() > 0) {
        const QModelIndex first = model_->index(static_cast<int>(select), 0);
        list_->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
    }
    UpdateSelectionButtons();
}

void MainWindow::OnImport() {
    const QString file = ChooseFile(this, importChooser_, [](QFileDialog& dialog) {
        // Any name may be typed; one that names no readable file imports nothing.
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(ImportFileFilters());
    });
    if (file.isEmpty()) {
        return;
    }
    try {
        const fs::path path = ToPath(file);
        if (sendwell::LooksLikeSitemapFile(path.string())) {
            RunSitemapImport(this, *model_, path, connection_, *messages_);
        } else {
            RunImportCommand(this, *model_, path);
        }
    } catch (const std::bad_alloc&) {
        // More addresses than memory holds: the import stops, the program and its list go on.
    }
}

void MainWindow::OnSortColumn(int column) {
    // A long list is sorted on another thread, and the window takes input meanwhile: what changes the
    // rows waits for the sort in the model, everything else goes on at once.
    list_->setCursor(Qt::BusyCursor);
    model_->startSort(column, [this](sendwell::UrlDatabase::SortPlan* plan) {
        if (!model_->sortPending()) {
            list_->unsetCursor();
        }
        if (plan != nullptr) {
            ApplySort(std::move(*plan));
        }
    });
}

void MainWindow::ApplySort(sendwell::UrlDatabase::SortPlan plan) {
    // Sorting moves whole rows; the selection moves with them.
    const std::vector<std::size_t> before = list_->selectedRows();
    const std::vector<std::uint32_t> order = model_->applySort(std::move(plan));

    if (!order.empty() && !before.empty()) {
        std::vector<char> chosen(order.size(), 0);
        for (std::size_t r : before) {
            chosen[r] = 1;
        }
        std::vector<std::size_t> after;
        after.reserve(before.size());
        for (std::size_t r = 0; r < order.size(); ++r) {
            if (chosen[order[r]] != 0) {
                after.push_back(r);
            }
        }
        // Rows scattered by the sort make one selection range each, and Qt merges ranges pairwise:
        // past a few thousand, keeping the selection would stall every later selection change.
        std::size_t ranges = 0;
        for (std::size_t i = 0; i < after.size(); ++i) {
            ranges += (i == 0 || after[i] != after[i - 1] + 1) ? 1 : 0;
        }
        if (ranges <= kMaxKeptSelectionRanges) {
            list_->selectRows(after);
        } else {
            list_->clearSelection();
        }
    } else if (!before.empty()) {
        list_->selectRows(before);
    }
    UpdateSelectionButtons();
}

void MainWindow::setSoundPlayer(SoundPlayer* sounds) {
    submit_->setSoundPlayer(sounds != nullptr ? sounds : ownSounds_.get());
}

void MainWindow::OnQuit() {
    if (closing_) {
        return;
    }
    // Closing in the middle of a run would pull the window from under the run's review and marking:
    // Quit, Escape and the close box cancel the run instead, and the window stays.
    if (submit_->runInProgress()) {
        if (SubmitProgressDialog* progress = ActiveProgressWindow()) {
            progress->cancel();
            progress->raise();
        }
        return;
    }
    closing_ = true;
    SaveDatabaseNow();
    QDialog::reject();
}

bool MainWindow::SaveDatabaseNow() {
    model_->finishSort();
    takeFields();
    if (!session_.Save()) {
        // The old file is still intact; say so rather than lose this session's changes unnoticed.
        messages_->ShowMessage(session_.SaveFailureText(), sendwell::kAppCaption,
                               sendwell::MessageIcon::Warning);
        return false;
    }
    return true;
}

void MainWindow::accept() {
    // Submit All is the dialog's OK command; it never closes the window.
    OnSubmitAll();
}

void MainWindow::reject() {
    OnQuit();
}

// A submission reads the rows in the order shown when it starts; a sort that ends meanwhile is put in
// place after it, so the window need not wait for one.
void MainWindow::OnSubmitAll() {
    const UrlListModel::SortHold hold(*model_);
    submit_->SubmitAll();
}

void MainWindow::OnSubmitSelected() {
    const UrlListModel::SortHold hold(*model_);
    submit_->SubmitButton(selectedRows());
}

void MainWindow::OnListDoubleClicked() {
    const UrlListModel::SortHold hold(*model_);
    if (!list_->hasSelectedRow()) {
        return;
    }
    submit_->ListDoubleClicked(selectedRows());
}

void MainWindow::OnEngines() {
    EnginesDialog dialog(connection_, this);
    dialog.exec();
}
void MainWindow::OnAnalyze() {
    RunAnalyzeCommand(this, *messages_, sendwell::LastSelectedAddress(database(), selectedRows()),
                      connection_);
}
void MainWindow::OnPopularity() {
    RunPopularityCommand(*messages_, sendwell::LastSelectedAddress(database(), selectedRows()));
}
void MainWindow::OnPing() {
    std::vector<std::size_t> rows = selectedRows();
    std::string address;
    if (!rows.empty()) {
        address = database().rows()[*std::min_element(rows.begin(), rows.end())].url;
    }
    RunPingCommand(this, *messages_, address);
}
void MainWindow::OnCheckAll() {
    // The selection names rows as they are shown, so a sort under way is put in place first.
    model_->finishSort();
    std::vector<std::size_t> rows = selectedRows();
    if (rows.size() < 2) {
        rows.resize(database().recordCount());
        std::iota(rows.begin(), rows.end(), std::size_t{0});
    } else {
        std::sort(rows.begin(), rows.end());
    }
    if (rows.empty()) {
        return;
    }
    std::vector<std::string> addresses;
    addresses.reserve(rows.size());
    for (const std::size_t row : rows) {
        addresses.push_back(database().rows()[row].url);
    }
    OpenStatusResults(this, *messages_, std::move(addresses), connection_, notifier_);
}
void MainWindow::OnHistory() {
    if (historyWindow_ != nullptr) {
        historyWindow_->reload();
        historyWindow_->raise();
        historyWindow_->activateWindow();
        return;
    }
    historyWindow_ = OpenHistoryWindow(this, *messages_);
}
void MainWindow::OnAudit() {
    model_->finishSort();
    std::vector<std::size_t> rows = selectedRows();
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> starts;
    for (const std::size_t row : rows) {
        starts.push_back(database().rows()[row].url);
    }
    if (starts.empty() && !address_->text().trimmed().isEmpty()) {
        starts.push_back(ToBytes(address_->text().trimmed()));
    }
    SiteAuditWindow* window = OpenSiteAudit(this, *messages_, starts, connection_);
    notifier_->Watch(window->startButton(), &QPushButton::clicked, window, &SiteAuditWindow::finished,
                     QStringLiteral("Site audit finished"),
                     [window] { return window->statusLabel()->text(); });
}
void MainWindow::OnRank() {
    RunRankCommand(this, sendwell::LastSelectedAddress(database(), selectedRows()), programFolder_);
}
void MainWindow::OnKeywords() {
    RunKeywordsCommand(this, *messages_);
}
void MainWindow::OnAdvertise() {
    RunAdvertiseCommand(this);
}
void MainWindow::OnUpgrade() {
    upgrade_->Run();
}
void MainWindow::OnHelp() {
    ShowHelpWindow(this);
}

} // namespace sendwell::gui
