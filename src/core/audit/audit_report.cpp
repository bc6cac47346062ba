#include "core/audit/audit_report.h"

#include "core/base/named_value.h"
#include "core/base/report_table.h"

#include <array>
#include <ctime>
#include <nlohmann/json.hpp>

namespace sendwell {

namespace {

constexpr std::array kSeverities{Severity::Error, Severity::Warning, Severity::Notice};
// A JUnit failure names this many addresses at most; the rest are counted.
constexpr std::size_t kFailureAddresses = 50;

std::string IsoUtc(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm));
}

std::string OutcomeName(const Outcome& outcome) {
    switch (outcome.end) {
    case Outcome::End::Ok:
        return "finished";
    case Outcome::End::Cancelled:
        return "cancelled";
    case Outcome::End::Failed:
        break;
    }
    return "failed";
}

std::array<std::size_t, 3> CountBySeverity(const AuditReport& report) {
    std::array<std::size_t, 3> counts{};
    for (const Finding& finding : report.findings) {
        ++counts[static_cast<std::size_t>(finding.severity())];
    }
    return counts;
}

std::string Plural(std::size_t count, const std::string& one, const std::string& many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string Summary(const AuditReport& report) {
    const auto counts = CountBySeverity(report);
    std::string line = Plural(report.pages.size(), "page", "pages") + ": " +
                       Plural(counts[static_cast<std::size_t>(Severity::Error)], "error", "errors") + ", " +
                       Plural(counts[static_cast<std::size_t>(Severity::Warning)], "warning", "warnings") +
                       ", " + Plural(counts[static_cast<std::size_t>(Severity::Notice)], "notice", "notices");
    if (report.outcome.cancelled()) {
        line += " (cancelled: only the pages read by then)";
    } else if (report.truncated) {
        line += " (stopped at the page limit: more pages are linked)";
    }
    return line;
}

std::vector<std::vector<const Finding*>> ByCheck(const AuditReport& report) {
    std::vector<std::vector<const Finding*>> groups(AllChecks().size());
    for (const Finding& finding : report.findings) {
        groups[static_cast<std::size_t>(finding.check)].push_back(&finding);
    }
    return groups;
}

std::string Text(const AuditReport& report) {
    std::string out;
    std::string starts;
    for (const std::string& start : report.starts) {
        starts += (starts.empty() ? "" : ", ") + start;
    }
    if (!report.outcome.ok() && !report.outcome.cancelled()) {
        return "Site audit failed: " + report.outcome.text + "\n";
    }
    out += "Site audit of " + starts + "\n" + Summary(report) + "\n";
    const auto groups = ByCheck(report);
    for (Severity severity : kSeverities) {
        for (const CheckInfo& info : AllChecks()) {
            const auto& found = groups[static_cast<std::size_t>(info.check)];
            if (info.severity != severity || found.empty()) {
                continue;
            }
            out += "\n" + std::string(SeverityName(severity)) + "  " + std::string(info.id) + "  (" +
                   std::to_string(found.size()) + ")  " + std::string(info.description) + "\n";
            for (const Finding* finding : found) {
                out += "  " + finding->address;
                if (!finding->detail.empty()) {
                    out += "  " + finding->detail;
                }
                if (!finding->related.empty()) {
                    out += "  -> " + finding->related;
                }
                out += "\n";
            }
        }
    }
    return out;
}

std::string Json(const AuditReport& report) {
    nlohmann::json pages = nlohmann::json::array();
    for (const AuditPage& page : report.pages) {
        pages.push_back({{"address", page.address},
                         {"status", page.status},
                         {"depth", page.depth},
                         {"time_ms", page.time.count()},
                         {"title", page.title},
                         {"final_address", page.finalUrl},
                         {"blocked", page.blocked},
                         {"listed", page.listed},
                         {"external", page.external}});
    }
    nlohmann::json issues = nlohmann::json::array();
    for (const Finding& finding : report.findings) {
        issues.push_back({{"check", finding.id()},
                          {"severity", SeverityName(finding.severity())},
                          {"category", CategoryOf(finding.check)},
                          {"address", finding.address},
                          {"detail", finding.detail},
                          {"related", finding.related}});
    }
    const auto counts = CountBySeverity(report);
    nlohmann::json document = {{"starts", report.starts},
                               {"outcome", OutcomeName(report.outcome)},
                               {"message", report.outcome.text},
                               {"truncated", report.truncated},
                               {"started", IsoUtc(report.started)},
                               {"elapsed_ms", report.elapsed.count()},
                               {"summary",
                                {{"pages", report.pages.size()},
                                 {"error", counts[static_cast<std::size_t>(Severity::Error)]},
                                 {"warning", counts[static_cast<std::size_t>(Severity::Warning)]},
                                 {"notice", counts[static_cast<std::size_t>(Severity::Notice)]}}},
                               {"pages", std::move(pages)},
                               {"issues", std::move(issues)}};
    return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

ReportTable IssueTable(const AuditReport& report) {
    ReportTable table;
    table.name = "issues";
    table.columns = {"check", "severity", "category", "address", "detail", "related"};
    for (const Finding& finding : report.findings) {
        table.rows.push_back(
            {{std::string(finding.id()), std::string(SeverityName(finding.severity())),
              std::string(CategoryOf(finding.check)), finding.address, finding.detail, finding.related},
             std::nullopt,
             0});
    }
    return table;
}

// One test case per check, so that a CI system shows every check run and the failed ones with their
// addresses.
ReportTable CheckTable(const AuditReport& report) {
    ReportTable table;
    table.name = "site audit";
    table.columns = {"check", "severity", "category", "description", "findings", "addresses"};
    const auto groups = ByCheck(report);
    for (const CheckInfo& info : AllChecks()) {
        const auto& found = groups[static_cast<std::size_t>(info.check)];
        std::string addresses;
        std::string listed;
        for (std::size_t i = 0; i < found.size(); ++i) {
            addresses += found[i]->address + "\n";
            if (i < kFailureAddresses) {
                listed += (i == 0 ? "" : ", ") + found[i]->address;
            }
        }
        if (found.size() > kFailureAddresses) {
            listed += " and " + std::to_string(found.size() - kFailureAddresses) + " more";
        }
        ReportRow row{{std::string(info.id), std::string(SeverityName(info.severity)),
                       std::string(CategoryOf(info.check)), std::string(info.description),
                       static_cast<std::int64_t>(found.size()), std::move(addresses)},
                      std::nullopt,
                      0};
        if (!found.empty()) {
            row.failure = Plural(found.size(), "finding", "findings") + ": " + listed;
        }
        table.rows.push_back(std::move(row));
    }
    return table;
}

} // namespace

std::optional<AuditFormat> AuditFormatNamed(std::string_view name) {
    constexpr std::pair<std::string_view, AuditFormat> kNames[] = {
        {"text", AuditFormat::Text},   {"json", AuditFormat::Json},         {"csv", AuditFormat::Csv},
        {"junit", AuditFormat::Junit}, {"markdown", AuditFormat::Markdown}, {"html", AuditFormat::Html}};
    return ValueNamed(kNames, name);
}

std::string WriteAuditReport(const AuditReport& report, AuditFormat format) {
    switch (format) {
    case AuditFormat::Text:
        return Text(report);
    case AuditFormat::Json:
        return Json(report);
    case AuditFormat::Csv:
        return WriteReport(IssueTable(report), ReportFormat::Csv);
    case AuditFormat::Junit:
        return WriteReport(CheckTable(report), ReportFormat::Junit);
    case AuditFormat::Markdown:
        return "# Site audit\n\n" + Summary(report) + "\n\n" +
               WriteReport(IssueTable(report), ReportFormat::Markdown);
    case AuditFormat::Html:
        break;
    }
    return WriteAuditHtml(report);
}

} // namespace sendwell
