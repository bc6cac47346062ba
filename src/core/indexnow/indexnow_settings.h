// What the user sets for IndexNow, kept in the settings store, and the endpoint it posts to.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

// The endpoint's host key (core/base/hosts.h) and the answer store's name for its answers.
inline constexpr std::string_view kIndexNowHostKey = "IndexNow";
inline constexpr std::string_view kIndexNowStoreName = "IndexNow";

struct IndexNowSettings {
    std::string key;
    std::string keyLocation; // "" : https://<host>/<key>.txt
    std::string endpoint;    // host[:port], or a whole address
    bool inRuns = false;     // Submit All and Submit include IndexNow
    // Runs send only pages changed since their last accepted submission; off: every address.
    bool changedOnly = true;
};

IndexNowSettings ReadIndexNowSettings();
// The settings when runs include IndexNow, else none.
std::optional<IndexNowSettings> IndexNowForRuns();
// Writes the five values; false when the store refused one.
bool WriteIndexNowSettings(const IndexNowSettings& settings);

// Endpoints that take IndexNow posts, to pick from; each shares what it is given with the others.
const std::vector<std::string_view>& KnownIndexNowEndpoints();

// The address posted to: an endpoint holding "://" as it is, else https://<endpoint>/indexnow.
std::string IndexNowEndpointAddress(std::string_view endpoint);

} // namespace sendwell
