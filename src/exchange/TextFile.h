// The text files the program exchanges: Windows-1252 bytes, every line ended by CR LF on every
// platform. A file is written completely or not at all.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace exchange {

// Collects the lines of a file and writes them in one go: to a temporary file beside the target,
// every write checked and flushed to disk, then renamed over the target. A failed write leaves the
// target as it was and no temporary file behind.
class TextFileWriter {
public:
    void AddLine(std::string_view line);
    bool WriteTo(const std::string& path) const;  // the path as the core holds it (Windows-1252)
    const std::string& Content() const { return content_; }

private:
    std::string content_;
};

// Checks that a file can be created at `path` (its folder exists and may be written).
bool CanCreate(const std::string& path);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Splits a file into its lines: each ends at a line feed, a carriage return just before it is
// dropped. A last line without a line feed counts too.
std::vector<std::string_view> SplitLines(std::string_view content);

}  // namespace exchange
