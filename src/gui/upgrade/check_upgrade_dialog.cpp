#include "gui/upgrade/check_upgrade_dialog.h"

#include "core/upgrade/upgrade_checker.h"
#include "gui/base/dialog_layout.h"

#include <QLabel>
#include <QPushButton>

namespace sendwell::gui {

namespace {

constexpr int kWidthDu = 160;
constexpr int kHeightDu = 58;

} // namespace

CheckUpgradeDialog::CheckUpgradeDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("checkUpgradeDialog"));
    setWindowTitle(QStringLiteral("Check for Upgrade"));
    setFont(DialogFont());
    DialogUnits du(font());
    setFixedSize(du.size(kWidthDu, kHeightDu));

    auto* text = new QLabel(QString::fromUtf8(sendwell::kCheckForUpgradeText), this);
    text->setWordWrap(true);
    text->setGeometry(du.rect(7, 7, 146, 20));

    ok_ = new QPushButton(QStringLiteral("&OK"), this);
    ok_->setObjectName(QStringLiteral("okButton"));
    ok_->setGeometry(du.rect(25, 35, 50, 14));
    ok_->setDefault(true);
    close_ = new QPushButton(QStringLiteral("&Close"), this);
    close_->setObjectName(QStringLiteral("closeButton"));
    close_->setGeometry(du.rect(85, 35, 50, 14));

    connect(ok_, &QPushButton::clicked, this, &CheckUpgradeDialog::checkRequested);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
}

void CheckUpgradeDialog::checkDone() {
    ok_->setEnabled(false);
    ok_->setDefault(false);
    close_->setDefault(true);
    close_->setFocus();
}

} // namespace sendwell::gui
