// The "Analy&ze" command against pages served on loopback: the findings, the advice, the fallback
// keyword reading, and what is said when there is nothing to show.
#include "core/meta/meta_analysis.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>

namespace sendwell {
namespace {

using test::HttpTestServer;
using test::Response;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

struct Shown {
    std::string text, caption;
    MessageIcon icon;
};

class Recorder : public Prompt, public AnalysisWindows {
public:
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
        messages.push_back({text, caption, icon});
    }
    void FetchBehindWaitWindow(const std::string& address, const std::function<void()>& fetch) override {
        waitAddress = address;
        fetch();
    }
    void ShowFindings(const MetaFindings& f, const std::string& a) override {
        findings = f;
        advice = a;
    }

    std::vector<Shown> messages;
    std::optional<std::string> waitAddress;
    std::optional<MetaFindings> findings;
    std::string advice;
};

Recorder Analyze(const std::string& address, const ConnectionSettings& settings = {}) {
    Recorder r;
    MetaScanner scanner;
    AnalyzeMetaTags(address, settings, scanner, r, r, 2);
    return r;
}

constexpr const char* kTitle = "<title>Widgets</title>\n";
constexpr const char* kDescription = "<meta name=\"description\" content=\"Fine widgets\">\n";

std::string KeywordsTag(const char* list) {
    return std::string("<meta name=\"keywords\" content=\"") + list + "\">\n";
}

TEST(MetaAnalysis, ShowsTheFindingsWithTheAdviceOfTheTable) {
    const struct {
        const char* what;
        std::string page;
        std::vector<std::string> keywords;
        const char* advice;
    } cases[] = {
        {"everything",
         kTitle + std::string(kDescription) + KeywordsTag("a,b,c,d,e"),
         {"a", "b", "c", "d", "e"},
         "This page is search engine ready!"},
        {"three keywords",
         kTitle + std::string(kDescription) + KeywordsTag("a,b,c"),
         {"a", "b", "c"},
         "This web page can use more meta-data. Use the Keywords tool."},
        {"no description",
         kTitle + KeywordsTag("a,b,c,d"),
         {"a", "b", "c", "d"},
         "This web page can use more meta-data. Use the Keywords tool."},
        {"no title",
         std::string(kDescription) + KeywordsTag("a,b,c,d,e"),
         {"a", "b", "c", "d", "e"},
         "This web page needs a keyword-rich title."},
        {"description only", kDescription, {}, "This web page needs a keyword-rich title."},
        {"title only", kTitle, {}, "This web page needs meta keywords. Use the Keywords tool."},
        {"split at commas, tabs and line feeds; no empty entries",
         kTitle + KeywordsTag("a, b,,c\td"),
         {"a", " b", "c", "d"},
         "This web page can use more meta-data. Use the Keywords tool."},
        {"fallback keeps empty pieces",
         kTitle + std::string("<META CONTENT=\"x,,y\" NAME=\"keywords\">\n"),
         {"x", "", "y"},
         "This web page can use more meta-data. Use the Keywords tool."},
    };
    for (const auto& c : cases) {
        HttpTestServer server;
        server.Route("/page", Response(200, c.page));
        Recorder r = Analyze(server.Url("/page"));
        ASSERT_TRUE(r.findings) << c.what;
        EXPECT_THAT(r.messages, IsEmpty()) << c.what;
        EXPECT_EQ(r.findings->address, server.Url("/page")) << c.what;
        EXPECT_THAT(r.findings->keywords, ElementsAreArray(c.keywords)) << c.what;
        EXPECT_EQ(r.advice, c.advice) << c.what;
        EXPECT_EQ(r.waitAddress, server.Url("/page")) << c.what;
    }
}

TEST(MetaAnalysis, ReadsTitleAndDescriptionAsThePageWritesThem) {
    HttpTestServer server;
    server.Route("/", Response(200, "<HTML><TITLE>Big Widgets</TITLE>\r\n" + std::string(kDescription)));
    Recorder r = Analyze(server.HostPort() + "/");
    ASSERT_TRUE(r.findings);
    EXPECT_EQ(r.findings->title, "Big Widgets");
    EXPECT_EQ(r.findings->description, "Fine widgets");
}

TEST(MetaAnalysis, FallbackReadsEveryQualifyingLine) {
    EXPECT_THAT(FallbackKeywords({"<meta content=\"a,b\" name=\"KEYWORDS\">", "meta keywords = no content",
                                  "<meta keywords= content=\">\">", "<META KEYWORDS= CONTENT=\"c,\">"}),
                ElementsAre("a", "b", "c"));
}

TEST(MetaAnalysis, SaysWhenThereIsNothingToShow) {
    HttpTestServer server;
    server.Route("/plain", Response(200, "<html><body>No tags</body></html>\n"));
    const std::string closed = "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()) + "/";
    for (const std::string& address : {server.Url("/plain"), closed}) {
        Recorder r = Analyze(address);
        EXPECT_FALSE(r.findings) << address;
        ASSERT_EQ(r.messages.size(), 1u) << address;
        EXPECT_EQ(r.messages[0].text,
                  "No meta tags were found on this web page. Use the Keywords tool to add "
                  "meta-data to your web page.");
        EXPECT_EQ(r.messages[0].caption, "Sendwell!");
        EXPECT_EQ(r.messages[0].icon, MessageIcon::Information);
    }

    Recorder none = Analyze("");
    EXPECT_FALSE(none.waitAddress);
    ASSERT_EQ(none.messages.size(), 1u);
    EXPECT_EQ(none.messages[0].text, "Select a web page URL to check the META tags");
    EXPECT_EQ(none.messages[0].caption, "Sendwell!");
    EXPECT_EQ(server.RequestCount(), 1u);
}

TEST(MetaAnalysis, FetchesThroughTheUsersProxy) {
    HttpTestServer proxy;
    proxy.SetHandler(test::Always(Response(200, kTitle)));
    ConnectionSettings settings;
    settings.useProxy = true;
    settings.proxyName = proxy.HostPort();
    const std::string page = "http://127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()) + "/via-proxy";
    Recorder r = Analyze(page, settings);
    ASSERT_TRUE(r.findings);
    EXPECT_EQ(r.findings->title, "Widgets");
    ASSERT_EQ(proxy.RequestCount(), 1u);
    EXPECT_EQ(proxy.Requests()[0].target, page);
}

} // namespace
} // namespace sendwell
