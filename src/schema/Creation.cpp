#include "schema/Creation.h"

#include <memory>

#include "db/DbTable.h"
#include "engine/Database.h"
#include "schema/Dictionary.h"
#include "text/Text.h"

namespace schema {
namespace {

const char* const kCaption = "Creazione database";

void ShowCreationError(ui::Port& port, const std::string& path, const std::string& description) {
    port.ShowMessage("Errore durante la creazione del database " + path + "\n\n" + description, kCaption,
                     ui::Icon::Exclamation);
}

}  // namespace

void FillCodeTable(db::CDbConnection& connection, const std::string& table,
                   const std::vector<SeedEntry>& seed) {
    db::CDbTable cursor(&connection, table);
    cursor.SelectIndex("codice");
    for (const SeedEntry& entry : seed) {
        cursor.AddNew();
        cursor.SetField("codice", text::FormatInt(entry.code));
        cursor.SetField("denom", entry.name);
        cursor.Update();
        connection.Port().KeepResponsive();
    }
}

CreationOutcome CreateCensusDatabase(ui::Port& port, const std::string& path,
                                     const std::string& successEnding) {
    port.BeginBusy(true);
    auto created = engine::Database::Create(path, kLocale);
    CDictionary dictionary(port);
    if (!created) {
        ShowCreationError(port, path, created.description());
    }
    if (!created || dictionary.CreateSpecialTables(**created) == 0) {
        if (created) {
            (void)(*created)->Close();
        }
        ShowCreationError(port, path, "");
        return CreationOutcome::Failed;
    }
    engine::Database& creation = **created;
    auto connection = std::make_unique<db::CDbConnection>(port, path);
    {
        db::CDbTable tavole(connection.get(), "tavole");
        db::CDbTable campi(connection.get(), "campi");
        db::CDbTable indici(connection.get(), "indici");
        db::CDbTable indici2(connection.get(), "indici2");
        db::CDbTable relaz(connection.get(), "relaz");
        db::CDbTable relaz2(connection.get(), "relaz2");
        dictionary.DescribeMaster(tavole, campi, indici, indici2);
        dictionary.DescribeRegazi(tavole, campi, indici, indici2);
        dictionary.DescribeRegcom(tavole, campi, indici, indici2);
        dictionary.DescribeDepositi(tavole, campi, indici, indici2);
    }
    CreationOutcome outcome = CreationOutcome::Incomplete;
    if (dictionary.CreateTablesFromDictionary(*connection, creation) == 1 &&
        dictionary.CreateRelations(*connection, creation) == 1) {
        connection.reset();
        connection = std::make_unique<db::CDbConnection>(port, path);
        connection->BeginTransaction();
        FillCodeTable(*connection, "regazi", RegaziSeed());
        FillCodeTable(*connection, "regcom", RegcomSeed());
        connection->CommitTransaction();
        port.ShowMessage(
            "Il database " + path + text::Utf8ToCp1252Lossy(" è stato creato con successo") + successEnding,
            kCaption, ui::Icon::Information);
        outcome = CreationOutcome::Created;
    }
    connection.reset();
    (void)creation.Close();
    return outcome;
}

}  // namespace schema
