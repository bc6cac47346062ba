// Start-up chores of the main window that do not belong to any window.
#pragma once

#include <filesystem>

namespace sendwell::gui {

// Whether the periodic upgrade check is due now. Always false until the upgrade check exists.
bool UpgradeCheckDue();

// Deletes the answer pages ("*.HTML") left in <programFolder>/submitok by an earlier run; other files
// and a missing folder are left alone. Returns how many files were deleted.
int DeleteOldAnswerPages(const std::filesystem::path& programFolder);

} // namespace sendwell::gui
