#include "core/base/report_table.h"

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
        line([&](std::size_t c) { return CellText(CellOf(row, c)); }, table.columns.size());
    }
    return out;
}

// The code point starting at text[i] and its length in bytes; length 0 when the bytes there are not
// UTF-8 (a stray continuation byte, a cut or overlong sequence, a surrogate, beyond U+10FFFF).
std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, least = 0x10000;
    } else {
        return {0, 0};
    }
    if (i + length > text.size()) {
        return {0, 0};
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return {0, 0};
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return {0, 0};
    }
    return {cp, length};
}

// Text as XML character data or an attribute value: markup escaped, bytes that are not UTF-8 and
// characters XML does not allow (most control characters) as U+FFFD, so that a CI system's parser
// takes the whole file whatever an address holds.
std::string XmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto [cp, length] = DecodeUtf8(text, i);
        const bool allowed = length > 0 && (cp >= 0x20 || cp == '\t' || cp == '\n' || cp == '\r') &&
                             cp != 0xFFFE && cp != 0xFFFF;
        if (!allowed) {
            out += "\xEF\xBF\xBD";
            i += length > 0 ? length : 1;
            continue;
        }
        switch (cp) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        // In an attribute a parser turns a raw line break into a space; as a reference it stays.
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        case '\t':
            out += "&#9;";
            break;
        default:
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

std::string Junit(const ReportTable& table) {
    double total = 0;
    for (const ReportRow& row : table.rows) {
        total += row.seconds;
    }
    const std::string name = XmlText(table.name);
    const std::string counts = " tests=\"" + std::to_string(table.rows.size()) + "\" failures=\"" +
                               std::to_string(table.failures()) + "\" errors=\"0\"";
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<testsuites name=\"" + name + "\"" + counts + " time=\"" + NumberText(total, 3) + "\">\n";
    out += "  <testsuite name=\"" + name + "\"" + counts + " skipped=\"0\" time=\"" + NumberText(total, 3) +
           "\">\n";
    for (const ReportRow& row : table.rows) {
        out += "    <testcase classname=\"" + name + "\" name=\"" + XmlText(CellText(CellOf(row, 0))) +
               "\" time=\"" + NumberText(row.seconds, 3) + "\">\n";
        if (row.failure) {
            out += "      <failure message=\"" + XmlText(*row.failure) + "\" type=\"failure\"/>\n";
        }
        // Every column, so that a CI system's test page shows what the table holds.
        std::string details;
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            details += table.columns[c] + ": " + CellText(CellOf(row, c)) + "\n";
        }
        out += "      <system-out>" + XmlText(details) + "</system-out>\n";
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
    for (const auto& [known, format] : kNames) {
        if (name == known) {
            return format;
        }
    }
    return std::nullopt;
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
