// The report writers: what a spreadsheet, a CI system, a JSON reader and a Markdown renderer get from
// awkward cells, and which rows count as failed.
#include "core/base/report_table.h"
#include "core/web/status_run.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace sendwell {
namespace {

ReportTable AwkwardTable() {
    ReportTable table;
    table.name = "status";
    table.columns = {"address", "code", "text"};
    table.rows.push_back({{std::string("http://a.test/?x=1,2"), std::int64_t{200}, std::string("say \"hi\"")},
                          std::nullopt,
                          0.25});
    table.rows.push_back({{std::string("http://b.test/a|b\\c"), ReportCell(), std::string("two\r\nlines")},
                          std::string("-1 <none> & 'gone'"),
                          1.5});
    // Bytes that are not UTF-8 (the database keeps what was typed) and a control character.
    table.rows.push_back({{std::string("http://c.test/\xE9\x01")}, std::string("x"), 0});
    return table;
}

TEST(ReportTable, EachFormatQuotesOrEscapesWhatWouldBreakIt) {
    const ReportTable table = AwkwardTable();

    EXPECT_EQ(WriteReport(table, ReportFormat::Csv), "address,code,text\r\n"
                                                     "\"http://a.test/?x=1,2\",200,\"say \"\"hi\"\"\"\r\n"
                                                     "http://b.test/a|b\\c,,\"two\r\nlines\"\r\n"
                                                     "http://c.test/\xE9\x01,,\r\n");

    EXPECT_EQ(WriteReport(table, ReportFormat::Markdown), "| address | code | text |\n"
                                                          "| --- | ---: | --- |\n"
                                                          "| http://a.test/?x=1,2 | 200 | say \"hi\" |\n"
                                                          "| http://b.test/a\\|b\\\\c |  | two  lines |\n"
                                                          "| http://c.test/\xE9\x01 |  |  |\n");

    const nlohmann::json json = nlohmann::json::parse(WriteReport(table, ReportFormat::Json));
    ASSERT_EQ(json["status"].size(), 3u);
    EXPECT_EQ(json["status"][0]["code"], 200);
    EXPECT_EQ(json["status"][0]["text"], "say \"hi\"");
    EXPECT_EQ(json["status"][0]["failed"], false);
    EXPECT_TRUE(json["status"][1]["code"].is_null());
    EXPECT_EQ(json["status"][1]["failed"], true);
    EXPECT_EQ(json["status"][2]["address"], "http://c.test/\xEF\xBF\xBD\x01");

    const std::string junit = WriteReport(table, ReportFormat::Junit);
    EXPECT_NE(junit.find("<testsuite name=\"status\" tests=\"3\" failures=\"2\" errors=\"0\" skipped=\"0\" "
                         "time=\"1.750\">"),
              std::string::npos)
        << junit;
    EXPECT_NE(junit.find("<testcase classname=\"status\" name=\"http://a.test/?x=1,2\" time=\"0.250\">\n"
                         "      <system-out>"),
              std::string::npos)
        << junit;
    EXPECT_NE(junit.find("<failure message=\"-1 &lt;none&gt; &amp; &apos;gone&apos;\""), std::string::npos);
    EXPECT_NE(junit.find("text: two&#13;&#10;lines"), std::string::npos);
    // Neither the stray byte nor the control character reaches the XML.
    EXPECT_NE(junit.find("name=\"http://c.test/\xEF\xBF\xBD\xEF\xBF\xBD\""), std::string::npos) << junit;
}

TEST(ReportTable, FormatsAreNamedInLowerCaseOnly) {
    EXPECT_EQ(ReportFormatNamed("junit"), ReportFormat::Junit);
    EXPECT_EQ(ReportFormatNamed("markdown"), ReportFormat::Markdown);
    EXPECT_EQ(ReportFormatNamed("JSON"), std::nullopt);
    EXPECT_EQ(ReportFormatNamed("md"), std::nullopt);
}

TEST(StatusReport, NoAnswerAndErrorStatusesFailWhileRedirectsAndSuccessPass) {
    const std::pair<int, bool> cases[] = {{-1, true},   {100, true}, {200, false}, {204, false}, {301, false},
                                          {399, false}, {400, true}, {404, true},  {503, true},  {600, true}};
    std::vector<StatusRow> rows;
    for (const auto& [code, failed] : cases) {
        StatusRow row;
        row.address = "http://a.test/" + std::to_string(code);
        row.code = code;
        row.text = "words";
        EXPECT_EQ(row.failed(), failed) << code;
        rows.push_back(row);
    }
    rows[2].finalUrl = "http://b.test/";
    rows[2].time = std::chrono::milliseconds(1234);
    const ReportTable table = StatusReport(rows);
    EXPECT_EQ(table.failures(), 6u);
    EXPECT_EQ(table.rows[0].failure, "-1 words");
    EXPECT_EQ(table.rows[2].seconds, 1.234);
    EXPECT_EQ(
        WriteReport({table.name, table.columns, {table.rows[2]}}, ReportFormat::Csv),
        "address,code,text,time_ms,redirected_to\r\nhttp://a.test/200,200,words,1234,http://b.test/\r\n");
}

// A page's own words reach the status CSV; a spreadsheet must show them, never run them. Numbers such as
// the -1 of no answer stay numbers.
TEST(StatusReport, CsvKeepsFormulaTextFromRunningInASpreadsheet) {
    StatusRow row;
    row.address = "=HYPERLINK(\"http://x.test\",\"y\")";
    row.text = "@SUM(1)";
    row.finalUrl = "-2+3";
    EXPECT_EQ(WriteReport(StatusReport({row}), ReportFormat::Csv),
              "address,code,text,time_ms,redirected_to\r\n"
              "\"'=HYPERLINK(\"\"http://x.test\"\",\"\"y\"\")\",-1,'@SUM(1),0,'-2+3\r\n");
    for (const char* text : {"+1", "\tx", "\rx"}) {
        row.text = text;
        EXPECT_NE(WriteReport(StatusReport({row}), ReportFormat::Csv).find(std::string("'") + text),
                  std::string::npos)
            << text;
    }
}

} // namespace
} // namespace sendwell
