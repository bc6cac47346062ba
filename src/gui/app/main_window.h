// The main window: the URL database list, the address and e-mail fields, one button per command.
// Controls sit at fixed dialog-unit positions and follow the window's edges through anchors.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/prompt.h"
#include "core/urldb/database_session.h"
#include "core/urldb/url_database.h"
#include "gui/base/dialog_layout.h"

#include <QDialog>
#include <QPointer>
#include <QSize>
#include <QString>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSizeGrip;

namespace sendwell::gui {

class DesktopNotifier;
class HistoryWindow;
class SoundPlayer;
class SplashWindow;
class SubmitController;
class UpgradeCommand;
class UrlListModel;
class UrlListView;

class MainWindow : public QDialog {
    Q_OBJECT
public:
    // The window's client size in dialog units, and how far below it the user may shrink it (pixels).
    static constexpr int kWidthDu = 412;
    static constexpr int kHeightDu = 286;
    static constexpr int kShrinkWidth = 100;
    static constexpr int kShrinkHeight = 43;
    // The example address of the address field's tooltip (the "Invalid URL" message names the same).
    static constexpr const char* kExampleAddress = "www.example.com";

    // Builds the window over the session's database, which the caller loads (see StartWindow in
    // application.h) and which must outlive the window, as must messages, which shows every message box
    // of the window.
    MainWindow(sendwell::DatabaseSession& session, sendwell::Prompt* messages, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The control with the given id (see gui/base/control_ids.h), or nullptr.
    QWidget* control(int id) const;
    QPushButton* button(int id) const;

    sendwell::UrlDatabase& database() { return session_.db(); }
    UrlListModel* listModel() const { return model_; }
    UrlListView* list() const { return list_; }
    SplashWindow* splash() const { return splash_; }
    sendwell::Prompt& messages() const { return *messages_; }

    const std::filesystem::path& programFolder() const { return programFolder_; }
    const std::filesystem::path& databaseFile() const { return session_.file(); }
    const sendwell::ConnectionSettings& connectionSettings() const { return connection_; }

    QString addressText() const;
    // Copies the e-mail field into the database (the fields' values before a command).
    void takeFields();
    // Shows what a load put into the database outside the list: the e-mail address.
    void showLoadedFields();
    std::vector<std::size_t> selectedRows() const;

    QSize creationSize() const { return creationSize_; }
    bool resizedByUser() const { return resized_; }

    // Picks the file for Import; returns an empty text when cancelled. Tests replace the file dialog.
    using ImportFileChooser = std::function<QString(QWidget* parent)>;
    void setImportFileChooser(ImportFileChooser chooser) { importChooser_ = std::move(chooser); }

    // The submission commands (Submit All, Submit, double-click) and the sounds they play.
    SubmitController& submitController() const { return *submit_; }
    // Replaces the sound output (tests record instead of playing); the window does not own it.
    void setSoundPlayer(SoundPlayer* sounds);
    // The upgrade check and install, with the checker it owns for the whole run.
    UpgradeCommand& upgradeCommand() const { return *upgrade_; }
    // "Check All Addresses" of the context menu, with its shortcut.
    QAction* checkAllAction() const { return checkAll_; }
    // "Audit Site..." of the context menu, with its shortcut.
    QAction* auditAction() const { return audit_; }
    // The items of the window's context menu, in their order.
    void addContextMenuItems(QMenu* menu);
    // "History..." of the context menu, with its shortcut.
    QAction* historyAction() const { return history_; }
    // Tells the desktop when long work ends while the user is in another program's window.
    DesktopNotifier* notifier() const { return notifier_; }

public slots:
    void OnAdd();
    void OnRemove();
    void OnImport();
    void OnSortColumn(int column);
    // Saves the database and closes the window: Quit, the close box and Escape all end here.
    void OnQuit();
    void ShowAbout();

    // Commands whose windows live elsewhere: each hands over to its feature's command code.
    void OnSubmitAll();
    void OnSubmitSelected();
    void OnListDoubleClicked();
    void OnEngines();
    void OnAnalyze();
    void OnPopularity();
    void OnPing();
    // "Check All Addresses": the status of every row, or of the selected rows when more than one is.
    void OnCheckAll();
    // "Audit Site...": a crawl from the selected rows, else from the address typed above the list.
    void OnAudit();
    // "History...": the run history in a window of its own (one at a time).
    void OnHistory();
    void OnRank();
    void OnKeywords();
    void OnAdvertise();
    void OnUpgrade();
    void OnHelp();

    void accept() override;
    void reject() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CreateControls();
    QPushButton* AddButton(int id, const QString& text, int x, int y, int width, int height, int anchor);
    QLabel* AddLabel(int id, const QString& text, int x, int y, int width, int height, int anchor);
    void Place(QWidget* widget, int id, int x, int y, int width, int height, int anchor);
    void SetToolTips();
    void UpdateAddButton();
    void UpdateSelectionButtons();
    void PlaceSizeGrip();
    void LoadBackgroundPicture();
    // Puts the rows in a sort's order, keeping the selected rows selected.
    void ApplySort(sendwell::UrlDatabase::SortPlan plan);
    // Writes the database and the e-mail address; says so when the file could not be written.
    bool SaveDatabaseNow();

    sendwell::DatabaseSession& session_;
    sendwell::Prompt* messages_;
    UrlListModel* model_ = nullptr;
    UrlListView* list_ = nullptr;
    QLineEdit* address_ = nullptr;
    QLineEdit* email_ = nullptr;
    QLabel* header_ = nullptr;
    QLabel* icon_ = nullptr;
    QSizeGrip* grip_ = nullptr;
    SplashWindow* splash_ = nullptr;

    DialogUnits units_;
    AnchorLayout anchors_;
    QSize creationSize_;
    bool resized_ = false;
    bool closing_ = false;

    std::filesystem::path programFolder_;
    // Read once at start-up; every request the window makes goes this way.
    sendwell::ConnectionSettings connection_;
    ImportFileChooser importChooser_;
    std::unique_ptr<SoundPlayer> ownSounds_;
    SubmitController* submit_ = nullptr;
    UpgradeCommand* upgrade_ = nullptr;
    QAction* checkAll_ = nullptr;
    QAction* audit_ = nullptr;
    QAction* history_ = nullptr;
    DesktopNotifier* notifier_ = nullptr;
    QPointer<HistoryWindow> historyWindow_;
};

} // namespace sendwell::gui
