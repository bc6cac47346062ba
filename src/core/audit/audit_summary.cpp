#include "core/audit/audit_summary.h"

#include <algorithm>
#include <set>

namespace sendwell {

namespace {

std::size_t Index(Severity severity) {
    return static_cast<std::size_t>(severity);
}

std::string Counted(std::size_t count, std::string_view one) {
    std::string text = std::to_string(count) + " " + std::string(one);
    return count == 1 ? text : text + "s";
}

} // namespace

std::vector<SeverityGroup> GroupBySeverity(const AuditReport& report) {
    const std::size_t checkCount = AllChecks().size();
    std::vector<CheckCount> counts(checkCount);
    std::vector<std::set<std::string_view>> addresses(checkCount);
    for (const Finding& finding : report.findings) {
        const auto at = static_cast<std::size_t>(finding.check);
        counts[at].check = finding.check;
        ++counts[at].findings;
        addresses[at].insert(finding.address);
    }
    std::vector<SeverityGroup> groups;
    for (const Severity severity : kSeveritiesWorstFirst) {
        SeverityGroup group{severity, 0, {}};
        for (const CheckInfo& info : AllChecks()) {
            CheckCount count = counts[static_cast<std::size_t>(info.check)];
            if (info.severity != severity || count.findings == 0) {
                continue;
            }
            count.pages = addresses[static_cast<std::size_t>(info.check)].size();
            group.findings += count.findings;
            group.checks.push_back(count);
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

std::vector<const Finding*> FindingsOf(const AuditReport& report, Check check) {
    std::vector<const Finding*> out;
    for (const Finding& finding : report.findings) {
        if (finding.check == check) {
            out.push_back(&finding);
        }
    }
    return out;
}

std::vector<const Finding*> FindingsAt(const AuditReport& report, std::string_view address) {
    std::vector<const Finding*> out;
    for (const Finding& finding : report.findings) {
        if (finding.address == address) {
            out.push_back(&finding);
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Finding* a, const Finding* b) { return a->severity() > b->severity(); });
    return out;
}

std::vector<CategoryCount> CountByCategory(const AuditReport& report) {
    std::vector<CategoryCount> categories;
    for (const CheckInfo& info : AllChecks()) {
        const std::string_view name = CategoryOf(info.check);
        if (std::none_of(categories.begin(), categories.end(),
                         [&](const CategoryCount& c) { return c.category == name; })) {
            categories.push_back({name, {}});
        }
    }
    for (const Finding& finding : report.findings) {
        const std::string_view name = CategoryOf(finding.check);
        auto category = std::find_if(categories.begin(), categories.end(),
                                     [&](const CategoryCount& c) { return c.category == name; });
        ++category->bySeverity[Index(finding.severity())];
    }
    std::erase_if(categories, [](const CategoryCount& c) { return c.total() == 0; });
    return categories;
}

std::string SummaryLine(const AuditReport& report) {
    std::array<std::size_t, 3> counts{};
    for (const Finding& finding : report.findings) {
        ++counts[Index(finding.severity())];
    }
    return Counted(counts[Index(Severity::Error)], "error") + ", " +
           Counted(counts[Index(Severity::Warning)], "warning") + ", " +
           Counted(counts[Index(Severity::Notice)], "notice") + " on " + Counted(report.pages.size(), "page");
}

} // namespace sendwell
