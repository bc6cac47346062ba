// The upgrade check: reading the vendor's page, the keys and signatures that make an installer trusted,
// what the user is told, and the start-up due rule with the date it stores.
#include "core/base/hosts.h"
#include "core/base/settings.h"
#include "core/upgrade/upgrade_checker.h"
#include "core/upgrade/upgrade_signature.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_port.h"
#include "tests/support/signing_key.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

namespace sendwell {
namespace {

namespace chr = std::chrono;
using Lines = std::vector<std::string>;

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

TEST(UpgradePage, KeepsLinkAndVersionFromEarlierPagesAndTiesTheSignatureToItsLink) {
    const std::string signature(64, '\x07');
    UpgradeAnnouncement announced;
    ReadUpgradePage({"<!-- UPGRADE Signature -->", " " + test::Base64(signature) + " ",
                     "<!-- UPGRADE Download Link -->", "http://h/NewUpdate.exe", "<!-- UPGRADE Version -->",
                     "3.9"},
                    announced);
    EXPECT_EQ(announced.link, "http://h/NewUpdate.exe");
    EXPECT_EQ(announced.signature, signature);

    ReadUpgradePage({"<html>nothing announced</html>"}, announced);
    EXPECT_EQ(announced.version, 3.9f);
    EXPECT_EQ(announced.link, "http://h/NewUpdate.exe");
    EXPECT_EQ(announced.signature, signature);

    // A new link without a signature has none; a malformed one or one of another length counts as none.
    ReadUpgradePage({"<!-- UPGRADE Download Link -->", "http://h/Other.exe"}, announced);
    EXPECT_EQ(announced.link, "http://h/Other.exe");
    EXPECT_EQ(announced.signature, "");
    for (const std::string& line :
         {test::Base64(signature).substr(1), test::Base64(signature + "x"), test::Base64(signature) + "!"}) {
        ReadUpgradePage(
            {"<!-- UPGRADE Download Link -->", "http://h/Third.exe", "<!-- UPGRADE Signature -->", line},
            announced);
        EXPECT_EQ(announced.signature, "") << line;
    }
}

TEST(UpgradeSignature, DecodesOnlyWellFormedBase64) {
    const struct {
        std::string text;
        std::optional<std::string> bytes;
    } cases[] = {
        {"YWJj", "abc"},          // whole groups
        {" \tYWI= ", "ab"},       // blanks around, one padding
        {"YQ==", "a"},            // two padding
        {"", std::nullopt},       // nothing
        {"YWJ", std::nullopt},    // not whole groups of four
        {"YW=j", std::nullopt},   // padding inside
        {"Y===", std::nullopt},   // more padding than a group allows
        {"YR==", std::nullopt},   // bits the padding drops are set
        {"YW Jj", std::nullopt},  // a blank inside
        {"YW\nJj", std::nullopt}, // a line break inside
        {"YWJj\r", std::nullopt}, // a carriage return after it
        {"-_Jj", std::nullopt},   // the address-safe alphabet is another format
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeBase64(c.text), c.bytes) << '"' << c.text << '"';
    }
}

TEST(UpgradeSignature, VerifiesAgainstUsableEd25519KeysOnly) {
    const test::SigningKey key;
    const std::string message = "installer bytes";
    const std::string signature = key.Sign(message);
    EXPECT_TRUE(SignatureVerifies(message, signature, key.PublicKey()));
    EXPECT_TRUE(SignatureVerifies(message, signature, key.PublicKey(true)));
    EXPECT_FALSE(SignatureVerifies(message + " ", signature, key.PublicKey()));
    EXPECT_FALSE(SignatureVerifies(message, signature.substr(1), key.PublicKey()));
    EXPECT_FALSE(SignatureVerifies(message, signature, test::SigningKey().PublicKey()));

    // A DER key of another algorithm (P-256), or a DER key with bytes after it, is not trusted.
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> ec(EVP_EC_gen("P-256"), EVP_PKEY_free);
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(ec.get(), &der);
    const std::string ecKey =
        test::Base64(std::string(reinterpret_cast<char*>(der), static_cast<std::size_t>(length)));
    OPENSSL_free(der);
    for (const std::string& text : {ecKey, test::Base64(*DecodeBase64(key.PublicKey(true)) + "x"),
                                    std::string("not a key"), std::string()}) {
        EXPECT_FALSE(IsUsablePublicKey(text)) << text;
        EXPECT_FALSE(SignatureVerifies(message, signature, text)) << text;
    }
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

TEST_F(UpgradeCheckerTest, TrustsTheKeyOfTheSettingsFileAndFetchesThePageOverHttps) {
    const test::SigningKey key;
    const std::size_t builtIn = TrustedUpgradeKeys().size();
    ASSERT_TRUE(WriteSetting(kSettingsSection, "UpgradePublicKey", "not a key"));
    EXPECT_EQ(TrustedUpgradeKeys().size(), builtIn);
    ASSERT_TRUE(WriteSetting(kSettingsSection, "UpgradePublicKey", key.PublicKey()));
    EXPECT_EQ(TrustedUpgradeKeys().size(), builtIn + 1);
    EXPECT_EQ(TrustedUpgradeKeys().back(), key.PublicKey());

    UpgradeChecker checker;
    const InstallRequest request = checker.InstallRequestFor("/opt/sendwell");
    EXPECT_EQ(request.keys, TrustedUpgradeKeys());
    EXPECT_EQ(request.installFolder, "/opt/sendwell");
    EXPECT_EQ(request.downloadParent, DataHome() / "Sendwell");

    EXPECT_EQ(UpgradePageAddress("www.sendwellpro.example"),
              "https://www.sendwellpro.example/sendwell_upgrade.html");
    EXPECT_EQ(UpgradePageAddress("vendor.test:8443"), "https://vendor.test:8443/sendwell_upgrade.html");
    EXPECT_EQ(UpgradePageAddress("127.0.0.1:8080"), "http://127.0.0.1:8080/sendwell_upgrade.html");
    EXPECT_EQ(UpgradePageAddress("localhost"), "http://localhost/sendwell_upgrade.html");
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
