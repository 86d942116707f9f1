// Creating a complete census database, next to the sqlite3 shell running an equivalent script: the same
// tables, indexes and rows, in one transaction (the dump of a database we created).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "schema/Creation.h"
#include "ui/ScriptedPort.h"

namespace {

std::filesystem::path Folder() {
    static const std::filesystem::path folder = [] {
        auto p = std::filesystem::temp_directory_path() / "velumbra-creation-bench";
        std::filesystem::remove_all(p);
        std::filesystem::create_directories(p);
        return p;
    }();
    return folder;
}

void RemoveDatabase(const std::filesystem::path& p) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(p.string() + suffix);
    }
}

void BM_CreateCensusDatabase(benchmark::State& state) {
    const auto path = Folder() / "ours.mdb";
    for (auto _ : state) {
        state.PauseTiming();
        RemoveDatabase(path);
        ui::ScriptedPort port;
        state.ResumeTiming();
        if (!schema::CreateCensusDatabase(port, path.string(), "")) {
            state.SkipWithError("creation failed");
        }
    }
}
BENCHMARK(BM_CreateCensusDatabase)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SqliteShellScript(benchmark::State& state) {
    const auto source = Folder() / "source.mdb";
    const auto script = Folder() / "script.sql";
    const auto target = Folder() / "shell.mdb";
    {
        ui::ScriptedPort port;
        RemoveDatabase(source);
        if (!schema::CreateCensusDatabase(port, source.string(), "")) {
            state.SkipWithError("creation failed");
            return;
        }
        const std::string dump = "sqlite3 '" + source.string() + "' .dump > '" + script.string() + "'";
        if (std::system(dump.c_str()) != 0) {
            state.SkipWithError("the sqlite3 shell is not installed");
            return;
        }
    }
    const std::string run = "sqlite3 -cmd 'PRAGMA journal_mode = WAL' -cmd 'PRAGMA synchronous = NORMAL' '" +
                            target.string() + "' < '" + script.string() + "' > /dev/null";
    for (auto _ : state) {
        state.PauseTiming();
        RemoveDatabase(target);
        state.ResumeTiming();
        if (std::system(run.c_str()) != 0) {
            state.SkipWithError("the shell failed");
        }
    }
}
BENCHMARK(BM_SqliteShellScript)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
