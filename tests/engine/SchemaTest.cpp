// The description of the tables as the engine keeps it: the attributes of fields and indexes in the
// engine's own table, read back after the file is closed.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "Described.h"
#include "engine/Database.h"
#include "engine/TableCursor.h"
#include "support/TempDir.h"

namespace {

using engine::Database;
using engine::FieldDef;
using engine::FieldType;
using engine::IndexDef;

// Runs SQL on a file with the plain SQLite library; the first column of the first row, or "".
std::string Sql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string result;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) ==
        SQLITE_OK) {
        const char* tail = sql.c_str();
        while (tail && *tail) {
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(db, tail, -1, &stmt, &tail) != SQLITE_OK) {
                ADD_FAILURE() << sqlite3_errmsg(db) << " in " << tail;
                break;
            }
            if (stmt && sqlite3_step(stmt) == SQLITE_ROW && result.empty()) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
                result = text ? text : "";
            }
            sqlite3_finalize(stmt);
        }
    }
    sqlite3_close(db);
    return result;
}

class SchemaTest : public ::testing::Test {
  protected:
    std::unique_ptr<Database> Create(const std::string& file) {
        auto created = Database::Create(file, engine::kCensusLocale);
        EXPECT_TRUE(created.ok()) << created.description();
        return created.ok() ? std::move(*created) : nullptr;
    }

    std::unique_ptr<Database> Open(const std::string& file) {
        auto opened = Database::Open(file);
        EXPECT_TRUE(opened.ok()) << opened.description();
        return opened.ok() ? std::move(*opened) : nullptr;
    }

    // The table "linee" with every attribute a field can have, and its indexes: one defined before the
    // table is appended, the others after.
    void MakeLines(Database& db) {
        auto def = db.NewTableDef("linee");
        ASSERT_TRUE(def.ok());
        ASSERT_TRUE(def->AddField(
            {.name = "Numero", .type = FieldType::Integer, .ordinalPosition = 1, .required = true}));
        ASSERT_TRUE(def->AddField({.name = "nome",
                                   .type = FieldType::Text,
                                   .size = 20,
                                   .ordinalPosition = 2,
                                   .required = true,
                                   .validationRule = "<> \"X\"",
                                   .validationText = "Il nome \"X\" non \xE8 ammesso."}));
        ASSERT_TRUE(def->AddField(
            {.name = "note", .type = FieldType::Memo, .ordinalPosition = 3, .allowZeroLength = true}));
        ASSERT_TRUE(def->AddField({.name = "km",
                                   .type = FieldType::Long,
                                   .ordinalPosition = 4,
                                   .validationRule = "Is Null Or > 0"}));
        ASSERT_TRUE(db.CreateIndex(*def, {.name = "chiave", .columns = {"Numero"}, .primary = true}));
        ASSERT_TRUE(db.AppendTable(*def));
        ASSERT_TRUE(db.CreateIndex("linee", {.name = "per_nome",
                                             .columns = {"nome", "km"},
                                             .unique = true,
                                             .clustered = true,
                                             .required = true}));
        ASSERT_TRUE(db.CreateIndex("LINEE", {.name = "Per_Km", .columns = {"km"}, .ignoreNulls = true}));
    }

    testing_support::TempDir dir;
    const std::string path = dir.File("census.mdb");
};

