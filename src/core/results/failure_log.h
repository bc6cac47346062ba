// The failure log msg_dump.txt in the program folder: an append-only record of failed submission
// requests, one line per field, CR LF line ends, no header and no separators.
#pragma once

#include "core/base/paths.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

// Appends one record (an outcome's failure lines); the file is opened and closed around it. Nothing is
// written for no lines. False when it cannot be written.
bool AppendFailureRecord(const std::filesystem::path& programFolder, const std::vector<std::string>& lines);

} // namespace sendwell
