// The command line of velumbra-cli: which command, its operands and its options.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/Terminal.h"

namespace cli {

// Exit statuses.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;  // refused or failed
inline constexpr int kExitUsage = 2;

enum class Command {
    Help,
    Version,
    Create,
    Company,
    Validate,
    Export,
    Import,
    Compare,
    List,
    Repair,
    Duplicate,
    Summary,
    ExportCsv,
    Restore
};

// The command line once read. Files are paths, as the arguments name them; the company code and the
// date are Windows-1252, as the core takes them.
struct Invocation {
    Command command = Command::Help;
    std::vector<std::filesystem::path> files;     // the operands that name files, in their order
    std::optional<std::string> company;           // company's CODICE
    std::optional<std::size_t> copy;              // restore's N, from 1 (the newest copy)
    std::optional<std::filesystem::path> report;  // --report FILE
    std::optional<std::filesystem::path> output;  // --output FILE
    std::optional<std::string> date;              // --date GG/MM/AAAA
    std::optional<std::string> find;              // --find TESTO
    bool yes = false;                             // --yes
    bool csv = false;                             // --csv
};

// Either the invocation, or why the command line is wrong (ready for the terminal, without the
// usage that follows it).
struct ParsedArguments {
    std::optional<Invocation> invocation;
    std::string error;
};

// Reads the arguments that follow the program name. "--help" (or "-h") anywhere before "--" asks for
// the help, "--version" for the version; "--" ends the options. Options take their value as "--opt VALUE" or
// "--opt=VALUE".
ParsedArguments ParseArguments(const std::vector<std::string>& arguments, Encoding encoding);

// The usage text, as UTF-8.
const std::string& UsageText();
// "velumbra-cli VERSION" and a line end.
const std::string& VersionText();

}  // namespace cli
