#include "gui/base/fixed_dialog.h"

#include <QDialog>
#include <QPushButton>

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

QPushButton* AddOkButton(QDialog& dialog, const QRect& where) {
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    ok->setGeometry(where);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    return ok;
}

} // namespace sendwell::gui
