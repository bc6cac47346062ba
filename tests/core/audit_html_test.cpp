// What the audit window and the HTML report make of a report: groups and counts by severity and
// category, a page's own findings, and a report file that neither runs nor fetches anything whatever
// the crawled pages held.
#include "core/audit/audit_report.h"
#include "core/audit/audit_summary.h"
#include "core/base/markup_escape.h"

#include <gtest/gtest.h>
#include <regex>

namespace sendwell {
namespace {

AuditReport SmallReport() {
    AuditReport report;
    report.starts = {"http://a.test/"};
    for (const char* address : {"http://a.test/", "http://a.test/b", "http://a.test/c"}) {
        report.pages.push_back(
            {address, 200, 1, std::chrono::milliseconds(12), "T", "", false, false, false});
    }
    report.findings = {
        {Check::HttpError, "http://a.test/c", "404", ""},
        {Check::BrokenLink, "http://a.test/", "404", "http://a.test/c"},
        {Check::BrokenLink, "http://a.test/b", "404", "http://a.test/c"},
        {Check::BrokenLink, "http://a.test/b", "500", "http://a.test/d"},
        {Check::TitleShort, "http://a.test/", "T", ""},
        {Check::LangMissing, "http://a.test/", "", ""},
        {Check::DeepPage, "http://a.test/b", "5", ""},
    };
    return report;
}

TEST(AuditSummary, GroupsChecksBySeverityWorstFirstWithFindingAndPageCounts) {
    const std::vector<SeverityGroup> groups = GroupBySeverity(SmallReport());
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].severity, Severity::Error);
    EXPECT_EQ(groups[0].findings, 4u);
    ASSERT_EQ(groups[0].checks.size(), 2u);
    EXPECT_EQ(groups[0].checks[0].check, Check::HttpError);
    EXPECT_EQ(groups[0].checks[1].check, Check::BrokenLink);
    EXPECT_EQ(groups[0].checks[1].findings, 3u);
    EXPECT_EQ(groups[0].checks[1].pages, 2u); // two findings on /b count it once
    EXPECT_EQ(groups[1].severity, Severity::Warning);
    EXPECT_EQ(groups[1].findings, 1u);
    EXPECT_EQ(groups[2].severity, Severity::Notice);
    EXPECT_EQ(groups[2].findings, 2u);

    // Nothing found: every group there, and empty.
    for (const SeverityGroup& group : GroupBySeverity(AuditReport{})) {
        EXPECT_EQ(group.findings, 0u);
        EXPECT_TRUE(group.checks.empty());
    }
}

TEST(AuditSummary, APagesFindingsAreItsOwnWorstFirst) {
    const AuditReport report = SmallReport();
    std::vector<std::string> ids;
    for (const Finding* finding : FindingsAt(report, "http://a.test/b")) {
        ids.emplace_back(std::string(finding->id()) + " " + finding->detail);
    }
    // Not the finding that names /b only as its related address.
    EXPECT_EQ(ids, (std::vector<std::string>{"broken-link 404", "broken-link 500", "deep-page 5"}));
    EXPECT_EQ(FindingsOf(report, Check::BrokenLink).size(), 3u);
    EXPECT_TRUE(FindingsAt(report, "http://a.test/nowhere").empty());
}

