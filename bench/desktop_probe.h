// What the desktop benchmarks measure, the same way for our windows and for the bare Qt windows they are
// compared with: the process's memory, the time from a command to a window's first painting flushed to the
// display, and one wheel step to the painting it causes.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

namespace probe {

// VmHWM (peak) or VmRSS (now) of this process, in KiB.
inline long StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string name;
    long value = 0;
    while (status >> name) {
        if (name == key) {
            status >> value;
            return value;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

inline double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

inline void ProcessEventsFor(int ms) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// Until the window is exposed, and then a little longer for it to settle.
inline void ProcessUntilExposed(QWidget& widget) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000 && !(widget.windowHandle() && widget.windowHandle()->isExposed())) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ProcessEventsFor(300);
}

// Counts the paintings of a widget.
class PaintCounter : public QObject {
  public:
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

// A window opened by a command: the time from the command to the end of its first painting, and to the
// return to the event loop once that painting has been flushed; the memory then.
struct FirstPainting {
    std::chrono::steady_clock::time_point start;
    double paintedMs = -1;
    double flushedMs = -1;
    long hwm = 0;
    long rss = 0;
    QSize windowSize;

    // Called at the end of each painting of the window; the first one is timed, and `close` runs once it
    // has been flushed.
    void Painted(QObject* context, QWidget* window, std::function<void()> close) {
        if (paintedMs >= 0) {
            return;  // a later painting
        }
        paintedMs = MsSince(start);
        QTimer::singleShot(0, context, [this, window, close = std::move(close)] {
            flushedMs = MsSince(start);
            hwm = StatusKiB("VmHWM:");
            rss = StatusKiB("VmRSS:");
            windowSize = window->size();
            close();
        });
    }
};

// The line a window's opening is reported in (painted_ms=… flushed_ms=… main=WxH list=WxH hwm_main_kib=…
// hwm_list_kib=… rss_main_kib=… rss_list_kib=…), with what else a program tells, before the sizes and after.
inline void PrintOpening(const FirstPainting& t, QSize main, long hwmMain, long rssMain,
                         const std::string& before, const std::string& after) {
    std::printf(
        "painted_ms=%.2f flushed_ms=%.2f %smain=%dx%d list=%dx%d %shwm_main_kib=%ld hwm_list_kib=%ld "
        "rss_main_kib=%ld rss_list_kib=%ld\n",
        t.paintedMs, t.flushedMs, before.c_str(), main.width(), main.height(), t.windowSize.width(),
        t.windowSize.height(), after.c_str(), hwmMain, t.hwm, rssMain, t.rss);
}

// One wheel step after another to `target`, each timed to the next painting of `painted`. `position`
// tells where the list stands: a step that left it where it was reached an end, and the next ones go
// back the other way.
inline void WheelStepFrames(benchmark::State& state, QWidget* target, QWidget* painted,
                            const std::function<int()>& position) {
    PaintCounter counter;
    painted->installEventFilter(&counter);
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    int direction = -120;  // towards the end of the list
    int previous = -1;
    for (auto _ : state) {
        if (position() == previous) {
            direction = -direction;
        }
        previous = position();
        const int before = counter.paints;
        QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, direction), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
        while (counter.paints == before) {
            QApplication::processEvents(QEventLoop::AllEvents);
        }
    }
    painted->removeEventFilter(&counter);
    state.counters["viewport_w"] = painted->width();
    state.counters["viewport_h"] = painted->height();
}

}  // namespace probe
