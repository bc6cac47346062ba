// The run history: every run of the program's network work (engine submissions, IndexNow, status
// checks, audits), each request of it, audit summaries, and IndexNow's record of what it sent, kept in
// one SQLite file beside the URL database. The file is versioned and migrated forward; a damaged or
// foreign one is moved aside rather than written over, and nothing here ever stops the run it records.
#pragma once

#include "core/base/outcome.h"
#include "core/base/side_by_side.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

namespace sqlite {
class Database;
class Statement;
} // namespace sqlite

enum class RunKind { Engines, IndexNow, StatusCheck, Audit };
// "engines", "indexnow", "status", "audit": the words stored and printed.
std::string_view RunKindName(RunKind kind);
std::optional<RunKind> RunKindFromName(std::string_view name);

enum class RequestEnd { Accepted, Failed, Cancelled };
std::string_view RequestEndName(RequestEnd end); // "accepted", "failed", "cancelled"

// Times are seconds since the epoch (UTC).
struct RunCounts {
    std::int64_t requests = 0;
    std::int64_t accepted = 0;
    std::int64_t failed = 0;
};

struct RunRecord {
    std::int64_t id = 0;
    RunKind kind = RunKind::Engines;
    std::int64_t started = 0;
    std::optional<std::int64_t> ended; // none while running, or when the process ended without saying
    bool cancelled = false;
    RunCounts counts;
    std::string note;
};

struct RequestRecord {
    std::int64_t run = 0;
    std::string address;
    std::string channel; // the engine's name, "IndexNow", "status", "audit"
    RequestEnd end = RequestEnd::Accepted;
    int httpStatus = 0;
    std::int64_t millis = 0;
    std::string answerFile; // the answer store's file name; "" when none was kept
    std::int64_t at = 0;
};

struct AuditCount {
    std::string check;
    std::string severity;
    std::int64_t count = 0;
};

struct AuditFindingRecord {
    std::string check;
    std::string severity;
    std::string address;
    std::string detail;
    std::string related;
};

// What IndexNow last had accepted of an address, to leave out pages that have not changed since.
struct IndexNowEntry {
    std::string address;
    std::string etag;
    std::string lastModified;
    std::string hash;
    std::int64_t accepted = 0;
};

struct Retention {
    std::int64_t maxAgeDays = 365; // runs started longer ago go
    std::int64_t maxRuns = 10000;  // beyond this many, the oldest go
    std::size_t maxFindingsPerAudit = 100000;
};

// What a read brings back, and how it ended.
template <class T>
struct HistoryRead {
    T value{};
    Outcome outcome;
};

class HistoryStore {
public:
    // The schema this program writes; files of an older one are migrated on opening.
    static constexpr int kSchemaVersion = 2;

    struct Opened {
        std::unique_ptr<HistoryStore> store; // null when no history can be had now
        Outcome outcome;
        std::filesystem::path keptAside; // where a damaged or foreign file was moved; empty when none
    };
    // Opens file, creating and migrating it. A file that is not a database, or is one of another
    // program or of a newer schema, is moved aside ("<file>.unreadable-<stamp>") and a new one made.
    // A file locked by another process for longer than the busy time-out, or one that cannot be
    // created, gives no store and a failed outcome that says why.
    static Opened Open(const std::filesystem::path& file);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Writes, each its own transaction.
    HistoryRead<std::int64_t> BeginRun(RunKind kind, std::int64_t started, std::string_view note = {});
    // One transaction for all of them, through one statement prepared once per store.
    Outcome AddRequests(std::span<const RequestRecord> requests);
    Outcome EndRun(std::int64_t run, std::int64_t ended, bool cancelled, const RunCounts& counts);
    // An audit's counts per check, and its findings up to the retention's bound.
    Outcome AddAudit(std::int64_t run, std::span<const AuditCount> counts,
                     std::span<const AuditFindingRecord> findings, const Retention& retention = {});
    Outcome SetIndexNowEntries(std::span<const IndexNowEntry> entries);
    // Drops runs (and what belongs to them) older than the retention's age or beyond its count.
    HistoryRead<std::int64_t> Prune(const Retention& retention, std::int64_t now);

