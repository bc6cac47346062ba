// The upgrade check: reading the vendor's page, what the user is told, and the start-up due rule with
// the date it stores.
#include "core/base/hosts.h"
#include "core/base/settings.h"
#include "core/upgrade/upgrade_checker.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_port.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace sendwell {
namespace {

namespace chr = std::chrono;
using Lines = std::vector<std::string>;

const std::string kDigest(64, 'a');

TEST(UpgradePage, ReadsVersionAndDescription) {
    struct Case {
        const char* name;
        Lines page;
        float version;
        std::string description;
    };
    const Case cases[] = {
        {"equal version", {"<!-- UPGRADE Version -->", "3.81"}, 3.81f, ""},
        {"higher fraction", {"x <!-- UPGRADE Version --> y", "3.82"}, 3.82f, ""},
        {"whole number", {"<!-- UPGRADE Version -->", "4"}, 4.0f, ""},
        {"letter in front", {"<!-- UPGRADE Version -->", "v3.90"}, 0.0f, ""},
        {"blanks and trailing text", {"<!-- UPGRADE Version -->", " \t3.90 beta"}, 3.90f, ""},
        {"marker on the last line", {"<!-- UPGRADE Version -->"}, 0.0f, ""},
        {"lowercase marker", {"<!-- upgrade version -->", "9"}, 0.0f, ""},
        {"three description lines",
         {"<!-- UPGRADE Description -->", "Faster", " runs,", "more engines.",
          "<!-- END UPGRADE Description -->", "after"},
         0.0f,
         "Faster runs,more engines."},
        {"both description markers on one line",
         {"<!-- UPGRADE Description --><!-- END UPGRADE Description -->", "not part of it"},
         0.0f,
         ""},
        {"description without end marker", {"<!-- UPGRADE Description -->", "a", "b"}, 0.0f, "ab"},
        {"version line inside a description",
         {"<!-- UPGRADE Description -->", "<!-- UPGRADE Version -->", "END UPGRADE Description", "5"},
         0.0f,
         "<!-- UPGRADE Version -->"},
    };
    for (const Case& c : cases) {
        UpgradeAnnouncement announced;
        ReadUpgradePage(c.page, announced);
        EXPECT_EQ(announced.version, c.version) << c.name;
        EXPECT_EQ(announced.description, c.description) << c.name;
    }
}

TEST(UpgradePage, KeepsLinkAndVersionFromEarlierPagesAndTiesTheDigestToItsLink) {
    UpgradeAnnouncement announced;
    ReadUpgradePage({"<!-- UPGRADE SHA256 -->", " " + kDigest + " ", "<!-- UPGRADE Download Link -->",
                     "http://h/NewUpdate.exe", "<!-- UPGRADE Version -->", "3.9"},
                    announced);
    EXPECT_EQ(announced.link, "http://h/NewUpdate.exe");
    EXPECT_EQ(announced.sha256, kDigest);

    ReadUpgradePage({"<html>nothing announced</html>"}, announced);
    EXPECT_EQ(announced.version, 3.9f);
    EXPECT_EQ(announced.link, "http://h/NewUpdate.exe");
    EXPECT_EQ(announced.sha256, kDigest);

    // A new link without a digest has none; a malformed digest counts as none.
    ReadUpgradePage({"<!-- UPGRADE Download Link -->", "http://h/Other.exe"}, announced);
    EXPECT_EQ(announced.link, "http://h/Other.exe");
    EXPECT_EQ(announced.sha256, "");
    ReadUpgradePage({"<!-- UPGRADE Download Link -->", "http://h/Third.exe", "<!-- UPGRADE SHA256 -->",
                     kDigest.substr(1) + "g"},
                    announced);
    EXPECT_EQ(announced.sha256, "");
}

class UpgradeCheckerTest : public ::testing::Test {
protected:
    test::TempDir dir_;
    test::ScopedXdgHome home_{dir_.path()};
};

TEST_F(UpgradeCheckerTest, ChecksTheVendorPageAndSaysWhatItFound) {
    test::HttpTestServer server;
    server.Route("/sendwell_upgrade.html",
                 test::Response(200,
                                "<!-- UPGRADE Version -->\r\n3.82\r\n<!-- UPGRADE Description -->\r\n"
                                "New engines.\r\nFaster.\r\n<!-- END UPGRADE Description -->\r\n"
                                "<!-- UPGRADE Download Link -->\r\nhttp://127.0.0.1:1/NewUpdate.exe\r\n"));
    ASSERT_TRUE(WriteSetting(kSettingsSection, HostSettingName("Vendor"), server.HostPort()));

    UpgradeChecker checker;
    checker.Prepare();
    EXPECT_EQ(checker.pageAddress, "http://" + server.HostPort() + "/sendwell_upgrade.html");
    checker.FetchUpgradePage();
    UpgradeChecker::Verdict verdict = checker.Decide();
    EXPECT_TRUE(verdict.offer);
    EXPECT_EQ(verdict.caption, "A new upgrade is available.");
    EXPECT_EQ(verdict.text, "A new upgrade of Sendwell! Pro is available for download.\n\nDescription:\n\n"
                            "New engines.Faster.\n\nWould you like to download the upgrade now?");

    // The host stops answering: the description goes, the version and link stay.
    ASSERT_TRUE(WriteSetting(kSettingsSection, HostSettingName("Vendor"),
                             "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort())));
    checker.Prepare();
    checker.FetchUpgradePage();
    EXPECT_EQ(checker.announcement().description, "");
    EXPECT_EQ(checker.announcement().link, "http://127.0.0.1:1/NewUpdate.exe");
    EXPECT_TRUE(checker.Decide().offer);

    UpgradeChecker fresh;
    fresh.Prepare();
    fresh.FetchUpgradePage();
    verdict = fresh.Decide();
    EXPECT_FALSE(verdict.offer);
    EXPECT_EQ(verdict.caption, "Sendwell! Pro");
    EXPECT_EQ(verdict.text, "You have the most recent version v3.81\nNo upgrade is available.");
}

TEST(UpgradeDue, OffersAfterSixteenWholeDaysSinceTheStoredDate) {
    const LocalTime noon = chr::local_days(chr::year(2026) / 5 / 20) + chr::hours(12);
    const LocalTime justAfterMidnight = chr::local_days(chr::year(2026) / 5 / 20) + chr::minutes(30);
    const chr::year_month_day today = chr::year(2026) / 5 / 20;
    struct Case {
        std::string stored;
        LocalTime now;
        bool due;
        chr::year_month_day kept;
    };
    const Case cases[] = {
        {"5 4 2026", noon, true, today},
        {"5 5 2026", noon, false, chr::year(2026) / 5 / 5},
        // Days count from 01:01:01 on the stored day.
        {"5 4 2026", justAfterMidnight, false, chr::year(2026) / 5 / 4},
        {"1 1 2025 further parts", noon, true, today},
        {"6 1 2026", noon, false, chr::year(2026) / 6 / 1},
        {"", noon, false, today},
        {"5 5", noon, false, today},
        {"0 5 2026", noon, false, today},
        {"5 0 2026", noon, false, today},
        {"13 1 2026", noon, false, today},
        {"2 30 2026", noon, false, today},
        {"May 4 2026", noon, false, today},
        {"5 4 2026" + std::string(100, ' '), noon, false, today},
    };
    for (const Case& c : cases) {
        const UpgradeDue answer = UpgradeDueAt(c.stored, c.now);
        EXPECT_EQ(answer.due, c.due) << '"' << c.stored << '"';
        EXPECT_EQ(answer.lastCheck, c.kept) << '"' << c.stored << '"';
    }
}

TEST_F(UpgradeCheckerTest, StoresTheCheckDateAsMonthDayYear) {
    const LocalTime now = chr::local_days(chr::year(2026) / 12 / 6) + chr::hours(9);
    {
        UpgradeChecker checker;
        checker.SaveCheckDate(); // no date yet: nothing written
        EXPECT_EQ(ReadSetting(kSettingsSection, "UpgradeDate"), "");
        EXPECT_FALSE(checker.CheckDue(now));
        checker.SaveCheckDate();
    }
    EXPECT_EQ(ReadSetting(kSettingsSection, "UpgradeDate"), "12 6 2026");

    ASSERT_TRUE(WriteSetting(kSettingsSection, "UpgradeDate", "11 30 2026"));
    UpgradeChecker checker;
    EXPECT_FALSE(checker.CheckDue(now));
    checker.SaveCheckDate();
    EXPECT_EQ(ReadSetting(kSettingsSection, "UpgradeDate"), "11 30 2026");
    checker.MarkChecked(now + chr::days(40));
    checker.SaveCheckDate();
    EXPECT_EQ(ReadSetting(kSettingsSection, "UpgradeDate"), "1 15 2027");
}

} // namespace
} // namespace sendwell
