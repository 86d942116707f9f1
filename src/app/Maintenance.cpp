#include "app/Maintenance.h"

#include <optional>
#include <string>
#include <string_view>

#include "db/DbConnection.h"
#include "engine/Database.h"
#include "engine/FileSystem.h"
#include "schema/Creation.h"
#include "text/Text.h"

namespace app {
namespace {

// The port through which a repair makes its blank census: the person asked for a repair, not for a
// new database, so it shows nothing and asks nothing; it keeps the busy indicator ticking. What went
// wrong comes back in the creation's result.
class QuietPort final : public ui::Port {
  public:
    explicit QuietPort(ui::Port& port) : port_(port) {}

    void ShowMessage(std::string_view, std::string_view, ui::Icon, std::string_view) override {}
    bool Confirm(const ui::Confirmation&) override { return false; }
    std::optional<std::filesystem::path> ChooseFile(const ui::FileQuestion&) override { return std::nullopt; }
    void BeginBusy(bool) override {}
    void EndBusy() override {}
    void KeepResponsive() override { port_.KeepResponsive(); }
    void RunAside(const std::function<void()>& work) override { port_.RunAside(work); }
    bool ChooseCompany(ui::CompanyDialogRequest&) override { return false; }
    bool AskGenerationDate(ui::GenerationDateRequest&) override { return false; }
    bool EditStructure(ui::StructureEditorRequest&) override { return false; }
    std::optional<std::size_t> ShowCensusErrors(const ui::CensusErrorsRequest&) override {
        return std::nullopt;
    }
    std::optional<std::size_t> ChooseKeptCopy(const ui::KeptCopiesRequest&) override { return std::nullopt; }

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
            [&port](const std::filesystem::path& file) {
                QuietPort quiet(port);
                const ui::Outcome made = schema::CreateCensusDatabase(quiet, file, "");
                if (made) {
                    return engine::Status::Ok();
                }
                return engine::Status::Error(
                    made.cause().empty()
                        ? text::Utf8ToCp1252Lossy("Impossibile creare il database in cui ricostruire i dati.")
                        : made.cause());
            },
        .tables = {"depositi", "master"},
        .finish =
            "UPDATE master SET id_depo = max(id_depo, (SELECT coalesce(max(ID) + 1, 0) FROM depositi)) "
            "WHERE codice = 0"};
}

}  // namespace

ui::FileQuestion DatabaseFileQuestion(ui::FileKind kind, bool save, const std::string& title) {
    return ui::MakeFileQuestion(kind, save, title, "*.MDB", "MDB",
                                "Database JET (*.mdb)|*.mdb|Tutti i files (*.*)|*.*||");
}

bool IsCensusAt(const std::filesystem::path& path) {
    return engine::Database::Open(path, engine::Database::Contents::CensusMark,
                                  engine::Database::Access::ReadOnly)
        .ok();
}

ui::Outcome CreateDatabaseCommand(ui::Port& port) {
    const auto path =
        port.ChooseFile(DatabaseFileQuestion(ui::FileKind::NewDatabase, true, "Creazione Nuovo Database"));
    return path ? CreateDatabaseAt(port, *path) : ui::Outcome::Cancelled();
}

ui::Outcome CreateDatabaseAt(ui::Port& port, const std::filesystem::path& path) {
    return schema::CreateCensusDatabase(port, path, "\n\n");
}

ui::Outcome RepairDatabaseCommand(ui::Port& port) {
    const auto path = port.ChooseFile(
        DatabaseFileQuestion(ui::FileKind::DatabaseToRepair, false, "Riparazione del Database"));
    return path ? RepairDatabaseAt(port, *path) : ui::Outcome::Cancelled();
}

ui::Outcome RepairDatabaseAt(ui::Port& port, const std::filesystem::path& path) {
    return RepairDatabaseAt(port, path, {});
}

ui::Outcome RepairDatabaseAt(
    ui::Port& port, const std::filesystem::path& file,
    const std::function<engine::Status(const std::filesystem::path& path)>& makeBlank) {
    const ui::BusyScope busy(port, true);
    std::string damagedCopy;
    engine::Database::BlankCensus blank = BlankCensusFor(port);
    if (makeBlank) {
        blank.make = makeBlank;
    }
    const std::string path = engine::files::ShownPath(file);
    // The blank census is made through the quiet port, which asks the person nothing: the whole repair
    // runs aside.
    engine::Status repaired;
    port.RunAside([&] {
        repaired = engine::Database::Repair(
            file, &damagedCopy, [&port] { port.KeepResponsive(); }, blank);
    });
    if (!repaired) {
        port.ShowMessage(
            "Errore durante la riparazione del database\n\n" + path + "\n\n" + repaired.description(),
            "Riparazione database", ui::Icon::Exclamation);
        return ui::Outcome::Failed(repaired.code(), repaired.description());
    }
    // The code tables come back whole: what a damage took of them the program holds itself.
    {
        db::CDbConnection repairedCensus(port, file);
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
    const auto source = port.ChooseFile(
        DatabaseFileQuestion(ui::FileKind::DuplicateSource, false, "Selezione del Database di origine"));
    if (!source) {
        return ui::Outcome::Cancelled();
    }
    const auto destination = port.ChooseFile(DatabaseFileQuestion(ui::FileKind::DuplicateDestination, true,
                                                                  "Selezione del Database di destinazione"));
    return destination ? DuplicateDatabaseAt(port, *source, *destination) : ui::Outcome::Cancelled();
}

ui::Outcome DuplicateDatabaseAt(ui::Port& port, const std::filesystem::path& source,
                                const std::filesystem::path& destination) {
    const ui::BusyScope busy(port, true);
    engine::Status copied;
    port.RunAside([&] {
        copied = engine::Database::Compact(source, destination, schema::kLocale,
                                           [&port] { port.KeepResponsive(); });
    });
    if (!copied) {
        port.ShowMessage("Errore durante la duplicazione del database\n\n" +
                             engine::files::ShownPath(source) + "\n" + engine::files::ShownPath(destination) +
                             "\n\n" + copied.description(),
                         "Duplicazione database", ui::Icon::Exclamation);
        return ui::Outcome::Failed(copied.code(), copied.description());
    }
    return ui::Outcome::Done();
}

}  // namespace app
