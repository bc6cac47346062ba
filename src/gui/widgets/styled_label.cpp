#include "gui/widgets/styled_label.h"

#include "gui/base/dialog_layout.h"

#include <QPalette>

namespace sendwell::gui {

StyledLabel::StyledLabel(QWidget* parent) : StyledLabel(QString(), parent) {}

StyledLabel::StyledLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent), description_(DialogFont()) {
    // Every attribute comes from the description, the weight included, never from the window.
    description_.setWeight(QFont::Normal);
    const QPalette system;
    textColour_ = system.color(QPalette::WindowText);
    background_ = system.color(QPalette::Button);
    alternateBackground_ = background_;

    QPalette own = palette();
    own.setColor(QPalette::WindowText, textColour_);
    own.setColor(QPalette::Window, background_);
    setPalette(own);
    setAutoFillBackground(true);
    ApplyFont();
}

void StyledLabel::setBold(bool bold) {
    description_.setWeight(bold ? QFont::Bold : QFont::Normal);
    ApplyFont();
    repaint();
}

void StyledLabel::ApplyFont() {
    setFont(description_);
}

} // namespace sendwell::gui
