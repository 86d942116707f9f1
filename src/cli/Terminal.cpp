#include "cli/Terminal.h"

#include <langinfo.h>

#include <algorithm>
#include <cctype>
#include <clocale>

#include "text/Text.h"

namespace cli {

Encoding DetectTerminalEncoding() {
    std::setlocale(LC_ALL, "");
    const char* codeset = nl_langinfo(CODESET);
    const Encoding encoding = EncodingOfCodeset(codeset ? codeset : "");
    // Only the character set was wanted: the core formats numbers and compares letters the C way
    // (a decimal comma must never reach its texts), whatever the person's locale.
    std::setlocale(LC_ALL, "C");
    return encoding;
}

Encoding EncodingOfCodeset(std::string_view codeset) {
    std::string name;
    for (const char c : codeset) {
        if (c != '-' && c != '_') {
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return name == "utf8" ? Encoding::Utf8 : Encoding::Cp1252;
}

std::string ToTerminal(std::string_view cp1252, Encoding encoding) {
    return encoding == Encoding::Utf8 ? text::Cp1252ToUtf8(cp1252) : std::string(cp1252);
}

std::optional<std::string> FromTerminal(std::string_view typed, Encoding encoding) {
    if (encoding == Encoding::Utf8) {
        return text::Utf8ToCp1252(typed);
    }
    return std::string(typed);
}

std::string OwnTextToTerminal(std::string_view utf8, Encoding encoding) {
    return encoding == Encoding::Utf8 ? std::string(utf8) : text::Utf8ToCp1252Lossy(utf8);
}

bool WriteAll(std::FILE* stream, std::string_view bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() && std::fflush(stream) == 0;
}

}  // namespace cli
