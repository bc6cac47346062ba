// The core keeps text as bytes; on this system they are UTF-8. File names are bytes too, in the file
// system's own encoding, so they cross with QFile's name coding: decoding a name and encoding it again
// gives back the same file.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

namespace sendwell::gui {

inline QString ToQString(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string ToBytes(const QString& text) {
    return text.toUtf8().toStdString();
}

inline std::filesystem::path ToPath(const QString& file) {
    return std::filesystem::path(QFile::encodeName(file).toStdString());
}

inline QString PathText(const std::filesystem::path& file) {
    return QFile::decodeName(QByteArray::fromStdString(file.native()));
}

} // namespace sendwell::gui
