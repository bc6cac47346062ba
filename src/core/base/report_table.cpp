#include "core/base/report_table.h"

#include "core/base/markup_escape.h"
#include "core/base/named_value.h"

#include <array>
#include <charconv>
#include <nlohmann/json.hpp>

namespace sendwell {

namespace {

// Numbers written the same whatever the locale (the window sets the user's).
std::string NumberText(double value, int decimals = -1) {
    std::array<char, 64> buffer{};
    const auto [end, error] = decimals < 0
                                  ? std::to_chars(buffer.data(), buffer.data() + buffer.size(), value)
                                  : std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                                  std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(buffer.data(), end) : std::string("0");
}

std::string CellText(const ReportCell& cell) {
    if (const auto* text = std::get_if<std::string>(&cell)) {
        return *text;
    }
    if (const auto* whole = std::get_if<std::int64_t>(&cell)) {
        return std::to_string(*whole);
    }
    if (const auto* number = std::get_if<double>(&cell)) {
        return NumberText(*number);
    }
    return {};
}

const ReportCell& CellOf(const ReportRow& row, std::size_t column) {
    static const ReportCell empty;
    return column < row.cells.size() ? row.cells[column] : empty;
}

nlohmann::json CellJson(const ReportCell& cell) {
    return std::visit(
        [](const auto& value) -> nlohmann::json {
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::monostate>) {
                return nullptr;
            } else {
                return value;
            }
        },
        cell);
}

std::string Json(const ReportTable& table) {
    nlohmann::json rows = nlohmann::json::array();
    for (const ReportRow& row : table.rows) {
        nlohmann::json object = nlohmann::json::object();
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            object[table.columns[c]] = CellJson(CellOf(row, c));
        }
        object["failed"] = row.failure.has_value();
        rows.push_back(std::move(object));
    }
    const nlohmann::json document = {{table.name, std::move(rows)}};
    return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void AppendCsvField(std::string& out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
}

// A spreadsheet runs a cell that starts with one of these as a formula; a quote in front keeps it text.
// Only text cells: a number such as -1 is data, and the headings are the program's own.
std::string SpreadsheetSafe(std::string text) {
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
        text.insert(0, 1, '\'');
    }
    return text;
}

std::string CsvCellText(const ReportCell& cell) {
    if (const auto* text = std::get_if<std::string>(&cell)) {
        return SpreadsheetSafe(*text);
    }
    return CellText(cell);
}

std::string Csv(const ReportTable& table) {
    std::string out;
    auto line = [&](auto&& field, std::size_t count) {
        for (std::size_t c = 0; c < count; ++c) {
            if (c > 0) {
                out += ',';
            }
            AppendCsvField(out, field(c));
        }
        out += "\r\n";
    };
    line([&](std::size_t c) { return table.columns[c]; }, table.columns.size());
    for (const ReportRow& row : table.rows) {
        line([&](std::size_t c) { return CsvCellText(CellOf(row, c)); }, table.columns.size());
    }
    return out;
}

std::string Junit(const ReportTable& table) {
    double total = 0;
    for (const ReportRow& row : table.rows) {
        total += row.seconds;
    }
    const std::string name = MarkupEscaped(table.name);
    const std::string counts = " tests=\"" + std::to_string(table.rows.size()) + "\" failures=\"" +
                               std::to_string(table.failures()) + "\" errors=\"0\"";
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<testsuites name=\"" + name + "\"" + counts + " time=\"" + NumberText(total, 3) + "\">\n";
    out += "  <testsuite name=\"" + name + "\"" + counts + " skipped=\"0\" time=\"" + NumberText(total, 3) +
           "\">\n";
    for (const ReportRow& row : table.rows) {
        out += "    <testcase classname=\"" + name + "\" name=\"" + MarkupEscaped(CellText(CellOf(row, 0))) +
               "\" time=\"" + NumberText(row.seconds, 3) + "\">\n";
        if (row.failure) {
            out += "      <failure message=\"" + MarkupEscaped(*row.failure) + "\" type=\"failure\"/>\n";
        }
        // Every column, so that a CI system's test page shows what the table holds.
        std::string details;
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            details += table.columns[c] + ": " + CellText(CellOf(row, c)) + "\n";
        }
        out += "      <system-out>" + MarkupEscaped(details) + "</system-out>\n";
        out += "    </testcase>\n";
    }
    out += "  </testsuite>\n</testsuites>\n";
    return out;
}

std::string MarkdownCell(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '|':
            out += "\\|";
            break;
        // Escaped too, or a "\" before an escaped "|" would take the escape for itself.
        case '\\':
            out += "\\\\";
            break;
        case '\r':
        case '\n':
            out += ' ';
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Markdown(const ReportTable& table) {
    std::string out = "|";
    std::string rule = "|";
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        out += " " + MarkdownCell(table.columns[c]) + " |";
        // Numbers line up on the right, judged by the first row that has the column filled.
        bool number = false;
        for (const ReportRow& row : table.rows) {
            const ReportCell& cell = CellOf(row, c);
            if (!std::holds_alternative<std::monostate>(cell)) {
                number = !std::holds_alternative<std::string>(cell);
                break;
            }
        }
        rule += number ? " ---: |" : " --- |";
    }
    out += "\n" + rule + "\n";
    for (const ReportRow& row : table.rows) {
        out += "|";
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            out += " " + MarkdownCell(CellText(CellOf(row, c))) + " |";
        }
        out += "\n";
    }
    return out;
}

} // namespace

std::size_t ReportTable::failures() const {
    std::size_t count = 0;
    for (const ReportRow& row : rows) {
        count += row.failure ? 1 : 0;
    }
    return count;
}

std::optional<ReportFormat> ReportFormatNamed(std::string_view name) {
    constexpr std::pair<std::string_view, ReportFormat> kNames[] = {{"json", ReportFormat::Json},
                                                                    {"csv", ReportFormat::Csv},
                                                                    {"junit", ReportFormat::Junit},
                                                                    {"markdown", ReportFormat::Markdown}};
    return ValueNamed(kNames, name);
}

std::string WriteReport(const ReportTable& table, ReportFormat format) {
    switch (format) {
    case ReportFormat::Json:
        return Json(table);
    case ReportFormat::Csv:
        return Csv(table);
    case ReportFormat::Junit:
        return Junit(table);
    case ReportFormat::Markdown:
        break;
    }
    return Markdown(table);
}

} // namespace sendwell
