// Runs a piece of a test in a child process whose files may not grow beyond a limit, as on a full
// disk: a write past the limit fails instead of ending the process.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace testing_support {

// Whether RunWithFileSizeLimit can be had: it forks, so POSIX only. Tests that need it are skipped on
// Windows (GTEST_SKIP with the reason).
#ifdef _WIN32
inline constexpr bool kCanLimitFileSize = false;
#else
inline constexpr bool kCanLimitFileSize = true;
#endif
inline constexpr const char* kNoFileSizeLimit =
    "needs a child process with a file size limit (fork, POSIX only)";

// Runs `body` in a child process in which no file can grow beyond `fileSizeLimit` bytes, and gives
// back the text it returned; nothing when the child did not end normally.
std::optional<std::string> RunWithFileSizeLimit(std::size_t fileSizeLimit,
                                                const std::function<std::string()>& body);

}  // namespace testing_support