TEST(AuditSummary, CountsByCategoryAndSeverityForTheChart) {
    const std::vector<CategoryCount> categories = CountByCategory(SmallReport());
    std::vector<std::string> names;
    for (const CategoryCount& c : categories) {
        names.emplace_back(c.category);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Answers", "Links", "Titles", "Languages"}));
    const CategoryCount& links = categories[1];
    EXPECT_EQ(links.bySeverity[static_cast<int>(Severity::Error)], 3u);
    EXPECT_EQ(links.bySeverity[static_cast<int>(Severity::Notice)], 1u); // deep-page
    EXPECT_EQ(links.total(), 4u);

    EXPECT_EQ(SummaryLine(SmallReport()), "4 errors, 1 warning, 2 notices on 3 pages");
}

TEST(MarkupEscaped, LeavesNoMarkupAndOnlyUtf8) {
    EXPECT_EQ(MarkupEscaped("<a href=\"x\">'&'</a>"),
              "&lt;a href=&quot;x&quot;&gt;&apos;&amp;&apos;&lt;/a&gt;");
    EXPECT_EQ(MarkupEscaped("caf\xC3\xA9 \xFF\x01|"), "caf\xC3\xA9 \xEF\xBF\xBD\xEF\xBF\xBD|");
}

TEST(AuditHtml, HostileTextFromPagesIsEscapedAndNeverALink) {
    AuditReport report = SmallReport();
    report.pages[0].title = "<script>alert(1)</script>";
    report.findings.push_back(
        {Check::TitleLong, "http://a.test/\"onmouseover=\"x", "\xFF\xFE<b>", "javascript:x()"});
    report.findings.push_back({Check::MixedContent, "http://a.test/", "<img src=http://evil.test/x>", ""});
    const std::string html = WriteAuditHtml(report);

    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("<b>"), std::string::npos);
    EXPECT_EQ(html.find("<img"), std::string::npos);
    EXPECT_EQ(html.find("\"onmouseover"), std::string::npos);
    EXPECT_EQ(html.find('\xFF'), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(html.find("\xEF\xBF\xBD\xEF\xBF\xBD&lt;b&gt;"), std::string::npos);
    // An address that is not a web address is shown, not linked.
    EXPECT_NE(html.find("javascript:x()"), std::string::npos);
    EXPECT_EQ(html.find("href=\"javascript"), std::string::npos);
}

TEST(AuditHtml, FetchesNothingFromElsewhere) {
    const std::string html = WriteAuditHtml(SmallReport());
    // Every link is one of the report's own addresses or a section of the report; nothing is loaded.
    const std::regex reference(R"(\b(href|src|srcset|action|data)\s*=\s*"([^"]*)\")", std::regex::icase);
    int links = 0;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), reference); it != std::sregex_iterator();
         ++it) {
        EXPECT_EQ((*it)[1].str(), "href");
        const std::string target = (*it)[2].str();
        EXPECT_TRUE(target.rfind("http://a.test/", 0) == 0 || target.rfind("#check-", 0) == 0) << target;
        ++links;
    }
    EXPECT_GT(links, 0);
    for (const char* loader : {"<script", "<link", "<img", "<iframe", "@import", "url(", "@font-face"}) {
        EXPECT_EQ(html.find(loader), std::string::npos) << loader;
    }
    // Web addresses appear only as the report's data.
    const std::regex otherHttp(R"(https?://(?!a\.test/))", std::regex::icase);
    EXPECT_FALSE(std::regex_search(html, otherHttp));
}

TEST(AuditHtml, ShowsCountsGroupsChartAndEveryPage) {
    const std::string html = WriteAuditHtml(SmallReport());
    for (const char* expected : {
             "<th>Errors</th><th>Warnings</th><th>Notices</th><th>Pages</th></tr>\n<tr><td "
             "class=\"error\">4</td>"
             "<td class=\"warning\">1</td><td class=\"notice\">2</td><td>3</td>",
             "<h2 class=\"error\">Errors (4)</h2>",
             "<h2 class=\"warning\">Warnings (1)</h2>",
             "<h2 class=\"notice\">Notices (2)</h2>",
             "broken-link</span>",
             "<td>500</td><td><a href=\"http://a.test/d\">http://a.test/d</a></td>",
             "<title>Links: 3 errors</title>",
             "<a href=\"#check-broken-link\">broken-link</a></td><td class=\"error\">error</td><td "
             "class=\"n\">3</td>"
             "<td class=\"n\">2</td>",
             "<h3 id=\"check-broken-link\">",
             "<h2>Pages (3)</h2>",
             "@media print",
         }) {
        EXPECT_NE(html.find(expected), std::string::npos) << expected;
    }
    // Errors before warnings before notices.
    EXPECT_LT(html.find("Errors (4)"), html.find("Warnings (1)"));
    EXPECT_LT(html.find("Warnings (1)"), html.find("Notices (2)"));

    AuditReport clean;
    clean.outcome = Outcome{Outcome::End::Cancelled, "", 0, {}};
    clean.truncated = true;
    const std::string empty = WriteAuditHtml(clean);
    EXPECT_NE(empty.find("No issues found."), std::string::npos);
    EXPECT_EQ(empty.find("<svg"), std::string::npos);
    EXPECT_EQ(empty.find("<h2 class="), std::string::npos);
    EXPECT_NE(empty.find("Cancelled:"), std::string::npos);
    EXPECT_NE(empty.find("Stopped at 0 pages"), std::string::npos);
}

} // namespace
} // namespace sendwell
