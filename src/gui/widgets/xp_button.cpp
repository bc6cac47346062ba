#include "widgets/xp_button.h"

namespace sendwell::gui {

CXPButton::CXPButton(QWidget* parent) : QPushButton(parent) {}

CXPButton::CXPButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

} // namespace sendwell::gui
