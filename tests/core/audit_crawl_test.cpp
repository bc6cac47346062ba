// The site audit's crawl against fixture sites on loopback: every crawl-level check found where it was
// seeded and nowhere else, a clean site with nothing above a notice, the page and depth bounds, cancel.
#include "core/audit/site_audit.h"
#include "core/base/progress.h"
#include "tests/support/http_test_server.h"

#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace sendwell {
namespace {

using test::HttpTestServer;
using test::Response;
using test::ScriptedResponse;

// An HTML page whose title and text are its own unless given.
ScriptedResponse Page(const std::string& path, const std::vector<std::string>& links = {},
                      const std::string& head = "", const std::string& title = "",
                      const std::string& text = "") {
    std::string anchors;
    for (const std::string& link : links) {
        anchors += "<a href=\"" + link + "\">link</a> ";
    }
    return Response(200,
                    "<!DOCTYPE html><html lang=en><head><title>" +
                        (title.empty() ? "The fixture page at " + path : title) + "</title>" + head +
                        "</head><body><h1>Heading</h1><p>" + (text.empty() ? "The words of " + path : text) +
                        "</p>" + anchors + "</body></html>",
                    {{"Content-Type", "text/html; charset=utf-8"}});
}

std::string Sitemap(const HttpTestServer& server, const std::vector<std::string>& paths) {
    std::string xml = "<?xml version=\"1.0\"?><urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
    for (const std::string& path : paths) {
        xml += "<url><loc>" + server.Url(path) + "</loc></url>";
    }
    return xml + "</urlset>";
}

using Places = std::set<std::pair<std::string, std::string>>; // address, related
using Seen = std::map<std::string, Places>;                   // by check id

Seen FindingsOf(const AuditReport& report, const std::set<std::string>& ids) {
    Seen seen;
    for (const Finding& f : report.findings) {
        if (ids.count(std::string(f.id())) != 0) {
            EXPECT_TRUE(seen[std::string(f.id())].emplace(f.address, f.related).second)
                << "twice: " << f.id();
        }
    }
    return seen;
}

TEST(SiteAudit, EachCrawlLevelFaultIsFoundWhereItWasSeeded) {
    HttpTestServer site(HttpTestServer::Options{.tls = true}); // the main site, over https
    HttpTestServer plain;                                      // http only, no robots.txt, no sitemap
    HttpTestServer down;                                       // robots.txt answers 500
    HttpTestServer elsewhere("127.0.0.2", nullptr);            // an external host
    const auto at = [&](const std::string& path) { return site.Url(path); };

    site.Route("/robots.txt",
               Response(200, "User-agent: *\nDisallow: /private\nSitemap: " + at("/sitemap.xml")));
    site.Route("/sitemap.xml",
               Response(200, Sitemap(site, {"/", "/orphan", "/listed-missing", "/listed-redirect",
                                            "/listed-noindex", "/listed-noncanon", "/private-listed"})));
    site.Route("/", Page("/", {"/a", "/b", "/old", "/chain1", "/loop1", "/missing", "/private", "/deep1",
                               "/en", "/same1", "/same2", "/canon-broken", "/listed-noindex",
                               "/listed-noncanon", elsewhere.Url("/dead"), elsewhere.Url("/fine"), "/"}));
    site.Route("/a", Page("/a", {}, "", "A title that two pages share"));
    site.Route("/b", Page("/b", {}, "", "A title that two pages share"));
    site.Route("/old", test::Redirect(301, "/a"));
    site.Route("/chain1", test::Redirect(301, "/chain2"));
    site.Route("/chain2", test::Redirect(301, "/c"));
    site.Route("/c", Page("/c"));
    site.Route("/loop1", test::Redirect(302, "/loop2"));
    site.Route("/loop2", test::Redirect(302, "/loop1"));
    for (int i = 1; i <= 5; ++i) {
        site.Route("/deep" + std::to_string(i),
                   Page("/deep" + std::to_string(i), {i < 5 ? "/deep" + std::to_string(i + 1) : "/"}));
    }
    site.Route("/en",
               Page("/en", {},
                    "<link rel=alternate hreflang=en href=/en><link rel=alternate hreflang=de href=/de>"));
    site.Route("/de", Page("/de", {}, "<link rel=alternate hreflang=de href=/de>"));
    site.Route("/same1", Page("/same1", {}, "", "", "The same words on two pages"));
    site.Route("/same2", Page("/same2", {}, "", "", "The same words on two pages"));
    site.Route("/canon-broken", Page("/canon-broken", {}, "<link rel=canonical href=/gone>"));
    site.Route("/gone", Response(410));
    site.Route("/orphan", Page("/orphan"));
    site.Route("/listed-redirect", test::Redirect(301, "/b"));
    site.Route("/listed-noindex", Page("/listed-noindex", {}, "<meta name=robots content=noindex>"));
    site.Route("/listed-noncanon", Page("/listed-noncanon", {}, "<link rel=canonical href=/a>"));
    site.Route("/private", Page("/private"));
    plain.Route("/", Page("/plain"));
    down.SetHandler(test::Always(Response(500)));
    elsewhere.Route("/fine", Response(200));

    AuditSetup setup;
    setup.starts = {site.Url("/"), plain.Url("/"), down.Url("/")};
    setup.external = true;
    setup.connection.caFile = site.CaFile().string();
    const AuditReport report = RunAudit(setup);
    ASSERT_TRUE(report.outcome.ok()) << report.outcome.text;
    EXPECT_FALSE(report.truncated);

    const std::string robotsError = down.Url("/robots.txt");
    const Seen expected = {
        {"http-error", {{at("/missing"), ""}, {at("/gone"), ""}, {at("/listed-missing"), ""}}},
        {"redirect-chain", {{at("/chain1"), at("/c")}}},
        {"redirect-loop", {{at("/loop1"), ""}}},
        {"links-to-redirect", {{at("/"), at("/old")}, {at("/"), at("/chain1")}}},
        {"broken-link",
         {{at("/"), at("/missing")}, {at("/"), at("/loop1")}, {at("/"), elsewhere.Url("/dead")}}},
        {"canonical-broken", {{at("/canon-broken"), at("/gone")}}},
        {"robots-blocked", {{at("/private"), at("/")}, {at("/private-listed"), ""}, {down.Url("/"), ""}}},
        {"robots-txt-missing", {{plain.Url("/robots.txt"), ""}}},
        {"robots-txt-error", {{robotsError, ""}}},
        {"sitemap-missing", {{plain.Url("/"), ""}, {down.Url("/"), ""}}},
        {"sitemap-lists-error", {{at("/listed-missing"), ""}}},
        {"sitemap-lists-redirect", {{at("/listed-redirect"), at("/b")}}},
        {"sitemap-lists-noindex", {{at("/listed-noindex"), ""}}},
        {"sitemap-lists-non-canonical", {{at("/listed-noncanon"), at("/a")}}},
        {"sitemap-lists-blocked", {{at("/private-listed"), ""}}},
        {"orphan-page", {{at("/orphan"), ""}}},
        {"deep-page", {{at("/deep5"), ""}}},
        {"duplicate-content", {{at("/same1"), at("/same2")}, {at("/same2"), at("/same1")}}},
        {"title-duplicate", {{at("/a"), at("/b")}, {at("/b"), at("/a")}}},
        {"http-only", {{plain.Url("/"), ""}}},
        {"hreflang-no-return", {{at("/en"), at("/de")}}},
    };
    std::set<std::string> ids;
    for (const auto& [id, found] : expected) {
        ids.insert(id);
    }
    const Seen seen = FindingsOf(report, ids);
    for (const auto& [id, found] : expected) {
        EXPECT_EQ(seen.count(id) ? seen.at(id) : Places{}, found) << id;
    }

    // Blocked pages are reported, never asked for; every page is asked for once.
    std::map<std::string, int> asked;
    for (const auto& request : site.Requests()) {
        ++asked[request.Path()];
    }
    EXPECT_EQ(asked.count("/private"), 0u);
    EXPECT_EQ(asked.count("/private-listed"), 0u);
    for (const auto& [path, count] : asked) {
        // A redirect to a page also linked fetches it a second time on the way.
        EXPECT_EQ(count, path == "/a" || path == "/b" ? 2 : 1) << path;
    }
    EXPECT_EQ(down.RequestCount(), 2u) << "robots.txt and /sitemap.xml only";
    // Findings come in the order of the check table, each once, though /a and /b were read twice.
    std::set<std::tuple<Check, std::string, std::string, std::string>> distinct;
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
        const Finding& f = report.findings[i];
        EXPECT_TRUE(distinct.emplace(f.check, f.address, f.detail, f.related).second)
            << f.id() << " " << f.address << " " << f.detail;
        EXPECT_TRUE(i == 0 || report.findings[i - 1].check <= f.check);
    }
}

