// The terminal's side of the texts: the core speaks Windows-1252, the terminal speaks whatever its
// locale says. A UTF-8 terminal gets every text converted; any other is taken to be a single-byte
// terminal close enough to Windows-1252 and gets the bytes as they are. On Windows the arguments are
// read and a console is written as wide characters, so no code page is involved there; files and pipes
// get UTF-8. The platform's branches are in Terminal.cpp.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class Encoding { Utf8, Cp1252 };

// Tells how the terminal encodes text, from the locale of the environment. The program's own locale
// is left as "C".
Encoding DetectTerminalEncoding();
// The program's arguments (without its own name), in the encoding DetectTerminalEncoding tells.
std::vector<std::string> CommandLineArguments(int argc, char** argv);
// The file an argument names. On Windows the arguments are read as UTF-8 (above); elsewhere the
// argument's bytes are the file name's, whatever the terminal's encoding.
std::filesystem::path PathOfArgument(std::string_view argument);
// The encoding of a locale's character set name, as nl_langinfo(CODESET) gives it.
Encoding EncodingOfCodeset(std::string_view codeset);

// A core text (Windows-1252) for the terminal.
std::string ToTerminal(std::string_view cp1252, Encoding encoding);
// A text typed on the terminal for the core; nothing when Windows-1252 cannot represent it (or it
// is not valid in the terminal's encoding).
std::optional<std::string> FromTerminal(std::string_view typed, Encoding encoding);
// One of the tool's own texts (written as UTF-8) for the terminal; what the terminal cannot show
// becomes '?'.
std::string OwnTextToTerminal(std::string_view utf8, Encoding encoding);

// Writes all of `bytes`; false when the stream reports an error. A Windows console gets them (UTF-8
// there) as wide characters.
[[nodiscard]] bool WriteAll(std::FILE* stream, std::string_view bytes);

}  // namespace cli
