// The core keeps text as bytes; on this system they are UTF-8.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace sendwell::gui {

inline QString ToQString(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string ToBytes(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace sendwell::gui
