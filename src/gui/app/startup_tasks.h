// Start-up chores of the main window that belong to features built elsewhere.
#pragma once

namespace sendwell::gui {

// Whether the periodic upgrade check is due now. Always false until the upgrade check exists.
bool UpgradeCheckDue();

} // namespace sendwell::gui
