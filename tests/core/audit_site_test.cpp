// The cross-page checks: one fixture site with each of them seeded once, every finding where it was
// seeded and nowhere else; a clean site yields nothing.
#include "core/audit/site_checks.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace sendwell {
namespace {

constexpr const char* kSite = "https://127.0.0.1:8443";
constexpr const char* kPlainSite = "http://127.0.0.1:8080";

std::string At(const std::string& path) {
    return kSite + path;
}

class FixtureSite {
public:
    FixtureSite() : site_(SiteScope({kSite, kPlainSite})) {}

    // A page at path (under kSite, or a whole address) with more of <head>, a title and text (made from
    // the path when empty), answering status or redirecting.
    PageId Add(const std::string& path, const std::vector<std::string>& links = {},
               const std::string& head = "", const std::string& title = "", const std::string& text = "",
               int status = 200, const std::string& redirectsTo = "") {
        const std::string url = path.starts_with("http") ? path : At(path);
        FetchResult result;
        result.url = url;
        result.finalUrl = redirectsTo.empty() ? url : At(redirectsTo);
        if (!redirectsTo.empty()) {
            result.chain = {{url, 301}};
        }
        result.status = status;
        result.head = {"HTTP/1.1 " + std::to_string(status), "Content-Type: text/html"};
        std::string anchors;
        for (const std::string& link : links) {
            anchors += "<a href=\"" + link + "\">link</a>";
        }
        result.body = "<html><head><title>" + (title.empty() ? "Title of " + path : title) + "</title>" +
                      head + "</head><body><p>" + (text.empty() ? "Text of " + path : text) + "</p>" +
                      anchors + "</body></html>";
        return site_.AddPage(ReadPage(result, scope_));
    }

