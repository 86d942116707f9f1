// The text files the program exchanges: Windows-1252 bytes, every line ended by CR LF on every
// platform. A file is written completely or not at all. The file dialogs that choose them.
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Port.h"

namespace exchange {

// Collects the lines of a file and writes them in one go: to a temporary file beside the target,
// every write checked and flushed to disk, then renamed over the target and the rename itself flushed
// to disk. A failed write leaves no temporary file behind, and the target as it was unless only that
// last flush failed (the target is then the new file, complete). The temporaries of writes that were
// killed half way are removed by the next write into the same folder.
class TextFileWriter {
  public:
    void AddLine(std::string_view line);
    // Lines already ended by CR LF, as they are; taken over without a copy.
    void AddLines(std::string&& endedLines);
    [[nodiscard]] bool WriteTo(const std::filesystem::path& path) const;

  private:
    std::vector<std::string> pieces_;  // written one after another
};

// Checks that a file can be created at `path` (its folder exists and may be written).
[[nodiscard]] bool CanCreate(const std::filesystem::path& path);

// The whole file, or nothing when it cannot be read.
[[nodiscard]] std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// The lines of a text, one after another: each ends at a line feed, a carriage return just before it
// is dropped. A last line without a line feed counts too.
class LineReader {
  public:
    // The lines of `content`, which stays where it is while they are read.
    explicit LineReader(std::string_view content);
    // The lines of the file at `path`, read from it piece by piece as they are asked for.
    explicit LineReader(const std::filesystem::path& path);
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next line, valid until the next call; nothing after the last.
    std::optional<std::string_view> Next();
    // The file could not be opened or read (its lines are then not all there are).
    bool Failed() const { return failed_; }

  private:
    // Reads on from the file, keeping what was not taken yet; false at its end or on a failure.
    bool ReadMore();

    std::ifstream in_;
    bool fromFile_ = false;
    bool failed_ = false;
    std::string buffer_;  // of the file: what was read and not taken yet begins at next_
    std::string_view data_;
    std::size_t next_ = 0;
};

// Splits a text into its lines, as LineReader reads them.
[[nodiscard]] std::vector<std::string_view> SplitLines(std::string_view content);

// The question for a text file, shared by the report and the communication files.
// It opens beside the census at `census`.
ui::FileQuestion TextFileQuestion(ui::FileKind kind, bool save, const std::string& title,
                                  const std::string& proposedName, const std::filesystem::path& census);

// "Impossibile creare\n\n" + path.
void ShowCannotCreate(ui::Port& port, const std::filesystem::path& path);

}  // namespace exchange
