#include "core/indexnow/indexnow_settings.h"

#include "core/base/hosts.h"
#include "core/base/program_settings.h"

namespace sendwell {

IndexNowSettings ReadIndexNowSettings() {
    const ProgramSettings stored;
    IndexNowSettings s;
    s.key = stored.IndexNowKey();
    s.keyLocation = stored.IndexNowKeyLocation();
    s.endpoint = stored.Host(kIndexNowHostKey);
    s.inRuns = stored.IndexNowInRuns();
    s.changedOnly = stored.IndexNowChangedOnly();
    return s;
}

std::optional<IndexNowSettings> IndexNowForRuns() {
    IndexNowSettings settings = ReadIndexNowSettings();
    return settings.inRuns ? std::optional(std::move(settings)) : std::nullopt;
}

bool WriteIndexNowSettings(const IndexNowSettings& settings) {
    bool ok = ProgramSettings::SetIndexNowKey(settings.key);
    ok = ProgramSettings::SetIndexNowKeyLocation(settings.keyLocation) && ok;
    // The built-in endpoint is kept as no value, so that the host table stays the one place naming it.
    std::string endpoint = settings.endpoint;
    for (const HostDefault& host : HostDefaults()) {
        if (host.key == kIndexNowHostKey && host.defaultHost == endpoint) {
            endpoint.clear();
        }
    }
    ok = ProgramSettings::SetHost(kIndexNowHostKey, endpoint) && ok;
    ok = ProgramSettings::SetIndexNowChangedOnly(settings.changedOnly) && ok;
    return ProgramSettings::SetIndexNowInRuns(settings.inRuns) && ok;
}

const std::vector<std::string_view>& KnownIndexNowEndpoints() {
    static const std::vector<std::string_view> endpoints = {
        "api.indexnow.org",        "www.bing.com",     "yandex.com", "search.seznam.cz",
        "searchadvisor.naver.com", "indexnow.yep.com",
    };
    return endpoints;
}

std::string IndexNowEndpointAddress(std::string_view endpoint) {
    if (endpoint.find("://") != std::string_view::npos) {
        return std::string(endpoint);
    }
    return "https://" + std::string(endpoint) + "/indexnow";
}

} // namespace sendwell