TEST(SiteAudit, ACleanSiteHasNothingAboveANotice) {
    HttpTestServer site(HttpTestServer::Options{.tls = true});
    const auto page = [&](const std::string& path, const std::string& title, std::vector<std::string> links) {
        const std::string head = "<meta name=viewport content=\"width=device-width\"><meta name=description "
                                 "content=\"" +
                                 title +
                                 ": a description long enough to be read in a search "
                                 "result.\"><link rel=canonical href=\"" +
                                 site.Url(path) + "\">";
        ScriptedResponse response = Page(path, links, head, title);
        response.headers.push_back({"Strict-Transport-Security", "max-age=31536000"});
        return response;
    };
    site.Route("/robots.txt", Response(200, "User-agent: *\nAllow: /\nSitemap: " + site.Url("/sitemap.xml")));
    site.Route("/sitemap.xml", Response(200, Sitemap(site, {"/", "/about"})));
    site.Route("/", page("/", "The home page of the clean site", {"/about", "/contact"}));
    site.Route("/about", page("/about", "About the clean fixture site", {"/"}));
    site.Route("/contact", page("/contact", "How to reach the clean site", {"/", "/about"}));

    AuditSetup setup;
    setup.starts = {site.Url("/")};
    setup.connection.caFile = site.CaFile().string();
    const AuditReport report = RunAudit(setup);
    ASSERT_TRUE(report.outcome.ok()) << report.outcome.text;
    for (const Finding& f : report.findings) {
        EXPECT_EQ(f.severity(), Severity::Notice) << f.id() << " " << f.address << " " << f.detail;
    }
    EXPECT_EQ(CountAtLeast(report, Severity::Warning), 0u);
    ASSERT_EQ(report.pages.size(), 3u);
    std::map<std::string, std::pair<int, bool>> pages; // depth, listed
    for (const AuditPage& p : report.pages) {
        EXPECT_EQ(p.status, 200) << p.address;
        pages[p.address] = {p.depth, p.listed};
    }
    EXPECT_EQ(pages[site.Url("/")], std::pair(0, true));
    EXPECT_EQ(pages[site.Url("/about")], std::pair(1, true));
    EXPECT_EQ(pages[site.Url("/contact")], std::pair(1, false));
}

