#include "core/history/history_store.h"

#include "core/history/sqlite_db.h"
#include "core/urldb/database_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <limits>
#include <system_error>
#include <thread>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

// Marks the file as this program's, so that another program's database is never taken for ours.
constexpr std::int64_t kApplicationId = 0x53574831; // "SWH1"
constexpr int kBusyTimeoutMs = 5000;

constexpr std::array kRunKindNames{"engines", "indexnow", "status", "audit"};
constexpr std::array kRequestEndNames{"accepted", "failed", "cancelled"};

// Each entry takes the schema from the version before it to its own number (index + 1).
constexpr std::array<const char*, HistoryStore::kSchemaVersion> kMigrations{
    // 1: runs and their requests.
    "CREATE TABLE runs(id INTEGER PRIMARY KEY, kind TEXT NOT NULL, started INTEGER NOT NULL,"
    " ended INTEGER, cancelled INTEGER NOT NULL DEFAULT 0, requests INTEGER NOT NULL DEFAULT 0,"
    " accepted INTEGER NOT NULL DEFAULT 0, failed INTEGER NOT NULL DEFAULT 0, note TEXT NOT NULL DEFAULT '');"
    "CREATE INDEX runs_started ON runs(started);"
    "CREATE TABLE requests(run INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE,"
    " address TEXT NOT NULL, channel TEXT NOT NULL, outcome TEXT NOT NULL, http_status INTEGER NOT NULL,"
    " millis INTEGER NOT NULL, answer_file TEXT NOT NULL, at INTEGER NOT NULL);"
    "CREATE INDEX requests_run ON requests(run);"
    "CREATE INDEX requests_address ON requests(address);",
    // 2: audits and IndexNow's record of what it sent.
    "CREATE TABLE audit_counts(run INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE,"
    " check_id TEXT NOT NULL, severity TEXT NOT NULL, count INTEGER NOT NULL);"
    "CREATE INDEX audit_counts_run ON audit_counts(run);"
    "CREATE TABLE audit_findings(run INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE,"
    " check_id TEXT NOT NULL, severity TEXT NOT NULL, address TEXT NOT NULL, detail TEXT NOT NULL,"
    " related TEXT NOT NULL);"
    "CREATE INDEX audit_findings_run ON audit_findings(run);"
    "CREATE TABLE indexnow_state(address TEXT PRIMARY KEY, etag TEXT NOT NULL, last_modified TEXT NOT NULL,"
    " hash TEXT NOT NULL, accepted INTEGER NOT NULL);"
    "CREATE TABLE properties(name TEXT PRIMARY KEY, value TEXT NOT NULL);",
};

std::int64_t ReadPragma(sqlite::Database& db, const char* sql) {
    sqlite::Statement statement = db.Prepare(sql);
    return statement.Step() ? statement.Integer(0) : 0;
}

bool HasTables(sqlite::Database& db) {
    sqlite::Statement statement = db.Prepare("SELECT count(*) FROM sqlite_master");
    return statement.Step() && statement.Integer(0) > 0;
}

// Why a file will not be taken as ours: "" when it will.
std::string Foreign(sqlite::Database& db) {
    // One read transaction, so that the three reads see one state of the file, not some from before
    // and some from after another opener's making of it.
    sqlite::Transaction reading(db, sqlite::Transaction::Lock::Read);
    const std::int64_t id = ReadPragma(db, "PRAGMA application_id");
    const std::int64_t version = ReadPragma(db, "PRAGMA user_version");
    const bool tables = HasTables(db);
    reading.Commit();
    if (id == 0 && version == 0) {
        return tables ? "it holds another program's tables" : "";
    }
    if (id != kApplicationId) {
        return "it is another program's database";
    }
    if (version > HistoryStore::kSchemaVersion) {
        return "it was written by a newer version of the program";
    }
    return "";
}

