// Text helpers shared by every layer: Windows-1252 <-> UTF-8, trimming, C-style number reading and
// printf-style formatting. The census keeps its texts as Windows-1252 bytes in std::string.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// Windows-1252 bytes to UTF-8. Every byte maps to one code point; the five bytes Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, so every byte
// round-trips.
std::string Cp1252ToUtf8(std::string_view cp1252);

// UTF-8 to Windows-1252. Returns nothing when the text is not valid UTF-8 or holds a character
// Windows-1252 cannot represent.
std::optional<std::string> Utf8ToCp1252(std::string_view utf8);

// UTF-8 to Windows-1252 with '?' for each character that cannot be represented (and for each
// malformed sequence). For texts that must never be refused, such as messages.
std::string Utf8ToCp1252Lossy(std::string_view utf8);

// The Windows-1252 byte of one Unicode code point, or nothing when it has none.
std::optional<unsigned char> CodePointToCp1252(char32_t cp);
// The Unicode code point of one Windows-1252 byte.
char32_t Cp1252ToCodePoint(unsigned char byte);

// ASCII letters in lower case; every other byte unchanged.
std::string LowerAscii(std::string_view s);

// A Windows-1252 text as a search compares it: letters in lower case and without their accents
// ("CITTÀ" and "città" give "citta"; "Æ" gives "ae", "ß" "ss"), every other byte unchanged.
std::string FoldForSearch(std::string_view cp1252);
// The same into `folded`, whose room is used again.
void FoldForSearch(std::string_view cp1252, std::string& folded);

// Removes trailing blanks (spaces only, never tabs or line breaks).
std::string TrimRight(std::string_view s);
void TrimRightInPlace(std::string& s);
// The same without a copy: the part of `s` before its trailing blanks.
std::string_view TrimRightView(std::string_view s);

// C-style decimal reading: leading blanks (space, tab, line breaks) are skipped, an optional sign is
// read, then digits up to the first non-digit. No digits gives 0. Values beyond the range clamp to
// the limit of the type instead of overflowing.
std::int32_t ReadInt(std::string_view s);
std::int64_t ReadInt64(std::string_view s);

// "%d"
std::string FormatInt(std::int64_t value);
// "%0*d": zero-filled to at least `width` characters (the sign counts as one of them).
std::string FormatIntZeroPadded(std::int64_t value, int width);
// "%02d/%02d/%04d"
std::string FormatDate(int day, int month, int year);

}  // namespace text
