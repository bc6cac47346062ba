#include "core/audit/site_audit.h"

#include "core/audit/audit_address.h"
#include "core/audit/page_checks.h"
#include "core/audit/page_facts.h"
#include "core/audit/robots_txt.h"
#include "core/audit/site_checks.h"
#include "core/base/progress.h"
#include "core/base/side_by_side.h"
#include "core/sitemap/sitemap_reader.h"
#include "core/web/fetch_engine.h"
#include "core/web/url_parts.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>

namespace sendwell {

namespace {

// A page is parsed whole, so a huge one costs memory; past this its rest is not read.
constexpr std::uint64_t kMaxPageBytes = 5 * 1024 * 1024;
constexpr int kUnknownDepth = INT_MAX;
// Bodies waiting for a reader, per reader: enough that no reader idles while the engine fetches,
// few enough that memory stays bounded when pages arrive faster than they are read.
constexpr std::size_t kUnreadPerReader = 4;

// What a fetch is for, in the top byte of its tag; the rest is a page id or an origin's index.
enum class Job : std::uint64_t { Robots = 1, HttpsProbe, SitemapProbe, Page, StatusOnly };

std::uint64_t Tag(Job job, std::uint64_t index) {
    return (static_cast<std::uint64_t>(job) << 56) | index;
}
Job JobOf(std::uint64_t tag) {
    return static_cast<Job>(tag >> 56);
}
std::uint64_t IndexOf(std::uint64_t tag) {
    return tag & ((std::uint64_t{1} << 56) - 1);
}

// One address form per page: what a link to it resolves to.
std::optional<std::string> Normalised(const std::string& address) {
    const std::string complete = CompleteAddress(address);
    return BaseAddress(complete).Resolve(complete);
}

// One fetch result in the order it arrived. Pages are read (parsed and checked) by reader threads;
// the crawl takes results in arrival order whoever finished first, so the report is as if each page
// had been read on arrival.
struct Arrival {
    FetchResult result;
    PageFacts page;
    std::vector<Finding> findings;
    std::exception_ptr failure; // what reading threw, thrown again where the crawl takes the page
    bool ready = false;         // under the crawler's mutex while readers run
};

struct OriginState {
    enum class Robots { Unasked, Asked, Read };
    SiteRecord record;
    Robots state = Robots::Unasked;
    RobotsTxt robots;
    std::vector<PageId> parked; // pages waiting for robots.txt
};

class Crawler {
public:
    explicit Crawler(const AuditSetup& setup) : setup_(setup) {}

    AuditReport Run();

private:
    FetchSetup EngineSetup() const;
    bool Stopped() const { return setup_.stop != nullptr && setup_.stop->load(); }
    std::optional<std::string> ReadStarts();
    // Adds the addresses a sitemap lists; whether it could be read (a cancel sets the outcome).
    bool ReadSitemap(const std::string& source);
    void ReadSiteSitemaps();
    void RunEngine(const std::function<void()>& queue);
    // The crawl proper, with that many reader threads reading its pages.
    void Crawl(std::size_t readers);
    void OnResult(FetchResult&& result);
    // Page reading, on reader threads or (without readers) on the crawl's thread.
    void Read(Arrival& arrival) const;
    void RunReader();
    void HandToReader(Arrival* arrival);
    // Takes the results that are ready, in arrival order; whether some are still being read.
    bool TakeReady();
    // Waits for and takes every result; whether there was any.
    bool TakeAll();
    void Take(Arrival& arrival);

    // The index of an address's origin, made on first sight.
    std::size_t OriginAt(const std::string& url);
    void AskRobots(std::size_t index);
    void OnRobots(std::size_t index, FetchResult&& result);

    PageId Grow(PageId id);
    // Queues a page of the site at depth clicks from a start. A reference (a listed page, a canonical or
    // hreflang target) is fetched however deep it is; a link only up to the depth bound.
    void Enqueue(const std::string& url, int depth, bool reference);
    void StatusOnly(const std::string& url);
    void Dispatch(PageId id);
    void OnPage(Arrival& arrival);
    void Report();

    const AuditSetup& setup_;
    AuditReport report_;
    SiteScope scope_;
    std::optional<SiteFacts> facts_;
    FetchEngine* engine_ = nullptr;
    bool crawling_ = false; // robots.txt of the start sites is in: pages are fetched
    std::vector<std::string> starts_;
    std::vector<std::string> listed_;
    std::set<std::string> sitemapsRead_;
    std::string lastSitemapError_;
    std::vector<OriginState> origins_;
    std::unordered_map<std::string, std::size_t> originIndex_;
    std::vector<int> depth_;    // per id: the fewest clicks it was met at
    std::vector<char> queued_;  // per id: fetched, waiting or blocked; never asked twice
    std::vector<char> checked_; // per id: its findings are in; a second answer adds none
    std::vector<Finding> findings_;
    std::size_t pages_ = 0; // pages queued, against maxPages
    std::uint64_t known_ = 0;
    std::uint64_t done_ = 0;

