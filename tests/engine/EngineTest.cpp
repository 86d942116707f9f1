#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

#include "engine/Database.h"
#include "engine/Query.h"
#include "engine/TableCursor.h"
#include "support/TempDir.h"

namespace {

using engine::Database;
using engine::FieldDef;
using engine::FieldType;
using engine::IndexDef;
using engine::Value;
using Sought = engine::SeekResult::Kind;

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto created = Database::Create(dir.File("census.mdb"), engine::kCensusLocale);
        ASSERT_TRUE(created.ok()) << created.description();
        db = std::move(*created);
    }

    // A table with a required key, an optional text and a required text that refuses the empty text.
    void MakeTable(const std::string& name = "t") {
        auto def = db->NewTableDef(name);
        ASSERT_TRUE(def.ok());
        ASSERT_TRUE(def->AddField(
            {.name = "id", .type = FieldType::Integer, .ordinalPosition = 1, .required = true}));
        ASSERT_TRUE(def->AddField({.name = "note",
                                   .type = FieldType::Text,
                                   .size = 10,
                                   .ordinalPosition = 2,
                                   .allowZeroLength = true}));
        ASSERT_TRUE(def->AddField(
            {.name = "nome", .type = FieldType::Text, .size = 5, .ordinalPosition = 3, .required = true}));
        ASSERT_TRUE(db->AppendTable(*def));
        ASSERT_TRUE(db->CreateIndex(name, {.name = "codice", .columns = {"id"}, .primary = true}));
    }

    engine::Status Insert(engine::TableCursor& c, const std::string& id, const std::string& nome) {
        EXPECT_TRUE(c.AddNew());
        EXPECT_TRUE(c.SetField("id", id));
        EXPECT_TRUE(c.SetField("nome", nome));
        return c.Update();
    }

    std::vector<std::vector<Value>> Rows(const std::string& sql) {
        auto q = db->CreateQuery(sql);
        EXPECT_TRUE(q.ok()) << q.description();
        auto snap = (*q)->OpenSnapshot();
        EXPECT_TRUE(snap.ok()) << snap.description();
        std::vector<std::vector<Value>> rows;
        for (; !(*snap)->AtEnd(); (void)(*snap)->MoveNext()) {
            std::vector<Value> row;
            for (int c = 0; c < (*snap)->ColumnCount(); ++c) {
                row.push_back(*(*snap)->Field(c));
            }
            rows.push_back(row);
        }
        return rows;
    }

    testing_support::TempDir dir;
    std::unique_ptr<Database> db;
};

TEST_F(EngineTest, FilesAreCreatedOnceAndOpenedOnlyWhenTheyAreCensusDatabases) {
    const std::string path = dir.File("census.mdb");
    auto again = Database::Create(path, engine::kCensusLocale);
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.description(), "Il file '" + path + "' esiste gi\xE0.");

    EXPECT_FALSE(Database::Create(dir.File("other.mdb"), ";LANGID=0x0409;CP=1251;COUNTRY=0").ok());
    EXPECT_FALSE(Database::Create(dir.File("missing/folder/x.mdb"), engine::kCensusLocale).ok());

    auto missing = Database::Open(dir.File("none.mdb"));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.description(), "Impossibile trovare il file '" + dir.File("none.mdb") + "'.");

    const std::string junk = dir.File("junk.mdb");
    std::ofstream(junk)
        << "this is not a database, just some text that is long enough to have a header......";
    auto notDb = Database::Open(junk);
    ASSERT_FALSE(notDb.ok());
    EXPECT_EQ(notDb.description(), "Il file '" + junk + "' non \xE8 un database del censimento.");

    auto second = Database::Open(path);  // shared: a second handle on the same file
    ASSERT_TRUE(second.ok()) << second.description();
    EXPECT_TRUE((*second)->Close());
    EXPECT_TRUE(db->Close());
    EXPECT_FALSE(db->IsOpen());
}

