#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "GuiTestMain.h"
#include "ModalScript.h"
#include "db/DbTable.h"
#include "desktop/BusyClock.h"
#include "desktop/CensusApp.h"
#include "desktop/CensusPrint.h"
#include "desktop/CompanyDlg.h"
#include "desktop/ExportDlg.h"
#include "desktop/FileDialog.h"
#include "desktop/QtPort.h"
#include "desktop/QtText.h"
#include "exchange/Export.h"
#include "exchange/Import.h"
#include "schema/Creation.h"
#include "ui/ScriptedPort.h"

using desktop::CMainFrame;
using desktop::Command;

namespace {

// Waits until the script has answered everything (the command under test runs meanwhile).
void Finish(ModalScript& script) {
    QTRY_VERIFY_WITH_TIMEOUT(script.Done(), 20000);
    QVERIFY2(script.failures.empty(), qPrintable(script.failures.join("; ")));
}

// A configuration file with the given values.
QString WriteConfig(const QTemporaryDir& dir, const QString& database) {
    const QString path = dir.filePath("velumbra.ini");
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue("Directory", dir.path());
    if (!database.isEmpty()) {
        settings.setValue("Database", database);
    }
    settings.sync();
    return path;
}

// Counts the paintings of the widget it watches.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(int& count) : count_(count) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count_;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    int& count_;
};

// The printers the program finds while it lives: some, or none.
class InstalledPrinters {
  public:
    explicit InstalledPrinters(bool some)
        : replaced_(desktop::SetPrinterCheck(some ? +[] { return true; } : +[] { return false; })) {}
    ~InstalledPrinters() { desktop::SetPrinterCheck(replaced_); }

  private:
    desktop::PrinterCheck replaced_;
};

