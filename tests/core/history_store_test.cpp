// The run history: what is written reads back, older files are migrated, old runs are pruned, a file
// that is not ours is kept aside, and two processes writing at once lose nothing.
#include "core/history/history_store.h"
#include "core/history/sqlite_db.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sendwell {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<HistoryStore> OpenOk(const fs::path& file) {
    HistoryStore::Opened opened = HistoryStore::Open(file);
    EXPECT_TRUE(opened.outcome.ok()) << opened.outcome.text;
    EXPECT_TRUE(opened.keptAside.empty());
    return std::move(opened.store);
}

RequestRecord Request(std::string address, RequestEnd end, int status, std::int64_t at) {
    RequestRecord request;
    request.address = std::move(address);
    request.channel = "IndexNow";
    request.end = end;
    request.httpStatus = status;
    request.millis = 12;
    request.answerFile = "1_2.htm";
    request.at = at;
    return request;
}

TEST(HistoryStore, ARunItsRequestsAndAuditReadBack) {
    test::TempDir dir;
    const fs::path file = dir / "history.sqlite";
    {
        HistoryRecorder recorder(file, RunKind::IndexNow, 1000, "sitemap");
        recorder.Add(Request("http://a.test/", RequestEnd::Accepted, 200, 1001));
        recorder.Add(Request("http://b.test/", RequestEnd::Failed, 429, 1002));
        EXPECT_TRUE(recorder.Finish(1005, false, {2, 1, 1}).ok());
    }
    {
        HistoryRecorder later(file, RunKind::Audit, 2000);
        later.Add(Request("http://a.test/", RequestEnd::Cancelled, 0, 2001));
        EXPECT_TRUE(later.Finish(2002, true, {1, 0, 0}).ok());
    }
    std::unique_ptr<HistoryStore> store = OpenOk(file);
    const std::vector<RunRecord> runs = store->Runs().value;
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].kind, RunKind::Audit); // newest first
    EXPECT_TRUE(runs[0].cancelled);
    EXPECT_EQ(runs[1].kind, RunKind::IndexNow);
    EXPECT_EQ(runs[1].note, "sitemap");
    EXPECT_EQ(runs[1].ended, 1005);
    EXPECT_EQ(runs[1].counts.accepted, 1);
    EXPECT_EQ(runs[1].counts.failed, 1);
    EXPECT_EQ(store->Runs(2000).value.size(), 1u);

    const std::vector<RequestRecord> requests = store->Requests(runs[1].id).value;
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].address, "http://b.test/");
    EXPECT_EQ(requests[1].end, RequestEnd::Failed);
    EXPECT_EQ(requests[1].httpStatus, 429);
    EXPECT_EQ(requests[1].answerFile, "1_2.htm");

    const std::vector<RequestRecord> timeline = store->AddressTimeline("http://a.test/").value;
    ASSERT_EQ(timeline.size(), 2u);
    EXPECT_EQ(timeline[0].end, RequestEnd::Accepted);
    EXPECT_EQ(timeline[1].end, RequestEnd::Cancelled);

    const AuditCount counts[] = {{"title-missing", "error", 3}};
    const AuditFindingRecord findings[] = {{"title-missing", "error", "http://a.test/x", "", ""},
                                           {"title-missing", "error", "http://a.test/y", "", ""}};
    Retention oneFinding;
    oneFinding.maxFindingsPerAudit = 1;
    ASSERT_TRUE(store->AddAudit(runs[0].id, counts, findings, oneFinding).ok());
    EXPECT_EQ(store->AuditCounts(runs[0].id).value.at(0).count, 3);
    EXPECT_EQ(store->AuditFindings(runs[0].id).value.size(), 1u);

    EXPECT_FALSE(store->LastIndexNowAccepted().value.has_value());
    const IndexNowEntry entries[] = {{"http://a.test/", "\"e1\"", "", "abc", 50},
                                     {"http://b.test/", "", "", "d", 70}};
    ASSERT_TRUE(store->SetIndexNowEntries(entries).ok());
    const IndexNowEntry changed[] = {{"http://a.test/", "\"e2\"", "", "abd", 90}};
    ASSERT_TRUE(store->SetIndexNowEntries(changed).ok());
    EXPECT_EQ(store->IndexNowEntryOf("http://a.test/").value->etag, "\"e2\"");
    EXPECT_EQ(store->LastIndexNowAccepted().value, 90);
    EXPECT_FALSE(store->IndexNowImported().value);
    ASSERT_TRUE(store->MarkIndexNowImported().ok());
    EXPECT_TRUE(store->IndexNowImported().value);
}