TEST_F(EngineTest, TransactionsCommitRollBackAndNest) {
    MakeTable();
    auto c = std::move(*db->OpenTable("t"));
    EXPECT_EQ(db->CommitTransaction().description(),
              "Impossibile convalidare: nessuna transazione \xE8 in corso.");
    EXPECT_EQ(db->RollbackTransaction().description(),
              "Impossibile annullare: nessuna transazione \xE8 in corso.");

    ASSERT_TRUE(db->BeginTransaction());
    ASSERT_TRUE(Insert(*c, "1", "uno"));
    ASSERT_TRUE(db->BeginTransaction());
    ASSERT_TRUE(Insert(*c, "2", "due"));
    ASSERT_TRUE(db->RollbackTransaction());  // the inner level only
    ASSERT_TRUE(db->CommitTransaction());
    EXPECT_EQ(Rows("SELECT id FROM t").size(), 1u);

    ASSERT_TRUE(db->BeginTransaction());
    ASSERT_TRUE(Insert(*c, "3", "tre"));
    ASSERT_TRUE(db->RollbackTransaction());
    EXPECT_EQ(Rows("SELECT id FROM t").size(), 1u);
    EXPECT_EQ(db->TransactionDepth(), 0);
}

// Once SQLite has ended a transaction by itself (here a trigger that rolls everything back; a full disk
// does the same), nothing more is written outside it: every later write fails, and so does the commit.
TEST_F(EngineTest, NothingIsWrittenOutsideATransactionThatSqliteEnded) {
    MakeTable("t");
    MakeTable("u");
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("census.mdb").c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(raw, "CREATE TRIGGER fine BEFORE INSERT ON u BEGIN SELECT RAISE(ROLLBACK, 'fine'); END",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(raw);
    auto t = std::move(*db->OpenTable("t"));
    auto u = std::move(*db->OpenTable("u"));
    ASSERT_TRUE(db->BeginTransaction());
    ASSERT_TRUE(Insert(*t, "1", "uno"));
    EXPECT_FALSE(Insert(*u, "1", "uno"));  // the transaction ends with it
    const engine::Status refused = Insert(*t, "2", "due");
    EXPECT_EQ(refused.code(), SQLITE_CONSTRAINT_COMMITHOOK);
    EXPECT_EQ(refused.description(),
              "La transazione era gi\xE0 stata annullata da un errore precedente: la modifica non \xE8 stata "
              "salvata.");
    EXPECT_FALSE(db->CommitTransaction());
    EXPECT_TRUE(Rows("SELECT id FROM t").empty());
    // Outside any transaction a write stands on its own, as ever.
    EXPECT_TRUE(Insert(*t, "3", "tre"));
    EXPECT_EQ(Rows("SELECT id FROM t").size(), 1u);
}

TEST_F(EngineTest, TableDefinitionsBecomeConstraintsWithItalianRefusals) {
    MakeTable();
    auto fields = db->Fields("t");
    ASSERT_TRUE(fields.ok());
    ASSERT_EQ(fields->size(), 3u);
    EXPECT_EQ((*fields)[1].type, FieldType::Text);
    EXPECT_EQ((*fields)[1].size, 10);
    EXPECT_TRUE((*fields)[1].allowZeroLength);
    EXPECT_FALSE((*fields)[2].allowZeroLength);
    EXPECT_TRUE((*fields)[2].required);

    auto c = std::move(*db->OpenTable("t"));
    ASSERT_TRUE(Insert(*c, "1", "uno"));
    EXPECT_EQ(Insert(*c, "1", "altro").description(),
              "Valore duplicato: la tabella 't' contiene gi\xE0 un record con lo stesso valore in 'id', che "
              "l'indice univoco non consente di ripetere.");

    ASSERT_TRUE(c->AddNew());  // the refused row is dropped: the new one starts with every field null
    ASSERT_TRUE(c->SetField("id", "2"));
    EXPECT_EQ(
        c->Update().description(),
        "Il campo 't.nome' non pu\xF2 contenere un valore Null: \xE8 obbligatorio immettere un valore.");
    ASSERT_TRUE(c->SetField("nome", ""));
    EXPECT_EQ(c->Update().description(),
              "Il campo 'nome' non pu\xF2 contenere un testo vuoto: immettere un valore.");
    ASSERT_TRUE(c->SetField("nome", "due"));
    ASSERT_TRUE(c->SetField("note", ""));  // this one accepts the empty text
    EXPECT_TRUE(c->Update());
    EXPECT_FALSE(c->SetField("nome", "troppo"));  // no edit in progress
    EXPECT_FALSE(c->SetField("sconosciuto", "x"));

    auto idx = db->Indexes("t");
    ASSERT_EQ(idx->size(), 1u);
    EXPECT_EQ((*idx)[0].name, "codice");
    EXPECT_TRUE((*idx)[0].primary);
    EXPECT_TRUE((*idx)[0].unique);
    EXPECT_EQ(db->CreateIndex("t", {.name = "altra", .columns = {"nome"}, .primary = true}).description(),
              "La tabella 't' ha gi\xE0 una chiave primaria ('codice').");
    EXPECT_FALSE(db->CreateIndex("t", {.name = "codice", .columns = {"nome"}}).ok());
    EXPECT_FALSE(db->CreateIndex("t", {.name = "x", .columns = {"manca"}}).ok());
    EXPECT_FALSE(db->CreateIndex("manca", {.name = "x", .columns = {"id"}}).ok());
    EXPECT_FALSE(db->CreateIndex("t", {.name = "x", .columns = std::vector<std::string>(11, "id")}).ok());
    EXPECT_EQ(db->AppendTable(*db->NewTableDef("t")).description(), "La tabella 't' esiste gi\xE0.");
    EXPECT_FALSE(db->AppendTable(*db->NewTableDef("vuota")).ok());
    EXPECT_FALSE(db->NewTableDef("").ok());
}

TEST_F(EngineTest, ValidationRulesNameTheirFieldImplicitly) {
    auto def = *db->NewTableDef("r");
    ASSERT_TRUE(def.AddField({.name = "n",
                              .type = FieldType::Long,
                              .validationRule = "Is Null Or > 0",
                              .validationText = "Il numero deve essere positivo."}));
    ASSERT_TRUE(def.AddField(
        {.name = "s", .type = FieldType::Text, .size = 1, .validationRule = "In (\"A\", \"B\")"}));
    ASSERT_TRUE(db->AppendTable(def));
    auto c = std::move(*db->OpenTable("r"));
    ASSERT_TRUE(c->AddNew());
    ASSERT_TRUE(c->SetField("n", "-3"));
    EXPECT_EQ(c->Update().description(), "Il numero deve essere positivo.");
    ASSERT_TRUE(c->SetField("n", "3"));
    ASSERT_TRUE(c->SetField("s", "C"));
    EXPECT_EQ(
        c->Update().description(),
        "Il valore del campo 's' non \xE8 consentito dalla regola di convalida impostata per il campo.");
    ASSERT_TRUE(c->SetField("s", "b"));
    EXPECT_TRUE(c->Update());
    EXPECT_EQ((*db->Fields("r"))[0].validationText, "Il numero deve essere positivo.");
}

TEST_F(EngineTest, SeekEditUpdateAndDelete) {
    MakeTable();
    auto c = std::move(*db->OpenTable("t"));
    for (int i = 1; i <= 5; ++i) {
        ASSERT_TRUE(Insert(*c, std::to_string(i), "n" + std::to_string(i)));
    }
    EXPECT_EQ(c->Seek({"1"}).kind(), Sought::Failed);  // no index selected yet
    EXPECT_FALSE(c->SelectIndex("manca").ok());
    ASSERT_TRUE(c->SelectIndex("codice"));
    EXPECT_EQ(c->Seek({"3"}).kind(), Sought::Found);
    EXPECT_EQ(*c->GetField("nome"), Value::Text("n3"));
    ASSERT_TRUE(c->Edit());
    ASSERT_TRUE(c->SetField("nome", "tre"));
    EXPECT_EQ(*c->GetField("nome"), Value::Text("tre"));  // the row being edited
    ASSERT_TRUE(c->Update());
    EXPECT_EQ(c->Seek({"3"}).kind(), Sought::Found);
    EXPECT_EQ(*c->GetField("NOME"), Value::Text("tre"));

    EXPECT_EQ(c->Seek({"99"}).kind(), Sought::NotFound);
    EXPECT_FALSE(c->Edit().ok());  // no current row after a miss, but the cursor is usable
    EXPECT_EQ(c->Seek({"2"}).kind(), Sought::Found);

    EXPECT_EQ(c->Seek({"due"}).kind(), Sought::Failed);
    EXPECT_EQ(c->Seek({"1", "2"}).kind(), Sought::Failed);  // more keys than the index has columns

    ASSERT_EQ(c->Seek({"4"}).kind(), Sought::Found);
    ASSERT_TRUE(c->Delete());
    EXPECT_EQ(c->Seek({"4"}).kind(), Sought::NotFound);
    EXPECT_FALSE(c->Delete().ok());
    EXPECT_EQ(Rows("SELECT id FROM t").size(), 4u);
}

TEST_F(EngineTest, SeekWithFewerKeysMatchesTheFirstColumns) {
    auto def = *db->NewTableDef("k");
    ASSERT_TRUE(def.AddField({.name = "a", .type = FieldType::Text, .size = 8}));
    ASSERT_TRUE(def.AddField({.name = "b", .type = FieldType::Integer}));
    ASSERT_TRUE(db->AppendTable(def));
    ASSERT_TRUE(db->CreateIndex("k", {.name = "elemento", .columns = {"a", "b"}}));
    auto c = std::move(*db->OpenTable("k"));
    for (const auto& [a, b] :
         std::vector<std::pair<std::string, std::string>>{{"x", "2"}, {"x", "1"}, {"y", "0"}}) {
        ASSERT_TRUE(c->AddNew());
        ASSERT_TRUE(c->SetField("a", a));
        ASSERT_TRUE(c->SetField("b", b));
        ASSERT_TRUE(c->Update());
    }
    ASSERT_TRUE(c->SelectIndex("elemento"));
    ASSERT_EQ(c->Seek({"X"}).kind(), Sought::Found);  // texts compare without case, as keys do
    EXPECT_EQ(*c->GetField("b"), Value::Integer(1));
    ASSERT_EQ(c->Seek({"x", "2"}).kind(), Sought::Found);
    EXPECT_EQ(*c->GetField("b"), Value::Integer(2));
    EXPECT_EQ(c->Seek({"y", "1"}).kind(), Sought::NotFound);
}

TEST_F(EngineTest, SnapshotsKeepTheirRowsWhileTheTableChanges) {
    MakeTable();
    auto c = std::move(*db->OpenTable("t"));
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(Insert(*c, std::to_string(i), "r" + std::to_string(i)));
    }
    auto q = db->CreateQuery("SELECT id, nome FROM t WHERE nome <> \"r7\" ORDER BY id");
    ASSERT_TRUE(q.ok()) << q.description();
    auto snap = std::move(*(*q)->OpenSnapshot());
    ASSERT_TRUE(c->SelectIndex("codice"));
    int seen = 0;
    for (; !snap->AtEnd(); (void)snap->MoveNext()) {
        const auto id = snap->Field("id")->AsInt();
        EXPECT_EQ(snap->Field(0)->kind(), Value::Kind::Integer);
        EXPECT_EQ(snap->Field("NOME")->AsBytes(), "r" + std::to_string(id));
        // Delete this row and the next one while the snapshot is read.
        for (const auto key : {id, id + 1}) {
            if (c->Seek({std::to_string(key)}).kind() == Sought::Found) {
                ASSERT_TRUE(c->Delete());
            }
        }
        ++seen;
    }
    EXPECT_EQ(seen, 49);
    EXPECT_TRUE(Rows("SELECT id FROM t").empty());
    EXPECT_FALSE(snap->Field(0).ok());  // past the end
}

