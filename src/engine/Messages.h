// Italian descriptions of engine failures. The literals are written in UTF-8 in the source and
// handed out as Windows-1252 bytes.
#pragma once

#include <string>
#include <string_view>

#include "text/Text.h"

namespace engine {

// Joins fixed Italian pieces (UTF-8) and Windows-1252 pieces: Quote() marks the latter.
struct Cp1252 {
    std::string_view bytes;
};
inline Cp1252 Quote(std::string_view cp1252) {
    return {cp1252};
}

inline void AppendPiece(std::string& out, std::string_view utf8) {
    out += text::Utf8ToCp1252Lossy(utf8);
}
inline void AppendPiece(std::string& out, const char* utf8) {
    out += text::Utf8ToCp1252Lossy(utf8);
}
inline void AppendPiece(std::string& out, Cp1252 raw) {
    out += raw.bytes;
}

template <typename... Pieces>
std::string Describe(const Pieces&... pieces) {
    std::string out;
    (AppendPiece(out, pieces), ...);
    return out;
}

}  // namespace engine
