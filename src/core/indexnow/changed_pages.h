// Change-driven IndexNow: the addresses of a sitemap whose <lastmod> is later than a point in time,
// the last accepted submission's or a given date's. The page check (ETag, Last-Modified, the body's
// hash) then leaves out those that did not change after all.
#pragma once

#include "core/sitemap/sitemap_reader.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

inline constexpr std::string_view kLastRunWord = "last-run";

struct ChangedSince {
    std::optional<std::int64_t> since; // none: every address counts as changed (nothing accepted yet)
    std::string error;                 // the text was neither a date nor "last-run", or the history failed
    bool badText = false;              // the error is the text's
};

// "last-run": when IndexNow last had an address accepted, from its record (IndexNowRecord::Load of
// historyFile and jsonFile); else a date or date and time as <lastmod> holds them ("2026-12-01",
// "2026-12-01T08:00:00+01:00").
ChangedSince ResolveChangedSince(std::string_view text, const std::filesystem::path& historyFile,
                                 const std::filesystem::path& jsonFile);

// The sitemap's addresses whose <lastmod> is later than since, in order. An address without a readable
// <lastmod> is kept, for the page check to decide; a <lastmod> of a day alone counts as that whole day.
std::vector<std::string> AddressesChangedSince(const SitemapRead& sitemap, std::optional<std::int64_t> since);

struct SitemapSelection {
    Outcome outcome;                    // failed: the sitemap could not be read, or the date not resolved
    std::vector<std::string> addresses; // to submit
    std::size_t listed = 0;             // addresses the sitemap lists
    std::vector<std::string> warnings;  // the sitemap reader's
    bool badDate = false;               // changedSince was neither a date nor "last-run"
};

// Reads the sitemap at source (a file or an address) and picks its addresses: all of them when
// changedSince is none, else those AddressesChangedSince picks for the resolved time.
SitemapSelection SelectSitemapAddresses(const std::string& source,
                                        std::optional<std::string_view> changedSince,
                                        const std::filesystem::path& historyFile,
                                        const std::filesystem::path& jsonFile,
                                        const ConnectionSettings& connection, const std::atomic<bool>* stop);

} // namespace sendwell
