// Choosing a file for a command, and saving a result window's report: a test's chooser answers in
// place of the file dialog, and a report is written whole or not at all, a failed write told in the
// window's own caption.
#pragma once

#include "core/base/prompt.h"

#include <QString>
#include <functional>
#include <string>

class QFileDialog;
class QWidget;

namespace sendwell::gui {

// Picks a file; an empty text cancels. Tests replace the file dialog with one.
using FileChooser = std::function<QString(QWidget* parent)>;

// The chooser's answer when there is one, else the first file of a dialog that setUp prepares;
// empty when the user cancelled.
QString ChooseFile(QWidget* parent, const FileChooser& chooser,
                   const std::function<void(QFileDialog& dialog)>& setUp);

// The chooser's answer when there is one, else the save dialog's; empty when the user cancelled.
QString ChooseExportFile(QWidget* parent, const FileChooser& chooser, const QString& caption,
                         const QString& name, const QString& filter);

// Replaces file with bytes; when that fails, "<what> could not be written to <file>." goes to the user
// as an error under caption. True when written.
bool WriteExportFile(sendwell::Prompt& messages, const QString& file, const std::string& bytes,
                     const std::string& what, const std::string& caption);

} // namespace sendwell::gui
