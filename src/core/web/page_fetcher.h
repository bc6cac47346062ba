// The page fetch: one GET of a web page, handed back as its lines. The meta-tag analysis, the keyword
// suggestion and the upgrade check read every page through it.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/outcome.h"
#include "core/base/prompt.h"
#include "core/web/transfer.h"
#include "core/web/url_parts.h"
#include "core/web/user_agent.h"

#include <string>
#include <vector>

namespace sendwell {

using LineList = std::vector<std::string>;

// The header lines every fetch and status check sends, exactly: this, then kUserAgentHeader (the
// keyword suggestion's search query sends kQueryUserAgentHeader instead).
inline constexpr const char* kAcceptHeader = "Accept: text/*";
// Most body characters one entry of a query page holds.
inline constexpr std::size_t kQueryPieceSize = 1022;

// What a fetch brought back. A failed fetch whose outcome has a text ("Cannot open internet
// connection.") is one the user is told about; the others are told nothing, as the page is simply
// missing or short. The failure lines hold the network's own reason, for whoever keeps a record.
struct PageFetch {
    const LineList* page = nullptr; // the fetcher's lines, or null when there is no page
    Outcome outcome;
};

// One fetcher per use: a local object of the command that fetches, or a member of its owner. A fetch
// opens no window and swallows no exception: what it cannot handle goes to the command that called it.
class PageFetcher {
public:
    // The lines of the last page fetched: the body split at line feeds, every carriage return removed.
    LineList lines;
    // The caller copies the user's settings in when it wants their proxy; left at the defaults the
    // fetch connects the way the environment is configured.
    ConnectionSettings connection;
    // Connect time-out 20 s, a failed connect tried once more after one second, 60 s without a byte.
    TransferLimits limits;
    Prompt* credentialsPrompt = nullptr; // asked once when a server answers 401

    // Fetches address ("http://" is put in front when it has no scheme) while holding the network lock.
    // The page is the line list, or null when there is no page: an address that is not http/https, a
    // redirect that cannot be followed, or no handle. A request that fails on the way has the lines
    // read before the failure as its page. The list stays valid until the next fetch or the fetcher's
    // end.
    PageFetch FetchPage(const std::string& address);

    // A search engine's answer page for the keyword suggestion. As FetchPage, except: no network lock,
    // always a direct connection (neither the user's nor the environment's proxy), its own header
    // block, "http://" put in front unless the address holds it, and the body kept in pieces: an
    // entry ends after a line feed, which it keeps, or after kQueryPieceSize body bytes, carriage
    // returns left out.
    PageFetch FetchQueryPage(const std::string& address);

private:
    // The fetch both share: one GET of url under setup, the 401 retry and one redirect.
    PageFetch Fetch(const std::string& url, TransferSetup setup, std::size_t pieceSize);
};

// How the page fetch and the status check send their GETs: the fixed header block over HTTP/1.1, with
// connection's proxy choice and limits; redirects are answers unless the caller's rule says otherwise.
TransferSetup PageRequestSetup(const ConnectionSettings& connection, const TransferLimits& limits);

// The bounds of a request outside a submission run's own (a sitemap fetch, IndexNow, the key-file
// check): the defaults, ended after "i_RequestTimeout" seconds when that is a positive number (more than
// a day counts as a day: libcurl's time limit is a long of milliseconds).
TransferLimits ReadRequestLimits();

inline constexpr const char* kCannotOpenConnectionText = "Cannot open internet connection.";

} // namespace sendwell
