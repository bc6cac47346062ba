// Control ids of the main window. Tests and the command code find controls by these numbers; every
// control's objectName is "id" followed by its number (see ControlName).
#pragma once

#include <QString>

namespace sendwell::gui::ids {

inline constexpr int kHeaderLabel = 1043;   // "Sendwell! Pro v3.81" + credit line
inline constexpr int kIcon = 1044;          // program icon, top right
inline constexpr int kAddressPrompt = 1087; // "Enter an http:// address and click Add."
inline constexpr int kAddressEdit = 1000;
inline constexpr int kAdd = 1005;
inline constexpr int kRemove = 1006;
inline constexpr int kSubmit = 1008;
inline constexpr int kAnalyze = 1084;
inline constexpr int kPopularity = 1009;
inline constexpr int kPing = 1011;
inline constexpr int kRank = 1010;
inline constexpr int kKeywords = 1022;
inline constexpr int kAdvertise = 1013;
inline constexpr int kImport = 1012;
inline constexpr int kDatabaseList = 1007;
inline constexpr int kEmailLabel = 1088;
inline constexpr int kEmailEdit = 1001;
inline constexpr int kSubmitAll = 1; // the dialog's OK command
inline constexpr int kEngines = 1062;
inline constexpr int kUpgrade = 57671;
inline constexpr int kHelp = 57670;
inline constexpr int kQuit = 2; // the dialog's Cancel command

// objectName given to the control with this id, e.g. "id1005".
inline QString ControlName(int id) {
    return QStringLiteral("id%1").arg(id);
}

} // namespace sendwell::gui::ids
