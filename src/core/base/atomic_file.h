// Whole-file reads and crash-safe whole-file replacement, shared by the settings store and the data file.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace sendwell {

enum class ReadStatus { Ok, Missing, Unreadable };

// Reads a regular file whole into out. Missing when nothing is at the path; Unreadable when something
// is there but cannot be read as a regular file (a directory, a pipe, a read error).
ReadStatus ReadWholeFile(const std::filesystem::path& file, std::string& out);

// Writes bytes to an open descriptor; false on failure. Tests hand in a failing one.
using FileWriter = std::function<bool(int fd, std::string_view bytes)>;
// The ordinary writer: write(2) until done, retrying on EINTR.
bool WriteAllToFd(int fd, std::string_view bytes);

// Replaces file with bytes: a temporary file in the same folder is written, fsynced and renamed over
// the old one, so a failure at any point leaves the old file as it was. Creates the folder when needed.
// An existing file keeps its owner, group and permission bits (an owner or group the process may not
// give away becomes the process's own); a symlink is followed and its target replaced.
// Stale temporary files of earlier, interrupted saves of the same file are removed first.
bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                           const FileWriter& writer = WriteAllToFd);

// Writes bytes as a copy of original (a backup beside it) in the same way, except that the copy gets
// original's owner, group and permission bits, and whatever is at file, a symlink too, is replaced:
// never followed, never written through. False when original is not a regular file.
bool WriteCopyAtomically(const std::filesystem::path& file, const std::filesystem::path& original,
                         std::string_view bytes, const FileWriter& writer = WriteAllToFd);

// Removes the temporary files "<name>.tmp-<pid>-<n>" beside file that an interrupted save left: those
// whose writing process is gone, and any older than a day. Nothing else in the folder is touched.
void RemoveStaleTempFiles(const std::filesystem::path& file);

} // namespace sendwell
