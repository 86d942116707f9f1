// "Ripristina Copia…" from the menu: the list of copies from the keyboard, the confirmation and the
// message that ends it, as the clerk sees them.
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "GuiTestMain.h"
#include "ModalScript.h"
#include "db/DbTable.h"
#include "desktop/CensusApp.h"
#include "desktop/KeptCopiesDlg.h"
#include "desktop/MainFrame.h"
#include "schema/Creation.h"
#include "ui/ScriptedPort.h"

namespace {

void SetCompany(app::Session& session, const char* code) {
    db::CDbTable master(session.Connection(), "master");
    QVERIFY(master.SelectIndex("codice"));
    QVERIFY(master.Seek({"0"}).found());
    QVERIFY(master.Edit());
    QVERIFY(master.SetField("azienda", code));
    QVERIFY(master.Update());
}

}  // namespace

class RestoreTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { FreshUserConfig(); }

    void aCopyIsChosenFromTheKeyboardAndPutBack() {
        QTemporaryDir dir;
        const QString census = dir.filePath("VELUMBRA.MDB");
        {
            ui::ScriptedPort port;
            QVERIFY(schema::CreateCensusDatabase(port, census.toStdString(), ""));
        }
        QVERIFY(QFile::copy(census, dir.filePath("VELUMBRA.prima-importazione-20261201-100000.MDB")));
        const QString config = dir.filePath("velumbra.ini");
        {
            QSettings settings(config, QSettings::IniFormat);
            settings.setValue("Directory", dir.path());
            settings.setValue("Database", census);
        }
        desktop::CCensusApp app({"velumbra", "--config", config});
        QVERIFY(app.StartUp());
        desktop::CMainFrame& frame = app.MainFrame();
        SetCompany(frame.Session(), "12");
        frame.Session().CloseConnection();
        QVERIFY(QFile::copy(census, dir.filePath("VELUMBRA.prima-importazione-20261208-153000.MDB")));
        QVERIFY(frame.Session().OpenAssociatedDatabase());
        frame.UpdateTitle();
        QVERIFY(frame.Action(desktop::kRipristina)->isEnabled());
        const QString company12 = frame.windowTitle();

        // Esc leaves everything as it was.
        ModalScript cancelled;
        cancelled.Then([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
        frame.Run(desktop::kRipristina);
        QTRY_VERIFY_WITH_TIMEOUT(cancelled.Done(), 20000);
        QVERIFY(cancelled.messages.empty());
        QCOMPARE(frame.windowTitle(), company12);

        QStringList rows;
        bool listFocused = false;
        QString title, accessible;
        ModalScript script;
        script
            .Then([&](QWidget* w) {
                auto* dialog = qobject_cast<desktop::CKeptCopiesDlg*>(w);
                if (!dialog) {
                    w->close();
                    return;
                }
                title = dialog->windowTitle();
                listFocused = dialog->focusWidget() == dialog->List();
                accessible = dialog->List()->accessibleName();
                for (int i = 0; i < dialog->List()->topLevelItemCount(); ++i) {
                    const QTreeWidgetItem* item = dialog->List()->topLevelItem(i);
                    rows << item->text(0) + " | " + item->text(1) + " | " + item->text(2);
                }
                QTest::keyClick(dialog->focusWidget(), Qt::Key_Down);
                QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
            })
            .Message(QMessageBox::Ok)
            .Message(QMessageBox::Ok);
        frame.Run(desktop::kRipristina);
        QTRY_VERIFY_WITH_TIMEOUT(script.Done(), 20000);
        QVERIFY2(script.failures.empty(), qPrintable(script.failures.join("; ")));

        QCOMPARE(title, QString("Ripristina Copia"));
        QVERIFY(listFocused);
        QCOMPARE(accessible, QString("Copie conservate del censimento"));
        QCOMPARE(rows, QStringList({"08/12/2026 15:30:00 | 0 | 0012 - SOC. COOP. AUTOTRASPORTI AMIATINI",
                                    "01/12/2026 10:00:00 | 0 | 0000 - *** azienda non assegnata ***"}));
        QCOMPARE(script.messages.size(), std::size_t{2});
        QCOMPARE(script.messages[0].text,
                 QString("Il censimento attuale sarà sostituito dalla copia del 01/12/2026 10:00:00. Il "
                         "censimento attuale sarà conservato a sua volta come copia."));
        QCOMPARE(script.messages[0].title, QString("Ripristino database"));
        QCOMPARE(script.messages[0].icon, QMessageBox::Question);
        // The copies' names joined to the census's folder as the system joins them.
        const QString done = "Il censimento è stato ripristinato dalla copia del 01/12/2026 10:00:00:\n\n" +
                             dir.path() + QDir::separator() +
                             "VELUMBRA.prima-importazione-20261201-100000.MDB" +
                             "\n\nIl censimento sostituito è conservato nella copia:\n\n" + dir.path() +
                             QDir::separator() + "VELUMBRA.prima-ripristino-";
        QCOMPARE(script.messages[1].text.left(done.size()), done);
        QCOMPARE(script.messages[1].title, QString("Ripristino database"));
        QCOMPARE(script.messages[1].icon, QMessageBox::Information);
        QCOMPARE(frame.windowTitle(), QString("VELUMBRA - Azienda 0 *** azienda non assegnata ***"));
        QVERIFY(frame.Session().HasOpenDatabase());
    }
};

VELUMBRA_GUI_TEST_MAIN(RestoreTest)
#include "RestoreTest.moc"
