// One page's facts and findings: a clean page yields nothing, and each seeded fault is found exactly
// once, at the address where it was seeded, and nothing else with it.
#include "core/audit/page_checks.h"
#include "core/audit/page_facts.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace sendwell {
namespace {

constexpr const char* kPage = "https://127.0.0.1:8443/section/page";

std::string Words(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        text += "word ";
    }
    return text;
}

// A page that passes every check; its text is 200 words (four in headings).
std::string CleanHtml() {
    return "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<title>A clean page that passes all checks</title>"
           "<meta name=\"description\" content=\"A description long enough to please every search engine "
           "that "
           "reads it, and short enough too.\">"
           "<meta name=\"viewport\" content=\"width=device-width\">"
           "<link rel=\"canonical\" href=\"https://127.0.0.1:8443/section/page\">"
           "<meta property=\"og:title\" content=\"Clean\"><meta property=\"og:description\" "
           "content=\"Clean\">"
           "<meta property=\"og:image\" content=\"https://127.0.0.1:8443/i.png\">"
           "<script type=\"application/ld+json\">{\"@context\":\"https://schema.org\",\"@type\":\"WebPage\"}"
           "</script></head><body><h1>Heading</h1><h2>Part</h2><h3>Detail</h3><h2>Part</h2><p>" +
           Words(196) +
           "</p><img src=\"/a.png\" alt=\"A picture\"><img src=\"/deco.png\" alt=\"\"></body></html>";
}

FetchResult Answer(std::string html,
                   std::vector<std::string> head = {"HTTP/1.1 200 OK", "Content-Type: text/html",
                                                    "Strict-Transport-Security: max-age=1"}) {
    FetchResult result;
    result.url = kPage;
    result.finalUrl = kPage;
    result.status = 200;
    result.head = std::move(head);
    result.body = std::move(html);
    return result;
}

std::multiset<std::string> Ids(const std::vector<Finding>& findings) {
    std::multiset<std::string> ids;
    for (const Finding& f : findings) {
        ids.emplace(f.id());
    }
    return ids;
}

std::vector<Finding> Check(const FetchResult& result) {
    return CheckPage(ReadPage(result, SiteScope({kPage})));
}

TEST(PageChecks, ACleanPageYieldsNothing) {
    EXPECT_EQ(Ids(Check(Answer(CleanHtml()))), std::multiset<std::string>{});
}

