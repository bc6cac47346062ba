// What the History window shows: a look at the history (none yet, runs and audits, a damaged file),
// the chart's series and the runs' CSV.
#include "core/history/history_view.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace sendwell {
namespace {

namespace fs = std::filesystem;

RunRecord MakeRun(std::int64_t id, RunKind kind, std::int64_t started, RunCounts counts) {
    RunRecord run;
    run.id = id;
    run.kind = kind;
    run.started = started;
    run.ended = started + 5;
    run.counts = counts;
    return run;
}

void Record(const fs::path& file, RunKind kind, std::int64_t started, std::vector<AuditCount> audit = {}) {
    HistoryRecorder recorder(file, kind, started);
    RequestRecord request;
    request.address = "http://a.test/";
    request.channel = "status";
    request.at = started;
    recorder.Add(request);
    if (!audit.empty()) {
        HistoryStore::Opened opened = HistoryStore::Open(file);
        ASSERT_TRUE(opened.store);
        EXPECT_TRUE(opened.store->AddAudit(recorder.runId(), audit, {}).ok());
    }
    EXPECT_TRUE(recorder.Finish(started + 1, false, {1, 1, 0}).ok());
}

TEST(HistoryView, ALookAtTheHistoryReadsRunsAndAuditsAndCreatesNothing) {
    test::TempDir dir;
    const fs::path file = dir / "history.sqlite";
    HistorySnapshot none = ReadHistorySnapshot(file);
    EXPECT_TRUE(none.noFile);
    EXPECT_TRUE(none.outcome.ok());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(ReadRunRequests(file, 1).value.empty());
    EXPECT_FALSE(fs::exists(file));

    Record(file, RunKind::Audit, 1000, {{"title-missing", "error", 2}, {"title-short", "notice", 1}});
    Record(file, RunKind::Engines, 2000);
    Record(file, RunKind::Audit, 3000, {{"h1-missing", "warning", 4}});
    const HistorySnapshot snapshot = ReadHistorySnapshot(file);
    ASSERT_TRUE(snapshot.outcome.ok()) << snapshot.outcome.text;
    ASSERT_EQ(snapshot.runs.size(), 3u);
    EXPECT_EQ(snapshot.runs.front().started, 3000);
    ASSERT_EQ(snapshot.audits.size(), 2u);
    EXPECT_EQ(snapshot.audits[0].started, 1000);
    EXPECT_EQ(snapshot.audits[0].counts.size(), 2u);
    EXPECT_EQ(snapshot.audits[1].counts.at(0).count, 4);

    const std::int64_t engines = snapshot.runs[1].id;
    ASSERT_EQ(ReadRunRequests(file, engines).value.size(), 1u);
    EXPECT_EQ(ReadAddressTimeline(file, "http://a.test/").value.size(), 3u);
}

TEST(HistoryView, ADamagedFileIsKeptAsideAndReadsAsEmpty) {
    test::TempDir dir;
    const fs::path file = dir / "history.sqlite";
    test::WriteFileBytes(file, std::string(4096, 'x'));
    const HistorySnapshot snapshot = ReadHistorySnapshot(file);
    EXPECT_TRUE(snapshot.outcome.ok()) << snapshot.outcome.text;
    EXPECT_FALSE(snapshot.keptAside.empty());
    EXPECT_EQ(test::ReadFileBytes(snapshot.keptAside), std::string(4096, 'x'));
    EXPECT_TRUE(snapshot.runs.empty());
}

TEST(HistoryView, TheOutcomeChartHasEveryRunButAuditsOldestFirst) {
    const std::vector<RunRecord> newestFirst = {
        MakeRun(4, RunKind::StatusCheck, 300, {5, 4, 1}), MakeRun(3, RunKind::Audit, 250, {9, 9, 0}),
        MakeRun(2, RunKind::IndexNow, 200, {2, 2, 0}), MakeRun(1, RunKind::Engines, 200, {3, 1, 2})};
    const std::vector<RunPoint> points = OutcomeSeries(newestFirst);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].run, 1); // same second: by id
    EXPECT_EQ(points[1].run, 2);
    EXPECT_EQ(points[2].run, 4);
    EXPECT_EQ(points[0].failed, 2);
    EXPECT_EQ(points[2].accepted, 4);
}

TEST(HistoryView, TheAuditChartSumsEachSeverityPerAuditInTheGivenOrder) {
    const std::vector<AuditRunCounts> audits = {
        {1, 100, {{"a", "error", 2}, {"b", "error", 3}, {"c", "notice", 1}}},
        {2, 200, {{"d", "odd", 7}}},
        {3, 300, {}},
    };
    const std::vector<std::string_view> order = {"error", "warning", "notice"};
    const std::vector<SeveritySeries> series = AuditSeverityChart(audits, order);
    ASSERT_EQ(series.size(), 4u);
    EXPECT_EQ(series[0].severity, "error");
    EXPECT_EQ(series[0].counts, (std::vector<std::int64_t>{5, 0, 0}));
    EXPECT_EQ(series[1].severity, "warning"); // none found, still a series of its own
    EXPECT_EQ(series[1].counts, (std::vector<std::int64_t>{0, 0, 0}));
    EXPECT_EQ(series[2].counts, (std::vector<std::int64_t>{1, 0, 0}));
    EXPECT_EQ(series[3].severity, "odd"); // not in the order: after it
    EXPECT_EQ(series[3].counts, (std::vector<std::int64_t>{0, 7, 0}));
}

TEST(HistoryView, TheRunsCsvHasOneQuotedRowPerRun) {
    RunRecord running = MakeRun(7, RunKind::IndexNow, 0, {3, 1, 2});
    running.ended.reset();
    running.note = "sitemap, \"changed\"";
    RunRecord cancelled = MakeRun(6, RunKind::Engines, 86400, {0, 0, 0});
    cancelled.cancelled = true;
    const std::vector<RunRecord> runs = {running, cancelled};
    EXPECT_EQ(WriteReport(RunsTable(runs), ReportFormat::Csv),
              "run,kind,started,ended,state,requests,accepted,failed,note\r\n"
              "7,indexnow,1970-01-01T00:00:00Z,,did not finish,3,1,2,\"sitemap, \"\"changed\"\"\"\r\n"
              "6,engines,1970-01-02T00:00:00Z,1970-01-02T00:00:05Z,cancelled,0,0,0,\r\n");
}

} // namespace
} // namespace sendwell
