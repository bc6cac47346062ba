#include "gui/base/export_file.h"

#include "core/base/atomic_file.h"
#include "gui/base/text_bytes.h"

#include <QFileDialog>

namespace sendwell::gui {

QString ChooseExportFile(QWidget* parent, const ExportFileChooser& chooser, const QString& caption,
                         const QString& name, const QString& filter) {
    return chooser ? chooser(parent) : QFileDialog::getSaveFileName(parent, caption, name, filter);
}

bool WriteExportFile(sendwell::Prompt& messages, const QString& file, const std::string& bytes,
                     const std::string& what, const std::string& caption) {
    if (sendwell::ReplaceFileAtomically(ToPath(file), bytes)) {
        return true;
    }
    messages.ShowMessage(what + " could not be written to " + ToBytes(file) + ".", caption,
                         sendwell::MessageIcon::Error);
    return false;
}

} // namespace sendwell::gui
