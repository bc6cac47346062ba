#include "core/audit/audit_history.h"

#include "core/base/paths.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <utility>
#include <vector>

namespace sendwell {

Outcome RecordAudit(const AuditReport& report, const std::filesystem::path& historyFile,
                    const Retention& retention) {
    using std::chrono::duration_cast;
    using std::chrono::seconds;
    const std::int64_t started = duration_cast<seconds>(report.started.time_since_epoch()).count();
    const std::int64_t ended = started + duration_cast<seconds>(report.elapsed).count();
    const std::string note = report.starts.empty() ? std::string() : report.starts.front();
    HistoryRecorder history(historyFile.empty() ? DefaultHistoryPath() : historyFile, RunKind::Audit, started,
                            note);

    RunCounts counts;
    for (const AuditPage& page : report.pages) {
        // Pages robots.txt kept the audit from, or external ones it did not follow, were never asked.
        if (page.blocked || (page.external && page.status == 0)) {
            continue;
        }
        const bool answered = page.status >= 200 && page.status < 400;
        history.Add({0,
                     page.address,
                     "audit",
                     answered ? RequestEnd::Accepted : RequestEnd::Failed,
                     page.status,
                     page.time.count(),
                     {},
                     ended});
        ++counts.requests;
        counts.accepted += answered ? 1 : 0;
        counts.failed += answered ? 0 : 1;
    }

    std::map<std::pair<std::string_view, std::string_view>, std::int64_t> perCheck;
    std::vector<AuditFindingRecord> findings;
    findings.reserve(std::min(report.findings.size(), retention.maxFindingsPerAudit));
    for (const Finding& finding : report.findings) {
        ++perCheck[{finding.id(), SeverityName(finding.severity())}];
        if (findings.size() < retention.maxFindingsPerAudit) {
            findings.push_back({std::string(finding.id()), std::string(SeverityName(finding.severity())),
                                finding.address, finding.detail, finding.related});
        }
    }
    std::vector<AuditCount> checkCounts;
    checkCounts.reserve(perCheck.size());
    for (const auto& [key, count] : perCheck) {
        checkCounts.push_back({std::string(key.first), std::string(key.second), count});
    }
    history.AddAudit(checkCounts, findings, retention);
    return history.Finish(ended, report.outcome.cancelled(), counts, retention);
}

} // namespace sendwell