TEST(HistoryStore, MigratesAnEmptyFileAndTheFirstSchema) {
    test::TempDir dir;
    const fs::path empty = dir / "empty.sqlite";
    test::WriteFileBytes(empty, "");
    EXPECT_TRUE(OpenOk(empty)->Runs().outcome.ok());

    const fs::path older = dir / "older.sqlite";
    HistoryStore::CreateSchemaForTest(older, 1);
    {
        sqlite::Database db(older, 1000);
        db.Execute("INSERT INTO runs(kind, started) VALUES('engines', 5)");
    }
    std::unique_ptr<HistoryStore> store = OpenOk(older);
    const std::vector<RunRecord> runs = store->Runs().value;
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].started, 5);
    const AuditCount counts[] = {{"h1-missing", "warning", 1}};
    EXPECT_TRUE(store->AddAudit(runs[0].id, counts, {}).ok()); // the second version's tables are there
}

TEST(HistoryStore, PrunesByAgeAndByCountWithWhatBelongsToTheRuns) {
    test::TempDir dir;
    std::unique_ptr<HistoryStore> store = OpenOk(dir / "history.sqlite");
    constexpr std::int64_t kDay = 86400;
    const std::int64_t now = 1000 * kDay;
    std::vector<std::int64_t> ids;
    for (std::int64_t started : {now - 400 * kDay, now - 30 * kDay, now - 20 * kDay, now - 10 * kDay}) {
        ids.push_back(store->BeginRun(RunKind::Engines, started).value);
        const RequestRecord request = [&] {
            RequestRecord r = Request("http://a.test/", RequestEnd::Accepted, 200, started);
            r.run = ids.back();
            return r;
        }();
        ASSERT_TRUE(store->AddRequests({&request, 1}).ok());
    }
    Retention retention;
    retention.maxRuns = 2;
    EXPECT_EQ(store->Prune(retention, now).value, 2);
    const std::vector<RunRecord> runs = store->Runs().value;
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].id, ids[3]);
    EXPECT_EQ(runs[1].id, ids[2]);
    EXPECT_TRUE(store->Requests(ids[0]).value.empty());
    EXPECT_EQ(store->AddressTimeline("http://a.test/").value.size(), 2u);
}

