// What the History window shows, decided apart from the window: what a look at the history reads, the
// chart's series (accepted and failed per run over time, audit issues by severity per audit) and the
// rows the window exports as CSV.
#pragma once

#include "core/base/outcome.h"
#include "core/base/report_table.h"
#include "core/history/history_store.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

struct AuditRunCounts {
    std::int64_t run = 0;
    std::int64_t started = 0;
    std::vector<AuditCount> counts;
};

// One look at the history: the runs newest first, and the counts of every audit among them.
struct HistorySnapshot {
    std::vector<RunRecord> runs;
    std::vector<AuditRunCounts> audits; // oldest first
    bool noFile = false;                // nothing has been recorded yet
    std::filesystem::path keptAside;    // a damaged file moved aside on opening; empty when none
    Outcome outcome;
};

// Reads file without creating it: a history that does not exist yet is an empty one. A damaged file
// is moved aside on opening, as every opening of the history does.
HistorySnapshot ReadHistorySnapshot(const std::filesystem::path& file);
HistoryRead<std::vector<RequestRecord>> ReadRunRequests(const std::filesystem::path& file, std::int64_t run);
HistoryRead<std::vector<RequestRecord>> ReadAddressTimeline(const std::filesystem::path& file,
                                                            std::string_view address);

// "finished", "cancelled" or "did not finish".
std::string_view RunStateText(const RunRecord& run);

// The accepted/failed chart: one point per run that sends requests (audits have a chart of their own),
// oldest first.
struct RunPoint {
    std::int64_t run = 0;
    std::int64_t at = 0;
    std::int64_t accepted = 0;
    std::int64_t failed = 0;
};
std::vector<RunPoint> OutcomeSeries(std::span<const RunRecord> runs);

// The audit chart: one series per severity, each with a count for every audit run (0 where it found
// none), audits oldest first. Severities come in order; ones not named there follow by name.
struct SeveritySeries {
    std::string severity;
    std::vector<std::int64_t> counts; // one per audit, as the audits are given
};
std::vector<SeveritySeries> AuditSeverityChart(std::span<const AuditRunCounts> audits,
                                               std::span<const std::string_view> order);

// The runs as the window's Export CSV writes them, one row each, newest first; times in UTC.
ReportTable RunsTable(std::span<const RunRecord> runs);

} // namespace sendwell