// A site without end: page n links to 3n+1, 3n+2 and 3n+3.
void ServeEndlessSite(HttpTestServer& server) {
    server.SetHandler([](const test::RecordedRequest& request) {
        const std::string path = request.Path();
        if (path == "/robots.txt" || path == "/sitemap.xml") {
            return Response(404);
        }
        const long n = path == "/" ? 0 : std::stol(path.substr(1));
        std::vector<std::string> links;
        for (long k = 1; k <= 3; ++k) {
            links.push_back("/" + std::to_string(3 * n + k));
        }
        return Page(path, links);
    });
}

std::size_t PagesAsked(const HttpTestServer& server) {
    std::size_t pages = 0;
    for (const auto& request : server.Requests()) {
        pages += request.Path() != "/robots.txt" && request.Path() != "/sitemap.xml" ? 1 : 0;
    }
    return pages;
}

TEST(SiteAudit, StopsAtThePageAndDepthBounds) {
    struct Row {
        std::size_t maxPages;
        int maxDepth;
        std::size_t asked;
        bool truncated;
    };
    for (const Row& row : {Row{10, 10, 10, true}, Row{1000, 2, 13, false}, Row{1, 0, 1, false}}) {
        HttpTestServer server;
        ServeEndlessSite(server);
        AuditSetup setup;
        setup.starts = {server.Url("/")};
        setup.maxPages = row.maxPages;
        setup.maxDepth = row.maxDepth;
        const AuditReport report = RunAudit(setup);
        EXPECT_TRUE(report.outcome.ok()) << report.outcome.text;
        EXPECT_EQ(PagesAsked(server), row.asked) << row.maxPages << " " << row.maxDepth;
        EXPECT_EQ(report.truncated, row.truncated) << row.maxPages << " " << row.maxDepth;
        for (const AuditPage& page : report.pages) {
            EXPECT_LE(page.depth, row.maxDepth) << page.address;
        }
    }
}