    std::deque<std::unique_ptr<Arrival>> arrivals_; // in arrival order, not yet taken
    std::size_t readers_ = 0;                       // 0: pages are read as they arrive
    bool taking_ = false;                           // TakeReady is running
    std::mutex mutex_;                              // guards the members below and Arrival::ready
    std::condition_variable unread_;                // readers wait for a body or the end
    std::condition_variable room_;                  // the crawl waits for room among the unread
    std::condition_variable read_;                  // the crawl waits for a page to be read
    std::deque<Arrival*> unreadQueue_;
    bool closing_ = false;
    FetchEngine* waking_ = nullptr; // the running engine, woken when a page is read
};

FetchSetup Crawler::EngineSetup() const {
    FetchSetup fetch = PageLikeFetchSetup(setup_.connection, setup_.concurrency, setup_.perHost, setup_.stop);
    if (fetch.limits.maxBody == 0 || fetch.limits.maxBody > kMaxPageBytes) {
        fetch.limits.maxBody = kMaxPageBytes;
    }
    return fetch;
}

std::optional<std::string> Crawler::ReadStarts() {
    for (const std::string& start : setup_.starts) {
        const std::optional<std::string> url = Normalised(start);
        if (!url) {
            return "The address cannot be read: " + start;
        }
        if (std::find(starts_.begin(), starts_.end(), *url) == starts_.end()) {
            starts_.push_back(*url);
        }
    }
    return std::nullopt;
}

bool Crawler::ReadSitemap(const std::string& source) {
    SitemapOptions options;
    options.connection = setup_.connection;
    options.stop = setup_.stop;
    SitemapRead read = sendwell::ReadSitemap(source, options);
    if (read.outcome.cancelled()) {
        report_.outcome = read.outcome;
    }
    if (!read.ok()) {
        lastSitemapError_ = std::move(read.outcome.text);
        return false;
    }
    for (const std::string& address : read.addresses) {
        if (std::optional<std::string> url = Normalised(address)) {
            listed_.push_back(std::move(*url));
        }
    }
    return true;
}

std::size_t Crawler::OriginAt(const std::string& url) {
    std::string origin = OriginOf(url);
    const auto [it, added] = originIndex_.emplace(origin, origins_.size());
    if (added) {
        origins_.emplace_back().record.origin = std::move(origin);
    }
    return it->second;
}

void Crawler::AskRobots(std::size_t index) {
    OriginState& origin = origins_[index];
    if (origin.state != OriginState::Robots::Unasked) {
        return;
    }
    origin.state = OriginState::Robots::Asked;
    engine_->Add({origin.record.origin + "/robots.txt", true, Tag(Job::Robots, index)});
    if (origin.record.origin.starts_with("http://")) {
        // Whether the site would answer securely: any HTTP answer counts.
        engine_->Add({"https://" + origin.record.origin.substr(7) + "/", false, Tag(Job::HttpsProbe, index)});
    }
}

void Crawler::OnRobots(std::size_t index, FetchResult&& result) {
    OriginState& origin = origins_[index];
    origin.robots = RobotsTxt::FromFetch(result);
    origin.state = OriginState::Robots::Read;
    origin.record.robots = origin.robots.source();
    origin.record.robotsStatus = result.status;
    if (!result.outcome.ok()) {
        origin.record.robotsFailure = result.outcome.text;
    }
    if (!origin.robots.sitemaps().empty()) {
        origin.record.sitemapKnown = true;
    } else if (crawling_) {
        // Met during the crawl: whether /sitemap.xml answers is enough, its addresses come too late.
        engine_->Add({origin.record.origin + "/sitemap.xml", false, Tag(Job::SitemapProbe, index)});
    }
    std::vector<PageId> parked;
    parked.swap(origin.parked);
    for (PageId id : parked) {
        Dispatch(id);
    }
}

PageId Crawler::Grow(PageId id) {
    if (id >= depth_.size()) {
        depth_.resize(id + 1, kUnknownDepth);
        queued_.resize(id + 1, 0);
        checked_.resize(id + 1, 0);
    }
    return id;
}

void Crawler::Enqueue(const std::string& url, int depth, bool reference) {
    if (!scope_.Contains(url)) {
        if (reference) {
            StatusOnly(url);
        }
        return;
    }
    const PageId id = Grow(facts_->Intern(url));
    depth_[id] = std::min(depth_[id], depth);
    if (queued_[id] || (!reference && depth > setup_.maxDepth)) {
        return;
    }
    if (pages_ >= setup_.maxPages) {
        report_.truncated = true;
        return;
    }
    queued_[id] = 1;
    ++pages_;
    ++known_;
    const std::size_t index = OriginAt(url);
    if (origins_[index].state == OriginState::Robots::Read) {
        Dispatch(id);
        return;
    }
    origins_[index].parked.push_back(id);
    AskRobots(index);
}

void Crawler::StatusOnly(const std::string& url) {
    const PageId id = Grow(facts_->Intern(url));
    if (queued_[id]) {
        return;
    }
    queued_[id] = 1;
    ++known_;
    engine_->Add({url, false, Tag(Job::StatusOnly, id)});
}

void Crawler::Dispatch(PageId id) {
    const std::string& url = facts_->AddressOf(id);
    if (!origins_[OriginAt(url)].robots.AllowsUrl(url)) {
        facts_->MarkBlocked(id);
        --pages_; // not fetched: it leaves room for a page that is
        ++done_;
        return;
    }
    engine_->Add({url, true, Tag(Job::Page, id)});
}

void Crawler::Read(Arrival& arrival) const {
    arrival.page = ReadPage(arrival.result, scope_);
    arrival.result.body.clear();
    arrival.result.body.shrink_to_fit();
    arrival.findings = CheckPage(arrival.page);
}

void Crawler::RunReader() {
    for (;;) {
        Arrival* arrival = nullptr;
        {
            std::unique_lock lock(mutex_);
            unread_.wait(lock, [this] { return closing_ || !unreadQueue_.empty(); });
            if (closing_) {
                return; // what is left is not taken
            }
            arrival = unreadQueue_.front();
            unreadQueue_.pop_front();
        }
        room_.notify_one();
        if (!Stopped()) {
            try {
                Read(*arrival);
            } catch (...) {
                arrival->failure = std::current_exception();
            }
        }
        std::lock_guard lock(mutex_);
        arrival->ready = true;
        read_.notify_one();
        if (waking_ != nullptr) {
            waking_->Wake();
        }
    }
}

void Crawler::HandToReader(Arrival* arrival) {
    {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] { return unreadQueue_.size() < kUnreadPerReader * readers_; });
        unreadQueue_.push_back(arrival);
    }
    unread_.notify_one();
}

