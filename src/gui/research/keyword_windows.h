// The "&Keywords" command's windows: "Keyword Suggestion Tool", the progress window and "Suggested
// Keywords", and the command that runs them.
#pragma once

#include "core/base/prompt.h"
#include "core/research/keyword_suggestion.h"
#include "gui/base/address_opener.h"
#include "gui/meta/meta_save_windows.h"

#include <QDialog>
#include <atomic>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;

namespace sendwell::gui {

// Asks for the target keywords; OK with an empty field says so and stays open.
class KeywordToolDialog : public QDialog {
    Q_OBJECT
public:
    KeywordToolDialog(QWidget* parent, sendwell::Prompt& messages, AddressOpener& opener);
    std::string typed() const;
    void accept() override;

private:
    sendwell::Prompt& messages_;
    QLineEdit* edit_ = nullptr;
};

// Status line, bar 0 to 10 and a looping animation while the keywords are collected. Escape asks the
// run to stop before its next page.
class KeywordProgressWindow : public QDialog {
    Q_OBJECT
public:
    explicit KeywordProgressWindow(QWidget* owner);
    QString status() const;
    int position() const;
    void setStatus(const QString& text);
    void setPosition(int position);
    const std::atomic<bool>& cancelRequested() const { return cancel_; }

public slots:
    void reject() override;

private:
    QLabel* status_ = nullptr;
    QProgressBar* bar_ = nullptr;
    std::atomic<bool> cancel_{false};
};

// The merged words, sorted without regard to case, several selectable at once.
class SuggestedKeywordsDialog : public QDialog {
    Q_OBJECT
public:
    SuggestedKeywordsDialog(const std::vector<std::string>& words, QWidget* parent);
    QListWidget* list() const { return list_; }
    // The highlighted entries in the order they stand in the list.
    std::vector<std::string> chosen() const;

private:
    QListWidget* list_ = nullptr;
};

// The whole command. "&Save" hands the chosen words to the meta-tag writer (chooser picks its page).
void RunKeywordsCommand(QWidget* parent, sendwell::Prompt& messages, AddressOpener& opener = DesktopOpener(),
                        MetaSaveWindowsOnScreen::PageChooser chooser = {});

} // namespace sendwell::gui
