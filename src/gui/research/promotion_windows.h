// "&Popularity" and "Ad&vertise": outside services opened on the desktop.
#pragma once

#include "core/base/prompt.h"
#include "gui/base/address_opener.h"

#include <QDialog>
#include <string>

namespace sendwell::gui {

// "Additional Promotion": four services, each described under a bold heading, with a button that
// opens its sign-up page and leaves the window open.
class PromotionDialog : public QDialog {
    Q_OBJECT
public:
    explicit PromotionDialog(QWidget* parent, AddressOpener& opener = DesktopOpener());
};

// Opens the popularity report for lastSelected, or says there is nothing to check.
void RunPopularityCommand(sendwell::Prompt& messages, const std::string& lastSelected,
                          AddressOpener& opener = DesktopOpener());

void RunAdvertiseCommand(QWidget* parent, AddressOpener& opener = DesktopOpener());

} // namespace sendwell::gui
