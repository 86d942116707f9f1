// Saves pictures of the structure editor, as a person sees it: each page blank and filled, and the
// message of OK with data missing.
//   editor_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include "ModalScript.h"
#include "db/DbConnection.h"
#include "desktop/CensusApp.h"
#include "desktop/DepotEditDlg.h"
#include "desktop/QtPort.h"
#include "register/StructureEditor.h"
#include "schema/Creation.h"
#include "text/Text.h"
#include "ui/ScriptedPort.h"

namespace {

void Save(QWidget* w, const QString& file) {
    w->grab().save(file);
    qInfo("%s", qPrintable(file));
}

// The municipalities of a new census database, as the editor is given them.
std::vector<std::string> Municipalities() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("VELUMBRA.MDB").toStdString();
    ui::ScriptedPort port;
    if (!schema::CreateCensusDatabase(port, path, "")) {
        return {};
    }
    db::CDbConnection connection(port, path);
    return connection.IsOpen() ? reg::FillComuneCombo(connection).value_or(std::vector<std::string>{})
                               : std::vector<std::string>{};
}

census::Structure Filled(const std::vector<std::string>& municipalities) {
    census::Structure v;
    v.id = 1027;
    v.ubicaz = text::Utf8ToCp1252Lossy("VIA DELL'UNITÀ D'ITALIA 143/B");
    v.local = "ZONA INDUSTRIALE OSMANNORO";
    v.comune = municipalities.empty() ? 12 : text::ReadInt(municipalities[municipalities.size() / 2]);
    v.provin = "FI";
    v.flags = {1, 1, 1, 0, 0, 1, 1};
    v.scoPro = "COMUNE DI SESTO FIORENTINO";
    v.scoSup = 18500;
    v.scoTit = 'B';
    v.copPro = "AZIENDA TRASPORTI PUBBLICI S.P.A.";
    v.copSup = 6240;
    v.copTit = 'A';
    for (std::size_t i = 0; i < v.counts.size(); ++i) {
        v.counts[i] = static_cast<int>((i * 37) % 120);
    }
    return v;
}

// Each page of an editor showing `values`, as <name>-<page>.png.
void SavePages(const std::vector<std::string>& municipalities, const census::Structure& values,
               const QDir& out, const QString& name) {
    ui::StructureEditorRequest request;
    request.values = values;
    request.municipalityEntries = municipalities;
    desktop::CDepotEditDlg dialog(request, nullptr);
    dialog.show();
    const QStringList pages = {"location", "ownership", "fleet"};
    for (int page = 0; page < pages.size(); ++page) {
        dialog.Tabs()->setCurrentIndex(page);
        QCoreApplication::processEvents();
        Save(&dialog, out.filePath(name + "-" + pages[page] + ".png"));
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velumbra"));
    desktop::CCensusApp::InstallItalian(app);
    const QDir out(argc > 1 ? argv[1] : ".");
    const std::vector<std::string> municipalities = Municipalities();
    SavePages(municipalities, reg::BlankStructure(), out, "editor-blank");
    SavePages(municipalities, Filled(municipalities), out, "editor-filled");

    // OK on a blank editor: the message of what is missing.
    QWidget owner;
    desktop::QtPort port(&owner, nullptr);
    ui::StructureEditorRequest request;
    request.municipalityEntries = municipalities;
    request.accept = [&port](census::Structure& v) { return reg::CheckAndAccept(port, v); };
    desktop::CDepotEditDlg dialog(request, nullptr);
    dialog.show();
    ModalScript script;
    script.Then([&](QWidget* w) {
        Save(w, out.filePath("editor-missing-data.png"));
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->button(QMessageBox::Ok)) {
            box->button(QMessageBox::Ok)->click();
        } else {
            w->close();
        }
    });
    dialog.findChild<QPushButton*>("1")->click();
    while (!script.Done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return 0;
}
