// The site audit's crawl: from start addresses and sitemaps, every page of the start sites fetched
// through the fetch engine (robots.txt obeyed, blocked pages reported and not fetched), each page
// checked as it arrives and only its small facts kept, then the cross-page checks once at the end.
#pragma once

#include "core/audit/audit_checks.h"
#include "core/base/connection_settings.h"
#include "core/base/outcome.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace sendwell {

class Progress;

inline constexpr std::size_t kAuditDefaultMaxPages = 10000;
inline constexpr int kAuditDefaultMaxDepth = 10;

struct AuditSetup {
    std::vector<std::string> starts;   // addresses ("http://" in front when they have no scheme)
    std::vector<std::string> sitemaps; // addresses or local files, as the sitemap reader takes them
    std::size_t maxPages = kAuditDefaultMaxPages;
    int maxDepth = kAuditDefaultMaxDepth; // clicks from a start; deeper links are not followed
    bool external = false;                // also fetch external link targets (broken-link)
    ConnectionSettings connection;
    int concurrency = 0; // 0: the settings' (ReadFetchLimits)
    int perHost = 0;
    const std::atomic<bool>* stop = nullptr; // set by any thread to cancel
    Progress* progress = nullptr;            // pages done of pages known; may be null
};

// One address the audit met, as reports list it.
struct AuditPage {
    std::string address;
    int status = 0;                    // of the final answer; 0 when none came or it was not fetched
    int depth = -1;                    // clicks from the nearest start; -1 when none leads there
    std::chrono::milliseconds time{0}; // time to first byte
    std::string title;                 // the first
    std::string finalUrl;              // where redirects ended; "" when not redirected
    bool blocked = false;              // robots.txt disallows it: not fetched
    bool listed = false;               // a sitemap lists it
    bool external = false;
};

struct AuditReport {
    std::vector<std::string> starts;
    std::vector<AuditPage> pages;  // in the order met
    std::vector<Finding> findings; // in the order of the check table, then of pages
    // Ok, Cancelled (the findings are those of the pages read by then), or Failed when the audit could
    // not start (no start address readable, a sitemap that cannot be read) with why.
    Outcome outcome;
    bool truncated = false; // maxPages was reached: more pages were linked than read
    std::chrono::system_clock::time_point started;
    std::chrono::milliseconds elapsed{0};
};

AuditReport RunAudit(const AuditSetup& setup);

// Findings at or above a severity.
std::size_t CountAtLeast(const AuditReport& report, Severity severity);

} // namespace sendwell
