// The windows' prompt: message boxes, the Yes/No question box and the password dialog, each modal to
// a parent window. Callable from any thread: every call is carried to the UI thread and waits there
// for the user's answer.
#pragma once

#include "core/base/prompt.h"

#include <QPointer>
#include <QWidget>

namespace sendwell::gui {

class DialogPrompt : public sendwell::Prompt {
public:
    explicit DialogPrompt(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void ShowMessage(const std::string& text, const std::string& caption,
                     sendwell::MessageIcon icon = sendwell::MessageIcon::None) override;
    // Yes is the default button.
    bool Confirm(const std::string& text, const std::string& caption) override;
    // Nothing typed is kept once the answer is handed back; without an application, none.
    std::optional<sendwell::Credentials> AskCredentials(const std::string& address,
                                                        const std::string& realm) override;

private:
    QPointer<QWidget> parent_;
};

} // namespace sendwell::gui
