#include "gui/widgets/push_button.h"

namespace sendwell::gui {

PushButton::PushButton(QWidget* parent) : QPushButton(parent) {}

PushButton::PushButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

} // namespace sendwell::gui
