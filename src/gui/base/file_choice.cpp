#include "gui/base/file_choice.h"

#include "core/base/atomic_file.h"
#include "gui/base/text_bytes.h"

#include <QFileDialog>

namespace sendwell::gui {

QString ChooseFile(QWidget* parent, const FileChooser& chooser,
                   const std::function<void(QFileDialog& dialog)>& setUp) {
    if (chooser) {
        return chooser(parent);
    }
    QFileDialog dialog(parent);
    setUp(dialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        return dialog.selectedFiles().constFirst();
    }
    return {};
}

QString ChooseExportFile(QWidget* parent, const FileChooser& chooser, const QString& caption,
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
