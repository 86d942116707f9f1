#include "Text.h"

#include <array>
#include <cstdio>
#include <limits>

namespace text {
namespace {

// Code points of the bytes 0x80 to 0x9F; the other bytes are their own code point.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 sequence at `pos`; returns nothing for a malformed one and always advances `pos`.
std::optional<char32_t> DecodeUtf8(std::string_view s, std::size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos++]);
    if (b0 < 0x80) {
        return b0;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        return std::nullopt;
    }
    for (int i = 0; i < extra; ++i) {
        if (pos >= s.size() || (static_cast<unsigned char>(s[pos]) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(s[pos++]) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return std::nullopt;
    }
    return cp;
}

template <typename OnBad>
bool ConvertToCp1252(std::string_view utf8, std::string& out, OnBad onBad) {
    out.clear();
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto cp = DecodeUtf8(utf8, pos);
        const auto byte = cp ? CodePointToCp1252(*cp) : std::nullopt;
        if (byte) {
            out += static_cast<char>(*byte);
        } else if (!onBad(out)) {
            return false;
        }
    }
    return true;
}

template <typename Int>
Int ReadIntegral(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() &&
           (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' || s[i] == '\v' || s[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    // Accumulate as a negative number so the most negative value is reachable without overflow.
    constexpr Int kMin = std::numeric_limits<Int>::min();
    Int value = 0;
    bool clamped = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        const Int digit = static_cast<Int>(s[i] - '0');
        if (clamped || value < (kMin + digit) / 10) {
            clamped = true;
            continue;
        }
        value = static_cast<Int>(value * 10 - digit);
    }
    if (clamped) {
        return negative ? kMin : std::numeric_limits<Int>::max();
    }
    if (!negative) {
        return value == kMin ? std::numeric_limits<Int>::max() : static_cast<Int>(-value);
    }
    return value;
}

}  // namespace

char32_t Cp1252ToCodePoint(unsigned char byte) {
    return (byte >= 0x80 && byte <= 0x9F) ? kHighControls[byte - 0x80] : byte;
}

std::optional<unsigned char> CodePointToCp1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        return static_cast<unsigned char>(cp);
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == cp) {
            return static_cast<unsigned char>(0x80 + i);
        }
    }
    return std::nullopt;
}

std::string Cp1252ToUtf8(std::string_view cp1252) {
    std::string out;
    out.reserve(cp1252.size() + cp1252.size() / 8);
    for (const char c : cp1252) {
        AppendUtf8(out, Cp1252ToCodePoint(static_cast<unsigned char>(c)));
    }
    return out;
}

std::optional<std::string> Utf8ToCp1252(std::string_view utf8) {
    std::string out;
    if (!ConvertToCp1252(utf8, out, [](std::string&) { return false; })) {
        return std::nullopt;
    }
    return out;
}

std::string Utf8ToCp1252Lossy(std::string_view utf8) {
    std::string out;
    ConvertToCp1252(utf8, out, [](std::string& o) {
        o += '?';
        return true;
    });
    return out;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    return out;
}

std::string TrimRight(std::string_view s) {
    std::string out(s);
    TrimRightInPlace(out);
    return out;
}

void TrimRightInPlace(std::string& s) {
    s.erase(TrimRightView(s).size());
}

std::string_view TrimRightView(std::string_view s) {
    const auto last = s.find_last_not_of(' ');
    return s.substr(0, last == std::string_view::npos ? 0 : last + 1);
}

std::int32_t ReadInt(std::string_view s) {
    return ReadIntegral<std::int32_t>(s);
}
std::int64_t ReadInt64(std::string_view s) {
    return ReadIntegral<std::int64_t>(s);
}

std::string FormatInt(std::int64_t value) {
    return std::to_string(value);
}

std::string FormatIntZeroPadded(std::int64_t value, int width) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%0*lld", width, static_cast<long long>(value));
    return buffer;
}

std::string FormatDate(int day, int month, int year) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", day, month, year);
    return buffer;
}

namespace {

// Each Windows-1252 byte as a search reads it: a lower-case letter without its accent, or the byte
// itself (the ligatures, which read as two letters, are FoldForSearch's own).
constexpr std::array<char, 256> FoldTable() {
    std::array<char, 256> fold{};
    for (int b = 0; b < 256; ++b) {
        fold[static_cast<std::size_t>(b)] = static_cast<char>(b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
    }
    const auto set = [&fold](std::string_view bytes, char letter) {
        for (const char b : bytes) {
            fold[static_cast<unsigned char>(b)] = letter;
        }
    };
    set("\xC0\xC1\xC2\xC3\xC4\xC5\xE0\xE1\xE2\xE3\xE4\xE5\xAA", 'a');
    set("\xC7\xE7", 'c');
    set("\xD0\xF0", 'd');
    set("\xC8\xC9\xCA\xCB\xE8\xE9\xEA\xEB", 'e');
    set("\xCC\xCD\xCE\xCF\xEC\xED\xEE\xEF", 'i');
    set("\xD1\xF1", 'n');
    set("\xD2\xD3\xD4\xD5\xD6\xD8\xF2\xF3\xF4\xF5\xF6\xF8\xBA", 'o');
    set("\x8A\x9A", 's');
    set("\xD9\xDA\xDB\xDC\xF9\xFA\xFB\xFC", 'u');
    set("\xDD\xFD\xFF\x9F", 'y');
    set("\x8E\x9E", 'z');
    return fold;
}

constexpr std::array<char, 256> kFold = FoldTable();

}  // namespace

std::string FoldForSearch(std::string_view cp1252) {
    std::string folded;
    FoldForSearch(cp1252, folded);
    return folded;
}

void FoldForSearch(std::string_view cp1252, std::string& folded) {
    folded.clear();
    for (const char c : cp1252) {
        switch (static_cast<unsigned char>(c)) {
            case 0xC6:
            case 0xE6:
                folded += "ae";
                break;
            case 0x8C:
            case 0x9C:
                folded += "oe";
                break;
            case 0xDF:
                folded += "ss";
                break;
            case 0xDE:
            case 0xFE:
                folded += "th";
                break;
            default:
                folded += kFold[static_cast<unsigned char>(c)];
        }
    }
}

}  // namespace text
