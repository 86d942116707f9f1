// Opening the structure list as a person does: the desktop program put together as main.cpp does (Italian
// texts, the configuration, the main window shown maximised), then the menu command "Archivio Depositi"
// on the associated census. One opening per process, timed inside the process from the command to the
// end of the grid's first painting, and to the return to the event loop once that painting has been
// flushed to the display. The process's peak memory is read with the empty main window shown and again
// with the list painted.
//
//     list_window_bench --config INI
//
// The time to the last row read is told too.
//
// Prints one line: painted_ms=… flushed_ms=… read_whole_ms=… visible_rows=… main=WxH list=WxH grid=WxH
// hwm_main_kib=… hwm_list_kib=… rss_main_kib=… rss_list_kib=…; exit status 0 when the list opened and
// painted. Run it on a real display (xcb, 1920 x 1080): bench/run starts an Xvfb for it.
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <cstdio>
#include <string>

#include "desktop/CensusApp.h"
#include "desktop/DepotGrid.h"
#include "desktop/DepotListDlg.h"
#include "desktop_probe.h"

namespace {

// Catches the first painting of a census grid's viewport after the command. The application's filter
// sees the paint event before the grid does; the grid's own "painted" callback, wrapped here, tells
// when its painting is complete.
class FirstGridPaint : public QObject {
  public:
    bool armed = false;
    probe::FirstPainting timing;
    QSize gridSize;
    int visibleRows = 0;
    bool flushed = false;
    double readWholeMs = -1;  // when the last row was read

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (!armed || event->type() != QEvent::Paint) {
            return false;
        }
        auto* grid = object->parent() ? qobject_cast<desktop::CDepotGrid*>(object->parent()) : nullptr;
        if (!grid || grid->viewport() != object) {
            return false;
        }
        armed = false;
        auto* window = qobject_cast<desktop::CDepotListDlg*>(grid->window());
        const auto close = [this, window] {
            if (flushed && readWholeMs >= 0 && window) {
                window->accept();  // closed as "Fine" does
            }
        };
        if (window) {
            window->onWholeListRead = [this, close] {
                readWholeMs = probe::MsSince(timing.start);
                close();
            };
        }
        grid->onPainted = [this, grid, close, original = grid->onPainted] {
            if (original) {
                original();
            }
            timing.Painted(this, grid->window(), [this, grid, close] {
                gridSize = grid->viewport()->size();
                visibleRows = grid->VisibleRows();
                flushed = true;
                auto* dialog = qobject_cast<desktop::CDepotListDlg*>(grid->window());
                if (readWholeMs < 0 && dialog && dialog->AllRowsRead()) {
                    readWholeMs = timing.paintedMs;  // read whole before the first painting
                }
                close();
            });
        };
        return false;
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velumbra"));
    desktop::CCensusApp::InstallItalian(app);
    desktop::CCensusApp census(QApplication::arguments());
    if (!census.StartUp()) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    desktop::CMainFrame& frame = census.MainFrame();
    if (!frame.Session().HasOpenDatabase()) {
        std::fprintf(stderr, "the census database did not open\n");
        return 1;
    }
    // The empty main window, exposed and painted, and left to settle.
    probe::ProcessUntilExposed(frame);
    const long hwmMain = probe::StatusKiB("VmHWM:");
    const long rssMain = probe::StatusKiB("VmRSS:");

    FirstGridPaint probe;
    app.installEventFilter(&probe);
    QTimer::singleShot(0, &app, [&] {
        probe.armed = true;
        probe.timing.start = std::chrono::steady_clock::now();
        frame.Action(desktop::kDepositi)->trigger();  // returns when the window is closed
        QCoreApplication::exit(0);
    });
    // A list that never paints ends the run after a minute.
    QTimer::singleShot(60000, &app, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->reject();
        }
        QCoreApplication::exit(1);
    });
    QApplication::exec();
    const probe::FirstPainting& t = probe.timing;
    if (t.flushedMs < 0) {
        std::fprintf(stderr, "the structure list did not paint\n");
        return 1;
    }
    char readWhole[48];
    std::snprintf(readWhole, sizeof readWhole, "read_whole_ms=%.2f ", probe.readWholeMs);
    probe::PrintOpening(t, frame.size(), hwmMain, rssMain,
                        readWhole + std::string("visible_rows=") + std::to_string(probe.visibleRows) + " ",
                        "grid=" + std::to_string(probe.gridSize.width()) + "x" +
                            std::to_string(probe.gridSize.height()) + " ");
    return 0;
}
