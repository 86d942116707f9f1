// Long work in the desktop program, as a person sees it: the program put together as main.cpp does
// (Italian texts, the configuration, the main window shown maximised), then "Ripara" of a census and
// "Duplica" of it into a new file, through the main window's own port (what the commands do once their
// file dialogs are answered). Meanwhile the GUI thread's timer ticks every 20 ms and the busy clock
// paints once a second: the longest gap between two ticks, and between two paintings of the clock, is
// the longest the window went without painting.
//
//     long_work_bench --config INI CENSUS COPY
//
// The configuration names another census, connected at the start (a census open in the program is not
// repaired). Prints one line per command: command=repair ms=… longest_tick_gap_ms=… longest_clock_gap_ms=…
// clock_paints=…; exit status 0 when both commands succeeded. Run it on a real display (xcb,
// 1920 x 1080): bench/run starts an Xvfb for it.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "app/Maintenance.h"
#include "desktop/BusyClock.h"
#include "desktop/CensusApp.h"

namespace {

// The longest time between two events of one kind, from the start of a measure.
class Gaps {
  public:
    void Start() {
        clock_.start();
        last_ = 0;
        longest_ = 0;
        count_ = 0;
    }
    void Note() {
        const qint64 now = clock_.elapsed();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
        ++count_;
    }
    // Counting the time from the last event to the end, too.
    qint64 Longest() const { return std::max(longest_, clock_.elapsed() - last_); }
    int Count() const { return count_; }

  private:
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
    int count_ = 0;
};

class ClockPaints : public QObject {
  public:
    explicit ClockPaints(Gaps& gaps) : gaps_(gaps) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            gaps_.Note();
        }
        return false;
    }

  private:
    Gaps& gaps_;
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: long_work_bench --config INI CENSUS COPY\n");
        return 2;
    }
    const std::string census = argv[3];
    const std::string copy = argv[4];
    int arguments = 3;  // the program and its configuration
    return desktop::CCensusApp::Run(arguments, argv, [&census, &copy](desktop::CCensusApp& app) {
        QTimer::singleShot(0, qApp, [&app, &census, &copy] {
            desktop::CMainFrame& frame = app.MainFrame();
            Gaps ticks;
            Gaps paints;
            ClockPaints clockPaints(paints);
            frame.Clock()->installEventFilter(&clockPaints);
            QTimer ticker;
            QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ticks.Note(); });
            ticker.start(20);
            const auto measure = [&](const char* name, const std::function<bool()>& command) {
                ticks.Start();
                paints.Start();
                QElapsedTimer whole;
                whole.start();
                const bool done = command();
                std::printf("command=%s ms=%lld longest_tick_gap_ms=%lld longest_clock_gap_ms=%lld clock_paints=%d\n",
                            name, static_cast<long long>(whole.elapsed()), static_cast<long long>(ticks.Longest()),
                            static_cast<long long>(paints.Longest()), paints.Count());
                std::fflush(stdout);
                return done;
            };
            desktop::QtPort& port = frame.Port();
            const bool repaired = measure("repair", [&] { return bool(app::RepairDatabaseAt(port, census)); });
            const bool duplicated =
                measure("duplicate", [&] { return bool(app::DuplicateDatabaseAt(port, census, copy)); });
            frame.Clock()->removeEventFilter(&clockPaints);
            QCoreApplication::exit(repaired && duplicated ? 0 : 1);
        });
    });
}
