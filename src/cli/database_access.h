// The URL database as one command uses it: loaded for reading at any time, or locked for writing from
// before the load until after the save, so that no window or other command saves over it meanwhile.
#pragma once

#include "core/urldb/database_session.h"
#include "core/urldb/url_database.h"

#include <cstddef>
#include <filesystem>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell::cli {

// Said when the window holds the database.
inline constexpr const char* kOpenInWindowText =
    "the URL database is open in Sendwell! Pro; close it or use the window";

class DatabaseAccess {
public:
    enum class Mode { Read, Write };
    // Write takes the lock first. Throws CommandFailure (exit 3) when the lock is held elsewhere or the
    // file cannot be read.
    explicit DatabaseAccess(Mode mode);

    UrlDatabase& db() { return session_.db(); }
    const std::filesystem::path& file() const { return session_.file(); }
    // Throws CommandFailure (exit 3) when the file cannot be written; the old file then stays intact.
    void Save();

private:
    DatabaseSession session_;
};

// Rows named on the command line, in the order named: "#N" or "N" is row N (from 1); any other text is
// an address, matched exactly or in the form Add would store it ("http://" in front). allMatches takes
// every row of a matching address, else the first. Throws CommandFailure (exit 2) for a name that
// matches no row.
std::vector<std::size_t> RowsNamed(const UrlDatabase& db, const std::vector<std::string>& names,
                                   bool allMatches);
// Whether a name is a row number ("#N" or "N") rather than an address.
bool IsRowNumber(std::string_view name);

// The addresses a command works on: every row's with all, else each target as given, a row number read
// from the database (loaded for reading only when one is named; the commands that take this change
// nothing). Throws CommandFailure (exit 2) for --all on an empty database or a row that is not there.
std::vector<std::string> AddressesNamed(const std::vector<std::string>& targets, bool all);

// A command that works on --all or on the addresses given takes exactly one of them; else a usage
// error: "give either --all or the addresses to <verb>".
void RequireAllOrAddresses(bool all, const std::vector<std::string>& targets, const std::string& verb);

// One row as --json gives it; its number is its place in the list, as the window numbers it.
nlohmann::json RowJson(const UrlDatabase& db, std::size_t row);

} // namespace sendwell::cli
