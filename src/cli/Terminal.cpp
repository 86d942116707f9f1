#include "cli/Terminal.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// after windows.h, which it needs
#include <io.h>
#include <shellapi.h>
#else
#include <langinfo.h>
#endif

#include <algorithm>
#include <cctype>
#include <clocale>

#include "engine/FileSystem.h"
#include "text/Text.h"

namespace cli {

#ifdef _WIN32

// Windows: the program takes its arguments as wide characters and writes to a console as wide
// characters (WriteAll below), so neither goes through a code page; what is written to a file or a
// pipe is UTF-8.
Encoding DetectTerminalEncoding() {
    std::setlocale(LC_ALL, "C");
    return Encoding::Utf8;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) {
        return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(std::max(size, 1)), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8.data(), size, nullptr, nullptr);
        utf8.resize(std::max(size, 1) - 1);
        arguments.push_back(std::move(utf8));
    }
    ::LocalFree(wide);
    return arguments;
}

std::filesystem::path PathOfArgument(std::string_view argument) {
    return engine::files::PathOfUtf8(argument);
}

bool WriteAll(std::FILE* stream, std::string_view bytes) {
    std::fflush(stream);
    const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    if (console != INVALID_HANDLE_VALUE && ::GetConsoleMode(console, &mode)) {
        const int size = static_cast<int>(bytes.size());
        const int length = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, wide.data(), length);
        DWORD written = 0;
        return bytes.empty() ||
               ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
    }
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() && std::fflush(stream) == 0;
}

#else

Encoding DetectTerminalEncoding() {
    std::setlocale(LC_ALL, "");
    const char* codeset = nl_langinfo(CODESET);
    const Encoding encoding = EncodingOfCodeset(codeset ? codeset : "");
    // Only the character set was wanted: the core formats numbers and compares letters the C way
    // (a decimal comma must never reach its texts), whatever the person's locale.
    std::setlocale(LC_ALL, "C");
    return encoding;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

std::filesystem::path PathOfArgument(std::string_view argument) {
    return std::filesystem::path(std::string(argument));
}

bool WriteAll(std::FILE* stream, std::string_view bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() && std::fflush(stream) == 0;
}

#endif

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

}  // namespace cli
