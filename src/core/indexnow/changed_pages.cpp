#include "core/indexnow/changed_pages.h"

#include "core/base/dates.h"
#include "core/indexnow/indexnow_record.h"
#include "core/sitemap/sitemap_import.h"

namespace sendwell {

namespace {

constexpr std::int64_t kDaySeconds = 24 * 60 * 60;

} // namespace

ChangedSince ResolveChangedSince(std::string_view text, const std::filesystem::path& historyFile,
                                 const std::filesystem::path& jsonFile) {
    ChangedSince result;
    if (text != kLastRunWord) {
        result.since = ParseW3cTime(text);
        if (!result.since) {
            result.badText = true;
            result.error = "\"" + std::string(text) +
                           "\" is neither a date (YYYY-MM-DD, or with a time) nor \"last-run\"";
        }
        return result;
    }
    IndexNowRecord record;
    StateFileNote note = record.Load(historyFile, jsonFile);
    if (note.ok()) {
        note = record.LastAccepted(result.since);
    }
    if (!note.ok()) {
        result.error = "the last submission is not known: " + note.error;
    }
    return result;
}

std::vector<std::string> AddressesChangedSince(const SitemapRead& sitemap,
                                               std::optional<std::int64_t> since) {
    std::vector<std::string> changed;
    for (std::size_t i = 0; i < sitemap.addresses.size(); ++i) {
        const std::string_view lastmod =
            i < sitemap.lastModified.size() ? std::string_view(sitemap.lastModified[i]) : std::string_view();
        std::optional<std::int64_t> at = ParseW3cTime(lastmod);
        if (at && lastmod.find('T') == std::string_view::npos) {
            *at += kDaySeconds - 1; // its last second: a change that day may have come after since
        }
        if (!since || !at || *at > *since) {
            changed.push_back(sitemap.addresses[i]);
        }
    }
    return changed;
}

SitemapSelection SelectSitemapAddresses(const std::string& source,
                                        std::optional<std::string_view> changedSince,
                                        const std::filesystem::path& historyFile,
                                        const std::filesystem::path& jsonFile,
                                        const ConnectionSettings& connection, const std::atomic<bool>* stop) {
    SitemapSelection selection;
    std::optional<std::int64_t> since;
    if (changedSince) {
        // Resolved before the sitemap is fetched: a mistyped date costs no download.
        const ChangedSince resolved = ResolveChangedSince(*changedSince, historyFile, jsonFile);
        if (!resolved.error.empty()) {
            selection.outcome = Outcome::Failed(resolved.error);
            selection.badDate = resolved.badText;
            return selection;
        }
        since = resolved.since;
    }
    SitemapRead read = ReadSitemapImport(source, connection, stop).read;
    if (!read.ok()) {
        selection.outcome = read.outcome;
        return selection;
    }
    selection.listed = read.addresses.size();
    selection.warnings = std::move(read.warnings);
    selection.addresses = changedSince ? AddressesChangedSince(read, since) : std::move(read.addresses);
    return selection;
}

} // namespace sendwell
