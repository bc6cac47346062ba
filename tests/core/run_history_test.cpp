// Runs recorded in the history as the front ends start them: the bulk status check row by row, and a
// finished site audit with its pages, its counts per check and its findings up to the retention.
#include "core/audit/audit_history.h"
#include "core/history/history_store.h"
#include "core/history/status_history.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace sendwell {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<HistoryStore> Open(const fs::path& file) {
    HistoryStore::Opened opened = HistoryStore::Open(file);
    EXPECT_TRUE(opened.store) << opened.outcome.text;
    return std::move(opened.store);
}

TEST(StatusHistory, EachRowIsARequestOfAStatusRunAndAHistoryThatFailsStopsNoRow) {
    test::HttpTestServer server;
    server.SetHandler(
        [](const test::RecordedRequest& r) { return test::Response(r.Path() == "/ok" ? 200 : 404, "body"); });
    test::TempDir dir;
    test::WriteFileBytes(dir / "blocker", "a file where the history's folder would be");
    const std::vector<std::string> addresses = {server.Url("/ok"), server.Url("/missing"), "http://"};
    for (const fs::path& file : {dir / "history.sqlite", dir / "blocker" / "history.sqlite"}) {
        std::size_t rows = 0;
        const RecordedStatusCheck checked = RunRecordedStatusCheck(
            addresses, {}, [&](std::size_t, StatusRow&&) { ++rows; }, file);
        EXPECT_EQ(rows, 3u);
        EXPECT_EQ(checked.summary.failed, 2u);
        if (file.parent_path() != dir.path()) {
            EXPECT_EQ(checked.historyError.rfind("The history could not be written: ", 0), 0u);
            continue;
        }
        EXPECT_EQ(checked.historyError, "");
        const std::unique_ptr<HistoryStore> store = Open(file);
        ASSERT_TRUE(store);
        const std::vector<RunRecord> runs = store->Runs().value;
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].kind, RunKind::StatusCheck);
        EXPECT_EQ(runs[0].counts.requests, 3);
        EXPECT_EQ(runs[0].counts.accepted, 1);
        std::vector<RequestRecord> requests = store->Requests(runs[0].id).value;
        ASSERT_EQ(requests.size(), 3u);
        std::sort(requests.begin(), requests.end(),
                  [](const RequestRecord& a, const RequestRecord& b) { return a.httpStatus > b.httpStatus; });
        EXPECT_EQ(requests[0].address, addresses[1]);
        EXPECT_EQ(requests[0].httpStatus, 404);
        EXPECT_EQ(requests[0].end, RequestEnd::Failed);
        EXPECT_EQ(requests[1].address, addresses[0]);
        EXPECT_EQ(requests[1].end, RequestEnd::Accepted);
        EXPECT_EQ(requests[2].httpStatus, 0); // never asked: no answer, not -1
        EXPECT_EQ(requests[2].channel, "status");
    }
}

TEST(AuditHistory, AnAuditsPagesCountsAndBoundedFindingsAreRecorded) {
    test::TempDir dir;
    AuditReport report;
    report.starts = {"https://a.test/"};
    report.started = std::chrono::system_clock::time_point(std::chrono::seconds(1'800'000'000));
    report.elapsed = std::chrono::milliseconds(65'000);
    auto page = [](std::string address, int status) {
        AuditPage p;
        p.address = std::move(address);
        p.status = status;
        return p;
    };
    report.pages = {page("https://a.test/", 200), page("https://a.test/gone", 404),
                    page("https://a.test/private", 0), page("https://elsewhere.test/", 0)};
    report.pages[0].time = std::chrono::milliseconds(12);
    report.pages[2].blocked = true;
    report.pages[3].external = true;
    report.findings = {
        {Check::BrokenLink, "https://a.test/", "404", "https://a.test/gone"},
        {Check::HttpError, "https://a.test/gone", "404", ""},
        {Check::BrokenLink, "https://a.test/x", "404", "https://a.test/gone"},
        {Check::TitleMissing, "https://a.test/", "", ""},
    };
    Retention retention;
    retention.maxFindingsPerAudit = 3;
    const fs::path file = dir / "history.sqlite";
    ASSERT_TRUE(RecordAudit(report, file, retention).ok());

    const std::unique_ptr<HistoryStore> store = Open(file);
    ASSERT_TRUE(store);
    const std::vector<RunRecord> runs = store->Runs().value;
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].kind, RunKind::Audit);
    EXPECT_EQ(runs[0].started, 1'800'000'000);
    EXPECT_EQ(runs[0].ended, 1'800'000'065);
    EXPECT_EQ(runs[0].note, "https://a.test/");
    // The pages asked: not the one robots.txt kept out nor the external one never followed.
    const std::vector<RequestRecord> requests = store->Requests(runs[0].id).value;
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].end, RequestEnd::Accepted);
    EXPECT_EQ(requests[0].millis, 12);
    EXPECT_EQ(requests[1].end, RequestEnd::Failed);
    EXPECT_EQ(runs[0].counts.failed, 1);

    std::int64_t counted = 0;
    for (const AuditCount& count : store->AuditCounts(runs[0].id).value) {
        const std::optional<Check> check = CheckWithId(count.check);
        ASSERT_TRUE(check) << count.check;
        EXPECT_EQ(count.severity, SeverityName(InfoOf(*check).severity));
        EXPECT_EQ(count.count, *check == Check::BrokenLink ? 2 : 1) << count.check;
        counted += count.count;
    }
    EXPECT_EQ(counted, 4); // every finding counts, kept or not
    const std::vector<AuditFindingRecord> kept = store->AuditFindings(runs[0].id).value;
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].related, "https://a.test/gone");

    // A history that cannot be written says so and changes nothing of the report.
    test::WriteFileBytes(dir / "blocker", "");
    const Outcome failed = RecordAudit(report, dir / "blocker" / "history.sqlite");
    EXPECT_EQ(failed.text.rfind("The history could not be written: ", 0), 0u) << failed.text;
}

} // namespace
} // namespace sendwell
