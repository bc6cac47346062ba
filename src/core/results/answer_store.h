// What a submission run leaves in the program folder, named, written, listed and cleared together.
// The answer store: the folder "submitok", holding one ".HTML" file per engine answer, named site +
// "____" + counter + "____" + store name + ".HTML". The failure log msg_dump.txt: an append-only record
// of failed requests, one line per field, CR LF line ends, no header and no separators.
#pragma once

#include "core/base/paths.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

inline constexpr std::string_view kAnswerSeparator = "____";
inline constexpr std::string_view kAnswerExtension = ".HTML";

// The site piece of an answer file name: the address's site root without the scheme (the first ":"
// and the two characters after it go; an address without ":" loses its first two characters), made
// safe as one file name in the store: "/", "\\", ":", NUL and other control characters become "_",
// and so does every ".." so that no name can climb out of the store.
std::string AnswerSitePiece(std::string_view address);

// Names the next answer file for an address and an engine's store name, creating the store folder
// when missing, and returns its full path (program folder, "submitok", name; "/" separators). Each
// call takes the next value of the process-wide answer counter, so names never repeat in a process.
std::string NameAnswerFile(std::string_view address, std::string_view storeName,
                           const std::filesystem::path& programFolder);
// The same in two parts, for a run that makes the folder once and names many files in it.
void MakeAnswerStore(const std::filesystem::path& programFolder);
std::string NextAnswerFileName(std::string_view address, std::string_view storeName,
                               const std::filesystem::path& programFolder);

// The counter value the next name will carry.
std::uint64_t NextAnswerCounter();

// Appends one record (an outcome's failure lines) to the failure log; the file is opened and closed
// around it. Nothing is written for no lines. False when it cannot be written.
bool AppendFailureRecord(const std::filesystem::path& programFolder, const std::vector<std::string>& lines);

// One stored answer as the review lists it.
struct StoredAnswer {
    std::string site;      // "Web URL" column
    std::string storeName; // "Search Engine" column
    std::string path;      // "Local File" column: full path
    std::uint64_t counter = 0;
};

// The "*.HTML" files of the store whose names hold "____", in naming order (counter, then name).
// A missing store gives an empty list.
std::vector<StoredAnswer> ListStoredAnswers(const std::filesystem::path& programFolder);

// The review's OK: deletes every "*.HTML" file of the store, the store folder when it is then empty,
// and the failure log.
void ClearAnswerStore(const std::filesystem::path& programFolder);

// At start-up: deletes the "*.HTML" files of the store only.
void ClearAnswerStoreAtStartup(const std::filesystem::path& programFolder);

} // namespace sendwell