bool Crawler::TakeReady() {
    if (taking_) {
        return true; // a result that came while one is taken waits its turn in the loop below
    }
    taking_ = true;
    while (!arrivals_.empty()) {
        {
            std::lock_guard lock(mutex_);
            if (!arrivals_.front()->ready) {
                break;
            }
        }
        const std::unique_ptr<Arrival> arrival = std::move(arrivals_.front());
        arrivals_.pop_front();
        if (!Stopped()) {
            Take(*arrival);
        }
    }
    taking_ = false;
    return !arrivals_.empty();
}

bool Crawler::TakeAll() {
    const bool any = !arrivals_.empty();
    while (!arrivals_.empty()) {
        {
            std::unique_lock lock(mutex_);
            read_.wait(lock, [this] { return arrivals_.front()->ready; });
        }
        TakeReady();
    }
    return any;
}

void Crawler::OnPage(Arrival& arrival) {
    const FetchResult& result = arrival.result;
    const auto id = static_cast<PageId>(IndexOf(result.tag));
    const PageFacts& page = arrival.page;
    const bool internal = scope_.Contains(page.finalUrl);

    // A page reached both by a redirect and by its own address is fetched twice: its findings count once.
    const bool askedNew = !checked_[id];
    const std::optional<PageId> finalId = facts_->Find(page.finalUrl);
    const bool contentNew = internal && (!finalId || !checked_[Grow(*finalId)]);
    for (Finding& finding : arrival.findings) {
        if (finding.address == page.url ? askedNew : contentNew) {
            findings_.push_back(std::move(finding));
        }
    }
    facts_->AddPage(page, setup_.external);
    checked_[id] = 1;
    if (!internal) {
        return;
    }
    const PageId at = Grow(facts_->Intern(page.finalUrl));
    checked_[at] = 1;
    // A redirect is no click; the page it led to needs no fetch of its own.
    depth_[at] = std::min(depth_[at], depth_[id]);
    if (at != id && !queued_[at]) {
        queued_[at] = 1;
    }
    if (!page.html) {
        return;
    }
    const int depth = depth_[at];
    const int next = depth == kUnknownDepth ? kUnknownDepth : depth + 1;
    for (const std::string& link : page.internalLinks) {
        Enqueue(link, next, false);
    }
    if (const std::string canonical = page.canonical(); !canonical.empty()) {
        Enqueue(canonical, next, true);
    }
    for (const HreflangLink& link : page.hreflangs) {
        if (!link.url.empty()) {
            Enqueue(link.url, next, true);
        }
    }
    if (setup_.external) {
        for (const std::string& link : page.externalLinks) {
            StatusOnly(link);
        }
    }
}

