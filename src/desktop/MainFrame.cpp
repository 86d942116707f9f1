#include "desktop/MainFrame.h"

#ifndef _WIN32
#include <sys/utsname.h>  // the system line of the About box (OperatingSystemLine), POSIX branch
#endif

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QOperatingSystemVersion>
#include <QPainter>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <algorithm>

#include "app/Maintenance.h"
#include "app/Restore.h"
#include "desktop/BusyClock.h"
#include "desktop/CensusPrint.h"
#include "desktop/DepotListDlg.h"
#include "desktop/QtText.h"
#include "desktop/SummaryDlg.h"
#include "exchange/Clock.h"
#include "exchange/Export.h"
#include "exchange/Import.h"
#include "exchange/Spreadsheet.h"
#include "exchange/Verification.h"
#include "register/Company.h"
#include "schema/Creation.h"

namespace desktop {

namespace {

// The client area: the background picture centred, the rest filled with its top-left pixel's colour.
class Background : public QWidget {
  public:
    explicit Background(QWidget* parent)
        : QWidget(parent), picture_(QStringLiteral(":/pictures/background.png")) {
        setAutoFillBackground(false);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QColor fill = picture_.isNull() ? palette().window().color() : QColor(picture_.pixel(0, 0));
        p.fillRect(rect(), fill);
        p.drawImage((width() - picture_.width()) / 2, (height() - picture_.height()) / 2, picture_);
    }

