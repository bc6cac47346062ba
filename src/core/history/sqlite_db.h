// A thin layer over SQLite's C interface: a connection and prepared statements that close themselves,
// and errors as exceptions carrying SQLite's code, so the history store can turn them into outcomes in
// one place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace sendwell::sqlite {

class Error : public std::runtime_error {
public:
    Error(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
    int code() const { return code_; }
    // The file is not a database, or is one whose pages are damaged.
    bool damaged() const;
    // Another process held the lock for longer than the busy time-out.
    bool busy() const;

private:
    int code_;
};

class Statement;

class Database {
public:
    // Opens (creating when absent) the file, waiting up to busyTimeout for another writer's lock.
    Database(const std::filesystem::path& file, int busyTimeoutMs);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs statements that return no rows.
    void Execute(std::string_view sql);
    Statement Prepare(std::string_view sql);
    std::int64_t LastInsertId() const;
    std::int64_t Changes() const; // rows the last statement changed
    sqlite3* handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

class Statement {
public:
    Statement(Database& db, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binding by position, from 1.
    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, std::string_view text);
    // Binds text that stays where it is until the statement is next reset, so SQLite keeps no copy.
    Statement& BindLasting(int index, std::string_view text);
    Statement& BindNull(int index);
    // True while a row is there to read.
    bool Step();
    // Steps a statement that returns no rows, then resets it for the next binding.
    void Run();
    void Reset();

    std::int64_t Integer(int column) const;
    std::string Text(int column) const;
    bool IsNull(int column) const;

private:
    Database* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// A write transaction taken at once (BEGIN IMMEDIATE), so two writers queue on the lock rather than
// fail half-way; or a read transaction, whose reads all see one state of the file. Rolled back unless
// committed.
class Transaction {
public:
    enum class Lock { Write, Read };
    explicit Transaction(Database& db, Lock lock = Lock::Write);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();

private:
    Database& db_;
    bool open_ = true;
};

} // namespace sendwell::sqlite
