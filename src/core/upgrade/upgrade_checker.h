// The upgrade checker: one per program run, owned by the main window. It asks the vendor's upgrade page
// whether a newer version exists, remembers what the pages of this run announced, and keeps the date of
// the last check, which it stores when the program ends.
#pragma once

#include "core/upgrade/upgrade_date.h"
#include "core/upgrade/upgrade_install.h"
#include "core/upgrade/upgrade_page.h"
#include "core/web/page_fetcher.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace sendwell {

inline constexpr const char* kUpgradeHostKey = "Vendor";
inline constexpr const char* kUpgradePagePath = "/sendwell_upgrade.html";
inline constexpr const char* kCheckForUpgradeText =
    "Would you like to check for an upgrade of this software?";
inline constexpr const char* kCheckingCaption = "Checking for any upgrades ..";
inline constexpr const char* kCheckingText = "Checking for new upgrades of the software ..";
inline constexpr const char* kNewUpgradeCaption = "A new upgrade is available.";

// The upgrade page on host: over https with its certificate checked, except on a loopback host.
std::string UpgradePageAddress(const std::string& host);

class UpgradeChecker {
public:
    UpgradeChecker();

    // Set by the Upgrade command before each check; the page address follows the vendor host setting.
    float currentVersion;
    std::string productName;
    std::string pageAddress;
    // Fetches the page. Its connection settings stay unset, so the check connects the way the
    // environment is configured and never through the program's own proxy.
    PageFetcher fetcher;

    // The Upgrade command's set-up: product name, current version and page address.
    void Prepare();

    // Start-up: whether the automatic check is due (see UpgradeDueAt); sets the date stored at the end.
    bool CheckDue(LocalTime now = LocalNow());
    // Writes "UpgradeDate" when a date has been set; called when the checker's owner goes away.
    void SaveCheckDate() const;
    std::optional<std::chrono::year_month_day> lastCheckDate() const { return lastCheck_; }

    // Empties the description, fetches the upgrade page and reads it; returns how the fetch went (a
    // failure with a text is one to tell the user). Touches nothing but the checker, so it may run off
    // the UI thread.
    Outcome FetchUpgradePage();
    const UpgradeAnnouncement& announcement() const { return announced_; }

    // What the check tells the user: an offer to download (a Yes/No question) or "the most recent
    // version" (an OK message).
    struct Verdict {
        bool offer = false;
        std::string caption;
        std::string text;
    };
    Verdict Decide() const;
    // Every finished check moves the stored date to today.
    void MarkChecked(LocalTime now = LocalNow());

    // What installing the announced upgrade needs: its link and signature, the trusted keys, a download
    // folder under the data folder, and the folder of the installed program (where its uninstaller is).
    InstallRequest InstallRequestFor(const std::filesystem::path& installFolder) const;

private:
    UpgradeAnnouncement announced_;
    std::optional<std::chrono::year_month_day> lastCheck_;
};

} // namespace sendwell
