#include "engine/FileSystem.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace engine::files {
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

long CurrentProcessId() {
    return static_cast<long>(::getpid());
}

bool ProcessRuns(long id) {
    if (id <= 0) {
        return false;
    }
    return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

}  // namespace engine::files
