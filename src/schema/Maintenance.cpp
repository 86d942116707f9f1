#include "schema/Maintenance.h"

#include "engine/Database.h"
#include "schema/Creation.h"
#include "text/Text.h"

namespace schema {

ui::FileDialogRequest DatabaseFileDialog(bool save, const std::string& title) {
    return ui::MakeFileDialog(save, title, "*.MDB", "MDB",
                              "Database JET (*.mdb)|*.mdb|Tutti i files (*.*)|*.*||");
}

void CreateDatabaseCommand(ui::Port& port) {
    const auto path = port.ChooseFileToSave(DatabaseFileDialog(true, "Creazione Nuovo Database"));
    if (path) {
        CreateDatabaseAt(port, *path);
    }
}

bool CreateDatabaseAt(ui::Port& port, const std::string& path) {
    return CreateCensusDatabase(port, path, "\n\n") == CreationOutcome::Created;
}

void RepairDatabaseCommand(ui::Port& port) {
    const auto path = port.ChooseFileToOpen(DatabaseFileDialog(false, "Riparazione del Database"));
    if (path) {
        RepairDatabaseAt(port, *path);
    }
}

bool RepairDatabaseAt(ui::Port& port, const std::string& path) {
    port.BeginBusy(true);
    std::string damagedCopy;
    engine::Status repaired = engine::Database::Repair(path, &damagedCopy);
    if (!repaired) {
        port.ShowMessage(
            "Errore durante la riparazione del database\n\n" + path + "\n\n" + repaired.description(),
            "Riparazione database", ui::Icon::Exclamation);
        return false;
    }
    if (!damagedCopy.empty()) {
        port.ShowMessage(
            text::Utf8ToCp1252Lossy("Il database era danneggiato ed è stato ricostruito con tutti i dati "
                                    "ancora leggibili:\n\n") +
                path + text::Utf8ToCp1252Lossy("\n\nIl file danneggiato è stato conservato come:\n\n") +
                damagedCopy,
            "Riparazione database", ui::Icon::Information);
    }
    return true;
}

void DuplicateDatabaseCommand(ui::Port& port) {
    const auto source = port.ChooseFileToOpen(DatabaseFileDialog(false, "Selezione del Database di origine"));
    if (!source) {
        return;
    }
    const auto destination =
        port.ChooseFileToSave(DatabaseFileDialog(true, "Selezione del Database di destinazione"));
    if (destination) {
        DuplicateDatabaseAt(port, *source, *destination);
    }
}

bool DuplicateDatabaseAt(ui::Port& port, const std::string& source, const std::string& destination) {
    port.BeginBusy(true);
    engine::Status copied = engine::Database::Compact(source, destination, kLocale);
    if (!copied) {
        port.ShowMessage("Errore durante la duplicazione del database\n\n" + source + "\n" + destination +
                             "\n\n" + copied.description(),
                         "Duplicazione database", ui::Icon::Exclamation);
        return false;
    }
    return true;
}

}  // namespace schema
