#include "gui/research/promotion_windows.h"

#include "core/research/promotion.h"
#include "gui/base/control_ids.h"
#include "gui/base/dialog_layout.h"
#include "gui/base/fixed_dialog.h"
#include "gui/base/program_info.h"
#include "gui/base/text_bytes.h"
#include "gui/widgets/push_button.h"
#include "gui/widgets/styled_label.h"

#include <QLabel>

namespace sendwell::gui {

namespace {

// Heading and button ids, in the order of the services.
constexpr int kHeadings[] = {1003, 1010, 1009, 1008};
constexpr int kButtons[] = {1077, 1076, 1065, 1079};

} // namespace

PromotionDialog::PromotionDialog(QWidget* parent, AddressOpener& opener) : QDialog(parent) {
    const DialogUnits du = SetUpFixedDialog(*this, QStringLiteral("promotion"),
                                            QString::fromUtf8(sendwell::kPromotionCaption), 310, 199);

    auto* top = new QLabel(QString::fromUtf8(sendwell::kPromotionText), this);
    top->setGeometry(du.rect(7, 10, 260, 8));
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    icon->setGeometry(du.rect(282, 4, 21, 20));

    const std::vector<sendwell::PromotionService> services = sendwell::PromotionServices();
    int y = 28;
    for (std::size_t i = 0; i < services.size(); ++i) {
        const sendwell::PromotionService& service = services[i];
        auto* heading = new StyledLabel(this);
        heading->setObjectName(ids::ControlName(kHeadings[i]));
        heading->setText(ToQString(service.heading));
        heading->setBold(true);
        heading->setGeometry(du.rect(7, y, 296, 9));
        auto* description = new QLabel(ToQString(service.description), this);
        description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        description->setWordWrap(true);
        description->setGeometry(du.rect(15, y + 10, 288, 26));
        y += 37;

        auto* button = new PushButton(ToQString(service.button), this);
        button->setObjectName(ids::ControlName(kButtons[i]));
        button->setGeometry(du.rect(7 + static_cast<int>(i) * 60, 178, 56, 14));
        const QString address = ToQString(service.address);
        connect(button, &QPushButton::clicked, this, [&opener, address] { opener.open(address); });
    }
    auto* ok = new PushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setGeometry(du.rect(253, 178, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void RunPopularityCommand(sendwell::Prompt& messages, const std::string& lastSelected,
                          AddressOpener& opener) {
    if (std::optional<std::string> address = sendwell::PopularityAddress(lastSelected)) {
        opener.open(ToQString(*address));
    } else {
        messages.ShowMessage(sendwell::kNothingToCheckText, sendwell::kNothingToCheckCaption);
    }
}

void RunAdvertiseCommand(QWidget* parent, AddressOpener& opener) {
    PromotionDialog dialog(parent, opener);
    dialog.exec();
}

} // namespace sendwell::gui
