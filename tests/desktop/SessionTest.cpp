// One whole working session through the real windows: the first start creates the default database,
// then a clerk connects it, chooses the company, exports the empty census, imports it back,
// disconnects and leaves.
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "GuiTestMain.h"
#include "ModalScript.h"
#include "db/DbTable.h"
#include "desktop/CensusApp.h"
#include "desktop/CompanyDlg.h"
#include "desktop/Configuration.h"
#include "desktop/ExportDlg.h"
#include "ui/ScriptedPort.h"

class SessionTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { FreshUserConfig(); }

    void aWholeSession() {
        QTemporaryDir dir;
        const QString config = dir.filePath("velumbra.ini");
        {
            QSettings settings(config, QSettings::IniFormat);
            settings.setValue("Directory", dir.path());
        }
        // Shown and stored with the platform's separators.
        const QString database = QDir::toNativeSeparators(dir.filePath("VELUMBRA.MDB"));
        const QString exported = dir.filePath("VariazioniVelumbra_12.TXT");
        const QString incoming = dir.filePath("ComunicazioneVelumbra_12.TXT");
        {
            desktop::CCensusApp app({"velumbra", "--config", config});
            desktop::CMainFrame& frame = app.MainFrame();

            ModalScript start;
            start.Message(QMessageBox::Ok).Message(QMessageBox::Ok);
            QVERIFY(app.StartUp());
            QTRY_VERIFY(start.Done());
            QVERIFY2(start.failures.empty(), qPrintable(start.failures.join("; ")));
            QCOMPARE(start.messages[0].icon, QMessageBox::Question);
            QVERIFY(
                start.messages[0].text.startsWith("L'applicazione Velumbra non è associata ad un database."));
            QCOMPARE(start.messages[1].text, "Il database " + database + " è stato creato con successo");
            QCOMPARE(start.messages[1].title, QString("Creazione database"));
            QCOMPARE(start.messages[1].icon, QMessageBox::Information);
            QCOMPARE(frame.windowTitle(), QString("VELUMBRA - Azienda 0 *** azienda non assegnata ***"));

            ModalScript connect;
            connect.File(database);
            frame.Run(desktop::kConnetti);
            QTRY_VERIFY(connect.Done());
            QCOMPARE(connect.fileDialogTitles[0], QString("Selezione del Database"));
            QVERIFY(frame.Session().HasOpenDatabase());

            ModalScript company;
            company.Then([](QWidget* w) {
                auto* dialog = qobject_cast<desktop::CCompanyDlg*>(w);
                QVERIFY(dialog);
                dialog->Combo()->setEditText("12");
                dialog->accept();
            });
            frame.Run(desktop::kAzienda);
            QTRY_VERIFY(company.Done());
            QVERIFY(frame.windowTitle().startsWith("VELUMBRA - Azienda 12 "));

            ModalScript exportScript;
            exportScript
                .Then([](QWidget* w) {
                    auto* dialog = qobject_cast<desktop::CExportDlg*>(w);
                    QVERIFY(dialog);
                    dialog->Date()->setText("06/12/2026");
                    dialog->accept();
                })
                .File(exported)
                .Message(QMessageBox::Ok)  // the file does not exist yet: create it
                .Message(QMessageBox::Ok);
            frame.Run(desktop::kExport);
            QTRY_VERIFY(exportScript.Done());
            QVERIFY2(exportScript.failures.empty(), qPrintable(exportScript.failures.join("; ")));
            QCOMPARE(exportScript.fileDialogTitles[0],
                     QString("Generazione Comunicazione Strutture Aziendali"));
            QCOMPARE(exportScript.messages.back().text,
                     QString("La comunicazione delle Strutture Aziendali è stata generata con successo\n"
                             "e può essere inoltrata all'Osservatorio Trasporti Regionale"));

            QFile out(exported);
            QVERIFY(out.open(QIODevice::ReadOnly));
            const QByteArray bytes = out.readAll();
            QCOMPARE(bytes, QByteArray("<VariazioniVelumbra>0\r\n<Azienda=12>\r\n<Data=06/12/2026>\r\n"
                                       "</VariazioniVelumbra>2040\r\n"));
            QFile in(incoming);
            QVERIFY(in.open(QIODevice::WriteOnly));
            in.write(QByteArray(bytes).replace("VariazioniVelumbra", "ComunicazioneVelumbra"));
            in.close();

            ModalScript importScript;
            importScript.File(incoming).Message(QMessageBox::Ok).Message(QMessageBox::Ok);
            frame.Run(desktop::kImport);
            QTRY_VERIFY(importScript.Done());
            QVERIFY2(importScript.failures.empty(), qPrintable(importScript.failures.join("; ")));
            // The last line names the copy of the census kept before the import.
            const QRegularExpression succeeded(QRegularExpression::anchoredPattern(
                QRegularExpression::escape(
                    "L'Acquisizione dell'Ultima Situazione Strutture Aziendali ricevuta dall'Osservatorio\n"
                    "Trasporti Regionale è terminata con successo.\nSono state registrate 0 schede "
                    "Struttura\nIl censimento precedente è conservato nella copia " +
                    QDir::toNativeSeparators(dir.filePath("VELUMBRA.prima-importazione-"))) +
                "[0-9]{8}-[0-9]{6}\\.MDB"));
            QVERIFY2(succeeded.match(importScript.messages.back().text).hasMatch(),
                     qPrintable(importScript.messages.back().text));
            QCOMPARE(importScript.messages.back().icon, QMessageBox::Information);

            ModalScript disconnect;
            disconnect.Message(QMessageBox::Ok);
            frame.Run(desktop::kSconnetti);
            QTRY_VERIFY(disconnect.Done());
            QCOMPARE(frame.windowTitle(), QString("VELUMBRA - \"Censimento Velumbra\""));

            ModalScript exit;
            exit.Message(QMessageBox::Ok);
            frame.Run(desktop::kFine);
            QTRY_VERIFY(exit.Done());
            QVERIFY(!frame.isVisible());
        }
        // The disconnection is what the next start finds; the census is in the file.
        QCOMPARE(desktop::Configuration(config).Read("Database"), std::optional<QString>(QString()));
        ui::ScriptedPort port;
        db::CDbConnection connection(port, database.toStdString());
        db::CDbTable master(&connection, "master");
        QVERIFY(master.SelectIndex("codice"));
        QVERIFY(master.Seek({"0"}).found());
        std::string company, next;
        QVERIFY(master.GetField("azienda", company));
        QVERIFY(master.GetField("id_depo", next));
        QCOMPARE(company, std::string("12"));
        QCOMPARE(next, std::string("0"));
    }
};

VELUMBRA_GUI_TEST_MAIN(SessionTest)
#include "SessionTest.moc"
