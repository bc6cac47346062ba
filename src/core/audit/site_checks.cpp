#include "core/audit/site_checks.h"

#include "core/audit/audit_address.h"

#include <algorithm>
#include <unordered_set>

namespace sendwell {

PageId SiteFacts::Intern(std::string_view address) {
    if (const auto it = ids_.find(address); it != ids_.end()) {
        return it->second;
    }
    const auto id = static_cast<PageId>(pages_.size());
    const std::string& kept = addresses_.emplace_back(address);
    ids_.emplace(kept, id);
    pages_.emplace_back();
    return id;
}

std::optional<PageId> SiteFacts::Find(std::string_view address) const {
    const auto it = ids_.find(address);
    return it == ids_.end() ? std::nullopt : std::optional<PageId>(it->second);
}

PageId SiteFacts::AddPage(const PageFacts& page, bool keepExternal) {
    const PageId id = Intern(page.url);
    PageId target = kNoPage;
    if (!page.chain.empty() && page.finalUrl != page.url) {
        target = Intern(page.finalUrl);
    }
    // Ids first: interning grows pages_, which would leave a reference into it dangling.
    PageId holder = kNoPage;
    if (page.html && scope_.Contains(page.finalUrl)) {
        holder = target == kNoPage ? id : (pages_[target].fetched ? kNoPage : target);
    }
    PageId canonical = kNoPage;
    std::vector<PageId> links;
    std::vector<PageId> hreflang;
    if (holder != kNoPage) {
        if (const std::string url = page.canonical(); !url.empty()) {
            canonical = Intern(url);
        }
        links.reserve(page.internalLinks.size() + (keepExternal ? page.externalLinks.size() : 0));
        for (const std::string& url : page.internalLinks) {
            links.push_back(Intern(url));
        }
        if (keepExternal) {
            for (const std::string& url : page.externalLinks) {
                links.push_back(Intern(url));
            }
        }
        for (const HreflangLink& link : page.hreflangs) {
            if (!link.url.empty()) {
                hreflang.push_back(Intern(link.url));
            }
        }
    }

    const auto firstByteMs = static_cast<std::uint32_t>(
        std::min<std::int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(page.firstByte).count(),
                               std::numeric_limits<std::uint32_t>::max()));
    const auto record = [&](KeptPage& kept) {
        kept.fetched = true;
        kept.answered = page.answered;
        kept.status = page.status;
        kept.firstByteMs = firstByteMs;
    };
    record(pages_[id]);
    pages_[id].redirectsTo = target;
    if (holder == kNoPage) {
        return id;
    }
    KeptPage& kept = pages_[holder];
    record(kept);
    kept.content = true;
    kept.noindex = page.noindex();
    kept.title = page.titles.empty() ? std::string() : page.titles.front();
    kept.description = page.descriptions.empty() ? std::string() : page.descriptions.front();
    kept.canonical = canonical;
    kept.textHash = page.textHash;
    kept.links = std::move(links);
    kept.hreflang = std::move(hreflang);
    return id;
}

void SiteFacts::AddSite(SiteRecord site) {
    for (SiteRecord& known : sites_) {
        if (known.origin == site.origin) {
            known = std::move(site);
            return;
        }
    }
    sites_.push_back(std::move(site));
}

std::vector<int> SiteFacts::Depths() const {
    // Breadth first with two costs: a link is a click, a redirect is not.
    std::vector<int> depth(pages_.size(), -1);
    std::deque<PageId> queue;
    for (PageId id = 0; id < pages_.size(); ++id) {
        if (pages_[id].start) {
            depth[id] = 0;
            queue.push_back(id);
        }
    }
    while (!queue.empty()) {
        const PageId id = queue.front();
        queue.pop_front();
        const KeptPage& page = pages_[id];
        if (page.redirectsTo != kNoPage &&
            (depth[page.redirectsTo] < 0 || depth[page.redirectsTo] > depth[id])) {
            depth[page.redirectsTo] = depth[id];
            queue.push_front(page.redirectsTo);
        }
        for (PageId to : page.links) {
            if (depth[to] < 0 || depth[to] > depth[id] + 1) {
                depth[to] = depth[id] + 1;
                queue.push_back(to);
            }
        }
    }
    return depth;
}

namespace {

bool IsError(const KeptPage& page) {
    return page.fetched && (!page.answered || page.status >= 400);
}

std::string AnswerText(const KeptPage& page) {
    return page.answered ? "HTTP " + std::to_string(page.status) : std::string("no answer");
}

class SiteChecker {
public:
    SiteChecker(const SiteFacts& site, std::vector<Finding>& out) : site_(site), out_(out) {}

