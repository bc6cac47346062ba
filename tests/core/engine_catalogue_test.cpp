#include "core/base/hosts.h"
#include "core/base/settings.h"
#include "core/submit/engine_catalogue.h"
#include "core/submit/engine_choice.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace sendwell {
namespace {

using test::ScopedXdgHome;
using test::TempDir;

constexpr const char* kAddr = "http://www.my-site.com/a?b=1&c";
constexpr const char* kMail = "me@my-site.com";

class EngineCatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int n = 1; n <= kEngineCount; ++n) {
            std::string host = "host" + std::to_string(n) + ".test";
            if (n == 21) {
                host = "127.0.0.21:8021";
            }
            WriteSetting(kSettingsSection, HostSettingName(EngineHostKey(n)), host);
        }
        WriteSetting(kSettingsSection, HostSettingName("AlexaConfirm"), "confirm.test");
    }

    TempDir dir_;
    ScopedXdgHome home_{dir_.path()};
};

TEST_F(EngineCatalogueTest, RequestAddressesAreJoinedExactlyAsTheEnginesExpect) {
    const std::string a = kAddr;
    const std::string m = kMail;
    EXPECT_EQ(BuildRequestAddress(EngineAt(1), a, m),
              "http://host1.test/cgi-bin/search/submit_url.pl?tpl=330&URL=http://www.my-site.com/a?b=1&c"
              "&category=other&EMail=me@my-site.com");
    EXPECT_EQ(BuildRequestAddress(EngineAt(3), a, m),
              "http://host3.test/submit2.php?submittext=http://www.my-site.com/a?b=1&c&name=me@my-site.com"
              "&email=me@my-site.com");
    EXPECT_EQ(BuildRequestAddress(EngineAt(5), a, m),
              "http://host5.test/cgi-bin/addurl.cgi?Email=me@my-site.com&URL=http://www.my-site.com/a?b=1&c"
              "&Title=&Description=&Keywords=");
    EXPECT_EQ(BuildRequestAddress(EngineAt(7), a, m),
              "http://host7.test/client/www/cgi-bin/request_bot.cgi?url=http://www.my-site.com/a?b=1&c"
              "&redirect=http://confirm.test/help/webmasters/successful.html&submit=Archive My Site");
    EXPECT_EQ(BuildRequestAddress(EngineAt(8), a, m),
              "http://host8.test/cgi-bin/exactadd.cgi?EMAIL=me@my-site.com&VERIFIER=517-48&action=submit"
              "&URL=http://www.my-site.com/a?b=1&c&NAME=na&terms=Yes");
    EXPECT_EQ(BuildRequestAddress(EngineAt(13), a, m),
              "http://host13.test/List_Your_Site/Basic_Submit/addURL.asp?URL=http://www.my-site.com/a?b=1&c"
              "&eMail=me@my-site.com");
    EXPECT_EQ(BuildRequestAddress(EngineAt(14), a, m),
              "http://host14.test//cgi-bin/submit?url=http://www.my-site.com/a?b=1&c&email=me@my-site.com");
    EXPECT_EQ(BuildRequestAddress(EngineAt(21), a, m),
              "http://127.0.0.21:8021/urlgl.cgi?url=http://www.my-site.com/a?b=1&c");
    EXPECT_EQ(BuildRequestAddress(EngineAt(25), a, m),
              "http://host25.test/List_your_Site/Basic_Submit/addURL.asp?URL=http://www.my-site.com/a?b=1&c"
              "&eMail=me@my-site.com");
    EXPECT_EQ(BuildRequestAddress(EngineAt(26), a, m),
              "http://host26.test/submit/Done.asp?URL=http://www.my-site.com/a?b=1&c");
}

TEST_F(EngineCatalogueTest, UserTextIsNeitherTrimmedNorEncoded) {
    EXPECT_EQ(BuildRequestAddress(EngineAt(2), " a b%20&c ", ""),
              "http://host2.test/addurl?q= a b%20&c &dq=thanks");
    EXPECT_EQ(BuildRequestAddress(EngineAt(9), "", ""), "http://host9.test/submit?url=&email=");
}

