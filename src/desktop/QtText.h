// The edge between the core's Windows-1252 texts and paths and Qt's strings.
#pragma once

#include <QString>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "engine/FileSystem.h"
#include "text/Text.h"

namespace desktop {

inline QString FromCp(std::string_view cp1252) {
    return QString::fromStdString(text::Cp1252ToUtf8(cp1252));
}

// Nothing when the text holds a character Windows-1252 cannot represent.
inline std::optional<std::string> ToCp(const QString& s) {
    return text::Utf8ToCp1252(s.toStdString());
}

// Windows-1252 bytes, a character it cannot represent as "?".
inline std::string ToCpLossy(const QString& s) {
    return text::Utf8ToCp1252Lossy(s.toStdString());
}

// A file's path as Qt holds it, and back, every letter kept: through UTF-8, which Qt's strings and
// the core's paths both take on Linux and on Windows alike.
inline std::filesystem::path ToPath(const QString& s) {
    return engine::files::PathOfUtf8(s.toStdString());
}
inline QString FromPath(const std::filesystem::path& path) {
    return QString::fromStdString(engine::files::Utf8Of(path));
}

// A text of the program's own (UTF-8 in the source) as a QString.
inline QString FromUtf8(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace desktop
