#include "gui/base/message_box_sink.h"

#include "gui/base/text_bytes.h"

#include <QMessageBox>

namespace sendwell::gui {

namespace {

QMessageBox::Icon ToQtIcon(sendwell::MessageIcon icon) {
    switch (icon) {
    case sendwell::MessageIcon::Information:
        return QMessageBox::Information;
    case sendwell::MessageIcon::Warning:
        return QMessageBox::Warning;
    case sendwell::MessageIcon::Error:
        return QMessageBox::Critical;
    case sendwell::MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void MessageBoxSink::ShowMessage(const std::string& text, const std::string& caption,
                                 sendwell::MessageIcon icon) {
    QMessageBox box(ToQtIcon(icon), ToQString(caption), ToQString(text), QMessageBox::Ok, parent_.data());
    box.exec();
}

} // namespace sendwell::gui
