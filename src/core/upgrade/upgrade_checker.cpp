#include "core/upgrade/upgrade_checker.h"

#include "core/base/hosts.h"
#include "core/base/program_settings.h"
#include "core/base/program_version.h"

#include <cstdio>

namespace sendwell {

UpgradeChecker::UpgradeChecker() : currentVersion(kProgramVersion), productName(kAppCaption) {}

void UpgradeChecker::Prepare() {
    productName = kAppCaption;
    currentVersion = kProgramVersion;
    pageAddress = "http://" + HostFor(kUpgradeHostKey) + kUpgradePagePath;
}

bool UpgradeChecker::CheckDue(LocalTime now) {
    const UpgradeDue answer = UpgradeDueAt(ProgramSettings().UpgradeDate(), now);
    lastCheck_ = answer.lastCheck;
    return answer.due;
}

void UpgradeChecker::SaveCheckDate() const {
    if (lastCheck_) {
        ProgramSettings::SetUpgradeDate(FormatUpgradeDate(*lastCheck_));
    }
}

void UpgradeChecker::FetchUpgradePage() {
    announced_.description.clear();
    const LineList* page = fetcher.FetchPage(pageAddress);
    ReadUpgradePage(page != nullptr ? *page : LineList{}, announced_);
}

UpgradeChecker::Verdict UpgradeChecker::Decide() const {
    Verdict verdict;
    if (announced_.version > currentVersion) {
        verdict.offer = true;
        verdict.caption = kNewUpgradeCaption;
        verdict.text = "A new upgrade of " + productName + " is available for download.\n\nDescription:\n\n" +
                       announced_.description + "\n\nWould you like to download the upgrade now?";
        return verdict;
    }
    char version[64];
    std::snprintf(version, sizeof version, "%.2f", static_cast<double>(currentVersion));
    verdict.caption = productName;
    verdict.text = "You have the most recent version v" + std::string(version) + "\nNo upgrade is available.";
    return verdict;
}

void UpgradeChecker::MarkChecked(LocalTime now) {
    lastCheck_ = DayOf(now);
}

InstallRequest UpgradeChecker::InstallRequestFor(const std::filesystem::path& folder) const {
    InstallRequest request;
    request.link = announced_.link;
    request.sha256 = announced_.sha256;
    request.folder = folder;
    // A fresh connection: no proxy of the program's own, and none of the environment either.
    request.connection = ConnectionSettings{};
    request.connection.caFile = fetcher.connection.caFile;
    request.vendorHost = HostFor(kUpgradeHostKey);
    return request;
}

} // namespace sendwell
