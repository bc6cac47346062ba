// Saving a result window's report: the file is asked for (or a test's chooser answers), then written
// whole or not at all, and a failed write is told in the window's own caption.
#pragma once

#include "core/base/prompt.h"

#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace sendwell::gui {

// Picks the file an export writes; an empty text cancels. Tests replace the file dialog with one.
using ExportFileChooser = std::function<QString(QWidget* parent)>;

// The chooser's answer when there is one, else the save dialog's; empty when the user cancelled.
QString ChooseExportFile(QWidget* parent, const ExportFileChooser& chooser, const QString& caption,
                         const QString& name, const QString& filter);

// Replaces file with bytes; when that fails, "<what> could not be written to <file>." goes to the user
// as an error under caption. True when written.
bool WriteExportFile(sendwell::Prompt& messages, const QString& file, const std::string& bytes,
                     const std::string& what, const std::string& caption);

} // namespace sendwell::gui