TEST_F(EngineTest, QueriesAreReadOnlyAndDescribeTheirErrors) {
    MakeTable();
    EXPECT_EQ(db->CreateQuery("SELECT manca FROM t").description(), "Il campo 'manca' non esiste.");
    EXPECT_EQ(db->CreateQuery("SELECT id FROM manca").description(), "La tabella 'manca' non esiste.");
    EXPECT_EQ(db->CreateQuery("SELECT id FRM t").description(),
              "Errore di sintassi nell'istruzione SQL vicino a 't'.");
    EXPECT_EQ(db->CreateQuery("  ").description(), "L'istruzione SQL \xE8 vuota.");
    EXPECT_FALSE(db->CreateQuery("DELETE FROM t").ok());
    // A text constant with an apostrophe and a doubled quote inside.
    auto rows = Rows("SELECT \"l'ora \"\"x\"\"\" AS a, [id] FROM t");
    EXPECT_TRUE(rows.empty());
    auto one = Rows("SELECT \"l'ora \"\"x\"\"\" AS a, count(*) AS n FROM t");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0][0], Value::Memo("l'ora \"x\""));
    EXPECT_EQ(one[0][1], Value::Long(0));
}

TEST_F(EngineTest, EveryTypeIsStoredAndReadBackTyped) {
    auto def = *db->NewTableDef("tipi");
    const std::vector<std::pair<std::string, FieldType>> fields = {
        {"b", FieldType::Boolean}, {"y", FieldType::Byte},      {"i", FieldType::Integer},
        {"l", FieldType::Long},    {"c", FieldType::Currency},  {"s", FieldType::Single},
        {"d", FieldType::Double},  {"t", FieldType::Date},      {"a", FieldType::Text},
        {"m", FieldType::Memo},    {"o", FieldType::LongBinary}};
    for (const auto& [name, type] : fields) {
        ASSERT_TRUE(def.AddField({.name = name, .type = type, .size = type == FieldType::Text ? 20 : 0}));
    }
    ASSERT_TRUE(db->AppendTable(def));
    auto c = std::move(*db->OpenTable("tipi"));
    ASSERT_TRUE(c->AddNew());
    for (const auto& [name, text] :
         std::vector<std::pair<std::string, std::string>>{{"b", "-1"},
                                                          {"y", "200"},
                                                          {"i", "-12"},
                                                          {"l", "40213"},
                                                          {"c", "1234,56"},
                                                          {"s", "0,5"},
                                                          {"d", "-1234.5"},
                                                          {"t", "07/03/2010 10:20:30"},
                                                          {"a", "Localit\xE0  "},
                                                          {"m", "memo"},
                                                          {"o", "\x01\x02"}}) {
        ASSERT_TRUE(c->SetField(name, text)) << name;
    }
    ASSERT_TRUE(c->Update());
    const auto rows = Rows("SELECT * FROM tipi");
    ASSERT_EQ(rows.size(), 1u);
    const std::vector<Value> expected = {Value::Boolean(true),
                                         Value::Byte(200),
                                         Value::Integer(-12),
                                         Value::Long(40213),
                                         Value::CurrencyScaled(12345600),
                                         Value::Single(0.5f),
                                         Value::Double(-1234.5),
                                         Value::Date({2010, 3, 7, 10, 20, 30}),
                                         Value::Text("Localit\xE0  "),
                                         Value::Memo("memo"),
                                         Value::LongBinary("\x01\x02")};
    EXPECT_EQ(rows[0], expected);
    // Stored as UTF-8 for other SQLite tools.
    const auto utf8 = Rows("SELECT hex(a) FROM tipi");
    EXPECT_EQ(utf8[0][0].AsBytes(), "4C6F63616C6974C3A02020");
}

