// Sitemaps in the main window: Import takes a sitemap file as well as a text file, and "Export
// sitemap..." writes the database as one.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/prompt.h"
#include "gui/base/file_choice.h"

#include <QString>
#include <cstddef>
#include <filesystem>

class QWidget;

namespace sendwell {
class UrlDatabase;
}

namespace sendwell::gui {

class UrlListModel;

inline constexpr const char* kExportSitemapCaption = "Export Sitemap";

// The Import dialog's file types: every file first, so a list of addresses under any name can be
// chosen, then sitemaps and text files.
QString ImportFileFilters();

// Reads a sitemap, a sitemap index or a robots.txt (with the sitemaps they name) behind the Import
// progress window, off the UI thread. The addresses not in the list yet are appended, each once; a
// sitemap that cannot be read appends nothing and its error is shown, and any warnings are shown
// together in one message. Returns the number of rows appended.
std::size_t RunSitemapImport(QWidget* parent, UrlListModel& model, const std::filesystem::path& file,
                             const sendwell::ConnectionSettings& connection, sendwell::Prompt& messages);

// "Export sitemap...": asks for the file and writes the database to it; a failure or a warning is
// shown. Returns whether the file was written.
bool RunSitemapExport(QWidget* parent, const sendwell::UrlDatabase& db, sendwell::Prompt& messages,
                      const FileChooser& chooser = {});

} // namespace sendwell::gui