    // Reads. Runs newest first; since: only runs started at or after it.
    HistoryRead<std::vector<RunRecord>> Runs(std::optional<std::int64_t> since = {}, std::size_t limit = 0);
    HistoryRead<std::optional<RunRecord>> Run(std::int64_t id);
    HistoryRead<std::vector<RequestRecord>> Requests(std::int64_t run);
    // Every request of address across runs, oldest first.
    HistoryRead<std::vector<RequestRecord>> AddressTimeline(std::string_view address,
                                                            std::optional<std::int64_t> since = {});
    HistoryRead<std::vector<AuditCount>> AuditCounts(std::int64_t run);
    HistoryRead<std::vector<AuditFindingRecord>> AuditFindings(std::int64_t run);
    HistoryRead<std::optional<IndexNowEntry>> IndexNowEntryOf(std::string_view address);
    // When IndexNow last accepted anything; none when it never has.
    HistoryRead<std::optional<std::int64_t>> LastIndexNowAccepted();
    // Whether the old JSON record has been taken in; set once it has.
    HistoryRead<bool> IndexNowImported();
    Outcome MarkIndexNowImported();

    // Builds the schema of one version only: for the test of migrating an older file.
    static void CreateSchemaForTest(const std::filesystem::path& file, int version);

private:
    explicit HistoryStore(std::unique_ptr<sqlite::Database> db);
    std::unique_ptr<sqlite::Database> db_;
    // Prepared at the first AddRequests: for many rows at once, and for one.
    std::unique_ptr<sqlite::Statement> insertRequests_;
    std::unique_ptr<sqlite::Statement> insertRequest_;
};

// Records one run as it goes: the one writer the runs use. The run's thread only queues its records;
// a writer thread of the recorder's own opens the file and writes them in batches, one transaction a
// batch, so that neither a slow disk nor a file another process holds makes the run wait. A write that
// fails is kept as the outcome and the run goes on, its later records dropped. Add, AddAudit and Finish
// are called from one thread at a time.
class HistoryRecorder {
public:
    // Starts opening the history file; started is when the run began.
    HistoryRecorder(const std::filesystem::path& file, RunKind kind, std::int64_t started,
                    std::string_view note = {});
    ~HistoryRecorder(); // writes what is queued when Finish was not called
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    void Add(RequestRecord request); // its run is filled in
    // The run's audit counts and findings (bounded by the retention), written with the next batch.
    void AddAudit(std::span<const AuditCount> counts, std::span<const AuditFindingRecord> findings,
                  const Retention& retention = {});
    // Waits until everything queued is written, then writes the run's end and counts and prunes by the
    // retention. The outcome says whether the history was written in whole ("The history could not be
    // written: <why>").
    Outcome Finish(std::int64_t ended, bool cancelled, const RunCounts& counts,
                   const Retention& retention = {});
    // These wait for the file to be opened and the run begun: 0 and empty when that failed.
    std::int64_t runId();
    const std::filesystem::path& keptAside();

private:
    struct Queue;
    struct Ending {
        std::int64_t ended = 0;
        bool cancelled = false;
        RunCounts counts;
        Retention retention;
    };
    void Begin();
    void HandOver();
    void Write();
    void Fail(const Outcome& outcome);
    // Hands over what is left and waits for the writer to write it all, and the end when there is one.
    void Close(std::optional<Ending> end);

    std::filesystem::path file_;
    RunKind kind_;
    std::int64_t started_;
    std::string note_;
    std::once_flag begun_;
    // Set once by Begin, read after it.
    std::unique_ptr<HistoryStore> store_;
    std::filesystem::path keptAside_;
    std::int64_t run_ = 0;
    // The writer's alone until it has ended; failed_ is also looked at by Add, to drop at once.
    Outcome failure_;
    std::atomic<bool> failed_{false};
    std::unique_ptr<Queue> queue_;
    // The run's thread's own: the batch it fills, and when it last handed one over.
    std::vector<RequestRecord> batch_;
    std::chrono::steady_clock::time_point handedOver_;
    bool closed_ = false;
    std::unique_ptr<SideTask> writer_;
};

inline constexpr std::size_t kHistoryBatch = 1024;

} // namespace sendwell
