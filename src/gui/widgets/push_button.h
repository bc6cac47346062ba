// The push button every window uses, so that its look can change in one place.
#pragma once

#include <QPushButton>

namespace sendwell::gui {

class PushButton : public QPushButton {
    Q_OBJECT
public:
    explicit PushButton(QWidget* parent = nullptr);
    PushButton(const QString& text, QWidget* parent = nullptr);
};

} // namespace sendwell::gui
