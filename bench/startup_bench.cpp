// The start-up of the desktop program to its main window, run as the program runs it
// (CCensusApp::Run: the toolkit in Italian, the configuration named by --config, the main window shown
// and the start-up run). The process ends as soon as the main window has been shown and painted;
// bench/processes.py times it whole.
//
//     startup_bench --config FILE
//
// Exit status 0 once the window has been painted, 1 when the start-up ended the program.
#include <QCoreApplication>
#include <QTimer>

#include "desktop/CensusApp.h"

int main(int argc, char* argv[]) {
    return desktop::CCensusApp::Run(argc, argv, [](desktop::CCensusApp& census) {
        // Queued behind the showing of the window: it has been laid out and mapped when this runs.
        QTimer::singleShot(0, qApp, [&census] {
            census.MainFrame().repaint();
            QCoreApplication::exit(0);
        });
    });
}
