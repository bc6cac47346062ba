// The data file linkroll2.dat: three lines per record, "EOS", the e-mail line; CR LF on write.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "urldb/url_database.h"

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

} // namespace sendwell
