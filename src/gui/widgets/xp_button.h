// The push button every window uses, so that its look can change in one place.
#pragma once

#include <QPushButton>

namespace sendwell::gui {

class CXPButton : public QPushButton {
    Q_OBJECT
public:
    explicit CXPButton(QWidget* parent = nullptr);
    CXPButton(const QString& text, QWidget* parent = nullptr);
};

} // namespace sendwell::gui
