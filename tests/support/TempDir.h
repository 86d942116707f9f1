// A folder of its own for each test, removed afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // A path inside the folder, as the core takes it (Windows-1252 bytes).
    std::string File(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

}  // namespace testing_support
