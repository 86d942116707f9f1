#include "exchange/TextFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/FileSystem.h"
#include "text/Text.h"

namespace exchange {
namespace {

// The temporaries a write goes through sit beside the target: "." NAME ".velumbra." PID "." N ".tmp".
// The mark keeps the cleaning below away from the temporaries of other programs.
constexpr std::string_view kTemporaryMark = ".velumbra";
constexpr std::string_view kTemporaryEnd = ".tmp";

std::filesystem::path TemporaryName(const std::filesystem::path& target, int sequence) {
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "." + std::string&&.
    std::string name = ".";
    name += engine::files::Utf8Of(target.filename());
    name += kTemporaryMark;
    name += '.';
    name += std::to_string(engine::files::CurrentProcessId());
    name += '.';
    name += std::to_string(sequence);
    name += kTemporaryEnd;
    return engine::files::PathOfUtf8(name);
}

// The process that wrote the temporary named `name`, or 0 when the name is no temporary's.
long TemporaryWriter(std::string_view name) {
    if (!name.starts_with('.') || !name.ends_with(kTemporaryEnd)) {
        return 0;
    }
    name.remove_suffix(kTemporaryEnd.size());
    long writer = 0;
    for (int number = 0; number < 2; ++number) {  // the sequence, then the process
        const std::size_t dot = name.rfind('.');
        const std::string_view digits = dot == std::string_view::npos ? "" : name.substr(dot + 1);
        if (digits.empty() || digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return 0;
        }
        if (number == 1) {
            writer = std::stol(std::string(digits));
        }
        name = name.substr(0, dot);
    }
    return name.ends_with(kTemporaryMark) && name.size() > kTemporaryMark.size() + 1 ? std::max(writer, 1L)
                                                                                     : 0;
}

// Removes the temporaries that writes into `folder` left behind when they were killed. A writer holds
// its temporary from just after creating it until it has renamed it (engine::files::HeldFile), so one
// that nobody holds has no writer left; one that is held belongs to a write going on (in this process
// or another) and is left alone. Best effort: whatever cannot be looked at stays.
void RemoveStaleTemporaries(const std::filesystem::path& folder) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::filesystem::path& path = it->path();
        if (const long writer = TemporaryWriter(engine::files::Utf8Of(path.filename())); writer > 0) {
            engine::files::RemoveIfAbandoned(path, writer);
        }
    }
}

// Creates the temporary for a write, held. A cleaner elsewhere may take it in the moment between its
// creation and its hold and remove it; then another is made.
bool CreateHeldTemporary(const std::filesystem::path& folder, const std::filesystem::path& target,
                         engine::files::HeldFile& file, std::filesystem::path& temporary) {
    static std::atomic<int> counter{0};
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = folder / TemporaryName(target, counter++);
        if (file.Create(temporary)) {
            return true;
        }
        std::error_code ec;
        if (std::filesystem::exists(temporary, ec) || !std::filesystem::is_directory(folder, ec)) {
            return false;  // not made at all: no other name will do better
        }
    }
    return false;
}

}  // namespace

void TextFileWriter::AddLine(std::string_view line) {
    if (pieces_.empty()) {
        pieces_.emplace_back();
    }
    pieces_.back() += line;
    pieces_.back() += "\r\n";
}

void TextFileWriter::AddLines(std::string&& endedLines) {
    pieces_.push_back(std::move(endedLines));
    pieces_.emplace_back();  // the lines that follow
}

