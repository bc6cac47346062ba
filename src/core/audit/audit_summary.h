// What the audit's window and its HTML report show of a report: the checks that found something grouped
// by severity, the findings of one check or at one page, and the counts a chart draws. One place, so
// that the window and the file it exports never disagree.
#pragma once

#include "core/audit/site_audit.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

// Errors first: the order a reader fixes things in.
inline constexpr std::array<Severity, 3> kSeveritiesWorstFirst = {Severity::Error, Severity::Warning,
                                                                  Severity::Notice};

struct CheckCount {
    Check check;
    std::size_t findings = 0;
    std::size_t pages = 0; // distinct addresses among them
};

struct SeverityGroup {
    Severity severity;
    std::size_t findings = 0;
    std::vector<CheckCount> checks; // those that found something, in the order of the check table
};

// One group per severity, worst first, each present even when empty.
std::vector<SeverityGroup> GroupBySeverity(const AuditReport& report);

// The findings of one check, in the report's order.
std::vector<const Finding*> FindingsOf(const AuditReport& report, Check check);

// A page's own findings (those whose address is the page's), worst first, then in the report's order.
std::vector<const Finding*> FindingsAt(const AuditReport& report, std::string_view address);

struct CategoryCount {
    std::string_view category;
    std::array<std::size_t, 3> bySeverity{}; // indexed by Severity
    std::size_t total() const { return bySeverity[0] + bySeverity[1] + bySeverity[2]; }
};

// The categories that found something, in the order their first check has in the table.
std::vector<CategoryCount> CountByCategory(const AuditReport& report);

// "3 errors, 1 warning, 0 notices on 12 pages" — the one-line summary of both front ends' windows.
std::string SummaryLine(const AuditReport& report);

} // namespace sendwell
