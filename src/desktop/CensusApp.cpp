#include "desktop/CensusApp.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace desktop {

CCensusApp::CCensusApp(const QStringList& arguments)
    : configuration_(Configuration::ForProgram(arguments)),
      mainFrame_(std::make_unique<CMainFrame>(configuration_)) {}

CCensusApp::~CCensusApp() = default;

void CCensusApp::InstallItalian(QCoreApplication& app) {
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    auto* translator = new QTranslator(&app);
    // The installed translation where there is one (the system's Qt); else the copy compiled into
    // the program (a static Qt, as on Windows, looks in the folder of the machine that built it).
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (translator->load(QLocale(QLocale::Italian), QStringLiteral("qtbase"), QStringLiteral("_"), folder) ||
        translator->load(QStringLiteral(":/translations/qtbase_it.qm"))) {
        QCoreApplication::installTranslator(translator);
    }
    // What Qt's translation lacks (texts of the print dialog), from the program's own: installed
    // after Qt's, it is asked first.
    auto* own = new QTranslator(&app);
    if (own->load(QStringLiteral(":/translations/velumbra_qt_it.qm"))) {
        QCoreApplication::installTranslator(own);
    }
}

int CCensusApp::Run(int& argc, char** argv, const std::function<void(CCensusApp&)>& started) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velumbra"));
    InstallItalian(app);
    CCensusApp census(QApplication::arguments());
    if (!census.StartUp()) {
        return 1;
    }
    if (started) {
        started(census);
    }
    return QApplication::exec();
}

bool CCensusApp::StartUp() {
    // Maximised; placed over the whole screen too, where no window manager maximises it.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        mainFrame_->setGeometry(screen->availableGeometry());
    }
    mainFrame_->showMaximized();
    // Painted once before the first question of the start-up.
    QCoreApplication::processEvents();
    mainFrame_->repaint();
    return mainFrame_->StartUp();
}

}  // namespace desktop
