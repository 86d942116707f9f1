#include "exchange/TextFile.h"

#include <fcntl.h>
#include <unistd.h>

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

}  // namespace

void TextFileWriter::AddLine(std::string_view line) {
    content_ += line;
    content_ += "\r\n";
}

bool TextFileWriter::WriteTo(const std::string& path) const {
    static std::atomic<int> counter{0};
    const std::filesystem::path target = FsPath(path);
    if (target.filename().empty()) {
        return false;
    }
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "." + std::string&&.
    std::string name = ".";
    name += target.filename().string();
    name += '.';
    name += std::to_string(::getpid());
    name += '.';
    name += std::to_string(counter++);
    name += ".tmp";
    const std::filesystem::path temporary = target.parent_path() / name;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, content_) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(temporary, target, ec);
        ok = !ec;
    }
    if (!ok) {
        std::filesystem::remove(temporary, ec);
    }
    return ok;
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
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return content.str();
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
