// The small dialog that asks for a user name and password when a fetched page is protected, and the
// credentials prompt that the page fetch calls to show it.
#pragma once

#include "core/web/credentials_prompt.h"

#include <QDialog>
#include <QPointer>

class QLineEdit;

namespace sendwell {

class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    PasswordDialog(const QString& address, const QString& realm, QWidget* parent = nullptr);

    QString userName() const;
    QString password() const;

private:
    QLineEdit* user_;
    QLineEdit* password_;
};

// Shows PasswordDialog on the UI thread; may be called from any thread and blocks it until the user
// answers. Nothing typed is kept once the answer is handed back.
class DialogCredentialsPrompt : public CredentialsPrompt {
public:
    explicit DialogCredentialsPrompt(QWidget* parent = nullptr) : parent_(parent) {}
    std::optional<Credentials> AskCredentials(const std::string& address, const std::string& realm) override;

private:
    QPointer<QWidget> parent_;
};

} // namespace sendwell
