// The set-up every fixed-size window of the program shares.
#pragma once

#include "gui/base/dialog_layout.h"

#include <QString>

class QDialog;
class QPushButton;
class QRect;

namespace sendwell::gui {

// Names the window, gives it its caption and the dialog font, drops the help button and fixes its size
// in dialog units. Returns the units for laying out its controls.
DialogUnits SetUpFixedDialog(QDialog& dialog, const QString& name, const QString& caption, int widthDu,
                             int heightDu);

// The window's default button: "OK" (named okButton) at where, accepting the dialog when clicked.
QPushButton* AddOkButton(QDialog& dialog, const QRect& where);

} // namespace sendwell::gui
