#include "core/upgrade/upgrade_checker.h"

#include "core/base/hosts.h"
#include "core/base/paths.h"
#include "core/base/program_settings.h"
#include "core/base/program_version.h"
#include "core/upgrade/upgrade_signature.h"
#include "core/web/loopback_guard.h"
#include "core/web/url_parts.h"

#include <cstdio>

namespace sendwell {

std::string UpgradePageAddress(const std::string& host) {
    // A loopback host has no certificate to check; trust never rests on the transport anyway.
    const bool loopback = IsLoopbackHost(UrlHost("http://" + host));
    return (loopback ? "http://" : "https://") + host + kUpgradePagePath;
}

UpgradeChecker::UpgradeChecker() : currentVersion(kProgramVersion), productName(kAppCaption) {}

void UpgradeChecker::Prepare() {
    productName = kAppCaption;
    currentVersion = kProgramVersion;
    pageAddress = UpgradePageAddress(HostFor(kUpgradeHostKey));
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

Outcome UpgradeChecker::FetchUpgradePage() {
    announced_.description.clear();
    const PageFetch fetched = fetcher.FetchPage(pageAddress);
    ReadUpgradePage(fetched.page != nullptr ? *fetched.page : LineList{}, announced_);
    return fetched.outcome;
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

InstallRequest UpgradeChecker::InstallRequestFor(const std::filesystem::path& installFolder) const {
    InstallRequest request;
    request.link = announced_.link;
    request.signature = announced_.signature;
    request.keys = TrustedUpgradeKeys();
    request.downloadParent = UpgradeDownloadParent();
    request.installFolder = installFolder;
    // A fresh connection: no proxy of the program's own, and none of the environment either.
    request.connection = ConnectionSettings{};
    request.connection.caFile = fetcher.connection.caFile;
    request.vendorHost = HostFor(kUpgradeHostKey);
    return request;
}

} // namespace sendwell
