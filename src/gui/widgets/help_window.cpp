#include "gui/widgets/help_window.h"

#include "core/base/vendor_addresses.h"
#include "gui/base/control_ids.h"
#include "gui/base/dialog_layout.h"
#include "gui/base/fixed_dialog.h"
#include "gui/base/program_info.h"
#include "gui/base/text_bytes.h"
#include "gui/widgets/hyperlink.h"
#include "gui/widgets/push_button.h"

#include <QFile>
#include <QLabel>
#include <QUrl>
#include <QWebEngineView>

namespace sendwell::gui {

namespace {

constexpr int kWidthDu = 469;
constexpr int kHeightDu = 329;

} // namespace

QString HelpWindow::StartPage() {
    InitResources();
    QFile page(QStringLiteral(":/help/start.html"));
    if (!page.open(QIODevice::ReadOnly)) {
        return {};
    }
    QString html = QString::fromUtf8(page.readAll());
    return html.replace(QStringLiteral("{{ONLINE_HELP}}"),
                        ToQString(sendwell::OnlineHelpAddress()).toHtmlEscaped());
}

HelpWindow::HelpWindow(QWidget* parent, AddressOpener* opener) : QDialog(parent) {
    InitResources();
    const DialogUnits du = SetUpFixedDialog(*this, QStringLiteral("helpWindow"),
                                            QStringLiteral("Sendwell! Pro Help"), kWidthDu, kHeightDu);

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    icon->setGeometry(du.rect(7, 7, 21, 20));
    auto* name = new QLabel(QStringLiteral("Sendwell! Pro v") + VersionText(), this);
    name->setGeometry(du.rect(35, 13, 150, 8));

    browser_ = new QWebEngineView(this);
    browser_->setObjectName(ids::ControlName(kBrowser));
    browser_->setGeometry(du.rect(7, 31, 455, 272));

    email_ = new Hyperlink(ToQString(sendwell::VendorSupportEmail()), this);
    email_->setObjectName(ids::ControlName(kEmailLink));
    email_->setOpener(opener);
    email_->attach(du.rect(7, 312, 160, 8));
    web_ = new Hyperlink(ToQString(sendwell::VendorWebAddress()), this);
    web_->setObjectName(ids::ControlName(kWebLink));
    web_->setOpener(opener);
    web_->attach(du.rect(180, 312, 160, 8));

    ok_ = new PushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(ids::ControlName(kOk));
    ok_->setGeometry(du.rect(412, 308, 50, 14));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    // The page is ours and local, so it shows without a network; only its link needs one.
    browser_->setHtml(StartPage(), QUrl(QStringLiteral("qrc:/help/")));
}

void ShowHelpWindow(QWidget* parent) {
    HelpWindow help(parent);
    help.exec();
}

} // namespace sendwell::gui