// Each row changes the clean page in one place and expects exactly these findings.
TEST(PageChecks, EachSeededFaultIsFoundAloneInTheContent) {
    struct Row {
        std::string from;
        std::string to;
        std::multiset<std::string> expected;
    };
    const std::string title = "<title>A clean page that passes all checks</title>";
    const std::string description = "<meta name=\"description\"";
    const std::string canonical = "<link rel=\"canonical\" href=\"https://127.0.0.1:8443/section/page\">";
    const std::string h1 = "<h1>Heading</h1>";
    const std::string img = "<img src=\"/a.png\" alt=\"A picture\">";
    const std::string jsonld = "{\"@context\":\"https://schema.org\",\"@type\":\"WebPage\"}";
    const std::string eAcute = "\xC3\xA9";
    std::string sixty;
    std::string sixtyOne;
    for (int i = 0; i < 60; ++i) {
        sixty += eAcute; // 120 bytes, 60 characters
    }
    sixtyOne = sixty + eAcute;
    const Row rows[] = {
        {title, "", {"title-missing"}},
        {title, "<title>  </title>", {"title-empty"}},
        {title, title + "<title>Another title for the same page</title>", {"title-multiple"}},
        {title, "<title>Nineteen characters</title>", {"title-short"}},
        {title, "<title>" + sixtyOne + "</title>", {"title-long"}},
        {title, "<title>" + sixty + "</title>", {}},
        {title, "<title>" + title + "</title><svg><title>icon</title></svg>", {}},
        {description, "<meta name=\"x\"", {"description-missing"}},
        {description,
         "<meta name=\"description\" content=\"Another one\">" + description,
         {"description-multiple", "description-short"}},
        {description,
         "<meta name=\"DESCRIPTION\" content=\"Too short\"><meta name=\"x\"",
         {"description-short"}},
        {description,
         "<meta name=\"description\" content=\"" + std::string(161, 'd') + "\"><meta name=\"x\"",
         {"description-long"}},
        {h1, "<h2>Heading</h2>", {"h1-missing"}},
        {h1, h1 + h1, {"h1-multiple"}},
        {"<h3>Detail</h3>", "<h4>Detail</h4>", {"heading-skip"}},
        {canonical, "", {"canonical-missing"}},
        {canonical, "<link rel=\"canonical\" href=\"/section/page\">", {"canonical-relative"}},
        {canonical,
         canonical + "<link rel=\"canonical\" href=\"https://127.0.0.1:8443/other\">",
         {"canonical-multiple"}},
        {canonical, canonical + canonical, {}},
        {"<meta charset", "<meta name=\"robots\" content=\"nofollow, NOINDEX\"><meta charset", {"noindex"}},
        {"<meta charset", "<meta name=\"robots\" content=\"none\"><meta charset", {"noindex"}},
        {img, "<img src=\"/a.png\">", {"img-alt-missing"}},
        {img, "<img src=\"/a.png\" alt=\"" + std::string(101, 'a') + "\">", {"img-alt-long"}},
        {"<meta name=\"viewport\" content=\"width=device-width\">", "", {"viewport-missing"}},
        {"<html lang=\"en\">", "<html>", {"lang-missing"}},
        {"<head>",
         "<head><link rel=\"alternate\" hreflang=\"en_GB\" href=\"https://127.0.0.1:8443/en\">"
         "<link rel=\"alternate\" hreflang=\"x-default\" href=\"https://127.0.0.1:8443/\">",
         {"hreflang-invalid"}},
        {"<head>",
         "<head><link rel=\"alternate\" hreflang=\"de-DE\" href=\"/de\">"
         "<link rel=\"alternate\" hreflang=\"x-default\" href=\"https://127.0.0.1:8443/\">",
         {"hreflang-relative"}},
        {"<head>",
         "<head><link rel=\"alternate\" hreflang=\"zh-Hant-TW\" href=\"https://127.0.0.1:8443/tw\">",
         {"hreflang-no-x-default"}},
        {"<meta property=\"og:image\"", "<meta property=\"og:imagery\"", {"og-missing"}},
        {jsonld, "{\"@type\": \"WebPage\",}", {"jsonld-invalid"}},
        {jsonld, "{\"@context\":\"https://schema.org\"}", {"jsonld-no-type"}},
        {jsonld, "{\"@graph\":[{\"@type\":\"A\"},{\"@type\":\"B\"}]}", {}},
        {img, "<img src=\"http://127.0.0.1:8080/a.png\" alt=\"A\">", {"mixed-content"}},
        {img, img + "<script src=\"http://localhost:9/s.js\"></script>", {"mixed-content"}},
        {img, img + "<a href=\"http://localhost:9/plain\">a plain link is no load</a>", {}},
        {Words(196), Words(195), {"thin-content"}},
        {Words(196), Words(150) + "<script>" + Words(100) + "</script>", {"thin-content"}},
        {Words(196), Words(195) + "<b>wo</b>rd", {}},
        {img,
         img +
             [] {
                 std::string many;
                 for (int i = 0; i < 1500; ++i) {
                     many += "<span></span>";
                 }
                 return many;
             }(),
         {"dom-large"}},
        {"<meta charset=\"utf-8\">", "", {"charset-missing"}},
        {"<meta charset=\"utf-8\">",
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">",
         {}},
        {"<head>", "<head><meta name=\"keywords\" content=\"a, b\">", {"meta-keywords"}},
    };
    for (const Row& row : rows) {
        std::string html = CleanHtml();
        const std::size_t at = html.find(row.from);
        ASSERT_NE(at, std::string::npos) << row.from;
        html.replace(at, row.from.size(), row.to);
        const std::vector<Finding> findings = Check(Answer(html));
        EXPECT_EQ(Ids(findings), row.expected) << "replacing " << row.from << "\nwith " << row.to;
        for (const Finding& f : findings) {
            EXPECT_EQ(f.address, kPage) << f.id();
        }
    }
}

