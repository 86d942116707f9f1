// Velumbra: the census of a local public-transport company's structures.
#include <QApplication>
#include <QTimer>

#include "desktop/CensusApp.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velumbra"));
    desktop::CCensusApp::InstallItalian(app);
    desktop::CCensusApp census(QApplication::arguments());
    if (!census.StartUp()) {
        return 1;
    }
    // For the start-up measurement: end as soon as the window has been shown and painted.
    if (QApplication::arguments().contains(QStringLiteral("--exit-when-shown"))) {
        QTimer::singleShot(0, &app, [&census] {
            census.MainFrame().repaint();
            QCoreApplication::exit(0);
        });
    }
    const int result = QApplication::exec();
    return result;
}
