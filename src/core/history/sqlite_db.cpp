#include "core/history/sqlite_db.h"

#include <sqlite3.h>

namespace sendwell::sqlite {

namespace {

[[noreturn]] void Throw(sqlite3* db, int code) {
    std::string text = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    throw Error(code, text);
}

void Check(sqlite3* db, int code) {
    if (code != SQLITE_OK && code != SQLITE_ROW && code != SQLITE_DONE) {
        Throw(db, code);
    }
}

} // namespace

bool Error::damaged() const {
    const int primary = code_ & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

bool Error::busy() const {
    const int primary = code_ & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

Database::Database(const std::filesystem::path& file, int busyTimeoutMs) {
    const int code = sqlite3_open_v2(
        file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (code != SQLITE_OK) {
        const std::string text = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
        sqlite3_close(db_);
        db_ = nullptr;
        throw Error(code, text);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, busyTimeoutMs);
}

Database::~Database() {
    sqlite3_close_v2(db_);
}

void Database::Execute(std::string_view sql) {
    const std::string text(sql);
    Check(db_, sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr));
}

Statement Database::Prepare(std::string_view sql) {
    return Statement(*this, sql);
}

std::int64_t Database::LastInsertId() const {
    return sqlite3_last_insert_rowid(db_);
}

std::int64_t Database::Changes() const {
    return sqlite3_changes64(db_);
}

Statement::Statement(Database& db, std::string_view sql) : db_(&db) {
    Check(db.handle(), sqlite3_prepare_v3(db.handle(), sql.data(), static_cast<int>(sql.size()),
                                          SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr));
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement::Statement(Statement&& other) noexcept : db_(other.db_), stmt_(other.stmt_) {
    other.stmt_ = nullptr;
}

Statement& Statement::Bind(int index, std::int64_t value) {
    Check(db_->handle(), sqlite3_bind_int64(stmt_, index, value));
    return *this;
}

namespace {

void BindText(sqlite3* db, sqlite3_stmt* stmt, int index, std::string_view text,
              sqlite3_destructor_type kept) {
    // An empty view may have no data at all, which SQLite would store as NULL.
    const char* bytes = text.data() != nullptr ? text.data() : "";
    Check(db, sqlite3_bind_text64(stmt, index, bytes, text.size(), kept, SQLITE_UTF8));
}

} // namespace

Statement& Statement::Bind(int index, std::string_view text) {
    BindText(db_->handle(), stmt_, index, text, SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::BindLasting(int index, std::string_view text) {
    BindText(db_->handle(), stmt_, index, text, SQLITE_STATIC);
    return *this;
}

Statement& Statement::BindNull(int index) {
    Check(db_->handle(), sqlite3_bind_null(stmt_, index));
    return *this;
}

bool Statement::Step() {
    const int code = sqlite3_step(stmt_);
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code == SQLITE_DONE) {
        return false;
    }
    sqlite3_reset(stmt_);
    Throw(db_->handle(), code);
}

void Statement::Run() {
    Step();
    Reset();
}

void Statement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::int64_t Statement::Integer(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

std::string Statement::Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size))
                           : std::string();
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Transaction::Transaction(Database& db, Lock lock) : db_(db) {
    db_.Execute(lock == Lock::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
    if (open_) {
        try {
            db_.Execute("ROLLBACK");
        } catch (const Error&) {
            // Nothing more can be done; the connection stays usable for the next transaction.
        }
    }
}

void Transaction::Commit() {
    db_.Execute("COMMIT");
    open_ = false;
}

} // namespace sendwell::sqlite
