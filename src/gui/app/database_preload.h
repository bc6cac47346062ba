// The data file read on a thread of its own from the very start of the process, so that a large list
// loads while Qt and the main window start up rather than after them.
#pragma once

#include "core/urldb/database_file.h"

#include <filesystem>

namespace sendwell::gui {

// Starts reading the file; without a thread to be had, it is read when the window has been built.
void StartLoadingDatabase(const std::filesystem::path& file);

// Fills db from the file: with what StartLoadingDatabase read when it was started for this file
// (waiting for it to finish), else by reading the file now.
sendwell::LoadResult LoadDatabaseForWindow(sendwell::UrlDatabase& db, const std::filesystem::path& file);

} // namespace sendwell::gui
