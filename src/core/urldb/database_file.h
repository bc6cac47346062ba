// The data file linkroll2.dat: three lines per record, "EOS", the e-mail line; CR LF on write.
#pragma once

#include "core/base/atomic_file.h"
#include "core/base/paths.h"
#include "core/urldb/url_database.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

enum class LoadStatus { Loaded, Missing, Unreadable };

struct LoadResult {
    LoadStatus status = LoadStatus::Missing;
    // Where an unreadable file was moved aside, so that the next save cannot destroy it.
    std::filesystem::path setAside;
    // Loading had to drop or change something (a date slot that is not a date, or more than one, bytes
    // after the end marker, no end marker; in a file not in the program's own layout also a count that
    // is not a number or a NUL byte), so the next save would not give the file back.
    bool altered = false;
    // Where the file as it was is kept then (linkroll2.dat.bak-<date>); "" when no copy could be made.
    std::filesystem::path keptCopy;
};

// Fills an empty database from the file. A missing or unreadable file leaves it empty; an unreadable
// one is first moved aside (linkroll2.dat.unreadable-<date>). A file that loaded altered is kept as it
// was beside it (linkroll2.dat.bak-<date>) before anything is saved over it.
LoadResult LoadDatabase(UrlDatabase& db, const std::filesystem::path& file);

// Moves a file that cannot be read out of the way, to "<file>.unreadable-<date>" (or "...-2" and on when
// that is taken), so that no later save replaces it. "" when it stays where it is; errno says why.
std::filesystem::path SetAsideUnreadable(const std::filesystem::path& file);

// What to tell the user once at start-up about a load; "" when there is nothing to say.
std::string LoadNoticeText(const LoadResult& result, const std::filesystem::path& file);

// Writes the database: temporary file in the same folder, fsync, rename over the old one. Creates the
// folder when needed. False on failure, leaving any old file untouched.
bool SaveDatabase(const UrlDatabase& db, const std::filesystem::path& file);

// The file's bytes for a database, and the reverse; the load and save above are these plus the file.
// A line feed inside a value would split its record, so it is written as a space. ParseDatabase
// replaces the rows and the e-mail address and returns whether reading altered anything (see
// LoadResult).
std::string SerializeDatabase(const UrlDatabase& db);
bool ParseDatabase(std::string_view bytes, UrlDatabase& db);

// The save with its write step handed in, so that tests can make it fail part-way. The bytes reach the
// writer a piece at a time, in order.
bool SaveDatabaseWith(const UrlDatabase& db, const std::filesystem::path& file, const FileWriter& writer);

} // namespace sendwell