// A menu item chosen as the clerk chooses it: from the program's event loop, where a command's busy state
// outlasts the loops of its message boxes.
void Choose(QAction* item) {
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        item->trigger();
        loop.quit();
    });
    loop.exec();
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT
    QTemporaryDir templateDir;
    QString templatePath;

  private slots:
    void init() { FreshUserConfig(); }

    void initTestCase() {
        QVERIFY(templateDir.isValid());
        ui::ScriptedPort port;
        templatePath = templateDir.filePath("template.mdb");
        QVERIFY(schema::CreateCensusDatabase(port, templatePath.toStdString(), ""));
    }

    // A copy of a complete database, associated in the configuration.
    QString Copy(const QTemporaryDir& dir) {
        const QString path = dir.filePath("VELUMBRA.MDB");
        QFile::copy(templatePath, path);
        return path;
    }

    void menusFollowTheDatabase() {
        QTemporaryDir dir;
        const QString config = WriteConfig(dir, Copy(dir));
        desktop::CCensusApp app({"velumbra", "--config", config});
        QVERIFY(app.StartUp());
        CMainFrame& frame = app.MainFrame();
        for (Command id : {desktop::kAzienda, desktop::kDepositi, desktop::kImport, desktop::kExport,
                           desktop::kStampa, desktop::kStampaPdf, desktop::kVerifica, desktop::kRipristina}) {
            QVERIFY(frame.Action(id)->isEnabled());
        }
        QCOMPARE(frame.windowTitle(), QString("VELUMBRA - Azienda 0 *** azienda non assegnata ***"));
        ModalScript script;
        script.Message(QMessageBox::Ok);  // confirm the disconnection
        frame.Run(desktop::kSconnetti);
        Finish(script);
        QCOMPARE(script.messages[0].text, QString("Confermi sconnessione database ?"));
        QCOMPARE(script.messages[0].title, QString("Sconnessione Database"));
        QCOMPARE(script.messages[0].icon, QMessageBox::Question);
        for (Command id : {desktop::kAzienda, desktop::kDepositi, desktop::kImport, desktop::kExport,
                           desktop::kStampa, desktop::kStampaPdf, desktop::kVerifica, desktop::kRipristina}) {
            QVERIFY(!frame.Action(id)->isEnabled());
        }
        for (Command id : {desktop::kCrea, desktop::kConnetti, desktop::kSconnetti, desktop::kRipara,
                           desktop::kDuplica, desktop::kFine, desktop::kAbout}) {
            QVERIFY(frame.Action(id)->isEnabled());
        }
        QCOMPARE(frame.windowTitle(), QString("VELUMBRA - \"Censimento Velumbra\""));
        // The About box names no database.
        ModalScript about;
        about.Message();
        frame.Run(desktop::kAbout);
        Finish(about);
        QVERIFY(about.messages[0].text.startsWith(
            "INFORMAZIONI SUL PROGRAMMA\n\nVELUMBRA - \"Censimento Velumbra\"\n"));
#ifdef Q_OS_WIN
        QVERIFY(about.messages[0].text.contains("\nSistema operativo Windows NT (Rel. "));
#else
        QVERIFY(about.messages[0].text.contains("\nSistema operativo Linux (Rel. "));
#endif
        QVERIFY(about.messages[0].text.endsWith("\n\nDatabase: Nessuno"));
        QCOMPARE(about.messages[0].icon, QMessageBox::Information);
        QCOMPARE(about.messages[0].title, QString("Velumbra"));
    }

    // A path with a comma and letters Windows-1252 lacks, written into the file by hand without quotes,
    // is read as the text it is, and is still what the configuration gives after the exit.
    void aDatabasePathWithACommaIsReadWhole() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("Dati, 2026 Ștefan ő"));
        const QString database = dir.filePath("Dati, 2026 Ștefan ő/VELUMBRA.MDB");
        QVERIFY(QFile::copy(templatePath, database));
        const QString config = dir.filePath("velumbra.ini");
        {
            QFile file(config);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
            file.write(("[General]\nDirectory=" + dir.path() + "\nDatabase=" + database + "\n").toUtf8());
        }
        {
            desktop::CCensusApp app({"velumbra", "--config", config});
            QVERIFY(app.StartUp());
            QCOMPARE(desktop::FromPath(app.MainFrame().Session().Path()), database);
            QVERIFY(app.MainFrame().Session().HasOpenDatabase());
        }
        QCOMPARE(desktop::Configuration(config).Read("Database"), std::optional<QString>(database));
    }

    // The menus as the clerk reads them: labels, order and separators.
    void theMenusReadInOrder() {
        QTemporaryDir dir;
        desktop::CCensusApp app({"velumbra", "--config", WriteConfig(dir, Copy(dir))});
        QVERIFY(app.StartUp());
        const auto labels = [](const QList<QAction*>& actions) {
            QStringList out;
            for (QAction* a : actions) {
                out << (a->isSeparator() ? QString("--") : a->text());
            }
            return out;
        };
        QMenuBar* bar = app.MainFrame().menuBar();
        QCOMPARE(labels(bar->actions()), QStringList({"&Database", "&Archivi", "&Fine", "&?"}));
        QCOMPARE(labels(bar->actions()[0]->menu()->actions()),
                 QStringList({"&Crea", "&Connetti", "&Sconnetti", "--", "&Ripara", "&Duplica",
                              "Ri&pristina Copia…"}));
        QCOMPARE(
            labels(bar->actions()[1]->menu()->actions()),
            QStringList({"&Azienda", "Archivio &Depositi", "--", "&Import Comunicazione",
                         "&Export Comunicazione", "Esporta per F&oglio di Calcolo", "&Verifica Censimento",
                         "&Stampa Censimento", "Stampa su &File PDF…", "&Riepilogo Censimento"}));
        QVERIFY(!bar->actions()[2]->menu());  // commands of the bar itself
        QVERIFY(!bar->actions()[3]->menu());
    }

    // Each line of a message is shown as one line, however wide: Qt's own box would re-wrap the About
    // box's lines at about 500 pixels.
    void messageLinesAreNotRewrapped() {
        QTemporaryDir dir;
        desktop::CCensusApp app({"velumbra", "--config", WriteConfig(dir, Copy(dir))});
        QVERIFY(app.StartUp());
        ModalScript script;
        int widest = 0;
        script.Then([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            // The box is closed whatever the checks find: a failed one must not leave it waiting.
            const auto check = [&] {
                QVERIFY(box);
                auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
                QVERIFY(label);
                const QStringList lines = box->text().split('\n');
                for (const QString& line : lines) {
                    widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
                }
                QVERIFY(!label->wordWrap());
                QVERIFY2(label->contentsRect().width() >= widest,
                         qPrintable(QString("%1 < %2").arg(label->contentsRect().width()).arg(widest)));
                QVERIFY(label->height() < (lines.size() + 1) * label->fontMetrics().lineSpacing());
                QVERIFY(box->geometry().right() > label->geometry().right());
            };
            check();
            w->close();
        });
        app.MainFrame().Run(desktop::kAbout);
        Finish(script);
        QVERIFY(widest > 500);  // a line Qt's own box would have broken
    }

    // A line wider than the screen is the one thing still wrapped: the box stays on the screen.
    void aLineWiderThanTheScreenIsWrapped() {
        QWidget owner;
        desktop::QtPort port(&owner, nullptr);
        const std::string path =
            "/" + std::string(40, 'x') + "/" + std::string(60, 'y') + "/" + std::string(60, 'z');
        ModalScript script;
        script.Then([](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            QVERIFY(box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->wordWrap());
            QVERIFY(box->width() <= box->screen()->availableGeometry().width());
            box->button(QMessageBox::Ok)->click();
        });
        port.ShowMessage("Il file " + path + path + " non esiste.", "Velumbra", ui::Icon::Stop);
        Finish(script);
    }

    // A command's busy state gives way to every question it asks and ends with the command; work the
    // person starts from a question's window is busy again.
    void theBusyStateGivesWayToTheQuestions() {
        QWidget owner;
        desktop::QtPort port(&owner, nullptr);
        const auto waiting = [] {
            return QApplication::overrideCursor() &&
                   QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        };
        {
            const ui::BusyScope busy(port, true);
            QVERIFY(waiting());
            bool busyFromTheBox = false;
            ModalScript script;
            script.Message().Then([&](QWidget* w) {
                {
                    const ui::BusyScope printing(port, true);
                    busyFromTheBox = waiting();
                }
                qobject_cast<QMessageBox*>(w)->button(QMessageBox::Cancel)->click();
            });
            port.ShowMessage("Fatto.", "", ui::Icon::Information);
            QVERIFY(!port.Confirm({ui::ConfirmationKind::Exit, "Uscire?", "", {}}));
            Finish(script);
            QCOMPARE(script.messages.size(), std::size_t(1));
            QVERIFY(!script.messages[0].waitCursor);
            QVERIFY(busyFromTheBox);
            QVERIFY(waiting());  // the work goes on
        }
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // Long work runs aside: the timers keep running and the windows painting, what the person types or
    // clicks meanwhile is let go, and the work's own calls to keep responsive do nothing off the GUI thread.
    void longWorkLeavesTheWindowsAlive() {
        QWidget owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        desktop::QtPort port(&owner, nullptr);
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(20);
        int keys = 0;
        struct KeyCounter : QObject {
            int& keys;
            explicit KeyCounter(int& k) : keys(k) {}
            bool eventFilter(QObject*, QEvent* e) override {
                keys += e->type() == QEvent::KeyPress;
                return false;
            }
        } counter(keys);
        owner.installEventFilter(&counter);
        QTimer::singleShot(100, &owner, [&owner] {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(&owner, &press);
            QCloseEvent close;
            QApplication::sendEvent(&owner, &close);
        });
        Qt::HANDLE worker = nullptr;
        port.RunAside([&] {
            worker = QThread::currentThreadId();
            port.KeepResponsive();
            QThread::msleep(600);
        });
        QVERIFY(worker != QThread::currentThreadId());
        QVERIFY2(ticks >= 15, qPrintable(QString::number(ticks)));
        QCOMPARE(keys, 0);
        QVERIFY(owner.isVisible());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, port.RunAside([] { throw std::runtime_error("x"); }));
    }

    // A file dialog opens beside the census until a file of its kind has been chosen, then where that was.
    void theFileDialogsOpenBesideTheCensus() {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("altrove");
        QWidget owner;
        desktop::QtPort port(&owner, nullptr);
        const auto ask = [&port, &dir](ui::FileKind kind) {
            ui::FileQuestion question = ui::MakeFileQuestion(kind, false, "Scelta", "", "TXT", "");
            question.dialog.besideFile = desktop::ToPath(dir.filePath("VELUMBRA.MDB"));
            return port.ChooseFile(question);
        };
        const QString other = dir.filePath("altrove/in.txt");
        QFile(other).open(QIODevice::WriteOnly);
        QStringList opened;
        ModalScript script;
        const auto note = [&opened](QWidget* w, const QString& choose) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            QVERIFY(dialog);
            opened << dialog->directory().absolutePath();
            if (choose.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(choose);
                static_cast<QDialog*>(dialog)->accept();
            }
        };
        script.Then([&](QWidget* w) { note(w, other); })
            .Then([&](QWidget* w) { note(w, ""); })
            .Then([&](QWidget* w) { note(w, ""); });
        QCOMPARE(ask(ui::FileKind::Acquisition),
                 std::optional<std::string>(QDir::toNativeSeparators(other).toStdString()));
        QCOMPARE(ask(ui::FileKind::Acquisition), std::nullopt);
        QCOMPARE(ask(ui::FileKind::Report), std::nullopt);
        Finish(script);
        QCOMPARE(opened,
                 QStringList({QDir(dir.path()).absolutePath(), QDir(dir.filePath("altrove")).absolutePath(),
                              QDir(dir.path()).absolutePath()}));
    }

    // A window not maximised that would reach past the screen's free area is brought back inside it.
    void aRestoredWindowFitsTheScreen() {
        QTemporaryDir dir;
        const QString config = WriteConfig(dir, Copy(dir));
        desktop::CCensusApp app({"velumbra", "--config", config});
        QVERIFY(app.StartUp());
        CMainFrame& frame = app.MainFrame();
        frame.showNormal();
        const QRect room = frame.screen()->availableGeometry();
        frame.setGeometry(room.adjusted(-40, -30, 200, 100));
        QTRY_VERIFY(room.contains(frame.frameGeometry()));
        QVERIFY(frame.width() > room.width() / 2);
    }

    // While a long repair runs the busy clock is painted again and again: the screen never freezes.
    void theClockTicksWhileARepairRuns() {
        QTemporaryDir dir;
        const QString other = dir.filePath("ALTRO.MDB");
        QVERIFY(QFile::copy(templatePath, other));
        {
            ui::ScriptedPort port;
            app::Session session(port);
            session.SetPath(other.toStdString());
            QVERIFY(session.OpenAssociatedDatabase());
            exchange::CStructureRecordList list{12, "06/12/2026", {}};
            for (int i = 0; i < 1000; ++i) {
                census::Structure r;
                r.ubicaz = "VIA ROMA " + std::to_string(i);
                r.local = "CENTRO";
                r.comune = 1 + i % 50;
                r.provin = "FI";
                r.scoPro = "COMUNE";
                r.scoTit = "A";
                r.copPro = " ";
                r.copTit = " ";
                list.records.push_back(r);
            }
            int counter = 0;
            db::CDbTransaction transaction(*session.Connection());
            QVERIFY(exchange::StoreStructures(*session.Connection(), list, counter));
            QVERIFY(transaction.Commit());
        }
        {
            // A page in the middle of the structures overwritten: the whole file is recovered.
            QFile file(other);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(file.size() / 2 / 4096 * 4096));
            QCOMPARE(file.write(QByteArray(4096, '\x5A')), qint64(4096));
        }
        desktop::CCensusApp app({"velumbra", "--config", WriteConfig(dir, Copy(dir))});
        QVERIFY(app.StartUp());
        desktop::CBusyClock* clock = app.MainFrame().Clock();
        clock->SetTickInterval(5);
        int paints = 0;
        PaintCounter counter(paints);
        clock->installEventFilter(&counter);
        ModalScript script;
        script.File(other).Then([&](QWidget* w) {
            clock->removeEventFilter(&counter);  // the work is done: the message about it
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            QVERIFY(box->text().startsWith("Il database era danneggiato"));
            box->button(QMessageBox::Ok)->click();
        });
        QElapsedTimer took;
        took.start();
        app.MainFrame().Run(desktop::kRipara);
        Finish(script);
        qInfo() << "repair" << took.elapsed() << "ms," << paints << "paintings of the clock";
        // At least once every 300 ms of the work, three times at most asked (a fast machine repairs
        // the small file in well under a second).
        const qint64 expected = std::clamp<qint64>(took.elapsed() / 300, 1, 3);
        QVERIFY2(paints >= expected, qPrintable(QString("%1 < %2").arg(paints).arg(expected)));
    }

    // Where the default database cannot be made, the program says so and ends: Directory names no
    // folder, and the user's own data folder cannot be made (its parent is a file).
    void startingWithoutADatabaseEnds() {
#ifdef Q_OS_WIN
        QSKIP("the user's data folder is the system's own here");
#endif
        QTemporaryDir dir;
        const QString config = dir.filePath("velumbra.ini");
        {
            QSettings settings(config, QSettings::IniFormat);
            settings.setValue("Directory", dir.filePath("non-esiste"));
        }
        QFile blocker(dir.filePath("dati"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", blocker.fileName().toUtf8());
        const auto restore = qScopeGuard([&dataHome] {
            dataHome.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", dataHome);
        });
        desktop::CCensusApp app({"velumbra", "--config", config});
        ModalScript script;
        // Create it: the folder is not there (the engine's and the creation's messages), then the end.
        script.Message(QMessageBox::Ok).Message().Message().Message();
        QVERIFY(!app.StartUp());
        Finish(script);
        for (int i : {1, 2}) {
            QVERIFY(
                script.messages[i].text.startsWith("Errore durante la creazione del database " +
                                                   QDir::toNativeSeparators(dir.filePath("dati/velumbra")) +
                                                   QDir::separator() + "VELUMBRA.MDB"));
            QCOMPARE(script.messages[i].title, QString("Creazione database"));
            QCOMPARE(script.messages[i].icon, QMessageBox::Warning);
        }
        QCOMPARE(script.messages.size(), std::size_t(4));
        QCOMPARE(script.messages[3].text, QString("Non è stato possibile associare un database valido.\n\n"
                                                  "Non è pertanto possibile procedere oltre !!!\n\n"));
        QCOMPARE(script.messages[3].title, QString("Velumbra"));
        QCOMPARE(script.messages[3].icon, QMessageBox::Critical);
        QVERIFY(!app.MainFrame().Session().HasOpenDatabase());
    }

    // A first start that finds the default file there already: a census is offered for use (declined,
    // the program runs without one); another file is said to be none, and a census may be chosen.
    void aFirstStartUsesTheCensusItFinds() {
        QTemporaryDir dir;
        // A configuration naming no database: the exit remembers the one chosen.
        const auto fresh = [&dir] {
            FreshUserConfig();
            QFile::remove(dir.filePath("velumbra.ini"));
            return WriteConfig(dir, QString());
        };
        QString config;
        const QString found = dir.filePath("VELUMBRA.MDB");
        const QString shown = QDir::toNativeSeparators(found);
        QVERIFY(QFile::copy(templatePath, found));
        for (const auto answer : {QMessageBox::Ok, QMessageBox::Cancel}) {
            config = fresh();
            desktop::CCensusApp app({"velumbra", "--config", config});
            ModalScript script;
            script.Message(QMessageBox::Ok).Message(answer);
            QVERIFY(app.StartUp());
            Finish(script);
            QCOMPARE(script.messages.size(), std::size_t(2));
            QCOMPARE(
                script.messages[1].text,
                "Il database " + shown + " esiste già.\n\nIntendi associarlo all'applicazione Velumbra ?");
            QCOMPARE(script.messages[1].title, QString("Velumbra"));
            QCOMPARE(script.messages[1].icon, QMessageBox::Question);
            QCOMPARE(app.MainFrame().Session().HasOpenDatabase(), answer == QMessageBox::Ok);
        }

        QFile::remove(found);
        config = fresh();
        QFile junk(found);
        QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write("non un censimento") > 0);
        junk.close();
        desktop::CCensusApp app({"velumbra", "--config", config});
        ModalScript script;
        script.Message(QMessageBox::Ok).Message().Then([](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QString("Selezione del Database"));
            dialog->reject();
        });
        QVERIFY(app.StartUp());
        Finish(script);
        QCOMPARE(script.messages[1].text, "Il file " + shown +
                                              " esiste già e non è un database di Velumbra.\n\n"
                                              "Scegli il database da associare all'applicazione.");
        QCOMPARE(script.messages[1].icon, QMessageBox::Warning);
        QVERIFY(!app.MainFrame().Session().HasOpenDatabase());
        QVERIFY(QFileInfo(found).size() > 0);  // left as it was
    }

    // The database made at the first start is the one the next start opens, with no question.
    void theDatabaseIsRememberedAtTheNextStart() {
        QTemporaryDir dir;
        const QString config = WriteConfig(dir, QString());
        {
            desktop::CCensusApp app({"velumbra", "--config", config});
            ModalScript script;
            script.Message(QMessageBox::Ok).Message();
            QVERIFY(app.StartUp());
            Finish(script);
        }
        QCOMPARE(QSettings(config, QSettings::IniFormat).value("Database").toString(), QString());
        QCOMPARE(QSettings(desktop::Configuration::UserIniPath(), QSettings::IniFormat)
                     .value("Database")
                     .toString(),
                 QDir::toNativeSeparators(dir.filePath("VELUMBRA.MDB")));
        desktop::CCensusApp again({"velumbra", "--config", config});
        QVERIFY(again.StartUp());
        QVERIFY(again.MainFrame().Session().HasOpenDatabase());
        QCOMPARE(desktop::FromPath(again.MainFrame().Session().Path()),
                 QDir::toNativeSeparators(dir.filePath("VELUMBRA.MDB")));
    }

    // The print dialog's texts that Qt's translation lacks come from the program's own, which is asked
    // first: its page ranges and its double-sided printing are Italian too.
    void thePrintDialogSpeaksItalian() {
        desktop::CCensusApp::InstallItalian(*QCoreApplication::instance());
        QCOMPARE(QCoreApplication::translate("QPrintSettingsOutput", "Pages"), QString("Pagine"));
#ifdef Q_OS_WIN
        QSKIP("Windows' own print dialog speaks the system's language");
#endif
        QPrinter printer;
        QPrintDialog dialog(&printer);
        const auto text = [&dialog](const char* name) {
            const QObject* found = dialog.findChild<QObject*>(name);
            return found ? found->property(found->inherits("QGroupBox") ? "title" : "text").toString()
                         : QString("(%1 missing)").arg(name);
        };
        QCOMPARE(text("pagesRadioButton"), QString("Pagine"));
        QCOMPARE(text("duplex"), QString("Stampa fronte/retro"));
        QCOMPARE(text("noDuplex"), QString("Disattivata"));
        QCOMPARE(text("duplexLong"), QString("Rilegatura sul lato lungo"));
        QCOMPARE(text("colorMode"), QString("Modalità colore"));  // Qt's own translation answers the rest
    }

    // Kinds, sizes and dates of the file dialog in Italian whatever the system's locale; its column
    // headings are read whole.
    void theFileDialogSpeaksItalian() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("Archivio"));
        QFile file(dir.filePath("VELUMBRA.MDB"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(5 * 1024 * 1024 + 100 * 1024));
        file.close();
        const QDateTime when(QDate(2026, 12, 8), QTime(16, 4));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
        file.close();

        // Qt's own texts come from the translation compiled into the program where none is installed
        // (a static Qt, as on Windows), so the labels Qt draws are Italian too.
        QTranslator compiledIn;
        QVERIFY(compiledIn.load(":/translations/qtbase_it.qm"));
        const QString lookIn = compiledIn.translate("QFileDialog", "Look in:");
        QVERIFY2(!lookIn.isEmpty() && lookIn != "Look in:", qPrintable(lookIn));
        QCOMPARE(compiledIn.translate("QPlatformTheme", "Cancel"), QString("Annulla"));
        desktop::CCensusApp::InstallItalian(*QCoreApplication::instance());

        desktop::CFileDialog dialog(nullptr, "Selezione del Database");
        dialog.setDirectory(dir.path());
        dialog.show();
        auto* lookInLabel = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
        QVERIFY(lookInLabel);
        QCOMPARE(lookInLabel->text(), lookIn);
        auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
        QVERIFY(list);
        QTRY_COMPARE(list->model()->rowCount(list->rootIndex()), 2);
        QMap<QString, QStringList> rows;
        for (int r = 0; r < 2; ++r) {
            QStringList cells;
            for (int c = 0; c < 4; ++c) {
                cells << list->model()->index(r, c, list->rootIndex()).data().toString();
            }
            rows[cells[0]] = cells;
        }
        QCOMPARE(rows["Archivio"][2], QString("Cartella"));
        QCOMPARE(rows["Archivio"][1], QString());
        QCOMPARE(rows["VELUMBRA.MDB"][1], QString("5,1 MB"));
        QCOMPARE(rows["VELUMBRA.MDB"][2], QString("File MDB"));
        QCOMPARE(rows["VELUMBRA.MDB"][3], QString("08/12/2026 16:04"));
        QHeaderView* header = list->header();
        for (int c = 0; c < 4; ++c) {
            const QString heading = list->model()->headerData(c, Qt::Horizontal).toString();
            QVERIFY2(header->sectionSize(c) >= header->fontMetrics().horizontalAdvance(heading),
                     qPrintable(heading));
            for (const QStringList& cells : rows) {
                QVERIFY2(header->sectionSize(c) >= list->fontMetrics().horizontalAdvance(cells[c]),
                         qPrintable(cells[c]));
            }
        }
    }

    // "Stampa Censimento" to a PDF file: the print dialog's file is written; where it cannot be, the
    // clerk is told and nothing is left behind.
    void printingTheCensusToAFile() {
#ifdef Q_OS_WIN
        QSKIP("Windows' own print dialog is no Qt window that the test could answer");
#endif
        const InstalledPrinters printers(true);
        QTemporaryDir dir;
        desktop::CCensusApp app({"velumbra", "--config", WriteConfig(dir, Copy(dir))});
        QVERIFY(app.StartUp());
        const auto printTo = [](const QString& file) {
            return [file](QWidget* w) {
                auto* dialog = qobject_cast<QPrintDialog*>(w);
                QVERIFY(dialog);
                QCOMPARE(dialog->windowTitle(), QString("Stampa Censimento"));
                // The dialog's own field for the file, as a person types it.
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
                QVERIFY(name);
                name->setText(file);
                dialog->accept();
            };
        };
        ModalScript script;
        script.Then(printTo(dir.filePath("censimento.pdf")));
        app.MainFrame().Run(desktop::kStampa);
        Finish(script);
        QFile pdf(dir.filePath("censimento.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");

        const QString missing = dir.filePath("manca/censimento.pdf");
        ModalScript refused;
        refused.Then(printTo(missing)).Message();
        app.MainFrame().Run(desktop::kStampa);
        Finish(refused);
        QCOMPARE(refused.messages.size(), std::size_t(1));
        QCOMPARE(refused.messages[0].text,
                 "Non è stato possibile stampare il censimento nel file '" + missing +
                     "'.\n\nIl file non è stato scritto: la cartella non esiste, è piena o non si hanno i "
                     "permessi di scrittura.");
        QCOMPARE(refused.messages[0].title, QString("Stampa Censimento"));
        QCOMPARE(refused.messages[0].icon, QMessageBox::Warning);
        QVERIFY(!QFile::exists(missing));
    }

    // With no printer the census is offered as a PDF file; "Stampa su File PDF…" goes straight to it, a
    // printer or not. Each message box is shown once the wait cursor is gone.
    void theCensusAsAPdfFile() {
        QTemporaryDir dir;
        desktop::CCensusApp app({"velumbra", "--config", WriteConfig(dir, Copy(dir))});
        QVERIFY(app.StartUp());
        const InstalledPrinters none(false);
        ModalScript cancelled;
        cancelled.Message(QMessageBox::Cancel);
        Choose(app.MainFrame().Action(desktop::kStampa));
        Finish(cancelled);
        QCOMPARE(cancelled.messages.size(), std::size_t(1));
        QCOMPARE(cancelled.messages[0].text, QString("Nessuna stampante è installata su questo computer.\n\n"
                                                     "Vuoi salvare il censimento come file PDF?"));
        QCOMPARE(cancelled.messages[0].title, QString("Stampa Censimento"));
        QCOMPARE(cancelled.messages[0].icon, QMessageBox::Question);

        const QString pdf = dir.filePath("censimento.pdf");
        QStringList proposed;
        ModalScript saved;
        saved.Message(QMessageBox::Ok)
            .Then([&proposed, pdf](QWidget* w) {
                auto* dialog = qobject_cast<QFileDialog*>(w);
                QVERIFY(dialog);
                proposed << dialog->windowTitle() << QFileInfo(dialog->selectedFiles().value(0)).fileName()
                         << dialog->nameFilters();
                dialog->selectFile(pdf);
                static_cast<QDialog*>(dialog)->accept();
            })
            .Message(QMessageBox::Ok)  // "Crearlo?"
            .Message();
        Choose(app.MainFrame().Action(desktop::kStampa));
        Finish(saved);
        QCOMPARE(proposed, QStringList({"Stampa Censimento", "Censimento.pdf", "File PDF (*.pdf)",
                                        "Tutti i file (*.*)"}));
        QFile written(pdf);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.read(5) == "%PDF-");
        QCOMPARE(saved.messages.size(), std::size_t(3));
        QCOMPARE(saved.messages[2].text, "Il file '" + QDir::toNativeSeparators(pdf) + "' è stato scritto.");
        QCOMPARE(saved.messages[2].title, QString("Stampa Censimento"));
        QCOMPARE(saved.messages[2].icon, QMessageBox::Information);
        QVERIFY(!saved.messages[2].waitCursor);

        const InstalledPrinters some(true);
        const QString missing = dir.filePath("manca/censimento.pdf");
        ModalScript refused;
        refused.File(missing).Message(QMessageBox::Ok).Message();
        Choose(app.MainFrame().Action(desktop::kStampaPdf));
        Finish(refused);
        QCOMPARE(QStringList(refused.fileDialogTitles.begin(), refused.fileDialogTitles.end()),
                 QStringList({"Stampa Censimento"}));
        QCOMPARE(refused.messages.size(), std::size_t(2));
        QCOMPARE(refused.messages[1].text,
                 "Non è stato possibile stampare il censimento nel file '" +
                     QDir::toNativeSeparators(missing) +
                     "'.\n\nIl file non è stato scritto: la cartella non esiste, è piena o non si hanno i "
                     "permessi di scrittura.");
        QCOMPARE(refused.messages[1].title, QString("Stampa Censimento"));
        QCOMPARE(refused.messages[1].icon, QMessageBox::Warning);
        QVERIFY(!refused.messages[1].waitCursor);
        QVERIFY(!QFileInfo::exists(missing));
        QCOMPARE(QDir(dir.path()).entryList({"*.pdf*"}), QStringList({"censimento.pdf"}));
    }

    void aMissingConfigurationIsSaid() {
        QTemporaryDir dir;
        desktop::CCensusApp app({"velumbra", "--config", dir.filePath("manca.ini")});
        ModalScript script;
        script.Message(QMessageBox::Ok).Message(QMessageBox::Cancel);  // then no new database
        QVERIFY(app.StartUp());
        Finish(script);
        QCOMPARE(script.messages[0].text,
                 QString("ATTENZIONE: è stata riscontrata una anomalia grave\n"
                         "che rende impossibile il corretto funzionamento di\n"
                         "questo programma.\n\n"
                         "Ipotesi A) Il prodotto non è stato installato nella\n"
                         "           maniera corretta, utilizzando Setup.\n\n"
                         "Ipotesi B) Il registro di configurazione di Windows\n"
                         "           si è corrotto e deve essere ripristinato.\n\n"));
        QCOMPARE(script.messages[0].icon, QMessageBox::Critical);
        QCOMPARE(script.messages[0].title, QString("Velumbra"));
        QCOMPARE(script.messages[1].icon, QMessageBox::Question);
        QCOMPARE(app.MainFrame().windowTitle(), QString("VELUMBRA - \"Censimento Velumbra\""));
        QVERIFY(!app.MainFrame().Session().HasOpenDatabase());
        QVERIFY(!QFile::exists(dir.filePath("manca.ini")));  // never created by the program
    }

    void titleCases() {
        QTemporaryDir dir;
        const QString path = Copy(dir);
        desktop::CCensusApp app({"velumbra", "--config", WriteConfig(dir, path)});
        QVERIFY(app.StartUp());
        CMainFrame& frame = app.MainFrame();
        const auto set = [&](const char* table, const char* key, const char* field,
                             const std::string& value) {
            db::CDbTable t(frame.Session().Connection(), table);
            QVERIFY(t.SelectIndex("codice"));
            QVERIFY(t.Seek({key}).found());
            QVERIFY(t.Edit());
            QVERIFY(t.SetField(field, value));
            QVERIFY(t.Update());
        };
        set("master", "0", "azienda", "4000");
        frame.UpdateTitle();
        QCOMPARE(frame.windowTitle(), QString("VELUMBRA - Azienda 4000 Azienda non definita"));
        set("master", "0", "azienda", "12");
        set("regazi", "12", "denom", "AUTOLINEE DI PROVA   ");
        frame.UpdateTitle();
        QCOMPARE(frame.windowTitle(), QString("VELUMBRA - Azienda 12 AUTOLINEE DI PROVA"));
    }

    void cancellingTheExitKeepsTheProgramRunning() {
        QTemporaryDir dir;
        desktop::CCensusApp app({"velumbra", "--config", WriteConfig(dir, Copy(dir))});
        QVERIFY(app.StartUp());
        ModalScript script;
        script.Message(QMessageBox::Cancel);
        app.MainFrame().Run(desktop::kFine);
        Finish(script);
        QCOMPARE(
            script.messages[0].text,
            QString("E' stata richiesta l'uscita da VELUMBRA.\n\nIntendi veramente uscire dal programma ?"));
        QCOMPARE(script.messages[0].icon, QMessageBox::Question);
        QVERIFY(app.MainFrame().isVisible());
    }

    void theClockShowsMinutesAndSeconds() {
        QCOMPARE(desktop::CBusyClock::Reading(75000), QString("01:15"));
        QCOMPARE(desktop::CBusyClock::Reading(74499), QString("01:14"));
        QCOMPARE(desktop::CBusyClock::Reading(74500), QString("01:15"));
        QCOMPARE(desktop::CBusyClock::Reading(3600000 + 61000),
                 QString("01:01"));  // minutes wrap past an hour
        QCOMPARE(desktop::CBusyClock::Reading(0), QString("00:00"));

        QWidget window;
        window.resize(800, 600);
        window.show();
        desktop::CBusyClock clock(&window);
        QDateTime now = QDateTime::currentDateTimeUtc();
        clock.SetNow([&] { return now; });
        clock.Start();
        QVERIFY(clock.isVisible());
        QCOMPARE(clock.accessibleName(), QString("Tempo trascorso"));
        QCOMPARE(clock.accessibleDescription(), QString("00:00"));
        QCOMPARE(clock.size(), QSize(12 + 4 * 36 + 30, 48 + 30));
        now = now.addSecs(75);
        const QImage first = clock.Render();
        const QImage second = clock.Render();
        // Digits 0, 1, 1, 5 and the separator on every other drawing.
        const auto piece = [](const QImage& image, int x, int w) { return image.copy(10 + x, 10, w, 48); };
        const QImage one = QImage(":/pictures/digit1.png").convertToFormat(QImage::Format_RGB32);
        const QImage zero = QImage(":/pictures/digit0.png").convertToFormat(QImage::Format_RGB32);
        const QImage five = QImage(":/pictures/digit5.png").convertToFormat(QImage::Format_RGB32);
        const QImage colon = QImage(":/pictures/colon.png").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(piece(first, 0, 36), zero);
        QCOMPARE(piece(first, 36, 36), one);
        QCOMPARE(piece(first, 72, 12), colon);
        QCOMPARE(piece(first, 84, 36), one);
        QCOMPARE(piece(first, 120, 36), five);
        QVERIFY(piece(second, 72, 12) != colon);
        clock.Start();  // already running: the count goes on from the first start
        now = now.addSecs(1);
        const QImage six = QImage(":/pictures/digit6.png").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(piece(clock.Render(), 120, 36), six);
        clock.Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!clock.isVisible(), 3000);  // hidden at the next tick
    }

    // Typing a code and one Return confirms the entry the completion shows.
    void oneReturnConfirmsTheCompanyShown() {
        int code = -1;
        ui::CompanyDialogRequest request;
        request.entries = {"0000 - *** azienda non assegnata ***", "0012 - AUTOLINEE", "0120 - ALTRA"};
        request.accept = [&](const std::string& typed) {
            code = std::stoi(typed.substr(0, 4));
            return true;
        };
        desktop::CCompanyDlg dialog(request, nullptr);
        dialog.show();
        QCOMPARE(dialog.Combo()->accessibleName(), QString("Codice Regionale Azienda"));
        dialog.Combo()->lineEdit()->clear();
        // The keys go where the person's keys go: to the combo, which has the focus.
        QTest::keyClicks(dialog.Combo(), "0012");
        QTest::keyClick(dialog.Combo(), Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(code, 12);
        QCOMPARE(QString::fromStdString(request.text), QString("0012 - AUTOLINEE"));
    }

    void theCompanyDialogChecks() {
        QTemporaryDir dir;
        desktop::CCensusApp app({"velumbra", "--config", WriteConfig(dir, Copy(dir))});
        QVERIFY(app.StartUp());
        CMainFrame& frame = app.MainFrame();
        QString shownText;
        int entries = 0;
        ModalScript script;
        const auto type = [&](const QString& text, bool expectRefusal) {
            script.Then([&, text](QWidget* w) {
                auto* dialog = qobject_cast<desktop::CCompanyDlg*>(w);
                QVERIFY(dialog);
                if (shownText.isNull()) {
                    shownText = dialog->Combo()->currentText();
                    entries = dialog->Combo()->count();
                    QCOMPARE(dialog->windowTitle(), QString("Intestazione Azienda e Periodo"));
                }
                dialog->Combo()->setEditText(text);
                dialog->setProperty("scripted", false);  // it stays open after a refusal
                QTimer::singleShot(0, dialog, [dialog] { dialog->accept(); });
            });
            if (expectRefusal) {
                script.Message();
            }
        };
        type("12a", true);
        type("x", true);
        type("", false);  // code 0 exists
        frame.Run(desktop::kAzienda);
        Finish(script);
        QCOMPARE(shownText, QString("0000 - *** azienda non assegnata ***"));
        QCOMPARE(entries, 204);
        QCOMPARE(script.messages.size(), std::size_t(2));
        QCOMPARE(script.messages[0].text,
                 QString("ATTENZIONE: Il Codice Regionale Azienda non è valido.\n\n"
                         "Occorre selezionare un Codice Regionale Azienda presente nella "
                         "lista.\n\nI dati immessi non saranno registrati !!!"));
        QCOMPARE(script.messages[0].icon, QMessageBox::Critical);

        ModalScript pick;
        pick.Then([](QWidget* w) {
            auto* dialog = qobject_cast<desktop::CCompanyDlg*>(w);
            QVERIFY(dialog);
            const int index = dialog->Combo()->findText("0012", Qt::MatchStartsWith);
            dialog->Combo()->setCurrentIndex(index);
            QVERIFY(dialog->Combo()->currentText().startsWith("0012 - "));
            dialog->accept();
        });
        frame.Run(desktop::kAzienda);
        Finish(pick);
        QVERIFY(frame.windowTitle().startsWith("VELUMBRA - Azienda 12 "));
    }

    void theExportDialogChecksTheDate() {
        ui::GenerationDateRequest request;
        request.companyEntries = {"0003 - ALFA", "0012 - BETA"};
        request.company = 12;
        request.date = "06/12/2026";
        ui::ScriptedPort port;
        request.accept = [&](std::string& date) { return exchange::CheckGenerationDate(port, date); };
        desktop::CExportDlg dialog(request, nullptr);
        QCOMPARE(dialog.windowTitle(), QString("Esportazione Comunicazione Strutture Aziendali"));
        QCOMPARE(dialog.Company()->currentText(), QString("0012 - BETA"));
        QVERIFY(!dialog.Company()->isEnabled());
        QCOMPARE(dialog.Date()->maxLength(), 10);
        QCOMPARE(dialog.Date()->accessibleName(), QString("Data generazione comunicazione"));
        QCOMPARE(dialog.Company()->accessibleName(), QString("Azienda"));
        QCOMPARE(dialog.Date()->text(), QString("06/12/2026"));
        dialog.Date()->setText("6/12/2026");
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));  // still open
        QCOMPARE(port.messages.size(), std::size_t(1));
        dialog.Date()->setText("06.12-26");
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(request.date, std::string("06/12/2026"));
    }
};

VELUMBRA_GUI_TEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