void Crawler::OnResult(FetchResult&& result) {
    auto arrival = std::make_unique<Arrival>();
    arrival->result = std::move(result);
    Arrival* const raw = arrival.get();
    arrivals_.push_back(std::move(arrival));
    const bool page = JobOf(raw->result.tag) == Job::Page;
    if (page && readers_ > 0) {
        HandToReader(raw);
    } else {
        if (page) {
            Read(*raw);
        }
        std::lock_guard lock(mutex_);
        raw->ready = true;
    }
    TakeReady();
}

void Crawler::Take(Arrival& arrival) {
    if (arrival.failure) {
        std::rethrow_exception(arrival.failure);
    }
    FetchResult& result = arrival.result;
    const std::size_t index = IndexOf(result.tag);
    switch (JobOf(result.tag)) {
    case Job::Robots:
        OnRobots(index, std::move(result));
        return;
    case Job::HttpsProbe:
        origins_[index].record.httpsAnswers = result.outcome.ok() && result.status > 0;
        return;
    case Job::SitemapProbe:
        origins_[index].record.sitemapKnown =
            result.outcome.ok() && result.status >= 200 && result.status < 300;
        return;
    case Job::Page:
        ++done_;
        OnPage(arrival);
        break;
    case Job::StatusOnly:
        ++done_;
        facts_->AddPage(ReadPage(result, scope_));
        break;
    }
    if (setup_.progress != nullptr) {
        setup_.progress->SetStatusText(result.url);
        setup_.progress->SetSteps(done_, known_);
    }
}

void Crawler::RunEngine(const std::function<void()>& queue) {
    FetchEngine engine(EngineSetup());
    engine_ = &engine;
    // Readers wake the engine only while it is there, however this ends.
    struct Waking {
        Crawler& crawler;
        Waking(Crawler& c, FetchEngine* engine) : crawler(c) { Set(engine); }
        ~Waking() { Set(nullptr); }
        void Set(FetchEngine* engine) {
            std::lock_guard lock(crawler.mutex_);
            crawler.waking_ = engine;
        }
    } waking{*this, &engine};
    queue();
    bool cancelled = false;
    // The engine stays open while pages are being read: the links they hold are more to fetch. It
    // ends with pages unread only when it could fetch nothing; those are taken here, and their links
    // fetched in another run.
    do {
        const FetchSummary summary = engine.Run([&](FetchResult&& result) { OnResult(std::move(result)); },
                                                [&] { return TakeReady(); });
        cancelled = summary.cancelled || Stopped();
    } while (!cancelled && TakeAll());
    engine_ = nullptr;
    if (cancelled) {
        report_.outcome = Outcome{Outcome::End::Cancelled, "Cancelled", 0, {}};
    }
}

// Each start site's own sitemaps: those its robots.txt names, else /sitemap.xml when it answers.
void Crawler::ReadSiteSitemaps() {
    for (OriginState& origin : origins_) {
        if (Stopped()) {
            return;
        }
        if (origin.state != OriginState::Robots::Read) {
            continue;
        }
        if (origin.robots.sitemaps().empty()) {
            const std::string probe = origin.record.origin + "/sitemap.xml";
            origin.record.sitemapKnown =
                sitemapsRead_.count(probe) != 0 || (sitemapsRead_.insert(probe).second && ReadSitemap(probe));
        }
        // A sitemap the site names but that cannot be read leaves its pages to the links.
        for (const std::string& sitemap : origin.robots.sitemaps()) {
            if (!Stopped() && sitemapsRead_.insert(sitemap).second) {
                ReadSitemap(sitemap);
            }
        }
    }
}

