// The "Ra&nk" command's windows: "Enter Search Keywords" and "Search Engine Check Results", the list
// of engines beside a browser that shows the chosen engine's result page.
#pragma once

#include "core/research/rank_check.h"
#include "gui/base/address_opener.h"
#include "gui/base/dialog_layout.h"

#include <QDialog>
#include <filesystem>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QSizeGrip;
class QWebEngineView;

namespace sendwell::gui {

class RankKeywordsDialog : public QDialog {
    Q_OBJECT
public:
    RankKeywordsDialog(const std::string& initial, QWidget* parent);
    std::string keywords() const;

private:
    QLineEdit* edit_ = nullptr;
};

class RankResultsDialog : public QDialog {
    Q_OBJECT
public:
    // folder is where the engines' leftover files are removed on "Close"; the vendor link of the start
    // page goes to opener.
    RankResultsDialog(std::vector<sendwell::RankEngine> engines, std::filesystem::path folder,
                      QWidget* parent, AddressOpener& opener = DesktopOpener());
    ~RankResultsDialog() override;

    QListWidget* list() const { return list_; }
    QWebEngineView* browser() const { return browser_; }
    // The page shown before any engine is chosen.
    static QString StartPage();

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowEngine(int row);
    int SelectedRow() const; // -1: none
    void PlaceSizeGrip();

    std::vector<sendwell::RankEngine> engines_;
    std::filesystem::path folder_;
    QListWidget* list_ = nullptr;
    QWebEngineView* browser_ = nullptr;
    QSizeGrip* grip_ = nullptr;
    AnchorLayout anchors_;
    int rowBeforePress_ = -1;
    bool opened_ = false;
    bool resized_ = false;
};

// The whole command. lastSelected is the "Web URL" of the last selected row ("" when none is).
void RunRankCommand(QWidget* parent, const std::string& lastSelected, const std::filesystem::path& folder);

} // namespace sendwell::gui
