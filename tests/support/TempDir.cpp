#include "support/TempDir.h"

#include <atomic>
#include <chrono>

#include "engine/FileSystem.h"
#include "text/Text.h"

namespace testing_support {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("velumbra-test-" + std::to_string(engine::files::CurrentProcessId()) + "-" +
             std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const {
    return text::Utf8ToCp1252Lossy(engine::files::Utf8Of(path_ / engine::files::PathOfUtf8(name)));
}

}  // namespace testing_support
