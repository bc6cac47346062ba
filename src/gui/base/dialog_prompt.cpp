#include "gui/base/dialog_prompt.h"

#include "gui/base/background_work.h"
#include "gui/base/password_dialog.h"
#include "gui/base/text_bytes.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace sendwell::gui {

namespace {

QMessageBox::Icon ToQtIcon(sendwell::MessageIcon icon) {
    switch (icon) {
    case sendwell::MessageIcon::Information:
        return QMessageBox::Information;
    case sendwell::MessageIcon::Warning:
        return QMessageBox::Warning;
    case sendwell::MessageIcon::Error:
        return QMessageBox::Critical;
    case sendwell::MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void DialogPrompt::ShowMessage(const std::string& text, const std::string& caption,
                               sendwell::MessageIcon icon) {
    InvokeOnUiThreadAndWait([&] {
        QMessageBox box(ToQtIcon(icon), ToQString(caption), ToQString(text), QMessageBox::Ok, parent_.data());
        box.exec();
    });
}

bool DialogPrompt::Confirm(const std::string& text, const std::string& caption) {
    bool yes = false;
    InvokeOnUiThreadAndWait([&] {
        QMessageBox box(QMessageBox::Question, ToQString(caption), ToQString(text),
                        QMessageBox::Yes | QMessageBox::No, parent_.data());
        box.setDefaultButton(QMessageBox::Yes);
        yes = box.exec() == QMessageBox::Yes;
    });
    return yes;
}

std::optional<sendwell::Credentials> DialogPrompt::AskCredentials(const std::string& address,
                                                                  const std::string& realm) {
    if (QCoreApplication::instance() == nullptr) {
        return std::nullopt; // no window can be shown
    }
    std::optional<sendwell::Credentials> answer;
    InvokeOnUiThreadAndWait([&] {
        PasswordDialog dialog(ToQString(address), ToQString(realm), parent_.data());
        if (dialog.exec() == QDialog::Accepted) {
            answer = sendwell::Credentials{dialog.userName().toStdString(), dialog.password().toStdString()};
        }
    });
    return answer;
}

} // namespace sendwell::gui