TEST_F(EngineCatalogueTest, OnlyTheCataloguesOwnSpacesAreEncodedForTheWire) {
    for (const EngineEntry& e : EngineCatalogue()) {
        EngineRequest r = BuildEngineRequest(e, "http://x.com/a b", "m e@x.com");
        EXPECT_EQ(r.address, BuildRequestAddress(e, "http://x.com/a b", "m e@x.com")) << e.position;
        EXPECT_EQ(r.method, e.method) << e.position;
        if (e.position != 6 && e.position != 7) {
            EXPECT_EQ(r.wireAddress, r.address) << e.position;
        }
    }
    EXPECT_EQ(
        BuildEngineRequest(EngineAt(6), "http://x.com/a b", "m").wireAddress,
        "http://host6.test/submit.html?surl=http://x.com/a b&sem=m&engine=hotbot&spag=1&submit=Add%20page"
        "&news=no");
    EXPECT_EQ(BuildEngineRequest(EngineAt(7), "A", "m").wireAddress,
              "http://host7.test/client/www/cgi-bin/request_bot.cgi?url=A"
              "&redirect=http://confirm.test/help/webmasters/successful.html&submit=Archive%20My%20Site");
}

TEST_F(EngineCatalogueTest, HostsAreReadFreshFromTheSettings) {
    WriteSetting(kSettingsSection, HostSettingName("Engine02"), "127.0.0.1:5555");
    EXPECT_EQ(BuildRequestAddress(EngineAt(2), "A", "M"), "http://127.0.0.1:5555/addurl?q=A&dq=thanks");
    WriteSetting(kSettingsSection, HostSettingName("Engine02"), "127.0.0.1:6666");
    EXPECT_EQ(EngineHost(EngineAt(2)), "127.0.0.1:6666");
}

TEST(EngineCatalogue, TableHoldsTwentySixDistinctEnginesInOrder) {
    const auto& all = EngineCatalogue();
    std::set<std::string_view> flags;
    std::set<std::string_view> paths;
    int formPosts = 0;
    for (int i = 0; i < kEngineCount; ++i) {
        EXPECT_EQ(all[static_cast<std::size_t>(i)].position, i + 1);
        flags.insert(all[static_cast<std::size_t>(i)].flagName);
        std::string_view t = all[static_cast<std::size_t>(i)].pathTemplate;
        paths.insert(t.substr(0, t.find('?')));
        formPosts += all[static_cast<std::size_t>(i)].method == SubmitMethod::FormPost ? 1 : 0;
    }
    EXPECT_EQ(flags.size(), 26u);
    EXPECT_EQ(paths.size(), 26u);
    EXPECT_EQ(formPosts, 5);
    for (int n : {10, 11, 15, 24, 26}) {
        EXPECT_EQ(EngineAt(n).method, SubmitMethod::FormPost) << n;
    }
    // The five engines whose answers are stored under another name than they are shown with.
    EXPECT_EQ(EngineAt(5).storeName, "ScrubTheWeb");
    EXPECT_EQ(EngineAt(17).storeName, "Onseek");
    EXPECT_EQ(EngineAt(18).storeName, "Splatsearch");
    EXPECT_EQ(EngineAt(19).storeName, "Surfgopher");
    EXPECT_EQ(EngineAt(20).storeName, "Tryamerica");
    EXPECT_EQ(EngineAt(1).flagName, "m_Webcrawler");
    EXPECT_EQ(EngineAt(7).flagName, "m_InfoSpace");
    EXPECT_EQ(EngineAt(13).flagName, "m_Hotbot");
    EXPECT_EQ(EngineAt(16).flagName, "m_Noago");
    EXPECT_THROW(EngineAt(0), std::out_of_range);
    EXPECT_THROW(EngineAt(27), std::out_of_range);
}

TEST_F(EngineCatalogueTest, OnlyAStoredZeroDisablesAnEngine) {
    const EngineEntry& e = EngineAt(13);
    EXPECT_TRUE(EngineEnabled(e)); // fresh settings
    for (const char* enabled : {"1", "2", "-", "", " 0", "00"}) {
        WriteSetting(kSettingsSection, e.flagName, enabled);
        EXPECT_TRUE(EngineEnabled(e)) << '"' << enabled << '"';
    }
    WriteSetting(kSettingsSection, e.flagName, "0");
    EXPECT_FALSE(EngineEnabled(e));
    EXPECT_TRUE(EngineEnabled(EngineAt(6))); // Hotbot UK has a flag of its own
}

TEST(EngineCatalogue, EnginesAreFoundByNumberOrByNameWithoutCaseOrSpaces) {
    const std::pair<const char*, int> cases[] = {
        {"2", 2},           {"02", 2},          {"26", 26},     {"Scrub The Web", 5},
        {"scrubtheweb", 5}, {"ScrubTheWeb", 5}, {"OnSeek", 17}, {"onseek", 17},
        {"SEARCH UK", 13},  {"0", 0},           {"27", 0},      {"", 0},
        {"Lycos", 0},       {"-1", 0},
    };
    for (const auto& [text, position] : cases) {
        const EngineEntry* engine = FindEngine(text);
        EXPECT_EQ(engine != nullptr ? engine->position : 0, position) << text;
    }
}

} // namespace
} // namespace sendwell
