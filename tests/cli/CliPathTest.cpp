// velumbra-cli on files whose folder holds letters outside Windows-1252, run as a separate process on
// Linux and on Windows alike (under wine): each file under its real name, each message naming it with
// "?" for the letters Windows-1252 lacks.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/FileSystem.h"
#include "support/TempDir.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace {

using engine::files::PathOfUtf8;
using engine::files::Utf8Of;

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Runs velumbra-cli with `args` (UTF-8), its output and messages caught in files of `dir`.
Outcome RunCli(const std::vector<std::string>& args, const std::filesystem::path& dir) {
    Outcome o;
    const std::filesystem::path out = dir / ".out", err = dir / ".err";
#ifdef _WIN32
    // The arguments go as wide characters, as a console's do.
    std::string line = std::string("\"") + VELUMBRA_CLI_PATH + "\"";
    for (const std::string& a : args) {
        line += " \"" + a + "\"";
    }
    std::wstring wide(
        static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, nullptr, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const auto create = [&](const std::filesystem::path& file) {
        return ::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = create(out);
    startup.hStdError = create(err);
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(nullptr, wide.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                         &process)) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        ::GetExitCodeProcess(process.hProcess, &code);
        o.status = static_cast<int>(code);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(startup.hStdOutput);
    ::CloseHandle(startup.hStdError);
#else
    std::vector<std::string> all = {VELUMBRA_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> env = {"LC_ALL=C.UTF-8"};
    for (char** e = environ; *e; ++e) {
        if (const std::string_view v(*e); !v.starts_with("LC_") && !v.starts_with("LANG")) {
            env.emplace_back(v);
        }
    }
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        o.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
#endif
    o.out = ReadFile(out);
    o.err = ReadFile(err);
    return o;
}

TEST(CliPathTest, FilesInAFolderWithAnyLetter) {
    const testing_support::TempDir dir;
    const std::filesystem::path folder = dir.path() / PathOfUtf8("cartella \u0151 \u65E5\u672C");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::filesystem::path census = folder / "censimento.mdb";
    const auto run = [&](const std::vector<std::string>& args) { return RunCli(args, dir.path()); };

    const Outcome created = run({"create", Utf8Of(census)});
    EXPECT_EQ(created.status, 0) << created.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(census));
    EXPECT_EQ(run({"company", Utf8Of(census)}).out, "VELUMBRA - Azienda 0 *** azienda non assegnata ***\n");
    ASSERT_EQ(run({"company", Utf8Of(census), "12"}).status, 0);

    const std::filesystem::path communication = folder / PathOfUtf8("variazioni \u65E5.txt");
    const Outcome exported =
        run({"export", Utf8Of(census), "--output", Utf8Of(communication), "--date", "06/12/2026"});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(ReadFile(communication),
              "<VariazioniVelumbra>0\r\n<Azienda=12>\r\n<Data=06/12/2026>\r\n</VariazioniVelumbra>2040\r\n");

    // Refused, the census is named with "?" for each letter Windows-1252 lacks, the rest as it is.
    const Outcome again = run({"create", Utf8Of(census)});
    EXPECT_EQ(again.status, 1);
    const std::string shown = Utf8Of(dir.path() / "cartella ? ??" / "censimento.mdb");
    EXPECT_NE(again.err.find("Il file '" + shown + "' esiste gi\u00E0."), std::string::npos) << again.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(census));
}

}  // namespace