    void Run() {
        LinkChecks();
        Duplicates(Check::TitleDuplicate, &KeptPage::title);
        Duplicates(Check::DescriptionDuplicate, &KeptPage::description);
        DuplicateContent();
        PageChecks();
        SiteRecords();
    }

private:
    void Add(Check check, PageId at, std::string detail, PageId related = kNoPage) {
        out_.push_back(Finding{check, site_.AddressOf(at), std::move(detail),
                               related == kNoPage ? std::string() : site_.AddressOf(related)});
    }

    // A page the index would take as itself: read, not noindex, not pointing elsewhere by canonical.
    bool Indexable(PageId id) const {
        const KeptPage& page = site_.Page(id);
        return page.content && page.answered && page.status < 300 && !page.noindex &&
               (page.canonical == kNoPage || page.canonical == id);
    }

    void LinkChecks() {
        firstLinker_.assign(site_.size(), kNoPage);
        for (PageId from = 0; from < site_.size(); ++from) {
            for (PageId to : site_.Page(from).links) {
                if (to == from) {
                    continue;
                }
                if (firstLinker_[to] == kNoPage) {
                    firstLinker_[to] = from;
                }
                const KeptPage& target = site_.Page(to);
                if (IsError(target)) {
                    Add(Check::BrokenLink, from, "the link answers " + AnswerText(target), to);
                } else if (target.redirectsTo != kNoPage) {
                    Add(Check::LinksToRedirect, from,
                        "the link redirects to " + site_.AddressOf(target.redirectsTo), to);
                }
                // A link to an address that redirects reaches the page it redirects to.
                if (target.redirectsTo != kNoPage && firstLinker_[target.redirectsTo] == kNoPage) {
                    firstLinker_[target.redirectsTo] = from;
                }
            }
        }
    }

    void Duplicates(Check check, std::string KeptPage::*field) {
        std::unordered_map<std::string_view, std::vector<PageId>> groups;
        for (PageId id = 0; id < site_.size(); ++id) {
            const std::string& text = site_.Page(id).*field;
            if (!text.empty() && Indexable(id)) {
                groups[text].push_back(id);
            }
        }
        ReportGroups(check, groups, [&](PageId id) { return "\"" + site_.Page(id).*field + "\""; });
    }

    // The groups of more than one page, in address order of first sight, so that a report reads the same
    // in every run.
    template <typename Key>
    static std::vector<const std::vector<PageId>*>
    Repeated(const std::unordered_map<Key, std::vector<PageId>>& groups) {
        std::vector<const std::vector<PageId>*> repeated;
        for (const auto& [key, ids] : groups) {
            if (ids.size() > 1) {
                repeated.push_back(&ids);
            }
        }
        std::sort(repeated.begin(), repeated.end(),
                  [](const auto* a, const auto* b) { return a->front() < b->front(); });
        return repeated;
    }

    template <typename Key, typename Detail>
    void ReportGroups(Check check, const std::unordered_map<Key, std::vector<PageId>>& groups,
                      Detail detail) {
        for (const std::vector<PageId>* ids : Repeated(groups)) {
            for (PageId id : *ids) {
                const PageId other = id == ids->front() ? (*ids)[1] : ids->front();
                Add(check, id, detail(id) + " on " + std::to_string(ids->size()) + " pages", other);
            }
        }
    }

    // The same text at two addresses is fine when one names the other, or both a third, as canonical.
    void DuplicateContent() {
        std::unordered_map<std::uint64_t, std::vector<PageId>> byHash;
        for (PageId id = 0; id < site_.size(); ++id) {
            const KeptPage& page = site_.Page(id);
            if (page.content && page.textHash != 0 && page.answered && page.status < 300 && !page.noindex) {
                byHash[page.textHash].push_back(id);
            }
        }
        const auto key = [&](PageId id) {
            const PageId canonical = site_.Page(id).canonical;
            return canonical == kNoPage ? id : canonical;
        };
        for (const std::vector<PageId>* ids : Repeated(byHash)) {
            const PageId first = ids->front();
            const auto apart =
                std::count_if(ids->begin(), ids->end(), [&](PageId id) { return key(id) != key(first); });
            if (apart == 0) {
                continue;
            }
            for (PageId id : *ids) {
                if (key(id) != key(first) || id == first) {
                    const PageId other = id == first
                                             ? *std::find_if(ids->begin(), ids->end(),
                                                             [&](PageId o) { return key(o) != key(first); })
                                             : first;
                    Add(Check::DuplicateContent, id, "the same visible text as " + site_.AddressOf(other),
                        other);
                }
            }
        }
    }

