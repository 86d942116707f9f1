// Start-up of the desktop program up to its main window shown and painted, with a connected database,
// on Qt's offscreen platform: the whole process, from exec to exit.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "schema/Creation.h"
#include "ui/ScriptedPort.h"

extern char** environ;

namespace {

std::filesystem::path Prepare() {
    const auto folder = std::filesystem::temp_directory_path() / "velumbra-startup-bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    ui::ScriptedPort port;
    if (!schema::CreateCensusDatabase(port, (folder / "VELUMBRA.MDB").string(), "")) {
        std::fprintf(stderr, "the census database could not be created\n");
        std::exit(1);
    }
    std::ofstream(folder / "velumbra.ini") << "[General]\nDirectory=" << folder.string()
                                           << "\nDatabase=" << (folder / "VELUMBRA.MDB").string() << "\n";
    return folder / "velumbra.ini";
}

void BM_StartUpToMainWindow(benchmark::State& state) {
    const std::string config = Prepare().string();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const char* program = VELUMBRA_PROGRAM;
    for (auto _ : state) {
        pid_t pid = 0;
        char* argv[] = {const_cast<char*>(program), const_cast<char*>("--config"),
                        const_cast<char*>(config.c_str()), const_cast<char*>("--exit-when-shown"), nullptr};
        if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("cannot start the program");
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the program failed");
            return;
        }
    }
}
BENCHMARK(BM_StartUpToMainWindow)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
