#include "core/sitemap/sitemap_writer.h"

#include "core/base/atomic_file.h"
#include "core/sitemap/sitemap_reader.h"
#include "core/urldb/url_database.h"

#include <unordered_map>
#include <vector>

namespace sendwell {

namespace {

bool Digits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return !text.empty();
}

// Length of the valid UTF-8 sequence at text[i], or 0.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

void AppendEscaped(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8Length(text, i);
            if (length > 0) {
                out.append(text.substr(i, length));
                i += length;
                continue;
            }
        }
        ++i;
        switch (c) {
        case '&':
            out += "&amp;";
            continue;
        case '<':
            out += "&lt;";
            continue;
        case '>':
            out += "&gt;";
            continue;
        case '"':
            out += "&quot;";
            continue;
        case '\'':
            out += "&apos;";
            continue;
        default:
            break;
        }
        if (c < 0x20 || c == 0x7F || c >= 0x80) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
}

} // namespace

std::string SitemapDate(std::string_view listDate) {
    if (listDate.size() != 10 || listDate[2] != '/' || listDate[5] != '/') {
        return {};
    }
    const std::string_view month = listDate.substr(0, 2);
    const std::string_view day = listDate.substr(3, 2);
    const std::string_view year = listDate.substr(6, 4);
    if (!Digits(month) || !Digits(day) || !Digits(year) || month < "01" || month > "12" || day < "01" ||
        day > "31") {
        return {};
    }
    std::string out;
    out.reserve(10);
    out.append(year).append("-").append(month).append("-").append(day);
    return out;
}

std::string SitemapXml(const UrlDatabase& db, std::size_t* count) {
    // Distinct addresses in order of first appearance, each with its latest date.
    std::unordered_map<std::string_view, std::size_t> entryOf;
    std::vector<std::string_view> addresses;
    std::vector<std::string> dates;
    for (std::size_t row = 0; row < db.recordCount(); ++row) {
        const std::string_view url = db.Url(row);
        const std::string date = SitemapDate(db.CellText(row, ListColumn::LastSent));
        const auto [at, added] = entryOf.emplace(url, addresses.size());
        if (added) {
            addresses.push_back(url);
            dates.push_back(date);
        } else if (date > dates[at->second]) {
            dates[at->second] = date; // the W3C form sorts by time
        }
    }
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        out += "  <url>\n    <loc>";
        AppendEscaped(out, addresses[i]);
        out += "</loc>\n";
        if (!dates[i].empty()) {
            out += "    <lastmod>" + dates[i] + "</lastmod>\n";
        }
        out += "  </url>\n";
    }
    out += "</urlset>\n";
    if (count != nullptr) {
        *count = addresses.size();
    }
    return out;
}

SitemapExport ExportSitemap(const UrlDatabase& db, const std::filesystem::path& file) {
    SitemapExport result;
    std::string xml;
    std::size_t count = 0;
    try {
        xml = SitemapXml(db, &count);
    } catch (const std::bad_alloc&) {
        result.outcome = Outcome::Failed("There is not enough memory to build the sitemap.");
        return result;
    }
    result.addresses = count;
    if (!ReplaceFileAtomically(file, xml)) {
        result.outcome = Outcome::Failed("The sitemap could not be written to " + file.string() + ".");
        return result;
    }
    if (count > kSitemapMaxAddresses) {
        result.warning = "The sitemap holds " + std::to_string(count) +
                         " addresses, more than the 50,000 search engines read from one sitemap.";
    }
    return result;
}

} // namespace sendwell