struct StopAfter : Progress {
    StopAfter(std::atomic<bool>& stop, std::uint64_t pages) : stop_(stop), pages_(pages) {}
    void SetStatusText(const std::string&) override {}
    void SetSteps(std::uint64_t done, std::uint64_t total) override {
        EXPECT_LE(done, total);
        if (done >= pages_) {
            stop_ = true;
        }
    }
    std::atomic<bool>& stop_;
    std::uint64_t pages_;
};

TEST(SiteAudit, CancelEndsTheCrawlWithWhatWasFound) {
    HttpTestServer server;
    ServeEndlessSite(server);
    std::atomic<bool> stop{false};
    StopAfter progress(stop, 5);
    AuditSetup setup;
    setup.starts = {server.Url("/")};
    setup.stop = &stop;
    setup.progress = &progress;
    const AuditReport report = RunAudit(setup);
    EXPECT_TRUE(report.outcome.cancelled());
    EXPECT_GE(report.pages.size(), 5u);
    EXPECT_LT(report.pages.size(), 100u);
    EXPECT_FALSE(report.findings.empty());
}

TEST(SiteAudit, AStartThatCannotBeReadOrASitemapThatCannotBeHadEndsBeforeAnyFetch) {
    HttpTestServer server;
    for (const auto& [starts, sitemaps] :
         std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>>{
             {{"http://[::1"}, {}}, {{}, {server.Url("/no-sitemap.xml")}}, {{}, {}}}) {
        AuditSetup setup;
        setup.starts = starts;
        setup.sitemaps = sitemaps;
        const AuditReport report = RunAudit(setup);
        EXPECT_EQ(report.outcome.end, Outcome::End::Failed);
        EXPECT_FALSE(report.outcome.text.empty());
    }
    EXPECT_EQ(server.RequestCount(), 1u); // the sitemap
}

TEST(SiteAudit, ASitemapAloneStartsAtItsSitesHomePage) {
    HttpTestServer server;
    server.Route("/sitemap.xml", Response(200, Sitemap(server, {"/listed"})));
    server.Route("/", Page("/", {"/listed"}));
    server.Route("/listed", Page("/listed"));
    AuditSetup setup;
    setup.sitemaps = {server.Url("/sitemap.xml")};
    const AuditReport report = RunAudit(setup);
    ASSERT_TRUE(report.outcome.ok()) << report.outcome.text;
    EXPECT_EQ(report.starts, std::vector<std::string>{server.Url("/")});
    std::map<std::string, int> depth;
    for (const AuditPage& page : report.pages) {
        depth[page.address] = page.depth;
    }
    EXPECT_EQ(depth[server.Url("/listed")], 1);
}

} // namespace
} // namespace sendwell
