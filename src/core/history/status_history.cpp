#include "core/history/status_history.h"

#include "core/base/paths.h"
#include "core/history/history_store.h"

#include <ctime>

namespace sendwell {

namespace {

std::int64_t NowSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

} // namespace

RecordedStatusCheck
RunRecordedStatusCheck(const std::vector<std::string>& addresses, const StatusRunSetup& setup,
                       const std::function<void(std::size_t index, StatusRow&& row)>& onRow,
                       const std::filesystem::path& historyFile) {
    HistoryRecorder history(historyFile.empty() ? DefaultHistoryPath() : historyFile, RunKind::StatusCheck,
                            NowSeconds());
    RecordedStatusCheck result;
    RunCounts counts;
    result.summary = RunStatusCheck(addresses, setup, [&](std::size_t index, StatusRow&& row) {
        const RequestEnd end = row.failed() ? RequestEnd::Failed : RequestEnd::Accepted;
        history.Add(
            {0, row.address, "status", end, std::max(row.code, 0), row.time.count(), {}, NowSeconds()});
        ++counts.requests;
        counts.accepted += end == RequestEnd::Accepted ? 1 : 0;
        counts.failed += end == RequestEnd::Failed ? 1 : 0;
        onRow(index, std::move(row));
    });
    if (const Outcome written = history.Finish(NowSeconds(), result.summary.cancelled, counts);
        !written.ok()) {
        result.historyError = written.text;
    }
    return result;
}

} // namespace sendwell
