// A table of results with named columns, one row per thing checked, written for people and for other
// programs: one JSON document, CSV, JUnit XML (CI systems show each row as a test) or a Markdown table.
// The bulk status check fills one; the site audit's checks fill theirs the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace sendwell {

// Empty (JSON null), a whole number, a decimal number or text. Text is written as its bytes; where a
// format needs UTF-8 (JSON, XML), bytes that are not UTF-8 become U+FFFD.
using ReportCell = std::variant<std::monostate, std::int64_t, double, std::string>;

struct ReportRow {
    std::vector<ReportCell> cells; // one per column; missing ones are empty
    // Why the row counts as failed (JUnit's failure message); nullopt: it passed.
    std::optional<std::string> failure;
    double seconds = 0; // how long the row's check took (JUnit's test time)
};

struct ReportTable {
    // JSON's key of the rows and JUnit's suite name: "status".
    std::string name;
    // JSON keys and CSV/Markdown headings. The first column names a JUnit test case.
    std::vector<std::string> columns;
    std::vector<ReportRow> rows;

    std::size_t failures() const;
};

enum class ReportFormat { Json, Csv, Junit, Markdown };

// "json", "csv", "junit" or "markdown"; nullopt for any other name.
std::optional<ReportFormat> ReportFormatNamed(std::string_view name);

// The whole table in format:
//   Json     {"<name>": [{"<column>": value, ..., "failed": bool}, ...]} on one line
//   Csv      a heading line, then one line per row, CRLF line ends and RFC 4180 quoting; a text cell
//            that starts with =, +, -, @, a tab or a carriage return gets a ' in front, so that a
//            spreadsheet never runs untrusted text as a formula
//   Junit    one testsuite of one testcase per row, a failure element for each failed row
//   Markdown a table: heading, separator, one line per row; "|" and "\" escaped, line breaks as spaces
// Every format but Json ends with a line end.
std::string WriteReport(const ReportTable& table, ReportFormat format);

} // namespace sendwell
