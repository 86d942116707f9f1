// One step of the mouse wheel in the structure list on the largest census: the wheel event delivered to
// the grid, up to its repainting completed and flushed, in the real window shown at the size a person
// uses. The program is put together as main.cpp does (configuration, main window shown maximised) and
// the list window laid over it as "Archivio Depositi" lays it; run it on a real display of 1920 x 1080
// (bench/run starts an Xvfb for it). Then the time of "Trova" going to the next structure found.
//
//     register_bench --config INI [--benchmark_...]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

#include "desktop/CensusApp.h"
#include "desktop/DepotListDlg.h"
#include "desktop_probe.h"

namespace {

struct Shown {
    desktop::CMainFrame* frame = nullptr;
    desktop::CDepotListDlg* list = nullptr;
};
Shown shown;

void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::exit(1);
}

void BM_WheelStepFrame(benchmark::State& state) {
    desktop::CDepotGrid* grid = shown.list->Grid();
    probe::WheelStepFrames(state, grid->viewport(), grid->viewport(),
                           [grid] { return grid->FirstVisible(); });
    state.counters["visible_rows"] = grid->VisibleRows();
}
BENCHMARK(BM_WheelStepFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// "Trova": the next structure a text finds, from the current row, over every row of the list (a part
// of a street's name, folded as the search folds it), up to the grid repainted at the structure found.
void BM_FindNext(benchmark::State& state) {
    desktop::CFindBar* find = shown.list->FindBar();
    find->Open();
    find->Field()->setText(QStringLiteral("fiorentina"));
    for (auto _ : state) {
        find->Step(1);
    }
    state.counters["rows"] = static_cast<double>(shown.list->Grid()->RowCount());
    find->Close();
}
BENCHMARK(BM_FindNext)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velumbra"));
    desktop::CCensusApp::InstallItalian(app);
    desktop::CCensusApp census(QApplication::arguments());
    benchmark::Initialize(&argc, argv);
    if (!census.StartUp() || !census.MainFrame().Session().HasOpenDatabase()) {
        Fail("the program did not start with its census database");
    }
    const QSize screen = QGuiApplication::primaryScreen()->size();
    if (screen != QSize(1920, 1080)) {
        std::fprintf(stderr, "warning: the screen is %dx%d, not 1920x1080\n", screen.width(),
                     screen.height());
    }
    shown.frame = &census.MainFrame();
    probe::ProcessUntilExposed(*shown.frame);
    {
        reg::StructureList list(shown.frame->Session());
        if (!list.Open()) {
            Fail("the structure list did not open");
        }
        desktop::CDepotListDlg window(list, shown.frame);
        window.show();
        probe::ProcessUntilExposed(window);
        shown.list = &window;
        benchmark::RunSpecifiedBenchmarks();
        window.hide();
        list.Close().Ignore("nothing was changed");
    }
    benchmark::Shutdown();
    return 0;
}
