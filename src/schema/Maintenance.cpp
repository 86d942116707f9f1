#include "schema/Maintenance.h"

#include "engine/Database.h"
#include "schema/Creation.h"
#include "text/Text.h"

namespace schema {

ui::FileDialogRequest DatabaseFileDialog(bool save, const std::string& title) {
    return ui::MakeFileDialog(save, title, "*.MDB", "MDB",
                              "Database JET (*.mdb)|*.mdb|Tutti i files (*.*)|*.*||");
}

ui::Outcome CreateDatabaseCommand(ui::Port& port) {
    const auto path = port.ChooseFileToSave(DatabaseFileDialog(true, "Creazione Nuovo Database"));
    return path ? CreateDatabaseAt(port, *path) : ui::Outcome::Failed();
}

ui::Outcome CreateDatabaseAt(ui::Port& port, const std::string& path) {
    return CreateCensusDatabase(port, path, "\n\n");
}

ui::Outcome RepairDatabaseCommand(ui::Port& port) {
    const auto path = port.ChooseFileToOpen(DatabaseFileDialog(false, "Riparazione del Database"));
    return path ? RepairDatabaseAt(port, *path) : ui::Outcome::Failed();
}

ui::Outcome RepairDatabaseAt(ui::Port& port, const std::string& path) {
    port.BeginBusy(true);
    std::string damagedCopy;
    engine::Status repaired =
        engine::Database::Repair(path, &damagedCopy, [&port] { port.KeepResponsive(); });
    if (!repaired) {
        port.ShowMessage(
            "Errore durante la riparazione del database\n\n" + path + "\n\n" + repaired.description(),
            "Riparazione database", ui::Icon::Exclamation);
        return ui::Outcome::Failed();
    }
    if (!damagedCopy.empty()) {
        port.ShowMessage(
            text::Utf8ToCp1252Lossy("Il database era danneggiato ed è stato ricostruito con tutti i dati "
                                    "ancora leggibili:\n\n") +
                path + text::Utf8ToCp1252Lossy("\n\nIl file danneggiato è stato conservato come:\n\n") +
                damagedCopy,
            "Riparazione database", ui::Icon::Information);
    }
    return ui::Outcome::Done();
}

ui::Outcome DuplicateDatabaseCommand(ui::Port& port) {
    const auto source = port.ChooseFileToOpen(DatabaseFileDialog(false, "Selezione del Database di origine"));
    if (!source) {
        return ui::Outcome::Failed();
    }
    const auto destination =
        port.ChooseFileToSave(DatabaseFileDialog(true, "Selezione del Database di destinazione"));
    return destination ? DuplicateDatabaseAt(port, *source, *destination) : ui::Outcome::Failed();
}

ui::Outcome DuplicateDatabaseAt(ui::Port& port, const std::string& source, const std::string& destination) {
    port.BeginBusy(true);
    engine::Status copied =
        engine::Database::Compact(source, destination, kLocale, [&port] { port.KeepResponsive(); });
    if (!copied) {
        port.ShowMessage("Errore durante la duplicazione del database\n\n" + source + "\n" + destination +
                             "\n\n" + copied.description(),
                         "Duplicazione database", ui::Icon::Exclamation);
        return ui::Outcome::Failed();
    }
    return ui::Outcome::Done();
}

}  // namespace schema
