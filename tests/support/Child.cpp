#include "support/Child.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace testing_support {

#ifdef _WIN32

std::optional<std::string> RunWithFileSizeLimit(std::size_t, const std::function<std::string()>&) {
    return std::nullopt;  // no fork on Windows: the tests that need this are skipped there
}

#else

std::optional<std::string> RunWithFileSizeLimit(std::size_t fileSizeLimit,
                                                const std::function<std::string()>& body) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return std::nullopt;
    }
    if (child == 0) {
        ::close(pipeEnds[0]);
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::string result = body();
        std::size_t written = 0;
        while (written < result.size()) {
            const ssize_t n = ::write(pipeEnds[1], result.data() + written, result.size() - written);
            if (n <= 0) {
                ::_exit(2);
            }
            written += static_cast<std::size_t>(n);
        }
        ::_exit(0);  // no destructors of the parent's objects, no leak report of the copy
    }
    ::close(pipeEnds[1]);
    std::string result;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
        result.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return result;
}

#endif

}  // namespace testing_support
