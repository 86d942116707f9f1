// The floor of the desktop figures: a bare Qt Widgets program, none of ours linked, doing what our windows
// are measured doing, the least a Qt program can do for it. Its main window is shown maximised with a menu
// bar; "Archivio Depositi" (Archivi, the same command ours has) opens a frameless modal child window laid
// over the main window's client area, as our structure list is laid, titled as ours; the child paints itself
// whole from an image drawn once when it opens, and a wheel step repaints it whole again.
//
//     bare_desktop_bench startup            the main window shown and painted, then the end (timed whole)
//     bare_desktop_bench open               the child opened from the menu; prints the line
//                                           list_window_bench prints (painted_ms=… flushed_ms=… …)
//     bare_desktop_bench wheel [--benchmark_...]   BM_WheelStepFrame, as register_bench times ours
//
// Run it on the display ours runs on (bench/run starts an Xvfb of 1920 x 1080 for both).
#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <cstdio>
#include <cstring>
#include <vector>

#include "desktop_probe.h"

namespace {

// The child window: its picture drawn once, then copied whole at each painting.
class Child : public QDialog {
  public:
    explicit Child(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
        setWindowTitle(QStringLiteral("Archivio Depositi"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    std::function<void()> onPainted;

  protected:
    void paintEvent(QPaintEvent*) override {
        if (picture_.size() != size()) {
            picture_ = QImage(size(), QImage::Format_RGB32);
            picture_.fill(Qt::white);
            QPainter p(&picture_);
            p.fillRect(QRect(0, 0, width(), 60), QColor(0, 0, 192));
            p.setPen(QColor(192, 192, 192));
            for (int y = 60; y < height(); y += 17) {
                p.drawLine(0, y, width(), y);
            }
        }
        QPainter window(this);
        window.drawImage(0, 0, picture_);
        if (onPainted) {
            onPainted();
        }
    }
    void wheelEvent(QWheelEvent* event) override {
        update();
        event->accept();
    }

  private:
    QImage picture_;
};

class MainWindow : public QMainWindow {
  public:
    MainWindow() {
        setWindowTitle(QStringLiteral("VELUMBRA"));
        setCentralWidget(new QWidget(this));
        QMenu* archives = menuBar()->addMenu(QStringLiteral("&Archivi"));
        depots = archives->addAction(QStringLiteral("Archivio &Depositi"));
        connect(depots, &QAction::triggered, this, [this] {
            Child child(this);
            Place(child);
            if (onOpened) {
                onOpened(child);
            }
            child.exec();
        });
    }
    // Laid exactly over the client area.
    void Place(QWidget& child) {
        QWidget* client = centralWidget();
        child.setGeometry(QRect(client->mapToGlobal(QPoint(0, 0)), client->size() + QSize(1, 1)));
    }
    QAction* depots = nullptr;
    std::function<void(Child&)> onOpened;
};

void ShowMaximised(MainWindow& frame) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        frame.setGeometry(screen->availableGeometry());
    }
    frame.showMaximized();
    QCoreApplication::processEvents();
    frame.repaint();
}

Child* shownChild = nullptr;

void BM_WheelStepFrame(benchmark::State& state) {
    probe::WheelStepFrames(state, shownChild, shownChild, [] { return 0; });
}
BENCHMARK(BM_WheelStepFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

int Open(QApplication& app, MainWindow& frame) {
    probe::ProcessUntilExposed(frame);
    const long hwmMain = probe::StatusKiB("VmHWM:");
    const long rssMain = probe::StatusKiB("VmRSS:");
    probe::FirstPainting timing;
    frame.onOpened = [&timing](Child& child) {
        child.onPainted = [&timing, &child] { timing.Painted(&child, &child, [&child] { child.accept(); }); };
    };
    QTimer::singleShot(0, &app, [&] {
        timing.start = std::chrono::steady_clock::now();
        frame.depots->trigger();  // returns when the window is closed
        QCoreApplication::exit(0);
    });
    QApplication::exec();
    if (timing.flushedMs < 0) {
        std::fprintf(stderr, "the child window did not paint\n");
        return 1;
    }
    probe::PrintOpening(timing, frame.size(), hwmMain, rssMain, "", "");
    return 0;
}

int Wheel(int argc, char** argv, MainWindow& frame) {
    benchmark::Initialize(&argc, argv);
    probe::ProcessUntilExposed(frame);
    Child child(&frame);
    frame.Place(child);
    child.show();
    probe::ProcessUntilExposed(child);
    shownChild = &child;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    QApplication app(argc, argv);
    MainWindow frame;
    ShowMaximised(frame);
    if (std::strcmp(mode, "startup") == 0) {
        // Queued behind the showing of the window, as ours is.
        QTimer::singleShot(0, &app, [&frame] {
            frame.repaint();
            QCoreApplication::exit(0);
        });
        return QApplication::exec();
    }
    if (std::strcmp(mode, "open") == 0) {
        return Open(app, frame);
    }
    if (std::strcmp(mode, "wheel") == 0) {
        // The benchmark's options follow the mode.
        std::vector<char*> options{argv[0]};
        options.insert(options.end(), argv + 2, argv + argc);
        return Wheel(static_cast<int>(options.size()), options.data(), frame);
    }
    std::fprintf(stderr, "usage: bare_desktop_bench startup | open | wheel [--benchmark_...]\n");
    return 2;
}
