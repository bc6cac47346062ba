// The page fetch: one GET of a web page, handed back as its lines. The meta-tag analysis, the keyword
// suggestion and the upgrade check read every page through it.
#pragma once

#include "core/base/messages.h"
#include "core/web/credentials_prompt.h"
#include "core/web/http_get.h"

#include <string>
#include <vector>

namespace sendwell {

using LineList = std::vector<std::string>;

// One fetcher per use: a local object of the command that fetches, or a member of its owner.
class PageFetcher {
public:
    // The lines of the last page fetched: the body split at line feeds, every carriage return removed.
    LineList lines;
    // Connection settings. The caller copies the user's proxy settings in when it wants them; left at
    // their defaults the fetch connects the way the environment is configured.
    bool useProxy = false;
    std::string proxyName;   // "address:port"
    std::string proxyBypass; // ";"- or blank-separated hosts, "*" wildcards, "<local>"
    int connectTimeout = 20; // seconds; a failed connect is tried once more after one second

    // Not part of the user's settings.
    int stallTimeout = 60; // seconds without a byte before a transfer gives up
    std::string caFile;    // trust these certificates instead of the system's; for tests only
    CredentialsPrompt* credentialsPrompt = nullptr; // asked once when a server answers 401
    MessageSink* messages = nullptr;                // where "Cannot open internet connection." goes

    // Fetches address ("http://" is put in front when it has no scheme) while holding the network lock.
    // Returns the line list, or null when there is no page: an address that is not http/https, a
    // redirect that cannot be followed, or no handle. A request that fails on the way returns the lines
    // read before the failure. The list stays valid until the next fetch or the fetcher's end.
    const LineList* FetchPage(const std::string& address);

    ConnectionOptions connectionOptions() const;
};

inline constexpr const char* kCannotOpenConnectionText = "Cannot open internet connection.";

} // namespace sendwell
