// The audit's report writers: what each format promises a reader (a spreadsheet, a CI system, a
// program reading JSON), not how they are laid out.
#include "core/audit/audit_report.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace sendwell {
namespace {

AuditReport SampleReport() {
    AuditReport report;
    report.starts = {"https://a.test/"};
    report.pages = {
        {"https://a.test/", 200, 0, std::chrono::milliseconds(12), "Home", "", false, true, false},
        {"https://a.test/=cmd", 404, 1, std::chrono::milliseconds(3), "", "", false, false, false}};
    report.findings = {
        {Check::HttpError, "https://a.test/=cmd", "HTTP 404", ""},
        {Check::BrokenLink, "https://a.test/", "the link answers HTTP 404", "https://a.test/=cmd"},
        {Check::TitleShort, "https://a.test/", "=HYPERLINK(\"x\")", ""},
        {Check::CanonicalMissing, "https://a.test/", "-1+2", ""}};
    return report;
}

TEST(AuditReport, CsvCellsNeverRunAsSpreadsheetFormulas) {
    const std::string csv = WriteAuditReport(SampleReport(), AuditFormat::Csv);
    EXPECT_NE(csv.find(",\"'=HYPERLINK(\"\"x\"\")\","), std::string::npos) << csv;
    EXPECT_NE(csv.find(",'-1+2,"), std::string::npos) << csv;
    // Cells that only contain the characters further in are left as they are.
    EXPECT_NE(csv.find(",https://a.test/=cmd,HTTP 404,"), std::string::npos) << csv;
}

TEST(AuditReport, JsonHoldsPagesIssuesAndCounts) {
    const nlohmann::json doc = nlohmann::json::parse(WriteAuditReport(SampleReport(), AuditFormat::Json));
    ASSERT_EQ(doc["pages"].size(), 2u);
    EXPECT_EQ(doc["pages"][1]["status"], 404);
    EXPECT_EQ(doc["pages"][0]["time_ms"], 12);
    ASSERT_EQ(doc["issues"].size(), 4u);
    EXPECT_EQ(doc["issues"][1]["check"], "broken-link");
    EXPECT_EQ(doc["issues"][1]["severity"], "error");
    EXPECT_EQ(doc["issues"][1]["related"], "https://a.test/=cmd");
    EXPECT_EQ(doc["summary"]["error"], 2);
    EXPECT_EQ(doc["summary"]["warning"], 1);
    EXPECT_EQ(doc["summary"]["notice"], 1);
    EXPECT_EQ(doc["outcome"], "finished");
}

TEST(AuditReport, JunitHasATestCasePerCheckAndFailuresNameTheAddresses) {
    const std::string xml = WriteAuditReport(SampleReport(), AuditFormat::Junit);
    EXPECT_NE(xml.find("tests=\"" + std::to_string(AllChecks().size()) + "\" failures=\"4\""),
              std::string::npos)
        << xml.substr(0, 300);
    EXPECT_NE(xml.find("<failure message=\"1 finding: https://a.test/=cmd\""), std::string::npos);
}

TEST(AuditReport, TextPutsErrorsFirstAndSaysWhenTheCrawlWasCut) {
    AuditReport report = SampleReport();
    std::string text = WriteAuditReport(report, AuditFormat::Text);
    EXPECT_NE(text.find("2 pages: 2 errors, 1 warning, 1 notice\n"), std::string::npos) << text;
    EXPECT_LT(text.find("broken-link"), text.find("title-short"));
    EXPECT_LT(text.find("title-short"), text.find("canonical-missing"));
    report.outcome = Outcome{Outcome::End::Cancelled, "Cancelled", 0, {}};
    text = WriteAuditReport(report, AuditFormat::Text);
    EXPECT_NE(text.find("(cancelled"), std::string::npos) << text;
    for (const char* name : {"text", "json", "csv", "junit", "markdown", "html"}) {
        EXPECT_TRUE(AuditFormatNamed(name)) << name;
    }
    EXPECT_FALSE(AuditFormatNamed("xml"));
}

} // namespace
} // namespace sendwell