TEST_F(SchemaTest, AttributesAreReadBackAfterTheFileIsClosed) {
    {
        auto db = Create(path);
        ASSERT_TRUE(db);
        MakeLines(*db);
    }
    auto db = Open(path);
    ASSERT_TRUE(db);
    auto fields = db->Fields("linee");
    ASSERT_TRUE(fields.ok()) << fields.description();
    ASSERT_EQ(fields->size(), 4u);
    const FieldDef& numero = (*fields)[0];
    EXPECT_EQ(numero.name, "Numero");
    EXPECT_EQ(numero.type, FieldType::Integer);
    EXPECT_TRUE(numero.required);
    EXPECT_FALSE(numero.allowZeroLength);
    const FieldDef& nome = (*fields)[1];
    EXPECT_EQ(nome.size, 20);
    EXPECT_TRUE(nome.required);
    EXPECT_FALSE(nome.allowZeroLength);
    EXPECT_EQ(nome.validationRule, "<> \"X\"");  // as it was given, not as the check made of it
    EXPECT_EQ(nome.validationText, "Il nome \"X\" non \xE8 ammesso.");
    const FieldDef& note = (*fields)[2];
    EXPECT_EQ(note.type, FieldType::Memo);
    EXPECT_FALSE(note.required);
    EXPECT_TRUE(note.allowZeroLength);
    EXPECT_EQ(note.validationRule, "");
    const FieldDef& km = (*fields)[3];
    EXPECT_EQ(km.validationRule, "Is Null Or > 0");
    EXPECT_EQ(km.validationText, "");

    auto indexes = db->Indexes("linee");
    ASSERT_TRUE(indexes.ok()) << indexes.description();
    ASSERT_EQ(indexes->size(), 3u);  // by name, capitals first
    const IndexDef& perKm = (*indexes)[0];
    EXPECT_EQ(perKm.name, "Per_Km");
    EXPECT_EQ(perKm.columns, std::vector<std::string>{"km"});
    EXPECT_TRUE(perKm.ignoreNulls);
    EXPECT_FALSE(perKm.primary || perKm.unique || perKm.clustered || perKm.required);
    const IndexDef& chiave = (*indexes)[1];
    EXPECT_EQ(chiave.name, "chiave");
    EXPECT_TRUE(chiave.primary);
    EXPECT_TRUE(chiave.unique);
    EXPECT_FALSE(chiave.clustered || chiave.ignoreNulls || chiave.required);
    const IndexDef& perNome = (*indexes)[2];
    EXPECT_EQ(perNome.columns, (std::vector<std::string>{"nome", "km"}));
    EXPECT_TRUE(perNome.unique && perNome.clustered && perNome.required);
    EXPECT_FALSE(perNome.primary || perNome.ignoreNulls);

    // The attributes are in the engine's table, not in the statements.
    db.reset();
    EXPECT_EQ(Sql(path, "SELECT count(*) FROM sqlite_master WHERE sql LIKE '%/*%'"), "0");
    EXPECT_EQ(Sql(path, "SELECT count(*) FROM velumbra_attributi WHERE tabella = 'linee'"), "7");
    EXPECT_EQ(Sql(path,
                  "SELECT cluster || obbligatorio || ignora_null || primario FROM velumbra_attributi "
                  "WHERE genere = 'indice' AND nome = 'per_nome'"),
              "1100");
}

TEST_F(SchemaTest, TheEnginesTableIsNoTableOfTheCensus) {
    auto db = Create(path);
    ASSERT_TRUE(db);
    MakeLines(*db);
    EXPECT_EQ(testing_support::CensusTableNames(*db), std::vector<std::string>{"linee"});
    for (const char* name : {"velumbra_attributi", "VELUMBRA_Attributi"}) {
        EXPECT_FALSE(db->TableExists(name));
        EXPECT_EQ(db->NewTableDef(name).description(),
                  std::string("'") + name + "' non \xE8 un nome valido per una tabella.");
        EXPECT_FALSE(db->Fields(name).ok());
        EXPECT_FALSE(db->Indexes(name).ok());
        EXPECT_FALSE(db->OpenTable(name).ok());
        EXPECT_FALSE(db->CreateIndex(name, {.name = "x", .columns = {"nome"}}).ok());
    }
    // A field may still have that name.
    auto def = db->NewTableDef("altra");
    ASSERT_TRUE(def.ok());
    EXPECT_TRUE(def->AddField({.name = "velumbra_attributi", .type = FieldType::Long}));
}

