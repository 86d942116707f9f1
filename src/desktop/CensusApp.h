// The application: Italian texts for the toolkit too, the main window, and its start-up.
#pragma once

#include <QApplication>
#include <QTranslator>
#include <memory>

#include "desktop/Configuration.h"
#include "desktop/MainFrame.h"

namespace desktop {

class CCensusApp {
  public:
    // `arguments` are the program's (for --config).
    explicit CCensusApp(const QStringList& arguments);
    ~CCensusApp();

    // Shows the main window and runs the start-up; false when the program must end at once.
    [[nodiscard]] bool StartUp();
    CMainFrame& MainFrame() { return *mainFrame_; }

    // Loads the toolkit's Italian translations (standard buttons, file dialogs).
    static void InstallItalian(QCoreApplication& app);

  private:
    Configuration configuration_;
    std::unique_ptr<CMainFrame> mainFrame_;
};

}  // namespace desktop
