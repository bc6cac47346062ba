// Message boxes for the windows: an OK box with caption and icon, modal to a parent window.
#pragma once

#include "core/base/messages.h"

#include <QPointer>
#include <QWidget>

namespace sendwell::gui {

class MessageBoxSink : public sendwell::MessageSink {
public:
    explicit MessageBoxSink(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void ShowMessage(const std::string& text, const std::string& caption,
                     sendwell::MessageIcon icon = sendwell::MessageIcon::None) override;

private:
    QPointer<QWidget> parent_;
};

} // namespace sendwell::gui
