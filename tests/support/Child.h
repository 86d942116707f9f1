// Runs a piece of a test in a child process whose files may not grow beyond a limit, as on a full
// disk: a write past the limit fails instead of ending the process.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace testing_support {

// Runs `body` in a child process in which no file can grow beyond `fileSizeLimit` bytes, and gives
// back the text it returned; nothing when the child did not end normally.
std::optional<std::string> RunWithFileSizeLimit(std::size_t fileSizeLimit,
                                                const std::function<std::string()>& body);

}  // namespace testing_support
