// The small dialog that asks for a user name and password when a fetched page is protected.
#pragma once

#include <QDialog>

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

} // namespace sendwell
