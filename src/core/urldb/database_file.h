// The data file linkroll2.dat: three lines per record, "EOS", the e-mail line; CR LF on write.
#pragma once

#include "core/base/atomic_file.h"
#include "core/urldb/url_database.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

// $XDG_DATA_HOME/Sendwell/linkroll2.dat (default ~/.local/share/Sendwell/linkroll2.dat).
std::filesystem::path DefaultDatabasePath();

enum class LoadStatus { Loaded, Missing, Unreadable };

struct LoadResult {
    LoadStatus status = LoadStatus::Missing;
    // Where an unreadable file was moved aside, so that the next save cannot destroy it.
    std::filesystem::path setAside;
};

// Fills an empty database from the file. A missing or unreadable file leaves it empty; an unreadable
// one is first moved aside (linkroll2.dat.unreadable-<date>).
LoadResult LoadDatabase(UrlDatabase& db, const std::filesystem::path& file);

// Writes the database: temporary file in the same folder, fsync, rename over the old one. Creates the
// folder when needed. False on failure, leaving any old file untouched.
bool SaveDatabase(const UrlDatabase& db, const std::filesystem::path& file);

// The file's bytes for a database, and the reverse; the load and save above are these plus the file.
// A line feed inside a value would split its record, so it is written as a space.
std::string SerializeDatabase(const UrlDatabase& db);
void ParseDatabase(std::string_view bytes, UrlDatabase& db);

// The save with its write step handed in, so that tests can make it fail part-way.
bool SaveDatabaseWith(const UrlDatabase& db, const std::filesystem::path& file, const FileWriter& writer);

} // namespace sendwell
