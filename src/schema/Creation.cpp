#include "schema/Creation.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "db/DbSelect.h"
#include "db/DbTable.h"
#include "engine/Database.h"
#include "engine/FileSystem.h"
#include "schema/Dictionary.h"
#include "schema/Settings.h"
#include "text/Text.h"

namespace schema {
namespace {

const char* const kCaption = "Creazione database";

void ShowCreationError(ui::Port& port, const std::string& path, const std::string& description) {
    port.ShowMessage("Errore durante la creazione del database " + path + "\n\n" + description, kCaption,
                     ui::Icon::Exclamation);
}

// Describes the application tables in the dictionary, creates them with their relations, and writes
// the seed rows and the settings row, on the file being built. Stops at the first failure, which
// the step that met it has shown.
ui::Outcome BuildCensus(ui::Port& port, CDictionary& dictionary, engine::Database& creation) {
    db::CDbConnection connection(port, creation);
    if (!connection.IsOpen()) {
        return ui::Outcome::Failed();
    }
    {
        db::CDbTable tavole(&connection, "tavole");
        db::CDbTable campi(&connection, "campi");
        db::CDbTable indici(&connection, "indici");
        db::CDbTable indici2(&connection, "indici2");
        db::CDbTable relaz(&connection, "relaz");
        db::CDbTable relaz2(&connection, "relaz2");
        for (const db::CDbTable* cursor : {&tavole, &campi, &indici, &indici2, &relaz, &relaz2}) {
            if (!cursor->IsOpen()) {
                return ui::Outcome::Failed();
            }
        }
        if (!dictionary.DescribeMaster(tavole, campi, indici, indici2) ||
            !dictionary.DescribeRegazi(tavole, campi, indici, indici2) ||
            !dictionary.DescribeRegcom(tavole, campi, indici, indici2) ||
            !dictionary.DescribeDepositi(tavole, campi, indici, indici2)) {
            return ui::Outcome::Failed();
        }
    }
    if (!dictionary.CreateTablesFromDictionary(connection, creation) ||
        !dictionary.CreateRelations(connection, creation)) {
        return ui::Outcome::Failed();
    }
    db::CDbTransaction transaction(connection);
    if (!transaction.IsActive() || !FillCodeTable(connection, "regazi", RegaziSeed()) ||
        !FillCodeTable(connection, "regcom", RegcomSeed())) {
        return ui::Outcome::Failed();
    }
    {
        SettingsRow settings(&connection);
        if (!settings.IsOpen() || !settings.SeekOrAdd()) {
            return ui::Outcome::Failed();
        }
    }
    return transaction.Commit();
}

}  // namespace

ui::Outcome FillCodeTable(db::CDbConnection& connection, const std::string& table,
                          const std::vector<SeedEntry>& seed) {
    db::CDbTable cursor(&connection, table);
    if (!cursor.IsOpen() || !cursor.SelectIndex("codice")) {
        return ui::Outcome::Failed();
    }
    for (const SeedEntry& entry : seed) {
        if (!cursor.AddNew() || !cursor.SetField("codice", text::FormatInt(entry.code)) ||
            !cursor.SetField("denom", entry.name) || !cursor.Update()) {
            return ui::Outcome::Failed();
        }
        connection.Port().KeepResponsive();
    }
    return ui::Outcome::Done();
}

ui::Outcome CompleteCodeTables(db::CDbConnection& connection) {
    for (const auto& [table, seed] :
         {std::pair{"regazi", &RegaziSeed()}, std::pair{"regcom", &RegcomSeed()}}) {
        std::set<std::int32_t> present;
        {
            db::CDbSelect codes(&connection);
            codes.SetColumns("codice");
            codes.SetFrom(table);
            for (int row = codes.Execute(); row; row = codes.Next()) {
                std::int16_t code = 0;
                const int gotten = codes.GetShort(0, code);
                // A null code is no code: its seed row is put back.
                if (codes.CheckFieldRead(gotten, 0, "codice") && gotten == 1) {
                    present.insert(code);
                }
            }
            if (codes.Failed()) {
                return ui::Outcome::Failed();  // shown by the selection
            }
        }
        std::vector<SeedEntry> missing;
        std::copy_if(seed->begin(), seed->end(), std::back_inserter(missing),
                     [&present](const SeedEntry& entry) { return !present.contains(entry.code); });
        if (!missing.empty() && !FillCodeTable(connection, table, missing)) {
            return ui::Outcome::Failed();
        }
    }
    return ui::Outcome::Done();
}

ui::Outcome CreateCensusDatabase(ui::Port& port, const std::filesystem::path& file,
                                 const std::string& successEnding) {
    const ui::BusyScope busy(port, true);
    const std::string path = engine::files::ShownPath(file);
    auto created = engine::Database::CreateForBuilding(file, kLocale);
    CDictionary dictionary(port);
    if (!created) {
        ShowCreationError(port, path, created.description());
    }
    if (!created || !dictionary.CreateSpecialTables(**created)) {
        // Destroying the handle removes the file begun.
        ShowCreationError(port, path, "");
        return created ? ui::Outcome::Failed() : db::FailedWith(created.status());
    }
    engine::Database& creation = **created;
    if (ui::Outcome built = BuildCensus(port, dictionary, creation); !built) {
        return built;  // the file begun goes with its handle
    }
    if (engine::Status finished = creation.FinishBuilding(); !finished) {
        ShowCreationError(port, path, finished.description());
        return db::FailedWith(finished);
    }
    port.ShowMessage(
        "Il database " + path + text::Utf8ToCp1252Lossy(" è stato creato con successo") + successEnding,
        kCaption, ui::Icon::Information);
    return ui::Outcome::Done();
}

}  // namespace schema