void MigrateTo(sqlite::Database& db, int to) {
    sqlite::Transaction transaction(db);
    // Read under the lock: another opener of the same new file (a run's writer beside its IndexNow
    // record, or another process) may have migrated it since this one looked.
    const auto from = static_cast<int>(ReadPragma(db, "PRAGMA user_version"));
    if (from >= to) {
        return;
    }
    for (int version = from; version < to; ++version) {
        db.Execute(kMigrations[static_cast<std::size_t>(version)]);
    }
    db.Execute("PRAGMA application_id = " + std::to_string(kApplicationId));
    db.Execute("PRAGMA user_version = " + std::to_string(to));
    transaction.Commit();
}

// Bytes 18 and 19 of a database's header name the file format versions needed to write and read it; a
// file that asks for a newer one than SQLite's rollback (1) and WAL (2) formats is not ours to write.
bool NewerFileFormat(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::array<char, 20> head{};
    if (!in.read(head.data(), head.size())) {
        return false;
    }
    return static_cast<unsigned char>(head[18]) > 2 || static_cast<unsigned char>(head[19]) > 2;
}

std::unique_ptr<sqlite::Database> OpenAndMigrate(const fs::path& file) {
    if (NewerFileFormat(file)) {
        throw sqlite::Error(26 /* SQLITE_NOTADB */, "it is in a file format newer than this program writes");
    }
    auto db = std::make_unique<sqlite::Database>(file, kBusyTimeoutMs);
    // Reading the header is the first touch of the file: a file that is not a database fails here.
    const std::string foreign = Foreign(*db);
    if (!foreign.empty()) {
        throw sqlite::Error(26 /* SQLITE_NOTADB */, foreign);
    }
    db->Execute("PRAGMA synchronous = NORMAL");
    db->Execute("PRAGMA foreign_keys = ON");
    const auto version = static_cast<int>(ReadPragma(*db, "PRAGMA user_version"));
    if (version < HistoryStore::kSchemaVersion) {
        MigrateTo(*db, HistoryStore::kSchemaVersion);
    }
    // A check of the whole file would cost its size at every start; this reads the schema and the
    // first page of each table, which is where a foreign or truncated file shows.
    db->Execute("SELECT count(*) FROM (SELECT 1 FROM runs LIMIT 1)");
    // Only now, once the file is known to be sound: switching to WAL rewrites the header, and a damaged
    // file must be kept aside exactly as it was found. A failed migration before it is rolled back.
    db->Execute("PRAGMA journal_mode = WAL");
    return db;
}

