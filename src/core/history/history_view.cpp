#include "core/history/history_view.h"

#include "core/base/dates.h"

#include <algorithm>
#include <map>
#include <system_error>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

// Opens file for reading; none (with why in outcome) when it cannot be had.
std::unique_ptr<HistoryStore> OpenForReading(const fs::path& file, Outcome& outcome, fs::path* keptAside) {
    HistoryStore::Opened opened = HistoryStore::Open(file);
    if (keptAside != nullptr) {
        *keptAside = opened.keptAside;
    }
    if (!opened.store) {
        outcome = opened.outcome;
    }
    return std::move(opened.store);
}

bool Missing(const fs::path& file) {
    std::error_code ec;
    return !fs::exists(file, ec) && !ec;
}

// Nothing when there is no file yet, else what query reads from it once it is open.
template <typename Query>
HistoryRead<std::vector<RequestRecord>> ReadRequests(const fs::path& file, Query query) {
    HistoryRead<std::vector<RequestRecord>> read;
    if (Missing(file)) {
        return read;
    }
    if (std::unique_ptr<HistoryStore> store = OpenForReading(file, read.outcome, nullptr)) {
        read = query(*store);
    }
    return read;
}

} // namespace

HistorySnapshot ReadHistorySnapshot(const fs::path& file) {
    HistorySnapshot snapshot;
    if (Missing(file)) {
        snapshot.noFile = true;
        return snapshot;
    }
    std::unique_ptr<HistoryStore> store = OpenForReading(file, snapshot.outcome, &snapshot.keptAside);
    if (!store) {
        return snapshot;
    }
    HistoryRead<std::vector<RunRecord>> runs = store->Runs();
    if (!runs.outcome.ok()) {
        snapshot.outcome = runs.outcome;
        return snapshot;
    }
    snapshot.runs = std::move(runs.value);
    for (auto run = snapshot.runs.rbegin(); run != snapshot.runs.rend(); ++run) {
        if (run->kind != RunKind::Audit) {
            continue;
        }
        HistoryRead<std::vector<AuditCount>> counts = store->AuditCounts(run->id);
        if (!counts.outcome.ok()) {
            snapshot.outcome = counts.outcome;
            return snapshot;
        }
        snapshot.audits.push_back({run->id, run->started, std::move(counts.value)});
    }
    return snapshot;
}

HistoryRead<std::vector<RequestRecord>> ReadRunRequests(const fs::path& file, std::int64_t run) {
    return ReadRequests(file, [&](HistoryStore& store) { return store.Requests(run); });
}

HistoryRead<std::vector<RequestRecord>> ReadAddressTimeline(const fs::path& file, std::string_view address) {
    return ReadRequests(file, [&](HistoryStore& store) { return store.AddressTimeline(address); });
}

std::string_view RunStateText(const RunRecord& run) {
    if (run.cancelled) {
        return "cancelled";
    }
    return run.ended ? "finished" : "did not finish";
}

std::vector<RunPoint> OutcomeSeries(std::span<const RunRecord> runs) {
    std::vector<RunPoint> points;
    for (const RunRecord& run : runs) {
        if (run.kind != RunKind::Audit) {
            points.push_back({run.id, run.started, run.counts.accepted, run.counts.failed});
        }
    }
    // Runs come newest first; a chart over time reads oldest first. Runs of one second keep their ids'
    // order.
    std::sort(points.begin(), points.end(), [](const RunPoint& a, const RunPoint& b) {
        return a.at != b.at ? a.at < b.at : a.run < b.run;
    });
    return points;
}

std::vector<SeveritySeries> AuditSeverityChart(std::span<const AuditRunCounts> audits,
                                               std::span<const std::string_view> order) {
    // Every severity named by the order or found in any audit, each summed per audit over its checks.
    std::map<std::string, std::vector<std::int64_t>, std::less<>> totals;
    for (std::string_view severity : order) {
        totals.try_emplace(std::string(severity), audits.size(), 0);
    }
    for (std::size_t i = 0; i < audits.size(); ++i) {
        for (const AuditCount& count : audits[i].counts) {
            auto [entry, added] = totals.try_emplace(count.severity, audits.size(), 0);
            entry->second[i] += count.count;
        }
    }
    std::vector<SeveritySeries> series;
    series.reserve(totals.size());
    for (std::string_view severity : order) {
        auto entry = totals.find(severity);
        if (entry != totals.end()) {
            series.push_back({entry->first, std::move(entry->second)});
            totals.erase(entry);
        }
    }
    for (auto& [severity, counts] : totals) {
        series.push_back({severity, std::move(counts)});
    }
    return series;
}

ReportTable RunsTable(std::span<const RunRecord> runs) {
    ReportTable table;
    table.name = "runs";
    table.columns = {"run", "kind", "started", "ended", "state", "requests", "accepted", "failed", "note"};
    table.rows.reserve(runs.size());
    for (const RunRecord& run : runs) {
        ReportRow row;
        row.cells = {run.id,
                     std::string(RunKindName(run.kind)),
                     UtcTimeText(run.started),
                     run.ended ? ReportCell(UtcTimeText(*run.ended)) : ReportCell(),
                     std::string(RunStateText(run)),
                     run.counts.requests,
                     run.counts.accepted,
                     run.counts.failed,
                     run.note};
        if (run.counts.failed > 0) {
            row.failure = std::to_string(run.counts.failed) + " failed";
        }
        row.seconds = run.ended ? static_cast<double>(*run.ended - run.started) : 0.0;
        table.rows.push_back(std::move(row));
    }
    return table;
}

} // namespace sendwell