TEST_F(SchemaTest, WhatFailsToBeCreatedLeavesNoAttributes) {
    auto db = Create(path);
    ASSERT_TRUE(db);
    MakeLines(*db);
    {
        auto cursor = std::move(*db->OpenTable("linee"));
        for (const char* numero : {"1", "2"}) {
            ASSERT_TRUE(cursor->AddNew());
            ASSERT_TRUE(cursor->SetField("Numero", numero));
            ASSERT_TRUE(cursor->SetField("nome", "uno"));
            ASSERT_TRUE(cursor->Update());
        }
    }
    // Two rows named alike: a unique index on the name cannot be made, and records nothing.
    EXPECT_FALSE(db->CreateIndex("linee", {.name = "solo_nome", .columns = {"nome"}, .unique = true}).ok());
    EXPECT_EQ(db->Indexes("linee")->size(), 3u);

    // A table whose index SQLite refuses (its name is taken) is not created, and records nothing either.
    auto def = db->NewTableDef("fermate");
    ASSERT_TRUE(def.ok());
    ASSERT_TRUE(def->AddField({.name = "codice", .type = FieldType::Long}));
    ASSERT_TRUE(db->CreateIndex(*def, {.name = "chiave", .columns = {"codice"}, .clustered = true}));
    ASSERT_TRUE(db->CreateIndex(*def, {.name = "seconda", .columns = {"codice"}}));
    EXPECT_EQ(Sql(path, "CREATE TABLE \"fermate.seconda\" (x); SELECT 1"), "1");
    EXPECT_FALSE(db->AppendTable(*def).ok());
    EXPECT_FALSE(db->TableExists("fermate"));
    EXPECT_FALSE(def->appended());
    db.reset();
    EXPECT_EQ(
        Sql(path, "SELECT count(*) FROM velumbra_attributi WHERE tabella = 'fermate' OR nome = 'solo_nome'"),
        "0");
    EXPECT_EQ(Sql(path, "SELECT count(*) FROM velumbra_attributi"), "7");
}

TEST_F(SchemaTest, ATableRemovedBehindTheEnginesBackLeavesNothingToItsSuccessor) {
    {
        auto db = Create(path);
        ASSERT_TRUE(db);
        MakeLines(*db);
    }
    EXPECT_EQ(Sql(path, "DROP TABLE linee; SELECT count(*) FROM velumbra_attributi"), "7");
    auto db = Open(path);
    ASSERT_TRUE(db);
    auto def = db->NewTableDef("Linee");
    ASSERT_TRUE(def.ok());
    ASSERT_TRUE(def->AddField({.name = "nome", .type = FieldType::Text, .size = 5}));
    ASSERT_TRUE(db->AppendTable(*def));
    ASSERT_TRUE(db->CreateIndex("linee", {.name = "per_nome", .columns = {"nome"}}));
    const auto fields = *db->Fields("linee");
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_FALSE(fields[0].required);
    EXPECT_EQ(fields[0].validationRule, "");
    const auto indexes = *db->Indexes("linee");
    ASSERT_EQ(indexes.size(), 1u);
    EXPECT_FALSE(indexes[0].unique || indexes[0].clustered || indexes[0].required);
    db.reset();
    EXPECT_EQ(Sql(path, "SELECT count(*) FROM velumbra_attributi"), "2");
}

TEST_F(SchemaTest, ACopyKeepsTheAttributes) {
    std::string before;
    {
        auto db = Create(path);
        ASSERT_TRUE(db);
        MakeLines(*db);
        before = engine_testing::Described(*db);
    }
    // Compacting needs the census tables; the copy of a file that has them keeps the attributes.
    for (const char* name : {"tavole", "campi", "indici", "indici2", "relaz", "relaz2", "utenti", "master",
                             "regazi", "regcom", "depositi"}) {
        Sql(path, std::string("CREATE TABLE ") + name + " (a)");
    }
    const std::string copy = dir.File("copia.mdb");
    ASSERT_TRUE(Database::Compact(path, copy, engine::kCensusLocale));
    auto copied = Open(copy);
    ASSERT_TRUE(copied);
    auto fields = copied->Fields("linee");
    auto indexes = copied->Indexes("linee");
    ASSERT_TRUE(fields.ok() && indexes.ok());
    auto original = Open(path);
    ASSERT_TRUE(original);
    EXPECT_EQ(engine_testing::Described(*copied), engine_testing::Described(*original));
    EXPECT_NE(before.find("per_nome ( nome km ) univoco cluster obbligatorio"), std::string::npos);
    EXPECT_NE(engine_testing::Described(*copied).find(before), std::string::npos);
}

}  // namespace
