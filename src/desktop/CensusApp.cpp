#include "desktop/CensusApp.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace desktop {

CCensusApp::CCensusApp(const QStringList& arguments)
    : configuration_(Configuration::IniPath(arguments)),
      mainFrame_(std::make_unique<CMainFrame>(configuration_)) {}

CCensusApp::~CCensusApp() = default;

void CCensusApp::InstallItalian(QCoreApplication& app) {
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (translator->load(QLocale(QLocale::Italian), QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        QCoreApplication::installTranslator(translator);
    }
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
