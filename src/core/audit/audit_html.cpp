#include "core/audit/audit_report.h"
#include "core/audit/audit_summary.h"
#include "core/base/ascii_case.h"
#include "core/base/markup_escape.h"

#include <algorithm>
#include <ctime>

namespace sendwell {

namespace {

// One colour per severity (indexed by Severity), the same in the chart, the headings and the legend.
constexpr std::array<std::string_view, 3> kSeverityColours = {"#1f6fbf", "#d98200", "#c62828"};

constexpr std::string_view kStyle = R"(
body { font: 14px/1.45 system-ui, sans-serif; color: #1d1d1d; margin: 2em auto; max-width: 72em; padding: 0 1em; }
h1 { font-size: 1.6em; margin-bottom: .2em; }
h2 { font-size: 1.25em; margin-top: 1.6em; border-bottom: 1px solid #ccc; padding-bottom: .2em; }
h3 { font-size: 1.05em; margin: 1.2em 0 .3em; }
p.meta { color: #555; margin: .2em 0; }
p.note { background: #fff4d6; border-left: 4px solid #d98200; padding: .4em .8em; }
table { border-collapse: collapse; width: 100%; margin: .4em 0 1em; }
th, td { text-align: left; vertical-align: top; padding: .25em .5em; border-bottom: 1px solid #e2e2e2; }
th { background: #f3f3f3; }
td { overflow-wrap: anywhere; }
td.n, th.n { text-align: right; white-space: nowrap; }
table.counts { width: auto; }
table.counts td { font-size: 1.3em; font-weight: 600; padding-right: 1.5em; }
.error { color: #c62828; } .warning { color: #a86500; } .notice { color: #1f6fbf; }
.id { font-family: ui-monospace, monospace; }
svg { max-width: 100%; height: auto; }
svg text { font: 12px system-ui, sans-serif; fill: #1d1d1d; }
a { color: inherit; }
@media print {
  * { print-color-adjust: exact; -webkit-print-color-adjust: exact; }
  body { margin: 0; max-width: none; font-size: 10pt; }
  a { text-decoration: none; }
  h2, h3 { break-after: avoid; }
  tr, svg { break-inside: avoid; }
  thead { display: table-header-group; }
}
)";

std::string E(std::string_view text) {
    return MarkupEscaped(text);
}

std::string SeverityClass(Severity severity) {
    return std::string(SeverityName(severity));
}

// A heading's word for a group: "Errors".
std::string SeverityHeading(Severity severity) {
    std::string name(SeverityName(severity));
    name[0] = AsciiUpper(name[0]);
    return name + "s";
}

// Only web addresses become links: an address a page named may be "javascript:" or anything else.
std::string Address(std::string_view address) {
    if (address.empty()) {
        return {};
    }
    if (AsciiStartsWithNoCase(address, "http://") || AsciiStartsWithNoCase(address, "https://")) {
        return "<a href=\"" + E(address) + "\">" + E(address) + "</a>";
    }
    return E(address);
}

std::string UtcText(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm parts{};
    if (gmtime_r(&seconds, &parts) == nullptr) {
        return {};
    }
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return std::string(text, length);
}

std::string SecondsText(std::chrono::milliseconds elapsed) {
    const long long tenths = (elapsed.count() + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

// Stacked bars of issues by category, one segment per severity, scaled to the largest category.
std::string Chart(const std::vector<CategoryCount>& categories) {
    constexpr int kLabelWidth = 120;
    constexpr int kBarWidth = 480;
    constexpr int kRow = 24;
    constexpr int kBar = 16;
    constexpr int kTop = 28; // the legend
    std::size_t largest = 1;
    for (const CategoryCount& c : categories) {
        largest = std::max(largest, c.total());
    }
    const int width = kLabelWidth + kBarWidth + 60;
    const int height = kTop + static_cast<int>(categories.size()) * kRow;
    std::string svg = "<svg role=\"img\" width=\"" + std::to_string(width) + "\" height=\"" +
                      std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + " " +
                      std::to_string(height) + "\">\n<title>Issues by category and severity</title>\n";
    int x = kLabelWidth;
    for (const Severity severity : kSeveritiesWorstFirst) {
        const std::string colour(kSeverityColours[static_cast<std::size_t>(severity)]);
        svg += "<rect x=\"" + std::to_string(x) + "\" y=\"4\" width=\"12\" height=\"12\" fill=\"" + colour +
               "\"/><text x=\"" + std::to_string(x + 16) + "\" y=\"14\">" + SeverityHeading(severity) +
               "</text>\n";
        x += 100;
    }
    int y = kTop;
    for (const CategoryCount& c : categories) {
        svg += "<text x=\"" + std::to_string(kLabelWidth - 8) + "\" y=\"" + std::to_string(y + 12) +
               "\" text-anchor=\"end\">" + E(c.category) + "</text>\n";
        double left = kLabelWidth;
        for (const Severity severity : kSeveritiesWorstFirst) {
            const std::size_t count = c.bySeverity[static_cast<std::size_t>(severity)];
            if (count == 0) {
                continue;
            }
            const double span = static_cast<double>(count) * kBarWidth / static_cast<double>(largest);
            svg += "<rect x=\"" + std::to_string(static_cast<int>(left)) + "\" y=\"" + std::to_string(y) +
                   "\" width=\"" + std::to_string(std::max(1, static_cast<int>(span))) + "\" height=\"" +
                   std::to_string(kBar) + "\" fill=\"" +
                   std::string(kSeverityColours[static_cast<std::size_t>(severity)]) + "\"><title>" +
                   E(c.category) + ": " + std::to_string(count) + " " + std::string(SeverityName(severity)) +
                   (count == 1 ? "" : "s") + "</title></rect>\n";
            left += span;
        }
        svg += "<text x=\"" + std::to_string(static_cast<int>(left) + 6) + "\" y=\"" +
               std::to_string(y + 12) + "\">" + std::to_string(c.total()) + "</text>\n";
        y += kRow;
    }
    return svg + "</svg>\n";
}

// One line per check that found something, each leading to its section: a long report's contents.
std::string Overview(const std::vector<SeverityGroup>& groups) {
    std::string out = "<table>\n<thead><tr><th>Check</th><th>Severity</th><th class=\"n\">Findings</th>"
                      "<th class=\"n\">Pages</th><th>Rule</th></tr></thead>\n<tbody>\n";
    for (const SeverityGroup& group : groups) {
        for (const CheckCount& count : group.checks) {
            const CheckInfo& info = InfoOf(count.check);
            out += "<tr><td class=\"id\"><a href=\"#check-" + std::string(info.id) + "\">" +
                   std::string(info.id) + "</a></td><td class=\"" + SeverityClass(group.severity) + "\">" +
                   std::string(SeverityName(group.severity)) + "</td><td class=\"n\">" +
                   std::to_string(count.findings) + "</td><td class=\"n\">" + std::to_string(count.pages) +
                   "</td><td>" + E(info.description) + "</td></tr>\n";
        }
    }
    return out + "</tbody>\n</table>\n";
}

std::string Checks(const AuditReport& report, const std::vector<SeverityGroup>& groups) {
    std::string out;
    for (const SeverityGroup& group : groups) {
        if (group.checks.empty()) {
            continue;
        }
        const std::string cls = SeverityClass(group.severity);
        out += "<h2 class=\"" + cls + "\">" + SeverityHeading(group.severity) + " (" +
               std::to_string(group.findings) + ")</h2>\n";
        for (const CheckCount& count : group.checks) {
            const CheckInfo& info = InfoOf(count.check);
            out += "<h3 id=\"check-" + std::string(info.id) + "\"><span class=\"id " + cls + "\">" +
                   std::string(info.id) + "</span> " + E(info.description) + " (" +
                   std::to_string(count.findings) + ")</h3>\n";
            out +=
                "<table>\n<thead><tr><th>Address</th><th>Detail</th><th>Related</th></tr></thead>\n<tbody>\n";
            for (const Finding* finding : FindingsOf(report, count.check)) {
                out += "<tr><td>" + Address(finding->address) + "</td><td>" + E(finding->detail) +
                       "</td><td>" + Address(finding->related) + "</td></tr>\n";
            }
            out += "</tbody>\n</table>\n";
        }
    }
    return out;
}

std::string Pages(const AuditReport& report) {
    std::string out = "<h2>Pages (" + std::to_string(report.pages.size()) + ")</h2>\n";
    out += "<table>\n<thead><tr><th>Address</th><th class=\"n\">Status</th><th class=\"n\">Depth</th>"
           "<th class=\"n\">Time (ms)</th><th>Title</th><th>Redirected to</th><th>Notes</th></tr></thead>\n"
           "<tbody>\n";
    for (const AuditPage& page : report.pages) {
        std::string notes;
        const auto note = [&](bool set, std::string_view word) {
            if (set) {
                notes += (notes.empty() ? "" : ", ") + std::string(word);
            }
        };
        note(page.blocked, "blocked by robots.txt");
        note(page.listed, "in a sitemap");
        note(page.external, "external");
        out += "<tr><td>" + Address(page.address) + "</td><td class=\"n\">" +
               (page.status > 0 ? std::to_string(page.status) : std::string("&#8212;")) +
               "</td><td class=\"n\">" +
               (page.depth >= 0 ? std::to_string(page.depth) : std::string("&#8212;")) +
               "</td><td class=\"n\">" + std::to_string(page.time.count()) + "</td><td>" + E(page.title) +
               "</td><td>" + Address(page.finalUrl) + "</td><td>" + notes + "</td></tr>\n";
    }
    return out + "</tbody>\n</table>\n";
}

} // namespace

std::string WriteAuditHtml(const AuditReport& report) {
    const std::vector<SeverityGroup> groups = GroupBySeverity(report);
    std::string starts;
    for (const std::string& start : report.starts) {
        starts += (starts.empty() ? "" : ", ") + Address(start);
    }
    std::string title = "Site audit";
    if (!report.starts.empty()) {
        title += ": " + report.starts.front();
    }

    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
                      E(title) + "</title>\n<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
    out += "<h1>Site audit</h1>\n";
    if (!starts.empty()) {
        out += "<p class=\"meta\">Started from " + starts + "</p>\n";
    }
    out += "<p class=\"meta\">" + UtcText(report.started) + ", " + SecondsText(report.elapsed) + "</p>\n";
    if (report.outcome.cancelled()) {
        out += "<p class=\"note\">Cancelled: the findings are those of the pages read by then.</p>\n";
    } else if (!report.outcome.ok()) {
        out += "<p class=\"note\">The audit could not run: " + E(report.outcome.text) + "</p>\n";
    }
    if (report.truncated) {
        out += "<p class=\"note\">Stopped at " + std::to_string(report.pages.size()) +
               " pages: more pages were linked than read.</p>\n";
    }

    out += "<h2>Summary</h2>\n<table class=\"counts\">\n<tr>";
    for (const SeverityGroup& group : groups) {
        out += "<th>" + SeverityHeading(group.severity) + "</th>";
    }
    out += "<th>Pages</th></tr>\n<tr>";
    for (const SeverityGroup& group : groups) {
        out +=
            "<td class=\"" + SeverityClass(group.severity) + "\">" + std::to_string(group.findings) + "</td>";
    }
    out += "<td>" + std::to_string(report.pages.size()) + "</td></tr>\n</table>\n";

    const std::vector<CategoryCount> categories = CountByCategory(report);
    if (categories.empty()) {
        out += "<p>No issues found.</p>\n";
    } else {
        out += Chart(categories);
        out += Overview(groups);
    }
    out += Checks(report, groups);
    out += Pages(report);
    return out + "</body>\n</html>\n";
}

} // namespace sendwell
