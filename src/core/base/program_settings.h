// The program's settings, typed: the one place that names a value of the settings file and turns its
// text into a value and back. Windows, commands and the rest of the core read and write settings only
// through this; the store underneath (settings.h) keeps the file format, the cache and the locking.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sendwell {

// The windows whose outer size is kept when they close after having been resized.
enum class SizedWindow { Main, RankResults };

// The settings as they are at one look: every value read through one object comes from the same
// state of the file, and taking a look costs one stat of the file while it is unchanged. Take a look
// where the values are used, so that an edit made while the program runs counts from the next one.
class ProgramSettings {
public:
    ProgramSettings();

    // An engine's flag (the catalogue names it): only a stored "0" leaves the engine out.
    bool EngineOn(std::string_view flagName) const;
    // The host of a host key (hosts.h): its "Host.<key>" value when set, else the built-in host.
    std::string Host(std::string_view key) const;

    // How requests reach the network. Read once when the window or a command starts and handed to
    // everything that makes requests, so that one session never mixes two proxies.
    ConnectionSettings Connection() const;

    // Bounds of a submission request: the stored leading number when it is positive, else none.
    std::optional<long long> RequestTimeoutSeconds() const;
    std::optional<std::uint64_t> MaxAnswerBytes() const;
    // Requests the concurrent fetch opens at once in all and to one host: the stored leading number
    // when it is positive, else none (the fetch's own default).
    std::optional<int> FetchConcurrency() const;
    std::optional<int> FetchPerHost() const;

    // Whether the firewall tip has been shown once.
    bool FirewallTipShown() const;

    // IndexNow: the key, where its key file is ("" for the site root), and whether runs include it.
    std::string IndexNowKey() const;
    std::string IndexNowKeyLocation() const;
    bool IndexNowInRuns() const;
    // Whether a run's IndexNow leaves out pages unchanged since their last accepted submission (default).
    bool IndexNowChangedOnly() const;

    // The date of the last upgrade check as stored ("3 5 2010"); "" when there is none.
    std::string UpgradeDate() const;
    // An upgrade signing key the user trusts besides the built-in one; "" when none is named.
    std::string UpgradePublicKey() const;

    // Each writer stores its value at once; false, and the old value stays, when the store refuses it.
    static bool SetEngineOn(std::string_view flagName, bool on);
    // An empty host returns the key to its built-in host.
    static bool SetHost(std::string_view key, std::string_view host);
    static bool SetFirewallTipShown();
    static bool SetIndexNowKey(std::string_view key);
    static bool SetIndexNowKeyLocation(std::string_view location);
    static bool SetIndexNowInRuns(bool inRuns);
    static bool SetIndexNowChangedOnly(bool changedOnly);
    static bool SetUpgradeDate(std::string_view date);
    static bool KeepWindowSize(SizedWindow window, int width, int height);

private:
    SettingsSnapshot values_;
};

} // namespace sendwell
