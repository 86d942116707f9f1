// Saves pictures of the program's windows, as a person sees them: the main window, the About box,
// the company dialog, the export dialog and the running busy clock.
//   screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "ModalScript.h"
#include "desktop/BusyClock.h"
#include "desktop/CensusApp.h"
#include "desktop/CompanyDlg.h"
#include "desktop/DepotEditDlg.h"
#include "desktop/DepotListDlg.h"
#include "exchange/Import.h"
#include "schema/Creation.h"
#include "schema/SeedLists.h"
#include "ui/ScriptedPort.h"

namespace {

void Save(QWidget* w, const QString& file) {
    w->grab().save(file);
    qInfo("%s", qPrintable(file));
}

// Waits until the script has gone through its windows.
void Wait(ModalScript& script) {
    while (!script.Done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velumbra"));
    desktop::CCensusApp::InstallItalian(app);
    const QDir out(argc > 1 ? argv[1] : ".");
    QTemporaryDir dir;
    const QString database = dir.filePath("VELUMBRA.MDB");
    {
        ui::ScriptedPort port;
        if (!schema::CreateCensusDatabase(port, database.toStdString(), "")) {
            return 1;
        }
    }
    const QString config = dir.filePath("velumbra.ini");
    // The user's own configuration, read first, of this run alone.
    qputenv("VELUMBRA_USER_CONFIG", QDir::toNativeSeparators(dir.filePath("user.ini")).toUtf8());
    {
        QSettings settings(config, QSettings::IniFormat);
        settings.setValue("Directory", dir.path());
        settings.setValue("Database", database);
    }
    desktop::CCensusApp census({"velumbra", "--config", config});
    desktop::CMainFrame& frame = census.MainFrame();
    if (!census.StartUp()) {
        return 1;
    }
    frame.resize(1280, 800);
    frame.showNormal();
    QCoreApplication::processEvents();
    Save(&frame, out.filePath("main-window.png"));

    ModalScript about;
    about.Then([&](QWidget* w) {
        Save(w, out.filePath("about.png"));
        w->close();
    });
    frame.Run(desktop::kAbout);
    Wait(about);

    ModalScript company;
    company.Then([&](QWidget* w) {
        Save(w, out.filePath("company-dialog.png"));
        w->close();
    });
    frame.Run(desktop::kAzienda);
    Wait(company);

    // The export asks for the date only with a working company.
    ModalScript choose;
    choose.Then([](QWidget* w) {
        if (auto* dialog = qobject_cast<desktop::CCompanyDlg*>(w)) {
            dialog->Combo()->setEditText("12");
            dialog->accept();
        }
    });
    frame.Run(desktop::kAzienda);
    Wait(choose);

    ModalScript exportDialog;
    exportDialog.Then([&](QWidget* w) {
        Save(w, out.filePath("export-dialog.png"));
        w->close();
    });
    frame.Run(desktop::kExport);
    Wait(exportDialog);

    QDateTime now = QDateTime::currentDateTimeUtc();
    frame.Clock()->SetNow([&] { return now; });
    frame.Port().BeginBusy(true);
    now = now.addSecs(75);
    frame.Clock()->repaint();
    Save(&frame, out.filePath("busy-clock.png"));
    Save(frame.Clock(), out.filePath("busy-clock-close.png"));
    frame.Port().EndBusy();

    // The register with a realistic census of 50 structures.
    {
        static const char* const kStreets[] = {"VIA DEL PORTO",   "VIALE EUROPA",     "VIA ROMA",
                                               "PIAZZA STAZIONE", "VIA AURELIA NORD", "VIA DEI MILLE",
                                               "LOC. LE FORNACI"};
        static const char* const kOwners[] = {"COMUNE", "PROVINCIA", "SOCIETA' PATRIMONIALE", "FERROVIE"};
        exchange::CStructureRecordList records{12, "06/12/2026", {}};
        const auto& municipalities = schema::RegcomSeed();
        for (int i = 0; i < 50; ++i) {
            census::Structure r;
            r.ubicaz = std::string(kStreets[i % 7]) + " " + std::to_string(3 + (i * 17) % 140);
            const auto& m = municipalities[static_cast<std::size_t>(1 + (i * 37) % 300)];
            r.comune = m.code;
            r.local = m.name.substr(0, 30);
            r.provin = i % 3 == 0 ? "FI" : i % 3 == 1 ? "PI" : "SI";
            r.flags = {i % 2 == 0, i % 3 == 0, i % 4 == 0, i % 5 == 0, i % 6 == 0, i % 7 == 0, i % 9 == 0};
            r.scoPro = kOwners[i % 4];
            r.scoSup = 500 + (i * 431) % 9000;
            r.scoTit = std::string(1, "ABC"[i % 3]);
            r.copPro = i % 2 ? kOwners[(i + 1) % 4] : " ";
            r.copSup = i % 2 ? 200 + (i * 97) % 2000 : 0;
            r.copTit = i % 2 ? std::string(1, "ABC"[(i + 1) % 3]) : " ";
            for (std::size_t k = 0; k < r.counts.size(); ++k) {
                r.counts[k] = (i + static_cast<int>(k)) % 4 == 0 ? 0 : (i * 7 + static_cast<int>(k) * 3) % 25;
            }
            records.records.push_back(r);
        }
        int counter = 0;
        db::CDbTransaction transaction(*frame.Session().Connection());
        if (!transaction.IsActive() || !exchange::DeleteAllStructures(*frame.Session().Connection()) ||
            !exchange::StoreStructures(*frame.Session().Connection(), records, counter) ||
            !transaction.Commit()) {
            return 1;
        }
    }
    frame.resize(1400, 800);
    ModalScript list;
    list.Then([&](QWidget* w) {
        auto* window = qobject_cast<desktop::CDepotListDlg*>(w);
        if (!window) {
            w->close();
            return;
        }
        window->resize(1400, 760);
        QCoreApplication::processEvents();
        const auto rowY = [&](int i) { return window->Grid()->Layout().RowTop(i) + 3; };
        window->Grid()->SelectAt(rowY(3));
        window->Grid()->Snapshot();  // painted: the current row is the selected one
        window->Run(1057);           // a deleted row
        // A changed row: the editor opens on row 7, its street is changed and OK pressed.
        window->Grid()->SelectAt(rowY(7));
        window->Grid()->Snapshot();
        QTimer::singleShot(300, [] {
            if (auto* editor = qobject_cast<desktop::CDepotEditDlg*>(QApplication::activeModalWidget())) {
                if (auto* street = editor->findChild<QLineEdit*>("1008")) {
                    street->setText("VIA DEL PORTO 7 (NUOVA SEDE)");
                }
                editor->accept();
            }
        });
        window->Run(1059);
        window->Grid()->SelectAt(rowY(5));
        QCoreApplication::processEvents();
        Save(window, out.filePath("list-window.png"));
        window->Grid()->horizontalScrollBar()->setValue(window->Grid()->Layout().XF - 200);
        QCoreApplication::processEvents();
        window->Grid()->viewport()->repaint();
        Save(window, out.filePath("list-window-counts.png"));
        window->reject();
    });
    frame.Run(desktop::kDepositi);
    Wait(list);
    return 0;
}
