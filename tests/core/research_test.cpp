// The research tools: the keyword suggestion's query, scan and merge (and a whole run against a
// loopback search and five pages), the rank check's addresses and clean-up, the popularity address.
#include "core/base/hosts.h"
#include "core/base/settings.h"
#include "core/research/keyword_suggestion.h"
#include "core/research/promotion.h"
#include "core/research/rank_check.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace sendwell {
namespace {

using test::HttpTestServer;
using test::Response;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Recorder : public Progress, public Prompt {
public:
    void SetStatusText(const std::string& text) override { statuses.push_back(text); }
    void SetSteps(std::uint64_t done, std::uint64_t total) override {
        positions.push_back(static_cast<int>(done));
        EXPECT_EQ(total, static_cast<std::uint64_t>(kKeywordProgressMax));
    }
    void ShowMessage(const std::string& text, const std::string&, MessageIcon) override {
        messages.push_back(text);
    }
    std::vector<std::string> statuses, messages;
    std::vector<int> positions;
};

// Settings (and so host overrides) in a scratch home for each test.
class Research : public ::testing::Test {
protected:
    test::TempDir home_;
    test::ScopedXdgHome xdg_{home_.path()};
};

TEST_F(Research, QueryTextSendsCommasAsSpacesAndEncodesOnlyWhatARequestLineCannotCarry) {
    EXPECT_EQ(QueryText("cheap,flights"), "cheap flights");
    EXPECT_EQ(EncodeForRequestLine("a b\"c\"#\xC3\xA9\t+%20&x=1/?"), "a%20b%22c%22%23%C3%A9%09+%20&x=1/?");
    WriteSetting(kSettingsSection, HostSettingName("GoogleSearch"), "127.0.0.1:9");
    EXPECT_EQ(KeywordQueryAddress("cheap,flights"),
              "http://127.0.0.1:9/search?q=cheap%20flights&hl=en&lr=&ie=UTF-8&oe=UTF-8");
}

TEST_F(Research, MergeKeepsFirstAppearanceOrderAndDropsShortBracketedAndRepeatedWords) {
    MergedKeywords merged;
    merged.Merge("Seo, seo, SEO, web site, a");
    EXPECT_THAT(merged.words(), ElementsAre("Seo", "seo", "SEO", "web", "site"));
    merged.Merge(",,<b>bold</b> ab abc\tdef web,site\nnew");
    EXPECT_THAT(merged.words(), ElementsAre("Seo", "seo", "SEO", "web", "site", "abc\tdef", "site\nnew"));
    merged.Clear();
    EXPECT_THAT(merged.words(), IsEmpty());
}

TEST_F(Research, ScanTakesQuotedLinksFromTheFirstResultLineOnAndSkipsTheFiveKinds) {
    const LineList page = {
        R"(<a href="http://before.example/1">x</a>)",
        R"(<a href="http://on.example/1">x</a><li class=g><a href="http://on.example/2">)",
        R"(<a href="/url?q=http://skip.example/">)",
        R"(<a href="https://secure.example/">)",
        R"(<a href="http://www.google.com/about">)",
        R"(<a href="http://x.example/swr?q=a">)",
        R"(<a href="http://x.example/search?q=a">)",
        R"(<A HREF="http://Case.example/Kept">)",
        R"(<a href= "http://x.example/unquoted>)",
        R"(<a href="http://third.example/"><a href="http://fourth.example/">)",
    };
    EXPECT_THAT(ResultAddresses(page, "google.com"),
                ElementsAre("http://on.example/1", "http://on.example/2", "http://Case.example/Kept",
                            "http://third.example/", "http://fourth.example/"));
    EXPECT_THAT(ResultAddresses({R"(<a href="http://before.example/">)"}, "google.com"), IsEmpty());
}

TEST_F(Research, WholeRunQueriesDirectlyThenMergesTheKeywordsOfFivePagesOnly) {
    HttpTestServer server;
    WriteSetting(kSettingsSection, HostSettingName("GoogleSearch"), server.HostPort());
    std::string answer = "<html>\r\n<ol><li class=g>\r\n";
    for (int i = 1; i <= 6; ++i) {
        answer += "<a href=\"" + server.Url("/p" + std::to_string(i)) + "\">page</a>\n";
    }
    answer += std::string(3000, 'x') + "\n"; // a long line arrives in several pieces
    server.Route("/search", Response(200, answer));
    auto keywords = [](const char* list) {
        return Response(200, std::string("<meta name=\"keywords\" content=\"") + list + "\">\n");
    };
    server.Route("/p1", keywords("travel, web site"));
    server.Route("/p2", keywords("Travel,travel,hotels"));
    server.Route("/p3", Response(200, "<p>no tag</p>\n"));
    server.Route("/p4", Response(404, "gone"));
    server.Route("/p5", keywords("site, flights"));
    server.Route("/p6", keywords("never"));

    MetaScanner scanner;
    MergedKeywords merged;
    Recorder r;
    CollectSuggestedKeywords("cheap,\"flights\"", scanner, merged, r, r);

    EXPECT_THAT(merged.words(), ElementsAre("travel", "web", "site", "Travel", "hotels", "flights"));
    EXPECT_THAT(r.positions, ElementsAre(1, 2, 2, 3, 4, 5, 6, 10));
    EXPECT_EQ(r.statuses.front(), "Querying Google");
    EXPECT_EQ(r.statuses[1], server.Url("/p1"));
    EXPECT_EQ(r.statuses[2], "Merging Keywords");
    EXPECT_EQ(r.statuses.back(), "Done!");
    EXPECT_THAT(r.messages, IsEmpty());

    const std::vector<test::RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[0].target, "/search?q=cheap%20%22flights%22&hl=en&lr=&ie=UTF-8&oe=UTF-8");
    EXPECT_EQ(requests[0].Header("User-Agent"), "URL Submitter by Quenby");
    EXPECT_EQ(requests[0].Header("Accept"), "text/*");
    for (std::size_t i = 1; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].Path(), "/p" + std::to_string(i));
        EXPECT_EQ(requests[i].Header("User-Agent"), "Microsoft Internet Explorer");
    }
}

TEST_F(Research, QueryPageComesInPiecesThatKeepTheirLineFeeds) {
    HttpTestServer server;
    server.Route("/q", Response(200, "ab\r\n" + std::string(1030, 'y') + "\nend"));
    PageFetcher fetcher;
    ASSERT_NE(fetcher.FetchQueryPage(server.Url("/q")).page, nullptr);
    EXPECT_THAT(fetcher.lines,
                ElementsAre("ab\n", std::string(1022, 'y'), std::string(8, 'y') + "\n", "end"));
}

TEST_F(Research, RankAddressesCarryTheKeywordsAsTypedAndTheTwoSearchitRowsMatch) {
    WriteSetting(kSettingsSection, HostSettingName("RankAltavista"), "127.0.0.1:1");
    const std::vector<RankEngine> engines = RankEngines("blue \"widgets\"");
    ASSERT_EQ(engines.size(), 14u);
    EXPECT_EQ(engines[0].name, "Altavista");
    EXPECT_EQ(engines[0].address, "http://127.0.0.1:1/cgi-bin/query?pg=q&sc=on&hl=on&act=2006&par=0&q=\"blue "
                                  "\"widgets\"\"&kl=XX&stype=stext");
    EXPECT_EQ(engines[3].address, "http://" + HostFor("RankLycos") +
                                      "/default.asp?lpv=1&loc=searchhp&tab=web&query=blue \"widgets\"");
    EXPECT_EQ(engines[7].address, engines[13].address);
    EXPECT_NE(engines[7].name, engines[13].name);
}

TEST_F(Research, RankPrefillDropsTheSchemeLength) {
    EXPECT_EQ(RankKeywordsPrefill("http://www.example.com/a"), "www.example.com/a");
    EXPECT_EQ(RankKeywordsPrefill("http://"), "");
    EXPECT_EQ(RankKeywordsPrefill("abc"), "");
    EXPECT_EQ(RankKeywordsPrefill(""), "");
}

TEST_F(Research, RankCloseRemovesOnlyTheEnginesLeftoverFiles) {
    test::TempDir dir;
    for (const char* name : {"altavista.html", "lycos.html", "google.html", "keep.html", "Google.html"}) {
        test::WriteFileBytes(dir / name, "x");
    }
    DeleteRankLeftovers(dir.path());
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_THAT(left, ElementsAre("Google.html", "keep.html"));
}

TEST_F(Research, PopularityAddressTakesTheRowUnencodedAndNeedsARow) {
    WriteSetting(kSettingsSection, HostSettingName("Popularity"), "127.0.0.1:2");
    EXPECT_EQ(PopularityAddress("http://a.example/?x=1&y=2"),
              "http://127.0.0.1:2/servlet/Popularity?url=http://a.example/?x=1&y=2");
    EXPECT_EQ(PopularityAddress(""), std::nullopt);
}

TEST_F(Research, PrioritySubmitPageFollowsThePartnerHostSetting) {
    WriteSetting(kSettingsSection, HostSettingName("VendorPartner"), "127.0.0.1:3");
    EXPECT_EQ(PromotionServices().front().address,
              std::string("https://127.0.0.1:3/partner.php?id=") + kPartnerNumber);
}

} // namespace
} // namespace sendwell