    SiteFacts& facts() { return site_; }

private:
    SiteScope scope_{std::vector<std::string>{kSite, kPlainSite}};
    SiteFacts site_;
};

using Seen = std::set<std::tuple<std::string, std::string, std::string>>; // id, address, related

Seen Findings(const SiteFacts& site) {
    Seen seen;
    for (const Finding& f : CheckSite(site)) {
        EXPECT_TRUE(seen.emplace(std::string(f.id()), f.address, f.related).second) << "twice: " << f.id();
    }
    return seen;
}

TEST(SiteChecks, EachSeededFaultIsFoundWhereItWasSeeded) {
    FixtureSite fixture;
    SiteFacts& site = fixture.facts();
    const std::string sharedTitle = "A title that two pages share";
    const std::string sharedDescription =
        "<meta name=\"description\" content=\"A description two pages share\">";
    const std::string sameText = "The same words on two pages";

    site.MarkStart(
        fixture.Add("/", {"/a", "/b", "/redirecting", "/missing", "/blocked", "/deep1", "/en", "/de",
                          "/same1", "/same2", "/copy-a", "/copy-b", "/canon-broken", "/listed-noindex",
                          "/listed-noncanon", "http://127.0.0.1:8080/plain", "/#top", "/"}));
    fixture.Add("/a", {}, sharedDescription, sharedTitle);
    fixture.Add("/b", {"/a"}, sharedDescription, sharedTitle);
    fixture.Add("/redirecting", {}, "", "", "", 200, "/target");
    fixture.Add("/missing", {}, "", "", "", 404);
    site.MarkBlocked(site.Intern(At("/blocked")));
    site.MarkListed(site.Intern(At("/blocked")));
    fixture.Add("/deep1", {"/deep2"});
    fixture.Add("/deep2", {"/deep3"});
    fixture.Add("/deep3", {"/deep4"});
    fixture.Add("/deep4", {"/deep5", "/deep1"});
    fixture.Add("/deep5");
    fixture.Add("/en", {},
                "<link rel=alternate hreflang=en href=/en><link rel=alternate hreflang=de href=/de>");
    fixture.Add("/de", {}, "<link rel=alternate hreflang=de href=/de>");
    fixture.Add("/same1", {}, "", "", sameText);
    fixture.Add("/same2", {}, "", "", sameText);
    fixture.Add("/copy-a", {}, "", "", "Copied words");
    fixture.Add("/copy-b", {}, "<link rel=canonical href=/copy-a>", "", "Copied words");
    fixture.Add("/canon-broken", {}, "<link rel=canonical href=/gone>");
    fixture.Add("/gone", {}, "", "", "", 410);
    for (const char* listed :
         {"/orphan", "/listed-missing", "/listed-redirect", "/listed-noindex", "/listed-noncanon", "/a"}) {
        site.MarkListed(site.Intern(At(listed)));
    }
    fixture.Add("/orphan");
    fixture.Add("/listed-missing", {}, "", "", "", 404);
    fixture.Add("/listed-redirect", {}, "", "", "", 200, "/target");
    fixture.Add("/listed-noindex", {}, "<meta name=robots content=noindex>");
    fixture.Add("/listed-noncanon", {}, "<link rel=canonical href=/a>");
    fixture.Add("http://127.0.0.1:8080/plain");
    site.AddSite({kSite, RobotsTxt::Source::Read, 200, "", true, std::nullopt});
    site.AddSite({kPlainSite, RobotsTxt::Source::Unavailable, 404, "", true, false});
    site.AddSite(
        {"https://127.0.0.1:9443", RobotsTxt::Source::Unreachable, 0, "Couldn't connect", false, {}});

    const Seen expected = {
        {"title-duplicate", At("/a"), At("/b")},
        {"title-duplicate", At("/b"), At("/a")},
        {"description-duplicate", At("/a"), At("/b")},
        {"description-duplicate", At("/b"), At("/a")},
        {"links-to-redirect", At("/"), At("/redirecting")},
        {"broken-link", At("/"), At("/missing")},
        {"robots-blocked", At("/blocked"), At("/")},
        {"sitemap-lists-blocked", At("/blocked"), ""},
        {"deep-page", At("/deep5"), ""},
        {"hreflang-no-return", At("/en"), At("/de")},
        {"duplicate-content", At("/same1"), At("/same2")},
        {"duplicate-content", At("/same2"), At("/same1")},
        {"canonical-broken", At("/canon-broken"), At("/gone")},
        {"orphan-page", At("/orphan"), ""},
        {"sitemap-lists-error", At("/listed-missing"), ""},
        {"sitemap-lists-redirect", At("/listed-redirect"), At("/target")},
        {"sitemap-lists-noindex", At("/listed-noindex"), ""},
        {"sitemap-lists-non-canonical", At("/listed-noncanon"), At("/a")},
        {"robots-txt-missing", "http://127.0.0.1:8080/robots.txt", ""},
        {"robots-txt-error", "https://127.0.0.1:9443/robots.txt", ""},
        {"sitemap-missing", "https://127.0.0.1:9443/", ""},
        {"http-only", "http://127.0.0.1:8080/plain", ""},
    };
    EXPECT_EQ(Findings(site), expected);
    // A redirect is no click: the page it leads to is as deep as the link to it.
    const std::vector<int> depth = site.Depths();
    EXPECT_EQ(depth[*site.Find(At("/target"))], 1);
    EXPECT_EQ(depth[*site.Find(At("/deep5"))], 5);
    EXPECT_EQ(depth[*site.Find(At("/orphan"))], -1);
}

TEST(SiteChecks, ACleanSiteYieldsNothing) {
    FixtureSite fixture;
    SiteFacts& site = fixture.facts();
    site.MarkStart(fixture.Add("/", {"/one", "/two"}));
    fixture.Add("/one", {"/", "/two"},
                "<link rel=alternate hreflang=en href=/one><link rel=alternate hreflang=fr href=/two>");
    fixture.Add("/two", {"/"},
                "<link rel=alternate hreflang=en href=/one><link rel=alternate hreflang=fr href=/two>");
    site.MarkListed(site.Intern(At("/one")));
    site.AddSite({kSite, RobotsTxt::Source::Read, 200, "", true, std::nullopt});
    EXPECT_EQ(Findings(site), Seen{});
}

TEST(SiteFacts, AnAddressKeepsItsIdAndARedirectKeepsTheContentOnce) {
    FixtureSite fixture;
    SiteFacts& site = fixture.facts();
    const PageId first = fixture.Add("/old", {"/x"}, "", "", "", 200, "/new");
    EXPECT_EQ(site.Intern(At("/old")), first);
    const PageId moved = *site.Find(At("/new"));
    EXPECT_TRUE(site.Page(moved).content);
    EXPECT_FALSE(site.Page(first).content);
    EXPECT_EQ(site.Page(first).redirectsTo, moved);
    // The target fetched again later replaces nothing that was kept.
    fixture.Add("/older", {}, "", "", "", 200, "/new");
    EXPECT_EQ(site.Page(moved).links, std::vector<PageId>{*site.Find(At("/x"))});
    EXPECT_EQ(site.Find("https://127.0.0.1:8443/never-seen"), std::nullopt);
}

} // namespace
} // namespace sendwell