  private:
    QImage picture_;
};

// The message shown when the configuration cannot be read.
std::string ConfigurationAnomaly() {
    return text::Utf8ToCp1252Lossy(
        "ATTENZIONE: è stata riscontrata una anomalia grave\n"
        "che rende impossibile il corretto funzionamento di\n"
        "questo programma.\n\n"
        "Ipotesi A) Il prodotto non è stato installato nella\n"
        "           maniera corretta, utilizzando Setup.\n\n"
        "Ipotesi B) Il registro di configurazione di Windows\n"
        "           si è corrotto e deve essere ripristinato.\n\n");
}

}  // namespace

CMainFrame::CMainFrame(const Configuration& configuration)
    : configuration_(configuration), port_(this, nullptr), session_(port_) {
    setWindowTitle(QStringLiteral("VELUMBRA"));
    setWindowIcon(QIcon(QStringLiteral(":/pictures/velumbra.png")));
    setCentralWidget(new Background(this));
    BuildMenus();
    clock_ = new CBusyClock(this);
    port_.SetClock(clock_);
}

CMainFrame::~CMainFrame() {
    // The association in force is what the next start finds.
    session_.CloseConnection();
    // The user's own configuration keeps it; where that cannot be written nothing is shown: the window
    // is already closing.
    (void)configuration_.Write(QStringLiteral("Database"), FromPath(session_.Path()));
}

QAction* CMainFrame::AddItem(QMenu* menu, const char* label, Command id) {
    QAction* action = menu->addAction(FromUtf8(label));
    action->setData(static_cast<int>(id));
    connect(action, &QAction::triggered, this, [this, id] { Run(id); });
    actions_[id] = action;
    return action;
}

void CMainFrame::BuildMenus() {
    QMenuBar* bar = menuBar();
    QMenu* database = bar->addMenu(FromUtf8("&Database"));
    AddItem(database, "&Crea", kCrea);
    AddItem(database, "&Connetti", kConnetti);
    AddItem(database, "&Sconnetti", kSconnetti);
    database->addSeparator();
    AddItem(database, "&Ripara", kRipara);
    AddItem(database, "&Duplica", kDuplica);
    AddItem(database, "Ri&pristina Copia…", kRipristina);
    connect(database, &QMenu::aboutToShow, this, &CMainFrame::RefreshMenuStates);
    archivi_ = bar->addMenu(FromUtf8("&Archivi"));
    AddItem(archivi_, "&Azienda", kAzienda);
    AddItem(archivi_, "Archivio &Depositi", kDepositi);
    archivi_->addSeparator();
    AddItem(archivi_, "&Import Comunicazione", kImport);
    AddItem(archivi_, "&Export Comunicazione", kExport);
    AddItem(archivi_, "Esporta per F&oglio di Calcolo", kFoglioCalcolo);
    AddItem(archivi_, "&Verifica Censimento", kVerifica);
    AddItem(archivi_, "&Stampa Censimento", kStampa);
    AddItem(archivi_, "Stampa su &File PDF…", kStampaPdf);
    AddItem(archivi_, "&Riepilogo Censimento", kRiepilogo);
    connect(archivi_, &QMenu::aboutToShow, this, &CMainFrame::RefreshMenuStates);
    // "&Fine" and "&?" are items of the bar itself.
    QAction* fine = bar->addAction(FromUtf8("&Fine"));
    fine->setData(static_cast<int>(kFine));
    connect(fine, &QAction::triggered, this, [this] { Run(kFine); });
    actions_[kFine] = fine;
    QAction* about = bar->addAction(FromUtf8("&?"));
    about->setData(static_cast<int>(kAbout));
    connect(about, &QAction::triggered, this, [this] { Run(kAbout); });
    actions_[kAbout] = about;
    RefreshMenuStates();
}

void CMainFrame::RefreshMenuStates() {
    const bool open = session_.HasOpenDatabase();
    for (Command id : {kAzienda, kDepositi, kImport, kExport, kStampa, kStampaPdf, kVerifica, kFoglioCalcolo,
                       kRiepilogo, kRipristina}) {
        actions_.at(id)->setEnabled(open);
    }
}

void CMainFrame::UpdateTitle() {
    setWindowTitle(FromCp(session_.Title()));
}

void CMainFrame::RefreshWindow() {
    RefreshMenuStates();
    centralWidget()->repaint();
}

namespace {

// The menu's commands show their own failures; the window has nothing to add but a refresh.
constexpr const char* kShownByTheCommand = "shown by the command; the window only refreshes";

}  // namespace

void CMainFrame::Run(Command id) {
    switch (id) {
        case kFine:
            close();
            break;
        case kAbout:
            port_.ShowMessage(ToCpLossy(AboutText()), "", ui::Icon::Information);
            break;
        case kCrea:
            app::CreateDatabaseCommand(port_).Ignore(kShownByTheCommand);
            break;
        case kConnetti:
            Connect();
            break;
        case kSconnetti:
            Disconnect();
            break;
        case kRipara:
            app::RepairDatabaseCommand(port_).Ignore(kShownByTheCommand);
            break;
        case kDuplica:
            app::DuplicateDatabaseCommand(port_).Ignore(kShownByTheCommand);
            break;
        case kRipristina:
            if (session_.HasOpenDatabase()) {
                app::RestoreCensusCopyCommand(session_, exchange::NowAsDateTime).Ignore(kShownByTheCommand);
                UpdateTitle();
                RefreshWindow();
            }
            break;
        case kAzienda:
            if (session_.HasOpenDatabase()) {
                reg::SelectCompany(session_).Ignore(kShownByTheCommand);
                UpdateTitle();
            }
            break;
        case kDepositi:
            if (session_.HasOpenDatabase()) {
                OpenStructureList();
            }
            break;
        case kExport:
            if (session_.HasOpenDatabase()) {
                exchange::ExportCommunication(session_).Ignore(kShownByTheCommand);
            }
            break;
        case kImport:
            if (session_.HasOpenDatabase()) {
                exchange::ImportCommunication(session_).Ignore(kShownByTheCommand);
            }
            break;
        case kStampa:
        case kStampaPdf:
            if (session_.HasOpenDatabase()) {
                PrintCensus(id == kStampaPdf);
            }
            break;
        case kVerifica:
            if (session_.HasOpenDatabase()) {
                VerifyCensus();
            }
            break;
        case kFoglioCalcolo:
            if (session_.HasOpenDatabase()) {
                exchange::ExportSpreadsheet(session_).Ignore(kShownByTheCommand);
            }
            break;
        case kRiepilogo:
            if (session_.HasOpenDatabase()) {
                ShowSummary();
            }
            break;
    }
    RefreshMenuStates();
}

std::optional<std::filesystem::path> CMainFrame::ChooseDatabase() {
    ui::FileQuestion question =
        app::DatabaseFileQuestion(ui::FileKind::DatabaseToConnect, false, "Selezione del Database");
    question.dialog.besideFile = session_.Path();
    return port_.ChooseFile(question);
}

void CMainFrame::Connect() {
    const auto path = ChooseDatabase();
    if (!path) {
        return;
    }
    session_.CloseConnection();
    session_.SetPath(*path);
    session_.OpenAssociatedDatabase().Ignore("a file that cannot be opened is forgotten; the title tells");
    UpdateTitle();
    RefreshWindow();
}

void CMainFrame::PrintCensus(bool toPdfFile) {
    std::optional<reg::CDepotRowList> rows = reg::LoadRows(*session_.Connection());
    if (!rows) {
        return;  // the failure is shown
    }
    const CCensusPrint print(*rows, PageHeading(session_.Title()), PageDate());
    const PrintRequest request{QStringLiteral("Stampa Censimento"), QStringLiteral("il censimento"),
                               QStringLiteral("Censimento.pdf"), print.Job()};
    // A failure is said by the printing itself.
    (void)(toPdfFile ? PrintToPdfFile(port_, request) : PrintThroughDialog(this, port_, request));
}

void CMainFrame::ShowSummary() {
    exchange::CensusSummary summary;
    if (!exchange::SummariseCensus(*session_.Connection(), summary)) {
        return;  // the failure is shown
    }
    CSummaryDlg dialog(this, port_, summary, PageHeading(session_.Title()), PageDate());
    dialog.exec();
}

void CMainFrame::OpenStructureList() {
    desktop::OpenStructureList(session_, this);
}

void CMainFrame::VerifyCensus() {
    exchange::Verification verification;
    // Once the structure chosen has been mended in the list, the check runs again: the window shows
    // what is left, at the entry chosen last.
    for (;;) {
        exchange::VerifyCensus(session_, verification).Ignore("the window or the message has told");
        if (!verification.chosen || !session_.HasOpenDatabase()) {
            return;
        }
        desktop::OpenStructureList(session_, this, verification.chosen);
    }
}

void CMainFrame::Disconnect() {
    if (port_.Confirm({ui::ConfirmationKind::Disconnect,
                       "Confermi sconnessione database ?",
                       "Sconnessione Database",
                       {}})) {
        session_.CloseConnection();
        session_.SetPath({});
        UpdateTitle();
    }
    RefreshWindow();
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    KeepInsideScreenSoon();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    KeepInsideScreenSoon();
}

void CMainFrame::KeepInsideScreenSoon() {
    if (keepingInside_ || isMaximized() || isFullScreen() || isMinimized() || !isVisible()) {
        return;
    }
    keepingInside_ = true;
    // Once the window manager has put the window in place, with its frame.
    QTimer::singleShot(0, this, [this] {
        keepingInside_ = false;
        const QScreen* shown = screen();
        if (!shown || isMaximized() || isFullScreen() || isMinimized()) {
            return;
        }
        const QRect room = shown->availableGeometry();
        const QRect frame = frameGeometry();
        if (room.contains(frame)) {
            return;
        }
        const QSize margins = frame.size() - size();
        const QSize inner(std::min(width(), room.width() - margins.width()),
                          std::min(height(), room.height() - margins.height()));
        resize(inner);
        const QSize outer = inner + margins;
        move(std::clamp(frame.left(), room.left(), room.right() + 1 - outer.width()),
             std::clamp(frame.top(), room.top(), room.bottom() + 1 - outer.height()));
    });
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (port_.Confirm({ui::ConfirmationKind::Exit,
                       "E' stata richiesta l'uscita da VELUMBRA.\n\nIntendi veramente uscire dal programma ?",
                       "",
                       {}})) {
        event->accept();
    } else {
        event->ignore();
    }
}

QString CMainFrame::OperatingSystemLine() {
#ifdef Q_OS_WIN
    const QOperatingSystemVersion v = QOperatingSystemVersion::current();
    return QStringLiteral("Windows NT (Rel. %1.%2) Build %3 ")
        .arg(v.majorVersion())
        .arg(v.minorVersion(), 2, 10, QLatin1Char('0'))
        .arg(v.microVersion());
#else
    // The shape of the last form, with the platform's own name: kernel release and distribution.
    utsname system{};
    uname(&system);
    const QStringList release = QString::fromLocal8Bit(system.release).split(QRegularExpression("[^0-9]+"));
    const auto part = [&](int i) { return i < release.size() ? release[i].toInt() : 0; };
    QString distribution;
    QSettings osRelease(QStringLiteral("/etc/os-release"), QSettings::IniFormat);
    const QString name = osRelease.value(QStringLiteral("NAME")).toString();
    const QString version = osRelease.value(QStringLiteral("VERSION_ID")).toString();
    distribution = (name + " " + version).trimmed();
    if (distribution.isEmpty()) {
        distribution = QSysInfo::prettyProductName();
    }
    return QStringLiteral("%1 (Rel. %2.%3) Build %4 %5")
        .arg(QString::fromLocal8Bit(system.sysname))
        .arg(part(0))
        .arg(part(1), 2, 10, QLatin1Char('0'))
        .arg(part(2))
        .arg(distribution);
#endif
}

QString CMainFrame::AboutText() const {
    return FromUtf8("INFORMAZIONI SUL PROGRAMMA\n\n") + FromUtf8("VELUMBRA - \"Censimento Velumbra\"\n") +
           FromUtf8(
               "Realizzato dal gruppo di sviluppo Velumbra per le aziende di trasporto pubblico locale.\n"
               "Uso consentito alle aziende per la comunicazione del censimento delle strutture\n"
               "all'Osservatorio Trasporti Regionale.\n\n") +
           FromUtf8("Sistema operativo ") + OperatingSystemLine() + FromUtf8("\n\nDatabase: ") +
           (session_.Path().empty() ? FromUtf8("Nessuno") : FromPath(session_.Path()));
}

void CMainFrame::ReadConfiguration() {
    if (!configuration_.Exists()) {
        port_.ShowMessage(ConfigurationAnomaly(), "", ui::Icon::Stop);
        return;
    }
    if (const auto database = configuration_.Read(QStringLiteral("Database"))) {
        session_.SetPath(ToPath(*database));
    }
}

bool CMainFrame::AskForNewDatabase() {
    const bool create =
        port_.Confirm({ui::ConfirmationKind::CreateFirstDatabase,
                       text::Utf8ToCp1252Lossy("L'applicazione Velumbra non è associata ad un database.\n\n"
                                               "Prima di iniziare ad operare con Velumbra è necessario\n"
                                               "creare un database vuoto oppure occorre associare un\n"
                                               "database già esistente.\n\n"
                                               "Intendi procedere alla creazione di un nuovo database ?"),
                       "",
                       {}});
    return create ? CreateDefaultDatabase() : true;
}

bool CMainFrame::CreateDefaultDatabase() {
    if (!configuration_.Exists()) {
        port_.ShowMessage(ConfigurationAnomaly(), "", ui::Icon::Stop);
    }
    // Value Directory, or the user's own data folder where that is missing or cannot be written.
    const std::filesystem::path path = ToPath(configuration_.DatabaseFolder()) / "VELUMBRA.MDB";
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        return UseFoundDatabase(path);
    }
    if (!schema::CreateCensusDatabase(port_, path, "")) {
        return false;  // nothing was created: there is no database to go on with
    }
    session_.SetPath(path);
    return true;
}

