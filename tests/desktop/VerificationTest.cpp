// "Verifica Censimento" and the import's confirmation as a person meets them: the window of the census's
// errors, the structure list it opens at the structure chosen, the message of a census ready to be sent,
// and the comparison behind the confirmation's details.
#include <sqlite3.h>
#include <QAccessible>
#include <QHeaderView>
#include <QLineEdit>
#include <QPageLayout>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "AccessibilityEvents.h"
#include "GuiTestMain.h"
#include "ModalScript.h"
#include "db/DbTable.h"
#include "desktop/CensusApp.h"
#include "desktop/CensusErrorsDlg.h"
#include "desktop/CensusPrint.h"
#include "desktop/DepotListDlg.h"
#include "desktop/QtText.h"
#include "exchange/Export.h"
#include "exchange/Import.h"
#include "schema/Creation.h"
#include "ui/ScriptedPort.h"

using desktop::CMainFrame;

namespace {

void Finish(ModalScript& script) {
    QTRY_VERIFY_WITH_TIMEOUT(script.Done(), 20000);
    QVERIFY2(script.failures.empty(), qPrintable(script.failures.join("; ")));
}

census::Structure Valid(int i) {
    census::Structure r;
    r.ubicaz = "VIA ROMA " + std::to_string(i);
    r.local = "CENTRO";
    r.comune = 1 + i % 50;
    r.provin = "FI";
    r.flags[0] = true;
    r.scoPro = " ";  // as an import stores an empty field
    r.copPro = " ";
    return r;
}

// The text of a cell of the errors window.
QString Cell(QTableView* table, int row, int column) {
    return table->model()->index(row, column).data().toString();
}

}  // namespace

class VerificationTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString database;
    QString config;

    // A census of company 12 holding `records` (identifiers 0, 1, 2 ...), associated in the configuration.
    void Census(const std::vector<census::Structure>& records) {
        database = dir.filePath("VELUMBRA.MDB");
        for (const char* suffix : {"", "-wal", "-shm"}) {
            QFile::remove(database + suffix);
        }
        ui::ScriptedPort port;
        QVERIFY(schema::CreateCensusDatabase(port, database.toStdString(), ""));
        app::Session session(port);
        session.SetPath(database.toStdString());
        QVERIFY(session.OpenAssociatedDatabase());
        {
            db::CDbTable master(session.Connection(), "master");
            QVERIFY(master.SelectIndex("codice") && master.Seek({"0"}).found() && master.Edit() &&
                    master.SetField("azienda", "12") && master.Update());
        }
        int counter = 0;
        QVERIFY(exchange::StoreStructures(*session.Connection(), {12, "06/12/2026", records}, counter));
        config = dir.filePath("velumbra.ini");
        QSettings settings(config, QSettings::IniFormat);
        settings.setValue("Directory", dir.path());
        settings.setValue("Database", database);
        settings.sync();
    }

  private slots:
    void init() { FreshUserConfig(); }

    // The errors window on paper: every entry once, in report order, its pages numbered, each page
    // headed by the company, the window's title and the date, under the column headings.
    void theErrorsListPrints() {
        ui::CensusErrorsRequest request;
        for (int i = 0; i < 70; ++i) {
            request.errors.push_back({i * 3, "VIA ROMA " + std::to_string(i),
                                      i % 2 ? "Manca la provincia" : "Superficie coperta senza titolo"});
        }
        request.heading = "VELUMBRA - Azienda 12 AUTOLINEE DI PROVA";
        ui::ScriptedPort port;
        desktop::CCensusErrorsDlg window(request, port, nullptr);
        const desktop::CTablePrint printed = window.Printed();
        const QString pdf = dir.filePath("verifica.pdf");
        const QPageLayout a4(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                             QPageLayout::Millimeter);
        QVERIFY(desktop::PrintToPdf(printed.Job(), pdf, a4));
        const int pages = printed.Pages(a4.paintRectPixels(96).size());
        QVERIFY(pages >= 2);
#ifdef Q_OS_WIN
        QSKIP("the PDF is read back with Debian's pdftotext, which a Windows program cannot start");
#endif
        QProcess text;
        text.start("pdftotext", {"-layout", pdf, "-"});
        QVERIFY(text.waitForFinished(60000));
        QStringList read = QString::fromUtf8(text.readAllStandardOutput()).split('\f');
        if (read.last().trimmed().isEmpty()) {
            read.removeLast();
        }
        QCOMPARE(read.size(), pages);
        for (int n = 0; n < pages; ++n) {
            QVERIFY(read[n].contains(
                "Azienda 12 AUTOLINEE DI PROVA - Verifica Censimento - 70 errori riscontrati"));
            QVERIFY(read[n].contains(QRegularExpression("ID +Ubicazione +Errore")));
            QVERIFY(read[n].contains(QString("pagina %1 di %2").arg(n + 1).arg(pages)));
        }
        const QString all = read.join('\n');
        qsizetype at = 0;
        for (int i = 0; i < 70; ++i) {
            const QRegularExpression line(
                QString("\n *%1 +VIA ROMA %2 +%3")
                    .arg(i * 3)
                    .arg(i)
                    .arg(i % 2 ? "Manca la provincia" : "Superficie coperta senza titolo"));
            QCOMPARE(all.count(line), 1);
            const qsizetype found = all.indexOf(line);
            QVERIFY2(found > at, "in report order");
            at = found;
        }
    }
    // "Salva PDF…" saves the list straight as a PDF file, and says so once the busy state is over.
    // Home, End, PageDown and PageUp go through the errors as in any list.
    void theErrorsListGoesToItsEnds() {
        ui::CensusErrorsRequest request;
        for (int i = 0; i < 60; ++i) {
            request.errors.push_back({i, "VIA ROMA", "Manca la provincia"});
        }
        ui::ScriptedPort port;
        desktop::CCensusErrorsDlg window(request, port, nullptr);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* table = window.findChild<QTableView*>();
        QVERIFY(table);
        table->setFocus();
        const auto row = [table] { return table->currentIndex().row(); };
        QTest::keyClick(table, Qt::Key_End);
        QCOMPARE(row(), 59);
        QTest::keyClick(table, Qt::Key_Home);
        QCOMPARE(row(), 0);
        QTest::keyClick(table, Qt::Key_PageDown);
        const int page = row();
        QVERIFY(page > 1);
        QTest::keyClick(table, Qt::Key_PageUp);
        QCOMPARE(row(), 0);
    }

    // The window opens on its first error, current, selected and told to a screen reader as the focus.
    void theErrorsListOpensOnItsFirstError() {
        AccessibilityEvents told;
        ui::CensusErrorsRequest request;
        request.errors = {{41, "VIA ROMA", "Manca la provincia"}, {42, "VIA PO", "Manca il comune"}};
        ui::ScriptedPort port;
        desktop::CCensusErrorsDlg window(request, port, nullptr);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTableView* table = window.Table();
        QTRY_VERIFY(table->hasFocus());
        QCOMPARE(table->currentIndex().row(), 0);
        QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(table->selectionModel()->selectedRows().front().row(), 0);
        // The last focus told is the first error's cell.
        const auto focused = [&told] {
            QStringList names;
            for (const AccessibilityEvents::Event& e : told.Kept()) {
                if (e.type == QAccessible::Focus) {
                    names << e.name;
                }
            }
            return names;
        };
        QTRY_VERIFY2(!focused().isEmpty() && focused().back() == "41", qPrintable(focused().join(" | ")));
    }

    void theErrorsListSavesAsPdf() {
        ui::CensusErrorsRequest request;
        request.errors.push_back({7, "VIA ROMA 7", "Manca la provincia"});
        ui::ScriptedPort port;
        const QString pdf = dir.filePath("Verifica.pdf");
        port.AnswerNextFileDialog(pdf.toStdString());
        desktop::CCensusErrorsDlg window(request, port, nullptr);
        QPushButton* save = nullptr;
        for (QPushButton* button : window.findChildren<QPushButton*>()) {
            save = button->text() == QString::fromUtf8("Salva PDF…") ? button : save;
        }
        QVERIFY(save);
        // Reached from the list with the keyboard: Tab leaves the list for the buttons.
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* list = window.findChild<QTableView*>();
        QVERIFY(list);
        list->setFocus();
        for (int tab = 0; tab < 3; ++tab) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(QApplication::focusWidget(), save);
        QTest::keyClick(save, Qt::Key_Space);
        QCOMPARE(port.fileDialogs.size(), std::size_t(1));
        QVERIFY(port.fileDialogs[0].save);
        QCOMPARE(port.fileDialogs[0].request.title, std::string("Stampa Verifica Censimento"));
        QCOMPARE(port.fileDialogs[0].request.proposedName, std::string("VerificaCensimento.pdf"));
        QFile written(pdf);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.read(5) == "%PDF-");
        QCOMPARE(port.messages.size(), std::size_t(1));
        QCOMPARE(desktop::FromCp(port.LastMessage().text),
                 "Il file '" + QDir::toNativeSeparators(pdf) + QString::fromUtf8("' è stato scritto."));
        QCOMPARE(port.LastMessage().caption, std::string("Stampa Verifica Censimento"));
        QCOMPARE(port.LastMessage().icon, ui::Icon::Information);
        QCOMPARE(port.busyRequests, std::vector<bool>({true}));
        QCOMPARE(port.endBusyCalls, 1);
    }
    // The errors in report order with the count in the title; Enter on an entry opens the structure
    // list with that structure current; closing the list checks again, and the window comes back at
    // the entry chosen, where a double click opens the list again. Escape closes the window.
    void theErrorsLeadToTheStructures() {
        std::vector<census::Structure> records;
        for (int i = 0; i < 60; ++i) {
            records.push_back(Valid(i));
        }
        records[3].provin = "fi";
        records[41].ubicaz = "   ";
        records[41].flags[0] = false;
        Census(records);
        desktop::CCensusApp app({"velumbra", "--config", config});
        QVERIFY(app.StartUp());
        CMainFrame& frame = app.MainFrame();
        frame.resize(1200, 800);
        frame.show();

        // What each window showed, looked at once the command is over (a window left open would
        // hold the test up).
        QStringList titles;
        QList<int> currentEntries;
        QList<int> currentRows;
        QStringList selected;
        QStringList cells;
        const auto errorsWindow = [&](std::function<void(QTableView*)> act) {
            return [&titles, &currentEntries, &cells, act](QWidget* w) {
                auto* window = qobject_cast<desktop::CCensusErrorsDlg*>(w);
                if (!window) {
                    titles << "not the errors window: " + QString(w->metaObject()->className());
                    w->close();
                    return;
                }
                titles << window->windowTitle();
                (void)QTest::qWaitForWindowExposed(window);
                QTableView* table = window->Table();
                currentEntries << table->currentIndex().row();
                for (int row = 0; row < table->model()->rowCount(); ++row) {
                    cells << Cell(table, row, 0) + "|" + Cell(table, row, 1) + "|" + Cell(table, row, 2);
                }
                act(table);
                if (window->isVisible()) {
                    cells << "still open";
                    window->reject();
                }
            };
        };
        const auto structureList = [&](QWidget* w) {
            auto* list = qobject_cast<desktop::CDepotListDlg*>(w);
            if (!list) {
                selected << "not the structure list: " + QString(w->metaObject()->className());
                w->close();
                return;
            }
            (void)QTest::qWaitForWindowExposed(list);
            QApplication::processEvents();
            currentRows << list->Grid()->CurrentRow();
            selected << list->SelectedId()->text() + " " + list->SelectedText()->text();
            list->Run(1062);  // "Fine"
        };
        ModalScript script;
        script
            .Then(errorsWindow([](QTableView* table) {
                QTest::keyClick(table, Qt::Key_Down);
                QTest::keyClick(table, Qt::Key_Down);
                QTest::keyClick(table, Qt::Key_Return);
            }))
            .Then(structureList)
            .Then(errorsWindow([](QTableView* table) {
                const QRect cell = table->visualRect(table->model()->index(0, 1));
                // A person's double click: a click, then the second press that makes it double.
                QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
                QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
            }))
            .Then(structureList)
            .Then(errorsWindow([](QTableView* table) { QTest::keyClick(table, Qt::Key_Escape); }));
        frame.Run(desktop::kVerifica);
        Finish(script);
        QCOMPARE(titles, QStringList(3, "Verifica Censimento - 3 errori riscontrati"));
        const QStringList entries = {"3|VIA ROMA 3|Manca la provincia", "41||Manca ubicazione",
                                     QString::fromUtf8("41||Non è indicata neppure una attività")};
        QCOMPARE(cells, entries + entries + entries);
        // The window opens at the first entry, then at the entry chosen last.
        QCOMPARE(currentEntries, QList<int>({0, 2, 0}));
        // Structure 41 is the 42nd row, structure 3 the 4th; the selection box follows.
        QCOMPARE(currentRows, QList<int>({41, 3}));
        QCOMPARE(selected, QStringList({"41  - CENTRO", "3 VIA ROMA 3 - CENTRO"}));
    }

    // A structure whose municipality is not registered is not in the structure list: choosing it says
    // so, and the list opens all the same.
    void aStructureThatIsNotListedIsSaid() {
        auto unlisted = Valid(1);
        unlisted.provin = "XX";
        Census({Valid(0), unlisted});
        {
            sqlite3* raw = nullptr;
            QCOMPARE(sqlite3_open(database.toUtf8().constData(), &raw), SQLITE_OK);
            QCOMPARE(
                sqlite3_exec(raw, "UPDATE depositi SET comune = 999 WHERE ID = 1", nullptr, nullptr, nullptr),
                SQLITE_OK);
            sqlite3_close(raw);
        }
        desktop::CCensusApp app({"velumbra", "--config", config});
        QVERIFY(app.StartUp());
        QString listed;
        ModalScript script;
        script
            .Then(
                [](QWidget* w) { QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Return); })
            .Message()
            .Then([&listed](QWidget* w) {
                if (auto* list = qobject_cast<desktop::CDepotListDlg*>(w)) {
                    listed = QString::number(list->Grid()->CurrentRow());
                    list->Run(1062);  // "Fine"
                } else {
                    w->close();
                }
            })
            .Then([](QWidget* w) { w->close(); });
        app.MainFrame().Run(desktop::kVerifica);
        Finish(script);
        QCOMPARE(script.messages.size(), std::size_t(1));
        QCOMPARE(script.messages[0].text,
                 QString::fromUtf8("La struttura ID=1 non compare nell'Archivio Depositi:\n"
                                   "il suo comune non è tra i comuni registrati."));
        QCOMPARE(script.messages[0].title, QString("Velumbra"));
        QCOMPARE(script.messages[0].icon, QMessageBox::Information);
        QCOMPARE(listed, QString("0"));
    }

    // With no error, one information message says the census may be sent; no window opens.
    void aCorrectCensusIsReadyToBeSent() {
        Census({Valid(0), Valid(1)});
        desktop::CCensusApp app({"velumbra", "--config", config});
        QVERIFY(app.StartUp());
        ModalScript script;
        script.Message();
        app.MainFrame().Run(desktop::kVerifica);
        Finish(script);
        QCOMPARE(script.messages.size(), std::size_t(1));
        QCOMPARE(script.messages[0].text,
                 QString::fromUtf8("La situazione delle strutture aziendali non contiene errori:\n"
                                   "la comunicazione può essere generata e inoltrata all'Osservatorio "
                                   "Trasporti Regionale."));
        QCOMPARE(script.messages[0].title, QString("Verifica Censimento"));
        QCOMPARE(script.messages[0].icon, QMessageBox::Information);
    }

    // The confirmation keeps its text; the comparison is behind its details button, summary first.
    // Cancelled, nothing changes and no copy is made.
    void theImportConfirmationOffersTheComparison() {
        Census({Valid(0), Valid(1)});
        auto changed = Valid(1);
        changed.counts[0] = 9;
        const QString file = dir.filePath("in.txt");
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            exchange::CommunicationBody body;
            for (const census::Structure& record : {Valid(0), changed, Valid(2)}) {
                body.Add(record);
            }
            out.write(exchange::CommunicationFile("ComunicazioneVelumbra", 12, "06/12/2026", body).c_str());
        }
        desktop::CCensusApp app({"velumbra", "--config", config});
        QVERIFY(app.StartUp());
        QString details;
        QString detailsButton;
        QString text;
        ModalScript script;
        script.File(file).Then([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box) {
                text = "not a message box";
                w->close();
                return;
            }
            text = box->text();
            details = box->detailedText();
            for (QAbstractButton* b : box->buttons()) {
                if (box->buttonRole(b) == QMessageBox::ActionRole) {
                    detailsButton = b->text();
                    b->click();  // unfolded, the button says how to fold them again
                    QApplication::processEvents();
                    detailsButton += " / " + b->text();
                }
            }
            box->button(QMessageBox::Cancel)->click();
        });
        app.MainFrame().Run(desktop::kImport);
        Finish(script);
        QVERIFY(text.startsWith("Il file proposto presenta un contenuto valido per l'importazione.\n\n"));
        QVERIFY(text.endsWith("Si intende procedere oltre?"));
        QCOMPARE(details,
                 QString("invariate 1, modificate 1, nuove 1, eliminate 0\n"
                         "modificata ID=1 VIA ROMA 1 - CENTRO (comune 2 FI): ext_b_s \"0\" -> \"9\"\n"
                         "nuova VIA ROMA 2 - CENTRO (comune 3 FI)"));
        QCOMPARE(detailsButton, QString::fromUtf8("Mostra dettagli… / Nascondi dettagli…"));
        QCOMPARE(QDir(dir.path()).entryList({"*prima-importazione*"}), QStringList());
    }
};

VELUMBRA_GUI_TEST_MAIN(VerificationTest)
#include "VerificationTest.moc"
