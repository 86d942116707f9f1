// The program's main window: the menu bar built in code, the working company in the title, the
// background picture, the busy clock, and every command of the menus.
#pragma once

#include <QMainWindow>
#include <QMenu>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/Session.h"
#include "desktop/Configuration.h"
#include "desktop/QtPort.h"

namespace desktop {

class CBusyClock;

// Command identifiers of the menu items.
enum Command {
    kFine = 5101,
    kAbout = 5102,
    kCrea = 5103,
    kConnetti = 5104,
    kSconnetti = 5105,
    kRipara = 5106,
    kDuplica = 5107,
    kAzienda = 5108,
    kDepositi = 5109,
    kExport = 5110,
    kImport = 5111,
    kVerifica = 5112,
    kStampa = 5113,
    kStampaPdf = 5114,
    kFoglioCalcolo = 5115,
    kRiepilogo = 5116,
    kRipristina = 5117,
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    explicit CMainFrame(const Configuration& configuration);
    ~CMainFrame() override;

    app::Session& Session() { return session_; }
    QtPort& Port() { return port_; }
    CBusyClock* Clock() const { return clock_; }
    QAction* Action(Command id) const { return actions_.at(id); }

    // Start-up: the configuration is read, a default database offered when none is associated,
    // the associated database opened. False when the program cannot go on.
    bool StartUp();
    // Sets the title from the working company.
    void UpdateTitle();
    // Enables the items of "&Archivi", and "Ripristina Copia…", when a database is open.
    void RefreshMenuStates();
    // The About box's text.
    QString AboutText() const;
    // The operating-system line of the About box.
    static QString OperatingSystemLine();

    void Run(Command id);

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Restored from maximised, moved or resized, the window is kept inside the screen's free area, its
    // frame included.
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void BuildMenus();
    QAction* AddItem(QMenu* menu, const char* label, Command id);
    void ReadConfiguration();
    bool AskForNewDatabase();
    bool CreateDefaultDatabase();
    // The default database's file is there already: use it when it is a census and the person wants
    // it; when it is no census, say so and let the person choose the census to use.
    bool UseFoundDatabase(const std::filesystem::path& path);
    void Connect();
    // "Selezione del Database": the census the window is to work on, or nothing.
    std::optional<std::filesystem::path> ChooseDatabase();
    void KeepInsideScreenSoon();
    void Disconnect();
    void OpenStructureList();
    // "Stampa Censimento" through the print dialog, or straight to a PDF file.
    void PrintCensus(bool toPdfFile);
    void VerifyCensus();
    // "Riepilogo Censimento": the census summed in one reading, in its window.
    void ShowSummary();
    void RefreshWindow();

    const Configuration& configuration_;
    QtPort port_;
    app::Session session_;
    CBusyClock* clock_ = nullptr;
    QMenu* archivi_ = nullptr;
    std::map<Command, QAction*> actions_;
    bool keepingInside_ = false;  // a check of the window's place is due
};

}  // namespace desktop