bool CMainFrame::UseFoundDatabase(const std::filesystem::path& path) {
    const std::string shown = engine::files::ShownPath(path);
    if (app::IsCensusAt(path)) {
        if (port_.Confirm({ui::ConfirmationKind::UseFoundDatabase,
                           "Il database " + shown +
                               text::Utf8ToCp1252Lossy(" esiste già.\n\n"
                                                       "Intendi associarlo all'applicazione Velumbra ?"),
                           "",
                           {}})) {
            session_.SetPath(path);
        }
        return true;  // declined, the program runs without a database, as when no creation is wanted
    }
    port_.ShowMessage("Il file " + shown +
                          text::Utf8ToCp1252Lossy(" esiste già e non è un database di Velumbra.\n\n"
                                                  "Scegli il database da associare all'applicazione."),
                      "", ui::Icon::Exclamation);
    if (const auto chosen = ChooseDatabase()) {
        session_.SetPath(*chosen);
    }
    return true;
}

bool CMainFrame::StartUp() {
    setWindowTitle(FromCp(app::kProgramTitle));
    ReadConfiguration();
    if (session_.Path().empty() && !AskForNewDatabase()) {
        port_.ShowMessage(text::Utf8ToCp1252Lossy("Non è stato possibile associare un database valido.\n\n"
                                                  "Non è pertanto possibile procedere oltre !!!\n\n"),
                          "", ui::Icon::Stop);
        return false;
    }
    // A database that cannot be opened is forgotten and the program runs without one.
    session_.OpenAssociatedDatabase().Ignore("the window runs on with or without a database");
    UpdateTitle();
    RefreshMenuStates();
    return true;
}

}  // namespace desktop
