// The failure log msg_dump.txt in the program folder: an append-only record of failed submission
// requests, one line per field, CR LF line ends, no header and no separators.
#pragma once

#include "core/base/paths.h"

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string_view>

namespace sendwell {

// Appends one record; the file is opened and closed around it. False when it cannot be written.
bool AppendFailureRecord(const std::filesystem::path& programFolder,
                         std::initializer_list<std::string_view> lines);

// How many records this process has tried to append, written or not: a run compares it before and
// after a request to tell whether the request failed.
std::uint64_t FailureRecordCount();

} // namespace sendwell