TEST(HistoryStore, AFileThatIsNotOursIsKeptAsideAndANewOneMade) {
    struct Case {
        const char* name;
        void (*make)(const fs::path&);
    };
    const Case cases[] = {
        {"not a database", [](const fs::path& f) { test::WriteFileBytes(f, std::string(8192, 'x')); }},
        {"another program's database",
         [](const fs::path& f) { sqlite::Database(f, 1000).Execute("CREATE TABLE songs(title TEXT)"); }},
        {"a newer schema",
         [](const fs::path& f) {
             HistoryStore::CreateSchemaForTest(f, HistoryStore::kSchemaVersion);
             sqlite::Database(f, 1000).Execute("PRAGMA user_version = 99");
         }},
        {"a truncated database",
         [](const fs::path& f) {
             HistoryStore::CreateSchemaForTest(f, HistoryStore::kSchemaVersion);
             fs::resize_file(f, 1000);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const fs::path file = dir / "history.sqlite";
        c.make(file);
        const std::string before = test::ReadFileBytes(file);

        HistoryStore::Opened opened = HistoryStore::Open(file);
        ASSERT_TRUE(opened.outcome.ok()) << opened.outcome.text;
        ASSERT_TRUE(opened.store);
        ASSERT_FALSE(opened.keptAside.empty());
        EXPECT_NE(opened.keptAside.filename().string().find(".unreadable-"), std::string::npos);
        EXPECT_EQ(test::ReadFileBytes(opened.keptAside), before);
        EXPECT_TRUE(opened.store->BeginRun(RunKind::StatusCheck, 1).outcome.ok());
    }
}

TEST(HistoryStore, AHistoryThatCannotBeHadFailsTheRecordNotTheRun) {
    test::TempDir dir;
    const fs::path file = dir / "history.sqlite";
    fs::create_directory(file); // nothing can be opened there
    HistoryRecorder recorder(file, RunKind::Engines, 1);
    recorder.Add(Request("http://a.test/", RequestEnd::Accepted, 200, 1));
    const Outcome outcome = recorder.Finish(2, false, {1, 1, 0});
    EXPECT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.text.rfind("The history could not be written: ", 0), 0u) << outcome.text;
    EXPECT_TRUE(fs::is_directory(file));
}

TEST(HistoryStore, ARunNeverWaitsForTheFileAndEndsWithEveryRecordWritten) {
    test::TempDir dir;
    const fs::path file = dir / "history.sqlite";
    OpenOk(file);
    constexpr int kRequests = 3 * static_cast<int>(kHistoryBatch) + 5;
    const AuditCount counts[] = {{"title-missing", "error", 1}};
    {
        // Another process holds the file for the whole of the run's adds: were they to write, this
        // thread would wait on its own lock until the busy time-out and the records would be lost.
        sqlite::Database other(file, 100);
        other.Execute("BEGIN IMMEDIATE");
        HistoryRecorder recorder(file, RunKind::Audit, 1);
        for (int i = 0; i < kRequests; ++i) {
            recorder.Add(Request("http://a.test/" + std::to_string(i), RequestEnd::Accepted, 200, i));
        }
        recorder.AddAudit(counts, {});
        other.Execute("COMMIT");
        EXPECT_TRUE(recorder.Finish(9, false, {kRequests, kRequests, 0}).ok());
    }
    {
        // A recorder left without its finish still writes what it was given.
        HistoryRecorder unfinished(file, RunKind::Engines, 2);
        unfinished.Add(Request("http://b.test/", RequestEnd::Failed, 500, 3));
    }
    std::unique_ptr<HistoryStore> store = OpenOk(file);
    const std::vector<RunRecord> runs = store->Runs().value;
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_FALSE(runs[0].ended);
    EXPECT_EQ(store->Requests(runs[0].id).value.size(), 1u);
    const std::vector<RequestRecord> requests = store->Requests(runs[1].id).value;
    ASSERT_EQ(requests.size(), static_cast<std::size_t>(kRequests));
    for (int i = 0; i < kRequests; ++i) { // in the order added, each field in its place
        const RequestRecord& request = requests[static_cast<std::size_t>(i)];
        ASSERT_EQ(request.address, "http://a.test/" + std::to_string(i));
        ASSERT_EQ(request.at, i);
        ASSERT_EQ(request.channel, "IndexNow");
        ASSERT_EQ(request.answerFile, "1_2.htm");
        ASSERT_EQ(request.millis, 12);
    }
    EXPECT_EQ(runs[1].ended, 9);
    EXPECT_EQ(store->AuditCounts(runs[1].id).value.size(), 1u);
}

TEST(HistoryStore, TwoOpenersOfANewFileAtOnceBothHaveIt) {
    // A run's writer opens the file while the run's IndexNow record opens it too: neither may take
    // the other's half-made file for a damaged one, nor give up on it.
    test::TempDir dir;
    for (int round = 0; round < 40; ++round) {
        const fs::path file = dir / ("history-" + std::to_string(round) + ".sqlite");
        HistoryStore::Opened there;
        SideTask other([&] { there = HistoryStore::Open(file); });
        HistoryStore::Opened here = HistoryStore::Open(file);
        other.Wait();
        for (const HistoryStore::Opened* opened : {&here, &there}) {
            ASSERT_TRUE(opened->store) << round << ": " << opened->outcome.text;
            ASSERT_TRUE(opened->keptAside.empty()) << round;
        }
    }
}

TEST(HistoryStore, TwoProcessesWritingAtOnceKeepEveryRecord) {
    test::TempDir dir;
    const fs::path file = dir / "history.sqlite";
    OpenOk(file); // both start from a made file, as the window and the command line do
    constexpr int kWriters = 2;
    constexpr int kRequests = 3 * static_cast<int>(kHistoryBatch) + 7;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            HistoryRecorder recorder(file, RunKind::StatusCheck, w);
            for (int i = 0; i < kRequests; ++i) {
                recorder.Add(Request("http://w" + std::to_string(w) + ".test/" + std::to_string(i),
                                     RequestEnd::Accepted, 200, i));
            }
            _exit(recorder.Finish(9, false, {kRequests, kRequests, 0}).ok() ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::unique_ptr<HistoryStore> store = OpenOk(file);
    const std::vector<RunRecord> runs = store->Runs().value;
    ASSERT_EQ(runs.size(), 2u);
    for (const RunRecord& run : runs) {
        EXPECT_EQ(store->Requests(run.id).value.size(), static_cast<std::size_t>(kRequests));
        EXPECT_EQ(run.ended, 9);
    }
}

} // namespace
} // namespace sendwell