TEST(PageChecks, TheAnswerItselfIsChecked) {
    struct Row {
        const char* name;
        void (*seed)(FetchResult&);
        std::multiset<std::string> expected;
    };
    const Row rows[] = {
        {"404", [](FetchResult& r) { r.status = 404; }, {"http-error"}},
        {"no answer",
         [](FetchResult& r) {
             r.status = 0;
             r.outcome = Outcome::Failed("Couldn't connect to server");
         },
         {"http-error"}},
        {"one redirect",
         [](FetchResult& r) {
             r.chain = {{"http://127.0.0.1:8080/p", 301}};
         },
         {}},
        {"two redirects",
         [](FetchResult& r) {
             r.chain = {{"http://127.0.0.1:8080/p", 301}, {"https://127.0.0.1:8443/p", 301}};
         },
         {"redirect-chain"}},
        {"loop",
         [](FetchResult& r) {
             r.status = 0;
             r.outcome = Outcome::Failed("Maximum (10) redirects followed");
             r.chain = {{"https://127.0.0.1:8443/a", 302},
                        {"https://127.0.0.1:8443/b", 302},
                        {"https://127.0.0.1:8443/a", 302}};
         },
         {"redirect-loop"}},
        {"slow", [](FetchResult& r) { r.firstByte = std::chrono::milliseconds(801); }, {"slow-response"}},
        {"not slow", [](FetchResult& r) { r.firstByte = std::chrono::milliseconds(800); }, {}},
        {"no hsts",
         [](FetchResult& r) {
             r.head = {"HTTP/1.1 200 OK", "Content-Type: text/html"};
         },
         {"hsts-missing"}},
        {"http page needs no hsts",
         [](FetchResult& r) {
             r.url = r.finalUrl = "http://127.0.0.1:8443/section/page";
             r.head = {"HTTP/1.1 200 OK"};
         },
         {}},
        {"noindex header",
         [](FetchResult& r) { r.head.push_back("x-robots-tag: otherbot: noindex"); },
         {"noindex"}},
        {"header canonical agrees",
         [](FetchResult& r) {
             r.head.push_back("Link: <https://127.0.0.1:8443/section/page>; rel=\"canonical\"");
         },
         {}},
        {"header canonical conflicts",
         [](FetchResult& r) {
             r.head.push_back("Link: </style.css>; rel=preload, </other>; rel=\"canonical\"");
         },
         {"canonical-conflict"}},
        {"header charset, no meta",
         [](FetchResult& r) {
             r.head[1] = "Content-Type: text/html; charset=\"utf-8\"";
             r.body.erase(r.body.find("<meta charset=\"utf-8\">"), 22);
         },
         {}},
        {"not HTML", [](FetchResult& r) { r.head[1] = "Content-Type: image/png"; }, {}},
    };
    for (const Row& row : rows) {
        FetchResult result = Answer(CleanHtml());
        row.seed(result);
        const std::vector<Finding> findings = Check(result);
        EXPECT_EQ(Ids(findings), row.expected) << row.name;
    }
}

TEST(PageFacts, LinksResolveAgainstTheBaseWithoutFragmentsAndSplitBySite) {
    FetchResult result = Answer(
        "<html><head><base href=\"/docs/\"></head><body>"
        "<a href=\"intro#top\">a</a><a href=\"intro\">again</a>"
        "<a href=\" ../up\tper \">blanks</a><a href=\"#here\">self</a>"
        "<a href=\"http://127.0.0.1:8443/plain\">http form of the same site</a>"
        "<a href=\"//localhost:9/x?q=1#f\">other site</a>"
        "<a href=\"mailto:a@b.test\">mail</a><a href=\"javascript:void(0)\">js</a>"
        "<map><area href=\"/area\"></map><a>no href</a><a href=\"HTTPS://127.0.0.1:8443/AREA\">case</a>"
        "<a href=\"HTTP://LOCALHOST:80/Y\">one spelling</a></body></html>");
    const PageFacts facts = ReadPage(result, SiteScope({kPage}));
    EXPECT_EQ(facts.internalLinks,
              (std::vector<std::string>{"https://127.0.0.1:8443/docs/intro", "https://127.0.0.1:8443/upper",
                                        "https://127.0.0.1:8443/docs/", "http://127.0.0.1:8443/plain",
                                        "https://127.0.0.1:8443/area", "https://127.0.0.1:8443/AREA"}));
    EXPECT_EQ(facts.externalLinks,
              (std::vector<std::string>{"https://localhost:9/x?q=1", "http://localhost/Y"}));
}