bool TextFileWriter::WriteTo(const std::filesystem::path& target) const {
    if (target.filename().empty()) {
        return false;
    }
    // What is there may be replaced only when it is a file: a link, a pipe or a device is the
    // person's mistake, and renaming over it would put the text where it was never meant to go.
    std::error_code ec;
    const auto there = std::filesystem::symlink_status(target, ec);
    if (std::filesystem::exists(there) && !std::filesystem::is_regular_file(there)) {
        return false;
    }
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    RemoveStaleTemporaries(folder);
    std::filesystem::path temporary;
    engine::files::HeldFile file;
    if (!CreateHeldTemporary(folder, target, file, temporary)) {
        return false;
    }
    const bool ok = std::all_of(pieces_.begin(), pieces_.end(),
                                [&](const std::string& piece) { return file.Write(piece); }) &&
                    file.FlushAndReplace(target);
    if (!ok) {
        (void)file.Close();
        std::filesystem::remove(temporary, ec);  // gone already when only the folder's sync failed
    }
    return ok;
}

bool CanCreate(const std::filesystem::path& target) {
    std::error_code ec;
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    const auto there = std::filesystem::symlink_status(target, ec);
    return !target.filename().empty() && std::filesystem::is_directory(folder, ec) &&
           engine::files::CanWriteIn(folder) &&
           (!std::filesystem::exists(there) || std::filesystem::is_regular_file(there));
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& source) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(source, ec)) {
        return std::nullopt;
    }
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    // Read in one piece into a string of the file's size; a file that grows meanwhile is read on.
    std::string content(static_cast<std::size_t>(std::filesystem::file_size(source, ec)), '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        return std::nullopt;
    }
    char more[65536];
    while (in.read(more, sizeof more) || in.gcount() > 0) {
        content.append(more, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return content;
}

LineReader::LineReader(std::string_view content) : data_(content) {}

LineReader::LineReader(const std::filesystem::path& path) : fromFile_(true) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        failed_ = true;
        return;
    }
    in_.open(path, std::ios::binary);
    failed_ = !in_;
}

bool LineReader::ReadMore() {
    if (!fromFile_ || failed_ || !in_) {
        return false;
    }
    constexpr std::size_t kPiece = 1 << 16;
    buffer_.erase(0, next_);
    next_ = 0;
    const std::size_t kept = buffer_.size();
    buffer_.resize(kept + kPiece);
    in_.read(buffer_.data() + kept, static_cast<std::streamsize>(kPiece));
    buffer_.resize(kept + static_cast<std::size_t>(in_.gcount()));
    failed_ = in_.bad();
    data_ = buffer_;
    return !failed_ && buffer_.size() > kept;
}

std::optional<std::string_view> LineReader::Next() {
    std::size_t searched = next_;
    std::size_t end = data_.find('\n', searched);
    while (end == std::string_view::npos) {
        searched = data_.size() - next_;  // what was searched stays, the reading moves it to the front
        if (!ReadMore()) {
            break;
        }
        end = data_.find('\n', searched);
    }
    if (next_ == data_.size() || failed_) {
        return std::nullopt;
    }
    std::string_view line = data_.substr(next_, end == std::string_view::npos ? data_.npos : end - next_);
    next_ = end == std::string_view::npos ? data_.size() : end + 1;
    if (!line.empty() && line.back() == '\r' && end != std::string_view::npos) {
        line.remove_suffix(1);
    }
    return line;
}

std::vector<std::string_view> SplitLines(std::string_view content) {
    std::vector<std::string_view> lines;
    LineReader reader(content);
    while (const auto line = reader.Next()) {
        lines.push_back(*line);
    }
    return lines;
}

ui::FileQuestion TextFileQuestion(ui::FileKind kind, bool save, const std::string& title,
                                  const std::string& proposedName, const std::filesystem::path& census) {
    ui::FileQuestion question = ui::MakeFileQuestion(kind, save, title, proposedName, "TXT",
                                                     "File di testo (*.txt)|*.txt|Tutti i files (*.*)|*.*||");
    question.dialog.besideFile = census;
    return question;
}

void ShowCannotCreate(ui::Port& port, const std::filesystem::path& path) {
    port.ShowMessage("Impossibile creare\n\n" + engine::files::ShownPath(path), ui::kProgramCaption,
                     ui::Icon::Exclamation);
}

}  // namespace exchange
