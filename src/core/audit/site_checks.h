// The checks that need more than one page: duplicates, the link graph, sitemaps, robots.txt, and the
// facts of each site. A crawl fills SiteFacts as pages arrive and runs CheckSite once at the end; what is
// kept per page is small (addresses as ids, a title, a description, a hash), so memory grows with the
// number of addresses, not with the pages' size.
#pragma once

#include "core/audit/audit_checks.h"
#include "core/audit/page_facts.h"
#include "core/audit/robots_txt.h"

#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace sendwell {

using PageId = std::uint32_t;
inline constexpr PageId kNoPage = std::numeric_limits<PageId>::max();

// What the cross-page checks keep of one address.
struct KeptPage {
    bool fetched = false; // an answer (or the lack of one) is recorded
    bool listed = false;  // a sitemap lists it
    bool blocked = false; // robots.txt disallows it; it was not fetched
    bool start = false;   // the crawl started here
    bool answered = false;
    int status = 0;
    std::uint32_t firstByteMs = 0;
    PageId redirectsTo = kNoPage; // the address that answered, when a redirect led there
    bool content = false;         // a 2xx HTML page whose facts below are read
    bool noindex = false;
    std::string title;       // the first
    std::string description; // the first
    PageId canonical = kNoPage;
    std::uint64_t textHash = 0;
    std::vector<PageId> links;    // internal (and, when kept, external) link targets, each once
    std::vector<PageId> hreflang; // the hreflang targets
};

// The facts of one origin ("https://host[:port]") that the site checks need.
struct SiteRecord {
    std::string origin;
    RobotsTxt::Source robots = RobotsTxt::Source::Read;
    int robotsStatus = 0;
    std::string robotsFailure; // why robots.txt did not answer
    bool sitemapKnown = false; // robots.txt names a sitemap, or /sitemap.xml answered
    std::optional<bool>
        httpsAnswers; // of an http origin: whether its https form answered (unknown: not asked)
};

class SiteFacts {
public:
    // scope decides which pages' content counts (a fetched external page only has its status kept).
    explicit SiteFacts(SiteScope scope) : scope_(std::move(scope)) {}
    // ids_ views into addresses_: a copy would view into the original. A move keeps the deque's blocks.
    SiteFacts(const SiteFacts&) = delete;
    SiteFacts& operator=(const SiteFacts&) = delete;
    SiteFacts(SiteFacts&&) noexcept = default;
    SiteFacts& operator=(SiteFacts&&) noexcept = default;

    // The id of an address, made on first sight; the same address always gets the same id.
    PageId Intern(std::string_view address);
    std::optional<PageId> Find(std::string_view address) const;
    const std::string& AddressOf(PageId id) const { return addresses_[id]; }
    const KeptPage& Page(PageId id) const { return pages_[id]; }
    std::size_t size() const { return pages_.size(); }

    void MarkStart(PageId id) { pages_[id].start = true; }
    void MarkListed(PageId id) { pages_[id].listed = true; }
    void MarkBlocked(PageId id) { pages_[id].blocked = true; }

    // Keeps what the cross-page checks need of a page just read, under its address as asked; when a
    // redirect led to another address of the site not yet fetched, the content is kept under that one
    // too, which then counts as fetched. External links are kept only when asked (they are fetched
    // only then).
    PageId AddPage(const PageFacts& page, bool keepExternal = false);

    // Replaces the record of the same origin.
    void AddSite(SiteRecord site);
    const std::vector<SiteRecord>& sites() const { return sites_; }

    // Clicks from the nearest start for each id (a redirect costs none); -1 where no start leads.
    std::vector<int> Depths() const;

private:
    SiteScope scope_;
    std::deque<std::string> addresses_; // a deque: ids_ keys view into it
    std::unordered_map<std::string_view, PageId> ids_;
    std::vector<KeptPage> pages_;
    std::vector<SiteRecord> sites_;
};

// Pages deeper than this many clicks are reported.
inline constexpr int kDeepPageClicks = 4;

std::vector<Finding> CheckSite(const SiteFacts& site);

} // namespace sendwell
