// The structure register on the largest census (32 767 structures), on Qt's offscreen platform:
// opening the list (load, measure, first paint), one repaint while scrolling in a 1920 x 1080 window
// (also on a small census, to show it does not depend on the size), and the memory the open list takes.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "desktop/DepotGrid.h"
#include "exchange/Import.h"
#include "register/StructureList.h"
#include "schema/Creation.h"
#include "schema/Session.h"
#include "ui/ScriptedPort.h"

namespace {

// A benchmark whose set-up fails measures nothing: it stops.
void Require(ui::Outcome outcome) {
    if (!outcome) {
        std::fprintf(stderr, "the benchmark's set-up failed\n");
        std::exit(1);
    }
}
void Require(bool done) {
    Require(ui::Outcome::DoneIf(done));
}

struct Census {
    ui::ScriptedPort port;
    schema::Session session{port};
};

// A census of `rows` structures, made once per size.
Census& CensusOf(int rows) {
    static std::map<int, std::unique_ptr<Census>> made;
    auto& census = made[rows];
    if (!census) {
        census = std::make_unique<Census>();
        const auto folder = std::filesystem::temp_directory_path() / "velumbra-register-bench";
        std::filesystem::create_directories(folder);
        const auto path = folder / ("census" + std::to_string(rows) + ".mdb");
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(path.string() + suffix);
        }
        Require(schema::CreateCensusDatabase(census->port, path.string(), ""));
        census->session.SetPath(path.string());
        Require(census->session.OpenAssociatedDatabase());
        exchange::CStructureRecordList list{12, "06/12/2026", {}};
        for (int i = 0; i < rows; ++i) {
            exchange::CStructureRecord r;
            r.ubicaz = "VIA DELLE INDUSTRIE " + std::to_string(i % 500);
            r.local = "LOCALITA " + std::to_string(i % 97);
            r.comune = 1 + i % 300;
            r.provin = "FI";
            r.flags[static_cast<std::size_t>(i % 7)] = true;
            r.scoPro = "SOCIETA PATRIMONIALE";
            r.scoSup = 100 + i;
            r.scoTit = "B";
            r.copPro = " ";
            r.copTit = " ";
            for (std::size_t k = 0; k < 36; ++k) {
                r.counts[k] = static_cast<int>((static_cast<std::size_t>(i) + k) % 9);
            }
            list.records.push_back(r);
        }
        int counter = 0;
        db::CDbTransaction transaction(*census->session.Connection());
        Require(transaction.IsActive());
        Require(exchange::StoreStructures(*census->session.Connection(), list, counter));
        Require(transaction.Commit());
    }
    return *census;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

void BM_OpenListWindow(benchmark::State& state) {
    Census& census = CensusOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        reg::StructureList list(census.session);
        Require(list.Open());
        desktop::CDepotGrid grid(list, nullptr);  // measures
        grid.resize(1920, 1080);
        benchmark::DoNotOptimize(grid.Snapshot());  // first paint
        state.PauseTiming();
        Require(list.Close());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenListWindow)->Arg(32767)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// The two parts of the opening: reading the rows, and measuring the columns.
void BM_LoadRows(benchmark::State& state) {
    Census& census = CensusOf(32767);
    for (auto _ : state) {
        benchmark::DoNotOptimize(reg::LoadRows(*census.session.Connection()));
    }
}
BENCHMARK(BM_LoadRows)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_MeasureGrid(benchmark::State& state) {
    Census& census = CensusOf(32767);
    reg::StructureList list(census.session);
    Require(list.Open());
    desktop::CDepotGrid grid(list, nullptr);
    for (auto _ : state) {
        grid.MeasureGrid();
    }
    Require(list.Close());
}
BENCHMARK(BM_MeasureGrid)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_RepaintWhileScrolling(benchmark::State& state) {
    Census& census = CensusOf(static_cast<int>(state.range(0)));
    reg::StructureList list(census.session);
    Require(list.Open());
    desktop::CDepotGrid grid(list, nullptr);
    grid.resize(1920, 1080);
    grid.Snapshot();
    int step = 1;
    for (auto _ : state) {
        if (grid.FirstVisible() + grid.VisibleRows() >= static_cast<int>(list.Rows().size())) {
            step = -1;
        } else if (grid.FirstVisible() == 0) {
            step = 1;
        }
        grid.ScrollRows(step);
        benchmark::DoNotOptimize(grid.Snapshot());
    }
    Require(list.Close());
}
BENCHMARK(BM_RepaintWhileScrolling)->Arg(32767)->Arg(500)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_MemoryOfTheOpenList(benchmark::State& state) {
    Census& census = CensusOf(32767);
    for (auto _ : state) {
        const long before = ResidentKiB();
        reg::StructureList list(census.session);
        Require(list.Open());
        desktop::CDepotGrid grid(list, nullptr);
        grid.resize(1920, 1080);
        grid.Snapshot();
        state.counters["MiB"] = static_cast<double>(ResidentKiB() - before) / 1024.0;
        Require(list.Close());
    }
}
BENCHMARK(BM_MemoryOfTheOpenList)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
