#include "engine/FileSystem.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "text/Text.h"

namespace engine::files {

std::filesystem::path PathOfUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

std::string ShownPath(const std::filesystem::path& path) {
    return text::Utf8ToCp1252Lossy(Utf8Of(path));
}

std::filesystem::path WithSuffix(const std::filesystem::path& path, std::string_view suffix) {
    return PathOfUtf8(Utf8Of(path) + std::string(suffix));
}

#ifdef _WIN32

// ---------------------------------------------------------------- Windows: wide paths, handles
namespace {

// A handle closed when it goes.
class Handle {
  public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (ok()) {
            ::CloseHandle(h_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }

  private:
    HANDLE h_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

bool SyncFile(const std::filesystem::path& file) {
    const Handle h(::CreateFileW(file.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    return h.ok() && ::FlushFileBuffers(h.get()) != 0;
}

bool SyncFolder(const std::filesystem::path&) {
    return true;  // every rename is made with MOVEFILE_WRITE_THROUGH
}

bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool AlsoNameAs(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::CreateHardLinkW(to.c_str(), from.c_str(), nullptr) != 0) {
        return true;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
        return false;
    }
    // FAT sticks and some network shares know no second names: a copy, written through.
    if (::CopyFileExW(from.c_str(), to.c_str(), nullptr, nullptr, nullptr, COPY_FILE_FAIL_IF_EXISTS) == 0) {
        return false;
    }
    if (!SyncFile(to)) {
        ::DeleteFileW(to.c_str());
        return false;
    }
    return true;
}

Made MakeNewFile(const std::filesystem::path& file) {
    const Handle h(
        ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (h.ok()) {
        return Made::Done;
    }
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? Made::Exists : Made::Failed;
}

bool CanWriteIn(const std::filesystem::path& folder) {
    // The folder's read-only mark says nothing on Windows: a file is made there and dropped at once.
    static std::atomic<int> counter{0};
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::filesystem::path probe =
            folder / PathOfUtf8(".velumbra-prova." + std::to_string(CurrentProcessId()) + "." +
                                std::to_string(counter++));
        const Handle h(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (h.ok()) {
            return true;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    return false;
}

HeldFile::~HeldFile() {
    Close();
}

bool HeldFile::Create(const std::filesystem::path& file) {
    Close();
    // Shared with nobody: no other program opens, renames or removes it while it is written.
    handle_ =
        ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        handle_ = nullptr;
        return false;
    }
    path_ = file;
    return true;
}

bool HeldFile::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!handle_ || !::WriteFile(static_cast<HANDLE>(handle_), bytes.data(), chunk, &written, nullptr) ||
            written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool HeldFile::FlushAndReplace(const std::filesystem::path& target) {
    if (!handle_ || !::FlushFileBuffers(static_cast<HANDLE>(handle_))) {
        return false;
    }
    // A file open without shared deletion cannot be renamed: it is closed first. Its name still marks
    // it as this process's, so no cleaner takes it in between.
    if (!Close()) {
        return false;
    }
    return ::MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
           0;
}

bool HeldFile::Close() {
    if (!handle_) {
        return true;
    }
    const bool closed = ::CloseHandle(static_cast<HANDLE>(handle_)) != 0;
    handle_ = nullptr;
    return closed;
}

void RemoveIfAbandoned(const std::filesystem::path& file, long writer) {
    // A file that some program still has open is not removed: DeleteFileW then fails by itself.
    if (!ProcessRuns(writer)) {
        ::DeleteFileW(file.c_str());
    }
}

long CurrentProcessId() {
    return static_cast<long>(::GetCurrentProcessId());
}

bool ProcessRuns(long id) {
    if (id <= 0) {
        return false;
    }
    const Handle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
    if (!process.ok()) {
        return ::GetLastError() == ERROR_ACCESS_DENIED;  // it runs, under another user
    }
    return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

#else

// ---------------------------------------------------------------- POSIX: descriptors, locks
namespace {

bool SyncDescriptorOf(const std::filesystem::path& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

}  // namespace

bool SyncFile(const std::filesystem::path& file) {
    return SyncDescriptorOf(file, O_RDONLY);
}

bool SyncFolder(const std::filesystem::path& folder) {
    return SyncDescriptorOf(folder.empty() ? std::filesystem::path(".") : folder, O_RDONLY | O_DIRECTORY);
}

bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
    // A hard link fails when the name is taken, so nothing is ever replaced; the temporary name is
    // dropped once the file has its own.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    // A file system without hard links (a memory stick, some network shares): the name is checked,
    // then taken by a rename.
    std::error_code ec;
    if (std::filesystem::exists(to, ec) || ec) {
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool AlsoNameAs(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    // A file system without hard links (a memory stick, some network shares): a copy, flushed.
    std::error_code ec;
    if (!std::filesystem::copy_file(from, to, std::filesystem::copy_options::none, ec) || !SyncFile(to)) {
        if (ec.value() != EEXIST) {
            std::filesystem::remove(to, ec);
        }
        return false;
    }
    return true;
}

Made MakeNewFile(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno == EEXIST ? Made::Exists : Made::Failed;
    }
    return ::close(fd) == 0 ? Made::Done : Made::Failed;
}

bool CanWriteIn(const std::filesystem::path& folder) {
    return ::access(folder.c_str(), W_OK) == 0;
}

HeldFile::~HeldFile() {
    Close();
}

bool HeldFile::Create(const std::filesystem::path& file) {
    Close();
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    int locked = -1;
    do {
        locked = ::flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    struct stat st {};
    // No lock to be had (some network folders): no cleaner can take one either. Locked, but without a
    // name: a cleaner elsewhere took the lock in the moment between creating and locking, and removed it.
    if (locked == 0 && ::fstat(fd, &st) == 0 && st.st_nlink == 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = file;
    return true;
}

bool HeldFile::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = fd_ < 0 ? -1 : ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool HeldFile::FlushAndReplace(const std::filesystem::path& target) {
    // Kept open (and so locked) until renamed, so that no cleaner takes it meanwhile.
    if (fd_ < 0 || ::fsync(fd_) != 0 || ::rename(path_.c_str(), target.c_str()) != 0) {
        return false;
    }
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    // A file system that cannot sync a folder is taken as it is; a folder that may be written but not
    // read leaves nothing more to do.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool synced = true;
    if (dir >= 0) {
        synced = ::fsync(dir) == 0 || errno == EINVAL || errno == ENOTSUP;
        ::close(dir);
    }
    return Close() && synced;
}

bool HeldFile::Close() {
    if (fd_ < 0) {
        return true;
    }
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return closed;
}

void RemoveIfAbandoned(const std::filesystem::path& file, long) {
    // A writer holds an exclusive lock on its file from just after creating it until it has renamed
    // it, so one whose lock can be taken has no writer left.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat held {};
    struct stat named {};
    // Still under its name once locked: the writer may have renamed it over its target meanwhile.
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::lstat(file.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
        ::unlink(file.c_str());
    }
    ::close(fd);
}

long CurrentProcessId() {
    return static_cast<long>(::getpid());
}

bool ProcessRuns(long id) {
    if (id <= 0) {
        return false;
    }
    return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

#endif

namespace {

constexpr std::string_view kBuildingEnding = ".in-costruzione";
constexpr std::string_view kCompanionEndings[] = {"-journal", "-wal", "-shm"};

}  // namespace

std::filesystem::path BuildingName(const std::filesystem::path& target) {
    std::string name = ".";
    name += Utf8Of(target.filename());
    name += '.';
    name += std::to_string(CurrentProcessId());
    name += kBuildingEnding;
    return target.parent_path() / PathOfUtf8(name);
}

void RemoveAbandonedBuilds(const std::filesystem::path& folder) {
    std::error_code ec;
    std::vector<std::filesystem::path> abandoned;
    std::filesystem::directory_iterator it(folder.empty() ? std::filesystem::path(".") : folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::string name = Utf8Of(it->path().filename());
        for (const std::string_view companion : kCompanionEndings) {
            if (name.ends_with(companion)) {
                name.resize(name.size() - companion.size());
            }
        }
        if (name.size() <= kBuildingEnding.size() + 2 || name[0] != '.' || !name.ends_with(kBuildingEnding)) {
            continue;
        }
        const std::string rest = name.substr(0, name.size() - kBuildingEnding.size());
        const std::size_t dot = rest.rfind('.');
        const std::string digits = dot == std::string::npos ? "" : rest.substr(dot + 1);
        if (digits.empty() || digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        if (!ProcessRuns(std::stol(digits))) {
            abandoned.push_back(it->path());
        }
    }
    for (const std::filesystem::path& file : abandoned) {
        std::filesystem::remove(file, ec);
    }
}

}  // namespace engine::files