// SQLite answers "busy" without waiting in a few places its busy handler does not cover, such as two
// connections switching a new file to WAL at once; those pass in moments, so opening tries again for
// as long as the busy timeout allows.
std::unique_ptr<sqlite::Database> OpenAndMigrateWhenFree(const fs::path& file) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
        try {
            return OpenAndMigrate(file);
        } catch (const sqlite::Error& error) {
            if (!error.busy() || std::chrono::steady_clock::now() >= giveUp) {
                throw;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Moves the file and its journal files aside together: a journal left behind would be played into
// the new file.
fs::path KeepAside(const fs::path& file) {
    const fs::path aside = SetAsideUnreadable(file);
    if (aside.empty()) {
        return {};
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        const fs::path journal = file.string() + suffix;
        std::error_code ec;
        if (fs::exists(fs::symlink_status(journal, ec))) {
            fs::rename(journal, aside.string() + suffix, ec);
            if (ec) {
                fs::remove(journal, ec);
            }
        }
    }
    return aside;
}

Outcome FailedWith(const std::exception& error) {
    return Outcome::Failed(error.what());
}

template <class T, class Work>
HistoryRead<T> Reading(Work&& work) {
    HistoryRead<T> read;
    try {
        read.value = work();
    } catch (const std::exception& error) {
        read.outcome = FailedWith(error);
    }
    return read;
}

template <class Work>
Outcome Writing(sqlite::Database& db, Work&& work) {
    try {
        sqlite::Transaction transaction(db);
        work();
        transaction.Commit();
        return Outcome::Succeeded();
    } catch (const std::exception& error) {
        return FailedWith(error);
    }
}

RunRecord RunOf(const sqlite::Statement& row) {
    RunRecord run;
    run.id = row.Integer(0);
    run.kind = RunKindFromName(row.Text(1)).value_or(RunKind::Engines);
    run.started = row.Integer(2);
    if (!row.IsNull(3)) {
        run.ended = row.Integer(3);
    }
    run.cancelled = row.Integer(4) != 0;
    run.counts = {row.Integer(5), row.Integer(6), row.Integer(7)};
    run.note = row.Text(8);
    return run;
}

constexpr const char* kRunColumns =
    "SELECT id, kind, started, ended, cancelled, requests, accepted, failed, note FROM runs";

RequestRecord RequestOf(const sqlite::Statement& row) {
    RequestRecord request;
    request.run = row.Integer(0);
    request.address = row.Text(1);
    request.channel = row.Text(2);
    const std::string end = row.Text(3);
    request.end = end == "accepted"    ? RequestEnd::Accepted
                  : end == "cancelled" ? RequestEnd::Cancelled
                                       : RequestEnd::Failed;
    request.httpStatus = static_cast<int>(row.Integer(4));
    request.millis = row.Integer(5);
    request.answerFile = row.Text(6);
    request.at = row.Integer(7);
    return request;
}

constexpr const char* kRequestColumns =
    "SELECT run, address, channel, outcome, http_status, millis, answer_file, at FROM requests";

} // namespace

std::string_view RunKindName(RunKind kind) {
    return kRunKindNames[static_cast<std::size_t>(kind)];
}

std::optional<RunKind> RunKindFromName(std::string_view name) {
    for (std::size_t i = 0; i < kRunKindNames.size(); ++i) {
        if (name == kRunKindNames[i]) {
            return static_cast<RunKind>(i);
        }
    }
    return std::nullopt;
}

std::string_view RequestEndName(RequestEnd end) {
    return kRequestEndNames[static_cast<std::size_t>(end)];
}

HistoryStore::HistoryStore(std::unique_ptr<sqlite::Database> db) : db_(std::move(db)) {}
HistoryStore::~HistoryStore() = default;

HistoryStore::Opened HistoryStore::Open(const fs::path& file) {
    Opened opened;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    try {
        opened.store.reset(new HistoryStore(OpenAndMigrateWhenFree(file)));
        return opened;
    } catch (const sqlite::Error& error) {
        // Held by another process: wait for another time. A file that is there but cannot be used for
        // any other reason (damaged, foreign, a schema it cannot have) is kept aside, its bytes as found;
        // what is not a file (a folder in its place) is left alone.
        std::error_code exists;
        if (error.busy() || (!error.damaged() && !fs::is_regular_file(file, exists))) {
            opened.outcome = Outcome::Failed(error.what());
            return opened;
        }
        opened.keptAside = KeepAside(file);
        if (opened.keptAside.empty()) {
            opened.outcome = Outcome::Failed(std::string(error.what()) +
                                             "; it could not be moved aside: " + std::strerror(errno));
            return opened;
        }
    }
    try {
        opened.store.reset(new HistoryStore(OpenAndMigrate(file)));
    } catch (const std::exception& error) {
        opened.outcome = FailedWith(error);
    }
    return opened;
}

void HistoryStore::CreateSchemaForTest(const fs::path& file, int version) {
    sqlite::Database db(file, kBusyTimeoutMs);
    MigrateTo(db, version);
}

HistoryRead<std::int64_t> HistoryStore::BeginRun(RunKind kind, std::int64_t started, std::string_view note) {
    HistoryRead<std::int64_t> read;
    read.outcome = Writing(*db_, [&] {
        db_->Prepare("INSERT INTO runs(kind, started, note) VALUES(?, ?, ?)")
            .Bind(1, RunKindName(kind))
            .Bind(2, started)
            .Bind(3, note)
            .Run();
        read.value = db_->LastInsertId();
    });
    return read;
}

namespace {

// Rows a statement inserts at once: SQLite's cost of running a statement is then shared by as many
// rows, which is about a fifth of a lone row's.
constexpr std::size_t kRowsAStatement = 16;
constexpr int kRequestColumnCount = 8;

std::string InsertRequestsSql(std::size_t rows) {
    std::string sql =
        "INSERT INTO requests(run, address, channel, outcome, http_status, millis, answer_file, at) VALUES";
    for (std::size_t row = 0; row < rows; ++row) {
        sql += row == 0 ? "(?, ?, ?, ?, ?, ?, ?, ?)" : ", (?, ?, ?, ?, ?, ?, ?, ?)";
    }
    return sql;
}

// The records outlive each step, so SQLite need not copy their texts.
void BindRequest(sqlite::Statement& insert, std::size_t row, const RequestRecord& request) {
    const int first = static_cast<int>(row) * kRequestColumnCount;
    insert.Bind(first + 1, request.run)
        .BindLasting(first + 2, request.address)
        .BindLasting(first + 3, request.channel)
        .BindLasting(first + 4, RequestEndName(request.end))
        .Bind(first + 5, std::int64_t{request.httpStatus})
        .Bind(first + 6, request.millis)
        .BindLasting(first + 7, request.answerFile)
        .Bind(first + 8, request.at);
}

} // namespace

Outcome HistoryStore::AddRequests(std::span<const RequestRecord> requests) {
    return Writing(*db_, [&] {
        if (!insertRequests_) {
            insertRequests_ = std::make_unique<sqlite::Statement>(*db_, InsertRequestsSql(kRowsAStatement));
            insertRequest_ = std::make_unique<sqlite::Statement>(*db_, InsertRequestsSql(1));
        }
        std::size_t done = 0;
        for (; requests.size() - done >= kRowsAStatement; done += kRowsAStatement) {
            for (std::size_t row = 0; row < kRowsAStatement; ++row) {
                BindRequest(*insertRequests_, row, requests[done + row]);
            }
            insertRequests_->Run();
        }
        for (; done < requests.size(); ++done) {
            BindRequest(*insertRequest_, 0, requests[done]);
            insertRequest_->Run();
        }
    });
}

Outcome HistoryStore::EndRun(std::int64_t run, std::int64_t ended, bool cancelled, const RunCounts& counts) {
    return Writing(*db_, [&] {
        db_->Prepare("UPDATE runs SET ended = ?, cancelled = ?, requests = ?, accepted = ?, failed = ? WHERE "
                     "id = ?")
            .Bind(1, ended)
            .Bind(2, std::int64_t{cancelled ? 1 : 0})
            .Bind(3, counts.requests)
            .Bind(4, counts.accepted)
            .Bind(5, counts.failed)
            .Bind(6, run)
            .Run();
    });
}

Outcome HistoryStore::AddAudit(std::int64_t run, std::span<const AuditCount> counts,
                               std::span<const AuditFindingRecord> findings, const Retention& retention) {
    return Writing(*db_, [&] {
        sqlite::Statement count =
            db_->Prepare("INSERT INTO audit_counts(run, check_id, severity, count) VALUES(?, ?, ?, ?)");
        for (const AuditCount& c : counts) {
            count.Bind(1, run).Bind(2, c.check).Bind(3, c.severity).Bind(4, c.count).Run();
        }
        sqlite::Statement finding = db_->Prepare("INSERT INTO audit_findings(run, check_id, severity, "
                                                 "address, detail, related) VALUES(?, ?, ?, ?, ?, ?)");
        const std::size_t kept = std::min(findings.size(), retention.maxFindingsPerAudit);
        for (const AuditFindingRecord& f : findings.first(kept)) {
            finding.Bind(1, run)
                .Bind(2, f.check)
                .Bind(3, f.severity)
                .Bind(4, f.address)
                .Bind(5, f.detail)
                .Bind(6, f.related)
                .Run();
        }
    });
}

Outcome HistoryStore::SetIndexNowEntries(std::span<const IndexNowEntry> entries) {
    return Writing(*db_, [&] {
        sqlite::Statement upsert = db_->Prepare(
            "INSERT INTO indexnow_state(address, etag, last_modified, hash, accepted) VALUES(?, ?, ?, ?, ?)"
            " ON CONFLICT(address) DO UPDATE SET etag = excluded.etag, last_modified = "
            "excluded.last_modified,"
            " hash = excluded.hash, accepted = excluded.accepted");
        for (const IndexNowEntry& entry : entries) {
            upsert.Bind(1, entry.address)
                .Bind(2, entry.etag)
                .Bind(3, entry.lastModified)
                .Bind(4, entry.hash)
                .Bind(5, entry.accepted)
                .Run();
        }
    });
}

HistoryRead<std::int64_t> HistoryStore::Prune(const Retention& retention, std::int64_t now) {
    HistoryRead<std::int64_t> read;
    read.outcome = Writing(*db_, [&] {
        db_->Prepare("DELETE FROM runs WHERE started < ?").Bind(1, now - retention.maxAgeDays * 86400).Run();
        read.value = db_->Changes();
        db_->Prepare("DELETE FROM runs WHERE id NOT IN (SELECT id FROM runs ORDER BY started DESC, id DESC "
                     "LIMIT ?)")
            .Bind(1, retention.maxRuns)
            .Run();
        read.value += db_->Changes();
    });
    return read;
}

HistoryRead<std::vector<RunRecord>> HistoryStore::Runs(std::optional<std::int64_t> since, std::size_t limit) {
    return Reading<std::vector<RunRecord>>([&] {
        sqlite::Statement select = db_->Prepare(std::string(kRunColumns) +
                                                " WHERE started >= ? ORDER BY started DESC, id DESC LIMIT ?");
        select.Bind(1, since.value_or(std::numeric_limits<std::int64_t>::min()))
            .Bind(2, limit == 0 ? std::int64_t{-1} : static_cast<std::int64_t>(limit));
        std::vector<RunRecord> runs;
        while (select.Step()) {
            runs.push_back(RunOf(select));
        }
        return runs;
    });
}

HistoryRead<std::optional<RunRecord>> HistoryStore::Run(std::int64_t id) {
    return Reading<std::optional<RunRecord>>([&]() -> std::optional<RunRecord> {
        sqlite::Statement select = db_->Prepare(std::string(kRunColumns) + " WHERE id = ?");
        select.Bind(1, id);
        if (!select.Step()) {
            return std::nullopt;
        }
        return RunOf(select);
    });
}

HistoryRead<std::vector<RequestRecord>> HistoryStore::Requests(std::int64_t run) {
    return Reading<std::vector<RequestRecord>>([&] {
        sqlite::Statement select =
            db_->Prepare(std::string(kRequestColumns) + " WHERE run = ? ORDER BY rowid");
        select.Bind(1, run);
        std::vector<RequestRecord> requests;
        while (select.Step()) {
            requests.push_back(RequestOf(select));
        }
        return requests;
    });
}

HistoryRead<std::vector<RequestRecord>> HistoryStore::AddressTimeline(std::string_view address,
                                                                      std::optional<std::int64_t> since) {
    return Reading<std::vector<RequestRecord>>([&] {
        sqlite::Statement select =
            db_->Prepare(std::string(kRequestColumns) + " WHERE address = ? AND at >= ? ORDER BY at, rowid");
        select.Bind(1, address).Bind(2, since.value_or(std::numeric_limits<std::int64_t>::min()));
        std::vector<RequestRecord> requests;
        while (select.Step()) {
            requests.push_back(RequestOf(select));
        }
        return requests;
    });
}

HistoryRead<std::vector<AuditCount>> HistoryStore::AuditCounts(std::int64_t run) {
    return Reading<std::vector<AuditCount>>([&] {
        sqlite::Statement select =
            db_->Prepare("SELECT check_id, severity, count FROM audit_counts WHERE run = ? ORDER BY rowid");
        select.Bind(1, run);
        std::vector<AuditCount> counts;
        while (select.Step()) {
            counts.push_back({select.Text(0), select.Text(1), select.Integer(2)});
        }
        return counts;
    });
}

HistoryRead<std::vector<AuditFindingRecord>> HistoryStore::AuditFindings(std::int64_t run) {
    return Reading<std::vector<AuditFindingRecord>>([&] {
        sqlite::Statement select = db_->Prepare("SELECT check_id, severity, address, detail, related FROM "
                                                "audit_findings WHERE run = ? ORDER BY rowid");
        select.Bind(1, run);
        std::vector<AuditFindingRecord> findings;
        while (select.Step()) {
            findings.push_back(
                {select.Text(0), select.Text(1), select.Text(2), select.Text(3), select.Text(4)});
        }
        return findings;
    });
}

HistoryRead<std::optional<IndexNowEntry>> HistoryStore::IndexNowEntryOf(std::string_view address) {
    return Reading<std::optional<IndexNowEntry>>([&]() -> std::optional<IndexNowEntry> {
        sqlite::Statement select = db_->Prepare(
            "SELECT address, etag, last_modified, hash, accepted FROM indexnow_state WHERE address = ?");
        select.Bind(1, address);
        if (!select.Step()) {
            return std::nullopt;
        }
        return IndexNowEntry{select.Text(0), select.Text(1), select.Text(2), select.Text(3),
                             select.Integer(4)};
    });
}

HistoryRead<std::optional<std::int64_t>> HistoryStore::LastIndexNowAccepted() {
    return Reading<std::optional<std::int64_t>>([&]() -> std::optional<std::int64_t> {
        sqlite::Statement select = db_->Prepare("SELECT max(accepted) FROM indexnow_state");
        if (!select.Step() || select.IsNull(0)) {
            return std::nullopt;
        }
        return select.Integer(0);
    });
}

HistoryRead<bool> HistoryStore::IndexNowImported() {
    return Reading<bool>([&] {
        sqlite::Statement select = db_->Prepare("SELECT 1 FROM properties WHERE name = 'indexnow-imported'");
        return select.Step();
    });
}

Outcome HistoryStore::MarkIndexNowImported() {
    return Writing(*db_, [&] {
        db_->Execute("INSERT OR REPLACE INTO properties(name, value) VALUES('indexnow-imported', '1')");
    });
}

// What the run's thread hands the writer: whole batches, so that neither waits for the other per record.
struct HistoryRecorder::Queue {
    struct Audit {
        std::vector<AuditCount> counts;
        std::vector<AuditFindingRecord> findings;
        Retention retention;
    };
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<std::vector<RequestRecord>> batches;
    std::vector<std::vector<RequestRecord>> spares; // written batches, emptied, their room kept for reuse
    std::vector<Audit> audits;
    std::optional<Ending> end;
    bool closed = false;
};

namespace {

// A run that asks slowly still has its records in the file soon, not only at its end.
constexpr auto kHandOverAtLeastEvery = std::chrono::seconds(1);
constexpr std::size_t kSpareBatches = 4;

} // namespace

HistoryRecorder::HistoryRecorder(const fs::path& file, RunKind kind, std::int64_t started,
                                 std::string_view note)
    : file_(file), kind_(kind), started_(started), note_(note), queue_(std::make_unique<Queue>()),
      handedOver_(std::chrono::steady_clock::now()) {
    batch_.reserve(kHistoryBatch);
    writer_ = std::make_unique<SideTask>([this] { Write(); });
}

HistoryRecorder::~HistoryRecorder() {
    // A run that never said how it ended keeps no end time; its requests so far are kept.
    try {
        Close(std::nullopt);
    } catch (const std::exception&) {
        // The writer could not go on (out of memory); what it wrote is kept.
    }
}

void HistoryRecorder::Begin() {
    std::call_once(begun_, [this] {
        HistoryStore::Opened opened = HistoryStore::Open(file_);
        keptAside_ = std::move(opened.keptAside);
        if (!opened.store) {
            Fail(opened.outcome);
            return;
        }
        store_ = std::move(opened.store);
        HistoryRead<std::int64_t> begun = store_->BeginRun(kind_, started_, note_);
        if (!begun.outcome.ok()) {
            Fail(begun.outcome);
            return;
        }
        run_ = begun.value;
    });
}

std::int64_t HistoryRecorder::runId() {
    Begin();
    return run_;
}

const fs::path& HistoryRecorder::keptAside() {
    Begin();
    return keptAside_;
}

void HistoryRecorder::Add(RequestRecord request) {
    if (failed_.load(std::memory_order_relaxed)) {
        return;
    }
    batch_.push_back(std::move(request));
    if (batch_.size() >= kHistoryBatch ||
        std::chrono::steady_clock::now() - handedOver_ >= kHandOverAtLeastEvery) {
        HandOver();
    }
}

void HistoryRecorder::HandOver() {
    handedOver_ = std::chrono::steady_clock::now();
    if (batch_.empty()) {
        return;
    }
    {
        const std::lock_guard lock(queue_->mutex);
        queue_->batches.push_back(std::move(batch_));
        batch_ = {};
        if (!queue_->spares.empty()) {
            batch_ = std::move(queue_->spares.back());
            queue_->spares.pop_back();
        }
    }
    queue_->wake.notify_one();
    batch_.reserve(kHistoryBatch);
}

void HistoryRecorder::AddAudit(std::span<const AuditCount> counts,
                               std::span<const AuditFindingRecord> findings, const Retention& retention) {
    if (failed_.load(std::memory_order_relaxed)) {
        return;
    }
    HandOver();
    const std::size_t kept = std::min(findings.size(), retention.maxFindingsPerAudit);
    Queue::Audit audit{{counts.begin(), counts.end()},
                       {findings.begin(), findings.begin() + static_cast<std::ptrdiff_t>(kept)},
                       retention};
    {
        const std::lock_guard lock(queue_->mutex);
        queue_->audits.push_back(std::move(audit));
    }
    queue_->wake.notify_one();
}

// The writer thread: the file is opened here, and every batch the run hands over is written here, in
// the order handed over, until the recorder is closed.
void HistoryRecorder::Write() {
    Begin();
    std::vector<std::vector<RequestRecord>> batches;
    std::vector<Queue::Audit> audits;
    std::optional<Ending> end;
    bool closed = false;
    while (!closed) {
        {
            std::unique_lock lock(queue_->mutex);
            queue_->wake.wait(lock, [this] {
                return queue_->closed || !queue_->batches.empty() || !queue_->audits.empty();
            });
            batches.swap(queue_->batches);
            audits.swap(queue_->audits);
            end = queue_->end;
            closed = queue_->closed;
        }
        Outcome written;
        for (std::vector<RequestRecord>& batch : batches) {
            if (written.ok() && !failed_.load(std::memory_order_relaxed)) {
                for (RequestRecord& request : batch) {
                    request.run = run_;
                }
                written = store_->AddRequests(batch);
            }
        }
        for (const Queue::Audit& audit : audits) {
            if (written.ok() && !failed_.load(std::memory_order_relaxed)) {
                written = store_->AddAudit(run_, audit.counts, audit.findings, audit.retention);
            }
        }
        if (written.ok() && end && !failed_.load(std::memory_order_relaxed)) {
            written = store_->EndRun(run_, end->ended, end->cancelled, end->counts);
            if (written.ok()) {
                written = store_->Prune(end->retention, end->ended).outcome;
            }
        }
        if (!written.ok()) {
            Fail(written);
        }
        audits.clear();
        const std::lock_guard lock(queue_->mutex);
        for (std::vector<RequestRecord>& batch : batches) {
            if (queue_->spares.size() < kSpareBatches) {
                batch.clear();
                queue_->spares.push_back(std::move(batch));
            }
        }
        batches.clear();
    }
}

void HistoryRecorder::Fail(const Outcome& outcome) {
    failure_ = Outcome::Failed("The history could not be written: " + outcome.text);
    failed_.store(true, std::memory_order_relaxed);
}

void HistoryRecorder::Close(std::optional<Ending> end) {
    if (closed_) {
        return;
    }
    closed_ = true;
    HandOver();
    {
        const std::lock_guard lock(queue_->mutex);
        queue_->end = std::move(end);
        queue_->closed = true;
    }
    queue_->wake.notify_one();
    writer_->Wait();
}

Outcome HistoryRecorder::Finish(std::int64_t ended, bool cancelled, const RunCounts& counts,
                                const Retention& retention) {
    Close(Ending{ended, cancelled, counts, retention});
    return failure_;
}

} // namespace sendwell
