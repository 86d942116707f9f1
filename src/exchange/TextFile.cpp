#include "exchange/TextFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "text/Text.h"

namespace exchange {
namespace {

std::filesystem::path FsPath(const std::string& cp1252) {
    const std::string utf8 = text::Cp1252ToUtf8(cp1252);
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The temporaries a write goes through sit beside the target: "." NAME ".velumbra." PID "." N ".tmp".
// The mark keeps the cleaning below away from the temporaries of other programs.
constexpr std::string_view kTemporaryMark = ".velumbra";
constexpr std::string_view kTemporaryEnd = ".tmp";

std::string TemporaryName(const std::filesystem::path& target, int sequence) {
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "." + std::string&&.
    std::string name = ".";
    name += target.filename().string();
    name += kTemporaryMark;
    name += '.';
    name += std::to_string(::getpid());
    name += '.';
    name += std::to_string(sequence);
    name += kTemporaryEnd;
    return name;
}

bool IsTemporaryName(std::string_view name) {
    if (!name.starts_with('.') || !name.ends_with(kTemporaryEnd)) {
        return false;
    }
    name.remove_suffix(kTemporaryEnd.size());
    for (int number = 0; number < 2; ++number) {  // the sequence, then the process
        const std::size_t dot = name.rfind('.');
        const std::string_view digits = dot == std::string_view::npos ? "" : name.substr(dot + 1);
        if (digits.empty() ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        name = name.substr(0, dot);
    }
    return name.ends_with(kTemporaryMark) && name.size() > kTemporaryMark.size() + 1;
}

// Removes the temporaries that writes into `folder` left behind when they were killed. A writer holds
// an exclusive lock on its temporary from just after creating it until it has renamed it, so one whose
// lock can be taken has no writer left; one that is locked belongs to a write going on (in this
// process or another) and is left alone. Best effort: whatever cannot be looked at stays.
void RemoveStaleTemporaries(const std::filesystem::path& folder) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::filesystem::path& path = it->path();
        if (!IsTemporaryName(path.filename().native())) {
            continue;
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat held {};
        struct stat named {};
        // Still under its name once locked: the writer may have renamed it over its target meanwhile.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino) {
            ::unlink(path.c_str());
        }
        ::close(fd);
    }
}

// Creates the temporary for a write and locks it. A cleaner elsewhere may take the lock in the moment
// between the two and remove the file; then the file has no name left, and another is made.
int CreateLockedTemporary(const std::filesystem::path& folder, const std::filesystem::path& target,
                          std::filesystem::path& temporary) {
    static std::atomic<int> counter{0};
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = folder / TemporaryName(target, counter++);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            return -1;
        }
        int locked = -1;
        do {
            locked = ::flock(fd, LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        struct stat st {};
        if (locked != 0 || ::fstat(fd, &st) != 0) {
            // No lock to be had here (some network folders): no cleaner can take one either.
            return fd;
        }
        if (st.st_nlink > 0) {
            return fd;
        }
        ::close(fd);
    }
    return -1;
}

// Makes a rename in `folder` durable. A file system that cannot sync a folder is taken as it is.
bool SyncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return true;  // a folder that may be written but not read: nothing more can be done
    }
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    ::close(fd);
    return ok;
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

bool TextFileWriter::WriteTo(const std::string& path) const {
    const std::filesystem::path target = FsPath(path);
    if (target.filename().empty()) {
        return false;
    }
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    RemoveStaleTemporaries(folder);
    std::filesystem::path temporary;
    const int fd = CreateLockedTemporary(folder, target, temporary);
    if (fd < 0) {
        return false;
    }
    // Closed (and so unlocked) only once renamed or removed, so that no cleaner takes it meanwhile.
    bool ok = std::all_of(pieces_.begin(), pieces_.end(),
                          [&](const std::string& piece) { return WriteAll(fd, piece); }) &&
              ::fsync(fd) == 0;
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(temporary, target, ec);
        ok = !ec && SyncFolder(folder);
    }
    if (!ok) {
        std::filesystem::remove(temporary, ec);  // gone already when only the folder's sync failed
    }
    return ::close(fd) == 0 && ok;
}

bool CanCreate(const std::string& path) {
    const std::filesystem::path target = FsPath(path);
    std::error_code ec;
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    return !target.filename().empty() && std::filesystem::is_directory(folder, ec) &&
           ::access(folder.c_str(), W_OK) == 0 && !std::filesystem::is_directory(target, ec);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path source = FsPath(path);
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

std::vector<std::string_view> SplitLines(std::string_view content) {
    std::vector<std::string_view> lines;
    while (!content.empty()) {
        const std::size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
        if (!line.empty() && line.back() == '\r' && end != std::string_view::npos) {
            line.remove_suffix(1);
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace exchange
