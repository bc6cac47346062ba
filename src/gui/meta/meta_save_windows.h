// The meta-tag writer's windows: the save dialog, "Inserting New Keywords", the cancel question and
// "Description", and the entry point the "&Save" of the suggested keywords calls.
#pragma once

#include "core/base/prompt.h"
#include "core/meta/meta_save.h"

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>

class QLineEdit;

namespace sendwell::gui {

inline constexpr const char* kInsertCaption = "Inserting New Keywords";
inline constexpr const char* kInsertText =
    "Should the new Keywords be inserted BEFORE, AFTER, or REPLACE the "
    "existing keywords in your web page?";
inline constexpr const char* kDescriptionCaption = "Description";

// Asks where new keywords go; chosen() is empty after "&Cancel" (or Escape).
class InsertModeDialog : public QDialog {
    Q_OBJECT
public:
    explicit InsertModeDialog(QWidget* parent = nullptr);
    std::optional<sendwell::InsertMode> chosen() const { return chosen_; }

private:
    std::optional<sendwell::InsertMode> chosen_;
};

// Offers the page's description for editing.
class DescriptionDialog : public QDialog {
    Q_OBJECT
public:
    explicit DescriptionDialog(const QString& description, QWidget* parent = nullptr);
    QString description() const;

private:
    QLineEdit* edit_ = nullptr;
};

class MetaSaveWindowsOnScreen : public sendwell::MetaSaveWindows {
public:
    // Picks the page to write; returns "" when cancelled. Tests replace the file dialog.
    using PageChooser = std::function<QString(QWidget* parent)>;

    explicit MetaSaveWindowsOnScreen(QWidget* parent, PageChooser chooser = {});

    std::optional<std::filesystem::path> ChooseTargetPage() override;
    std::optional<sendwell::InsertMode> ChooseInsertMode() override;
    bool ConfirmCancelSaving() override;
    std::optional<std::string> EditDescription(const std::string& description) override;

private:
    QWidget* parent_;
    PageChooser chooser_;
};

// Writes keywords (the chosen entries joined by ",") and then the edited description into a page the
// user picks, keeping a backup, and reports the outcome through messages. Returns when it is all over;
// closing the calling window is the caller's business.
void SaveKeywordsToPage(QWidget* parent, sendwell::Prompt& messages, const std::string& keywords,
                        MetaSaveWindowsOnScreen::PageChooser chooser = {});

} // namespace sendwell::gui