AuditReport Crawler::Run() {
    const auto started = std::chrono::steady_clock::now();
    report_.started = std::chrono::system_clock::now();
    report_.outcome = Outcome::Succeeded();
    if (std::optional<std::string> error = ReadStarts()) {
        report_.outcome = Outcome::Failed(*error);
        return std::move(report_);
    }
    for (const std::string& sitemap : setup_.sitemaps) {
        if (!sitemapsRead_.insert(sitemap).second) {
            continue;
        }
        if (!ReadSitemap(sitemap)) {
            if (report_.outcome.ok()) {
                report_.outcome =
                    Outcome::Failed("The sitemap " + sitemap + " cannot be read: " + lastSitemapError_);
            }
            return std::move(report_);
        }
    }
    if (starts_.empty()) {
        // A sitemap alone: its sites' home pages are where clicks are counted from.
        for (const std::string& url : listed_) {
            const std::string home = OriginOf(url) + "/";
            if (!OriginOf(url).empty() && std::find(starts_.begin(), starts_.end(), home) == starts_.end()) {
                starts_.push_back(home);
            }
        }
    }
    if (starts_.empty()) {
        report_.outcome = Outcome::Failed(setup_.sitemaps.empty() ? "No address to start from"
                                                                  : "The sitemaps list no address");
        return std::move(report_);
    }
    report_.starts = starts_;
    scope_ = SiteScope(starts_);
    facts_.emplace(scope_);

    // robots.txt of every start site first: it decides what is fetched and names the sitemaps.
    RunEngine([&] {
        for (const std::string& url : starts_) {
            AskRobots(OriginAt(url));
        }
    });
    if (report_.outcome.ok()) {
        ReadSiteSitemaps();
    }
    if (report_.outcome.ok()) {
        crawling_ = true;
        // Pages are parsed on threads of their own while this one keeps the engine fetching.
        const std::size_t readers = std::max(1U, std::thread::hardware_concurrency());
        RunWithHelpers(
            readers, [&](std::size_t started) { Crawl(started); }, [this] { RunReader(); });
    }
    Report();
    report_.elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    return std::move(report_);
}

void Crawler::Crawl(std::size_t readers) {
    readers_ = readers;
    // However the crawl ends, the readers do.
    struct Close {
        Crawler& crawler;
        ~Close() {
            {
                std::lock_guard lock(crawler.mutex_);
                crawler.closing_ = true;
            }
            crawler.unread_.notify_all();
        }
    } close{*this};
    RunEngine([&] {
        for (const std::string& url : starts_) {
            Enqueue(url, 0, true);
            facts_->MarkStart(*facts_->Find(url));
        }
        for (const std::string& url : listed_) {
            if (scope_.Contains(url)) {
                Enqueue(url, kUnknownDepth, true);
                facts_->MarkListed(facts_->Intern(url));
            }
        }
        listed_.clear();
        listed_.shrink_to_fit();
    });
}

void Crawler::Report() {
    for (OriginState& origin : origins_) {
        if (origin.state == OriginState::Robots::Read) {
            facts_->AddSite(origin.record);
        }
    }
    const SiteFacts& facts = *facts_;
    std::vector<Finding> site = CheckSite(facts);
    // A crawl cut short has not seen every link: no page can be called unlinked.
    const bool whole = report_.outcome.ok() && !report_.truncated;
    for (Finding& finding : site) {
        if (whole || finding.check != Check::OrphanPage) {
            findings_.push_back(std::move(finding));
        }
    }
    const auto order = [&](const Finding& f) {
        const std::optional<PageId> id = facts.Find(f.address);
        return std::pair(static_cast<int>(f.check), id.value_or(kNoPage));
    };
    std::stable_sort(findings_.begin(), findings_.end(),
                     [&](const Finding& a, const Finding& b) { return order(a) < order(b); });
    report_.findings = std::move(findings_);

    const std::vector<int> depths = facts.Depths();
    for (PageId id = 0; id < facts.size(); ++id) {
        const KeptPage& kept = facts.Page(id);
        if (!kept.fetched && !kept.blocked) {
            continue;
        }
        AuditPage page;
        page.address = facts.AddressOf(id);
        page.status = kept.status;
        page.depth = depths[id];
        page.time = std::chrono::milliseconds(kept.firstByteMs);
        page.title = kept.title;
        if (kept.redirectsTo != kNoPage) {
            page.finalUrl = facts.AddressOf(kept.redirectsTo);
        }
        page.blocked = kept.blocked;
        page.listed = kept.listed;
        page.external = !scope_.Contains(page.address);
        report_.pages.push_back(std::move(page));
    }
}

} // namespace

AuditReport RunAudit(const AuditSetup& setup) {
    return Crawler(setup).Run();
}

std::size_t CountAtLeast(const AuditReport& report, Severity severity) {
    return static_cast<std::size_t>(
        std::count_if(report.findings.begin(), report.findings.end(),
                      [&](const Finding& f) { return f.severity() >= severity; }));
}

} // namespace sendwell
