#include "gui/base/fixed_dialog.h"

#include <QDialog>

namespace sendwell::gui {

DialogUnits SetUpFixedDialog(QDialog& dialog, const QString& name, const QString& caption, int widthDu,
                             int heightDu) {
    dialog.setObjectName(name);
    dialog.setWindowTitle(caption);
    dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    dialog.setFont(DialogFont());
    const DialogUnits du(dialog.font());
    dialog.setFixedSize(du.size(widthDu, heightDu));
    return du;
}

} // namespace sendwell::gui
