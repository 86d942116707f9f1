// Velumbra: the census of a local public-transport company's structures.
#include <QApplication>

#include "desktop/CensusApp.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velumbra"));
    desktop::CCensusApp::InstallItalian(app);
    desktop::CCensusApp census(QApplication::arguments());
    if (!census.StartUp()) {
        return 1;
    }
    return QApplication::exec();
}
