// The commands of velumbra-cli over the core, each giving the tool's exit status.
#pragma once

#include <cstdio>

#include "cli/Arguments.h"
#include "cli/Terminal.h"

namespace cli {

// Runs a command (not the help): what it lists goes to `out` as UTF-8, its messages to `messages` in
// the terminal's encoding.
int RunCommand(const Invocation& invocation, Encoding encoding, std::FILE* out, std::FILE* messages);

}  // namespace cli
