// The application: Italian texts for the toolkit too, the main window, and its start-up.
#pragma once

#include <QApplication>
#include <QTranslator>
#include <functional>
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

    // Loads the toolkit's Italian translations (standard buttons, file dialogs, the print dialog).
    static void InstallItalian(QCoreApplication& app);

    // The program as its main runs it: the application named, the toolkit in Italian, the main window
    // shown and the start-up run, then `started` (when given) and the event loop. Returns the exit
    // status: 1 when the start-up ended the program.
    static int Run(int& argc, char** argv, const std::function<void(CCensusApp&)>& started = {});

  private:
    Configuration configuration_;
    std::unique_ptr<CMainFrame> mainFrame_;
};

}  // namespace desktop
