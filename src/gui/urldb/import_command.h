// The Import command once its file is chosen: the file is read off the UI thread behind a progress
// window with Cancel, and the addresses are appended to the list only when the whole file was read.
#pragma once

#include "core/urldb/url_import.h"

#include <QString>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace sendwell::gui {

class UrlListModel;

inline constexpr const char* kImportCaption = "Import";

// Reads a file's addresses as ImportFile does; tests hand in one they hold back.
using ImportReader = std::function<sendwell::ImportEnd(
    const std::filesystem::path&, std::vector<std::string>&, const sendwell::ImportControl&)>;

// Chooses, on the UI thread, which of the addresses read are appended; none given: all of them.
using ImportSelection = std::function<std::vector<std::string>(const std::vector<std::string>&)>;

// Reads file with reader on a thread of its own while an application-modal progress window owned by
// parent shows how far it got; its Cancel (or Escape, or closing it) stops the reading and adds
// nothing. Returns the number of rows appended to model, once the window is gone. An exception thrown
// by reader is rethrown here.
std::size_t RunImportCommand(QWidget* parent, UrlListModel& model, const std::filesystem::path& file,
                             const ImportReader& reader = sendwell::ImportFile,
                             const ImportSelection& select = {});

} // namespace sendwell::gui
