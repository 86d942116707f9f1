// Starts a program as a process of its own, its output and messages caught in files, on Linux and on
// Windows alike, for the end-to-end tests of velumbra-cli.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string ReadFile(const std::filesystem::path& path);

// Runs `argv` (UTF-8; the first the program) under the locale `locale` (POSIX; Windows passes the
// arguments as wide characters instead), with no input; its output and messages go through the files
// .out and .err of `folder`.
Outcome RunProgram(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                   const char* locale = "C.UTF-8");

}  // namespace testing_support