TEST(PageFacts, TheSameTextInOtherMarkupHashesTheSame) {
    const PageFacts a = ReadPage(Answer("<p>Hello   <b>big</b>\nworld</p><script>var x;</script>"), {});
    const PageFacts b = ReadPage(Answer("<div>Hello big <span>world</span></div><style>p{}</style>"), {});
    const PageFacts c = ReadPage(Answer("<p>Hello big world!</p>"), {});
    EXPECT_EQ(a.words, 3u);
    EXPECT_NE(a.textHash, 0u);
    EXPECT_EQ(a.textHash, b.textHash);
    EXPECT_NE(a.textHash, c.textHash);
}

// The parser's time grows with the square of the nesting: a hostile page must not hold a crawl up.
TEST(PageFacts, DeeplyNestedMarkupIsReadOnlyToABoundedDepth) {
    std::string html = "<title>A title</title><!-- <div><div> --><p>Shallow text";
    for (int i = 0; i < kMaxNesting - 10; ++i) {
        html += i % 2 == 0 ? "<div><li><br>" : "<span><script>'<div>'</script>";
    }
    html += "deep text";
    const PageFacts shallow = ReadPage(Answer(html), {});
    EXPECT_FALSE(shallow.nestingCut);
    EXPECT_EQ(shallow.words, 4u);
    for (int i = 0; i < 200000; ++i) {
        html += "<div>";
    }
    const PageFacts deep = ReadPage(Answer(html), {});
    EXPECT_TRUE(deep.nestingCut);
    EXPECT_EQ(deep.titles, std::vector<std::string>{"A title"});
    EXPECT_EQ(deep.words, 4u);
    EXPECT_GT(deep.elements, static_cast<std::size_t>(kMaxNesting));
    EXPECT_EQ(Ids(CheckPage(deep)).count("dom-large"), 1u);

    // The same for a tag of a hundred thousand attributes; quoted values may hold anything.
    std::string attributes = "<p>Before</p><img alt='a > b' src=\"x\"><div";
    for (int i = 0; i < 100000; ++i) {
        attributes += " a" + std::to_string(i);
    }
    const PageFacts wide = ReadPage(Answer(attributes + "><p>After</p>"), {});
    EXPECT_TRUE(wide.nestingCut);
    EXPECT_EQ(wide.words, 1u);
    ASSERT_EQ(wide.images.size(), 1u);
    EXPECT_FALSE(
        ReadPage(Answer("<p>Before</p><img alt='a > b' src=\"x\"><div a b>After</div>"), {}).nestingCut);
}

TEST(PageChecks, HreflangCodes) {
    for (const char* good : {"en", "EN-gb", "es-419", "zh-Hant", "zh-Hant-TW", "x-default", "fil"}) {
        EXPECT_TRUE(IsHreflangCode(good)) << good;
    }
    for (const char* bad : {"", "e", "english", "en_GB", "en-", "en-GBR", "en-12", "x-other", "en-GB-x"}) {
        EXPECT_FALSE(IsHreflangCode(bad)) << bad;
    }
}

TEST(AuditChecks, IdsAreUniqueAndFoundByName) {
    std::set<std::string_view> ids;
    for (const CheckInfo& info : AllChecks()) {
        EXPECT_TRUE(ids.insert(info.id).second) << info.id;
        EXPECT_EQ(CheckWithId(info.id), info.check);
        EXPECT_FALSE(info.description.empty());
    }
    EXPECT_EQ(CheckWithId("no-such-check"), std::nullopt);
    EXPECT_EQ(SeverityNamed(SeverityName(Severity::Warning)), Severity::Warning);
}

} // namespace
} // namespace sendwell