    void PageChecks() {
        const std::vector<int> depth = site_.Depths();
        for (PageId id = 0; id < site_.size(); ++id) {
            const KeptPage& page = site_.Page(id);
            if (page.blocked) {
                Add(Check::RobotsBlocked, id,
                    page.listed && firstLinker_[id] == kNoPage
                        ? "disallowed by robots.txt; listed in a sitemap"
                        : "disallowed by robots.txt",
                    firstLinker_[id]);
            }
            if (page.content && depth[id] > kDeepPageClicks) {
                Add(Check::DeepPage, id, std::to_string(depth[id]) + " clicks from the start");
            }
            if (page.canonical != kNoPage && page.canonical != id) {
                const KeptPage& target = site_.Page(page.canonical);
                if (target.fetched &&
                    (!target.answered || target.status != 200 || target.redirectsTo != kNoPage)) {
                    Add(Check::CanonicalBroken, id,
                        target.redirectsTo != kNoPage
                            ? "the canonical redirects to " + site_.AddressOf(target.redirectsTo)
                            : "the canonical answers " + AnswerText(target),
                        page.canonical);
                }
            }
            HreflangReturn(id);
            if (page.listed) {
                Listed(id);
            }
        }
    }

    void HreflangReturn(PageId id) {
        for (PageId to : site_.Page(id).hreflang) {
            const KeptPage& target = site_.Page(to);
            if (to == id || !target.content || target.status >= 300) {
                continue;
            }
            if (std::find(target.hreflang.begin(), target.hreflang.end(), id) == target.hreflang.end()) {
                Add(Check::HreflangNoReturn, id, "the hreflang target does not link back", to);
            }
        }
    }

    void Listed(PageId id) {
        const KeptPage& page = site_.Page(id);
        if (page.blocked) {
            Add(Check::SitemapListsBlocked, id, "the sitemap lists a page robots.txt disallows");
            return;
        }
        if (!page.fetched) {
            return;
        }
        if (IsError(page)) {
            Add(Check::SitemapListsError, id, "the listed page answers " + AnswerText(page));
        } else if (page.redirectsTo != kNoPage) {
            Add(Check::SitemapListsRedirect, id, "the listed address redirects", page.redirectsTo);
        } else if (page.content && page.noindex) {
            Add(Check::SitemapListsNoindex, id, "the listed page says noindex");
        } else if (page.content && page.canonical != kNoPage && page.canonical != id) {
            Add(Check::SitemapListsNonCanonical, id, "the listed page names another canonical",
                page.canonical);
        }
        if (page.content && !page.start && firstLinker_[id] == kNoPage) {
            Add(Check::OrphanPage, id, "no crawled page links here");
        }
    }

    void SiteRecords() {
        std::unordered_map<std::string, const SiteRecord*> byOrigin;
        for (const SiteRecord& record : site_.sites()) {
            byOrigin[record.origin] = &record;
            const std::string robots = record.origin + "/robots.txt";
            if (record.robots == RobotsTxt::Source::Unavailable) {
                AddAt(Check::RobotsTxtMissing, robots,
                      "robots.txt answers HTTP " + std::to_string(record.robotsStatus));
            } else if (record.robots == RobotsTxt::Source::Unreachable) {
                AddAt(Check::RobotsTxtError, robots,
                      record.robotsStatus > 0
                          ? "robots.txt answers HTTP " + std::to_string(record.robotsStatus) +
                                "; nothing is fetched"
                          : "robots.txt does not answer (" + record.robotsFailure + "); nothing is fetched");
            }
            if (!record.sitemapKnown) {
                AddAt(Check::SitemapMissing, record.origin + "/",
                      "no Sitemap line in robots.txt and no /sitemap.xml");
            }
        }
        for (PageId id = 0; id < site_.size(); ++id) {
            const KeptPage& page = site_.Page(id);
            if (!page.content) {
                continue;
            }
            const std::string& address = site_.AddressOf(id);
            const auto it =
                address.starts_with("http://") ? byOrigin.find(OriginOf(address)) : byOrigin.end();
            if (it != byOrigin.end() && it->second->httpsAnswers == false) {
                Add(Check::HttpOnly, id, "served over http; its https form does not answer");
            }
        }
    }

    void AddAt(Check check, const std::string& address, std::string detail) {
        out_.push_back(Finding{check, address, std::move(detail), {}});
    }

    const SiteFacts& site_;
    std::vector<Finding>& out_;
    std::vector<PageId> firstLinker_; // of each id, the first other page that links there
};

} // namespace

std::vector<Finding> CheckSite(const SiteFacts& site) {
    std::vector<Finding> findings;
    SiteChecker(site, findings).Run();
    return findings;
}

} // namespace sendwell
