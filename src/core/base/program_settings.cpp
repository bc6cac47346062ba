#include "core/base/program_settings.h"

#include "core/base/hosts.h"
#include "core/base/numbers.h"

#include <algorithm>

namespace sendwell {

namespace {

// The value names of the program's section. The engine flags' names are in the engine catalogue and
// the hosts' in hosts.cpp; both reach the file only through here.
constexpr std::string_view kProxyOn = "bProxyOn";
constexpr std::string_view kProxyName = "m_ProxyName";
constexpr std::string_view kProxyBypass = "m_ProxyBypass";
constexpr std::string_view kBufSize = "i_BufSize";
constexpr std::string_view kRequestTimeout = "i_RequestTimeout";
constexpr std::string_view kMaxAnswerBytes = "i_MaxAnswerBytes";
constexpr std::string_view kFetchConcurrency = "i_FetchConcurrency";
constexpr std::string_view kFetchPerHost = "i_FetchPerHost";
constexpr std::string_view kFirstTimeNotice = "m_bFirstTimeNotice";
constexpr std::string_view kIndexNowKey = "m_IndexNowKey";
constexpr std::string_view kIndexNowKeyLocation = "m_IndexNowKeyLocation";
constexpr std::string_view kIndexNowInRuns = "m_bIndexNowInRuns";
constexpr std::string_view kIndexNowChangedOnly = "IndexNowChangedOnly";
constexpr std::string_view kUpgradeDate = "UpgradeDate";
constexpr std::string_view kUpgradePublicKey = "UpgradePublicKey";

constexpr int kDefaultBufSize = 8096;

// A flag with a default: only exactly "0" or "1" replaces it.
bool FlagOr(const SettingsSnapshot& values, std::string_view name, bool defaultValue) {
    const int flag = values.Flag(name);
    return flag < 0 ? defaultValue : flag == 1;
}

std::optional<long long> Positive(const SettingsSnapshot& values, std::string_view name) {
    const std::string_view text = values.Read(name);
    const long long value = text.empty() ? 0 : LeadingInteger(text);
    return value > 0 ? std::optional<long long>(value) : std::nullopt;
}

bool Write(std::string_view name, std::string_view text) {
    return WriteSetting(kSettingsSection, name, text);
}

} // namespace

ProgramSettings::ProgramSettings() : values_(kSettingsSection) {}

bool ProgramSettings::EngineOn(std::string_view flagName) const {
    return values_.Flag(flagName) != 0;
}

std::string ProgramSettings::Host(std::string_view key) const {
    return HostFor(key, values_);
}

ConnectionSettings ProgramSettings::Connection() const {
    ConnectionSettings c;
    c.useProxy = FlagOr(values_, kProxyOn, false);
    c.proxyName = values_.Read(kProxyName);
    c.proxyBypass = values_.Read(kProxyBypass);
    // Any text counts by its leading number; outside 501..9999 it is the default.
    if (const std::string_view text = values_.Read(kBufSize); !text.empty()) {
        const long long value = LeadingInteger(text);
        c.bufSize = value > 500 && value < 10000 ? static_cast<int>(value) : kDefaultBufSize;
    }
    return c;
}

std::optional<long long> ProgramSettings::RequestTimeoutSeconds() const {
    return Positive(values_, kRequestTimeout);
}

std::optional<std::uint64_t> ProgramSettings::MaxAnswerBytes() const {
    const std::optional<long long> bytes = Positive(values_, kMaxAnswerBytes);
    return bytes ? std::optional<std::uint64_t>(static_cast<std::uint64_t>(*bytes)) : std::nullopt;
}

std::optional<int> ProgramSettings::FetchConcurrency() const {
    // More than a thousand at once is no concurrency a site owner's machine or site wants.
    const std::optional<long long> n = Positive(values_, kFetchConcurrency);
    return n ? std::optional<int>(static_cast<int>(std::min<long long>(*n, 1000))) : std::nullopt;
}

std::optional<int> ProgramSettings::FetchPerHost() const {
    const std::optional<long long> n = Positive(values_, kFetchPerHost);
    return n ? std::optional<int>(static_cast<int>(std::min<long long>(*n, 1000))) : std::nullopt;
}

bool ProgramSettings::FirewallTipShown() const {
    return values_.Read(kFirstTimeNotice) == "1";
}

std::string ProgramSettings::IndexNowKey() const {
    return std::string(values_.Read(kIndexNowKey));
}

std::string ProgramSettings::IndexNowKeyLocation() const {
    return std::string(values_.Read(kIndexNowKeyLocation));
}

bool ProgramSettings::IndexNowInRuns() const {
    return FlagOr(values_, kIndexNowInRuns, false);
}

bool ProgramSettings::IndexNowChangedOnly() const {
    return FlagOr(values_, kIndexNowChangedOnly, true);
}

std::string ProgramSettings::UpgradeDate() const {
    return std::string(values_.Read(kUpgradeDate));
}

std::string ProgramSettings::UpgradePublicKey() const {
    return std::string(values_.Read(kUpgradePublicKey));
}

bool ProgramSettings::SetEngineOn(std::string_view flagName, bool on) {
    return Write(flagName, on ? "1" : "0");
}

bool ProgramSettings::SetHost(std::string_view key, std::string_view host) {
    return Write(HostSettingName(key), host);
}

bool ProgramSettings::SetFirewallTipShown() {
    return Write(kFirstTimeNotice, "1");
}

bool ProgramSettings::SetIndexNowKey(std::string_view key) {
    return Write(kIndexNowKey, key);
}

bool ProgramSettings::SetIndexNowKeyLocation(std::string_view location) {
    return Write(kIndexNowKeyLocation, location);
}

bool ProgramSettings::SetIndexNowInRuns(bool inRuns) {
    return Write(kIndexNowInRuns, inRuns ? "1" : "0");
}

bool ProgramSettings::SetIndexNowChangedOnly(bool changedOnly) {
    return Write(kIndexNowChangedOnly, changedOnly ? "1" : "0");
}

bool ProgramSettings::SetUpgradeDate(std::string_view date) {
    return Write(kUpgradeDate, date);
}

bool ProgramSettings::KeepWindowSize(SizedWindow window, int width, int height) {
    const std::string_view area = window == SizedWindow::Main ? kWindowSizeSection : kRankWindowSizeSection;
    const bool cx = WriteWindowSetting(area, "CX", width);
    return WriteWindowSetting(area, "CY", height) && cx;
}

} // namespace sendwell
