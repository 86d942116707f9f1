// velumbra-cli: the census commands run from a terminal or a script, without a person to ask.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"

int main(int argc, char** argv) {
    const cli::Encoding encoding = cli::DetectTerminalEncoding();
    const std::vector<std::string> arguments = cli::CommandLineArguments(argc, argv);
    const cli::ParsedArguments parsed = cli::ParseArguments(arguments, encoding);
    if (!parsed.invocation) {
        // Wrong usage exits 2 whether or not the explanation reached the terminal.
        (void)cli::WriteAll(stderr, "velumbra-cli: " + parsed.error + "\n\n" +
                                        cli::OwnTextToTerminal(cli::UsageText(), encoding));
        return cli::kExitUsage;
    }
    if (parsed.invocation->command == cli::Command::Help ||
        parsed.invocation->command == cli::Command::Version) {
        const std::string& text =
            parsed.invocation->command == cli::Command::Help ? cli::UsageText() : cli::VersionText();
        return cli::WriteAll(stdout, cli::OwnTextToTerminal(text, encoding)) ? cli::kExitDone
                                                                             : cli::kExitFailed;
    }
    return cli::RunCommand(*parsed.invocation, encoding, stdout, stderr);
}