TEST_F(EngineTest, RelationsAreEnforcedWithoutCascades) {
    MakeTable("padre");
    auto def = *db->NewTableDef("figlio");
    ASSERT_TRUE(def.AddField({.name = "n", .type = FieldType::Integer}));
    ASSERT_TRUE(def.AddField({.name = "padre", .type = FieldType::Integer}));
    ASSERT_TRUE(db->AppendTable(def));
    ASSERT_TRUE(db->CreateRelation(
        {.name = "r1", .table = "padre", .foreignTable = "figlio", .fields = {{"id", "padre"}}}));
    EXPECT_EQ(db->CreateRelation(
                    {.name = "r1", .table = "padre", .foreignTable = "figlio", .fields = {{"id", "padre"}}})
                  .description(),
              "La relazione 'r1' esiste gi\xE0.");
    EXPECT_EQ(db->CreateRelation(
                    {.name = "r2", .table = "padre", .foreignTable = "manca", .fields = {{"id", "padre"}}})
                  .description(),
              "Impossibile creare la relazione 'r2': la tabella 'manca' non esiste.");
    EXPECT_FALSE(
        db->CreateRelation(
              {.name = "r3", .table = "padre", .foreignTable = "figlio", .fields = {{"nome", "padre"}}})
            .ok());  // not a unique key

    auto p = std::move(*db->OpenTable("padre"));
    ASSERT_TRUE(Insert(*p, "1", "uno"));
    auto f = std::move(*db->OpenTable("figlio"));
    ASSERT_TRUE(f->AddNew());
    ASSERT_TRUE(f->SetField("n", "1"));
    ASSERT_TRUE(f->SetField("padre", "2"));
    EXPECT_EQ(
        f->Update().description(),
        "Impossibile aggiungere o modificare il record: la tabella 'padre' non contiene il record correlato "
        "richiesto dalla relazione 'r1'.");
    ASSERT_TRUE(f->SetField("padre", "1"));
    ASSERT_TRUE(f->Update());
    ASSERT_TRUE(p->SelectIndex("codice"));
    ASSERT_EQ(p->Seek({"1"}).kind(), Sought::Found);
    EXPECT_EQ(p->Delete().description(),
              "Impossibile eliminare o modificare il record: la tabella 'figlio' contiene record correlati "
              "(relazione 'r1').");
    EXPECT_EQ(Rows("SELECT n FROM figlio").size(), 1u);
}

}  // namespace
