// The edge between the core's Windows-1252 texts and Qt's strings.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

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

// A text of the program's own (UTF-8 in the source) as a QString.
inline QString FromUtf8(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace desktop
