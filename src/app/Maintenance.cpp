#include "app/Maintenance.h"

#include <optional>
#include <string>
#include <string_view>

#include "db/DbConnection.h"
#include "engine/Database.h"
#include "schema/Creation.h"
#include "text/Text.h"

namespace app {
namespace {

// The port through which a repair makes its blank census: the person asked for a repair, not for a
// new database, so it shows nothing; it keeps the busy indicator ticking, and keeps the description
// of the first failure for the repair to report.
class SilentPort final : public ui::Port {
  public:
    explicit SilentPort(ui::Port& port) : port_(port) {}

    ui::Answer ShowMessage(std::string_view text, std::string_view, ui::Icon icon, ui::Buttons,
                           std::string_view) override {
        // "Errore durante la creazione del database NAME\n\nDESCRIPTION"
        const std::size_t cut = text.find("\n\n");
        if (icon != ui::Icon::Information && failure.empty() && cut != std::string_view::npos) {
            failure = std::string(text.substr(cut + 2));
        }
        return ui::Answer::Ok;
    }
    std::optional<std::string> ChooseFileToOpen(const ui::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseFileToSave(const ui::FileDialogRequest&) override {
        return std::nullopt;
    }
    void BeginBusy(bool) override {}
    void EndBusy() override {}
    void KeepResponsive() override { port_.KeepResponsive(); }
    bool ChooseCompany(ui::CompanyDialogRequest&) override { return false; }
    bool AskGenerationDate(ui::GenerationDateRequest&) override { return false; }
    bool EditStructure(ui::StructureEditorRequest&) override { return false; }
    std::optional<std::size_t> ShowCensusErrors(const ui::CensusErrorsRequest&) override {
        return std::nullopt;
    }

    std::string failure;

  private:
    ui::Port& port_;
};

// What a census whose description of its tables is lost is rebuilt into: a census as the program
// creates it, with its dictionary, its code tables and a settings row, into which go the structures
// and the settings row still readable (the other rows are the program's own). The next structure
// identifier is then made to follow every structure recovered, so that no new structure takes the
// identifier of one that came back.
engine::Database::BlankCensus BlankCensusFor(ui::Port& port) {
    return {
        .make =
            [&port](const std::string& file) {
                SilentPort silent(port);
                if (schema::CreateCensusDatabase(silent, file, "")) {
                    return engine::Status::Ok();
                }
                return engine::Status::Error(
                    silent.failure.empty()
                        ? text::Utf8ToCp1252Lossy("Impossibile creare il database in cui ricostruire i dati.")
                        : silent.failure);
            },
        .tables = {"depositi", "master"},
        .finish =
            "UPDATE master SET id_depo = max(id_depo, (SELECT coalesce(max(ID) + 1, 0) FROM depositi)) "
            "WHERE codice = 0"};
}

}  // namespace

ui::FileDialogRequest DatabaseFileDialog(bool save, const std::string& title) {
    return ui::MakeFileDialog(save, title, "*.MDB", "MDB",
                              "Database JET (*.mdb)|*.mdb|Tutti i files (*.*)|*.*||");
}

ui::Outcome CreateDatabaseCommand(ui::Port& port) {
    const auto path = port.ChooseFileToSave(DatabaseFileDialog(true, "Creazione Nuovo Database"));
    return path ? CreateDatabaseAt(port, *path) : ui::Outcome::Failed();
}

ui::Outcome CreateDatabaseAt(ui::Port& port, const std::string& path) {
    return schema::CreateCensusDatabase(port, path, "\n\n");
}

ui::Outcome RepairDatabaseCommand(ui::Port& port) {
    const auto path = port.ChooseFileToOpen(DatabaseFileDialog(false, "Riparazione del Database"));
    return path ? RepairDatabaseAt(port, *path) : ui::Outcome::Failed();
}

ui::Outcome RepairDatabaseAt(ui::Port& port, const std::string& path) {
    return RepairDatabaseAt(port, path, {});
}

ui::Outcome RepairDatabaseAt(ui::Port& port, const std::string& path,
                             const std::function<engine::Status(const std::string& path)>& makeBlank) {
    port.BeginBusy(true);
    std::string damagedCopy;
    engine::Database::BlankCensus blank = BlankCensusFor(port);
    if (makeBlank) {
        blank.make = makeBlank;
    }
    engine::Status repaired = engine::Database::Repair(
        path, &damagedCopy, [&port] { port.KeepResponsive(); }, blank);
    if (!repaired) {
        port.ShowMessage(
            "Errore durante la riparazione del database\n\n" + path + "\n\n" + repaired.description(),
            "Riparazione database", ui::Icon::Exclamation);
        return ui::Outcome::Failed();
    }
    // The code tables come back whole: what a damage took of them the program holds itself.
    {
        db::CDbConnection repairedCensus(port, path);
        if (!repairedCensus.IsOpen() || !schema::CompleteCodeTables(repairedCensus)) {
            return ui::Outcome::Failed();  // shown by the connection
        }
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
        engine::Database::Compact(source, destination, schema::kLocale, [&port] { port.KeepResponsive(); });
    if (!copied) {
        port.ShowMessage("Errore durante la duplicazione del database\n\n" + source + "\n" + destination +
                             "\n\n" + copied.description(),
                         "Duplicazione database", ui::Icon::Exclamation);
        return ui::Outcome::Failed();
    }
    return ui::Outcome::Done();
}

}  // namespace app
