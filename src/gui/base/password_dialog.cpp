#include "gui/base/password_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QUrl>
#include <QVBoxLayout>

namespace sendwell {

PasswordDialog::PasswordDialog(const QString& address, const QString& realm, QWidget* parent)
    : QDialog(parent), user_(new QLineEdit(this)), password_(new QLineEdit(this)) {
    setWindowTitle(tr("Password Required"));
    QString host = QUrl(address).host();
    auto* intro = new QLabel(
        tr("The site %1 asks for a user name and password.").arg(host.isEmpty() ? address : host), this);
    intro->setWordWrap(true);
    user_->setObjectName(QStringLiteral("userEdit"));
    password_->setObjectName(QStringLiteral("passwordEdit"));
    password_->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    if (!realm.isEmpty()) {
        form->addRow(tr("Realm:"), new QLabel(realm, this));
    }
    form->addRow(tr("&User name:"), user_);
    form->addRow(tr("&Password:"), password_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(buttons);
    user_->setFocus();
}

QString PasswordDialog::userName() const {
    return user_->text();
}

QString PasswordDialog::password() const {
    return password_->text();
}

} // namespace sendwell
