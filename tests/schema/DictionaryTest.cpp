#include <gtest/gtest.h>

#include <map>

#include "db/DbSelect.h"
#include "db/DbTable.h"
#include "engine/Database.h"
#include "engine/TableCursor.h"
#include "schema/Dictionary.h"
#include "support/Tables.h"
#include "support/TempDir.h"
#include "ui/ScriptedPort.h"

namespace {

using engine::FieldType;
using schema::CDictionary;

// A new file with its special tables, a connection and the four dictionary cursors.
class DictionaryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path = dir.File("dizionario.mdb");
        creation = std::move(*engine::Database::Create(path, engine::kCensusLocale));
        ASSERT_TRUE(dictionary.CreateSpecialTables(*creation));
        // Not a whole census: only the tables the tests make.
        connection = std::make_unique<db::CDbConnection>(port, path, engine::Database::Contents::CensusMark);
        tavole = std::make_unique<db::CDbTable>(connection.get(), "tavole");
        campi = std::make_unique<db::CDbTable>(connection.get(), "campi");
        indici = std::make_unique<db::CDbTable>(connection.get(), "indici");
        indici2 = std::make_unique<db::CDbTable>(connection.get(), "indici2");
        relaz = std::make_unique<db::CDbTable>(connection.get(), "relaz");
        relaz2 = std::make_unique<db::CDbTable>(connection.get(), "relaz2");
    }

    void Field(const std::string& table, const std::string& name, char type, int size, int required = 1) {
        ASSERT_TRUE(CDictionary::AddFieldEntry(*campi, table, name, type, size, required, "", "",
                                               std::nullopt, std::nullopt));
    }
    void Index(const std::string& table, const std::string& name,
               std::vector<std::pair<int, std::string>> columns, int primary = 1) {
        ASSERT_TRUE(CDictionary::AddIndexEntry(*indici, table, name, primary, "", ""));
        for (const auto& [position, column] : columns) {
            ASSERT_TRUE(CDictionary::AddIndexColumnEntry(*indici2, table, name, position, column));
        }
    }
    void Relation(const std::string& name, const std::string& referenced, const std::string& referencing,
                  std::vector<std::tuple<int, std::string, std::string>> pairs) {
        EXPECT_TRUE(relaz->AddNew());
        EXPECT_TRUE(relaz->SetField("nome", name));
        EXPECT_TRUE(relaz->SetField("interna", referenced));
        EXPECT_TRUE(relaz->SetField("esterna", referencing));
        ASSERT_TRUE(relaz->Update());
        for (const auto& [position, key, foreign] : pairs) {
            EXPECT_TRUE(relaz2->AddNew());
            EXPECT_TRUE(relaz2->SetField("nome", name));
            EXPECT_TRUE(relaz2->SetField("progr", std::to_string(position)));
            EXPECT_TRUE(relaz2->SetField("interno", key));
            EXPECT_TRUE(relaz2->SetField("esterno", foreign));
            ASSERT_TRUE(relaz2->Update());
        }
    }
    std::vector<engine::FieldDef> Fields(const std::string& table) {
        auto database = std::move(*engine::Database::Open(path));
        auto fields = database->Fields(table);
        return fields ? *fields : std::vector<engine::FieldDef>{};
    }

    testing_support::TempDir dir;
    ui::ScriptedPort port;
    CDictionary dictionary{port};
    std::string path;
    std::unique_ptr<engine::Database> creation;
    std::unique_ptr<db::CDbConnection> connection;
    std::unique_ptr<db::CDbTable> tavole, campi, indici, indici2, relaz, relaz2;
};

TEST_F(DictionaryTest, SpecialTablesAreCreatedEmptyAndTakeDuplicateRows) {
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(testing_support::CensusTableNames(*creation).size(), 7u);
    EXPECT_TRUE(CDictionary::AddFieldEntry(*campi, "t", "c", 'A', 10, 2, "Etichetta", "Nota", std::nullopt,
                                           std::nullopt));
    EXPECT_TRUE(CDictionary::AddFieldEntry(*campi, "t", "c", 'I', 0, 1, "", "", std::string("> 0"),
                                           std::string("no")));
    db::CDbSelect s(connection.get());
    s.SetColumns("obblig, regola, mess, size, denom");
    s.SetFrom("campi");
    s.SetOrderBy("size DESC");
    ASSERT_EQ(s.Execute(), 1);
    std::string obblig, regola, mess, size, denom;
    s.GetText("obblig", obblig);
    s.GetText("regola", regola);
    s.GetText("mess", mess);
    s.GetText("size", size);
    EXPECT_EQ(obblig, "0");  // only 1 means required
    EXPECT_EQ(regola, "");   // Null reads back as the empty text
    EXPECT_EQ(mess, "");
    EXPECT_EQ(size, "10");
    ASSERT_EQ(s.Next(), 1);
    s.GetText("obblig", obblig);
    s.GetText("regola", regola);
    s.GetText("denom", denom);
    EXPECT_EQ(obblig, "1");
    EXPECT_EQ(regola, "> 0");
    EXPECT_EQ(denom, "");
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(DictionaryTest, ASecondCreationStopsAtTheExistingTable) {
    auto other = std::move(*engine::Database::Open(path));
    EXPECT_FALSE(dictionary.CreateSpecialTables(*other));
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.LastMessage().text,
              "Errore in fase di inserimento tavola \"tavole\"\n\nLa tabella 'tavole' esiste gi\xE0.");
    EXPECT_EQ(port.LastMessage().caption, "Creazione Tavole Speciali");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Exclamation);
}

TEST_F(DictionaryTest, TypeCodesBecomeEngineTypes) {
    ASSERT_TRUE(CDictionary::AddTableEntry(*tavole, "prova", "", ""));
    Field("prova", "testo", 'A', 40);
    Field("prova", "libero", 'A', 40, 0);
    Field("prova", "sino", 'B', 5);
    Field("prova", "data", 'D', 0);
    Field("prova", "reale", 'F', 0);
    Field("prova", "breve", 'I', 99);
    Field("prova", "lungo", 'L', 7);
    Field("prova", "memo", 'M', 0);
    Field("prova", "valuta", 'N', 0);
    Field("prova", "binario", 'O', 0);
    EXPECT_TRUE(dictionary.CreateTablesFromDictionary(*connection, *creation));
    EXPECT_TRUE(port.messages.empty());
    const auto fields = Fields("prova");
    ASSERT_EQ(fields.size(), 10u);
    // The columns follow the order in which the dictionary's rows are read; they are known by name.
    const std::map<std::string, std::pair<FieldType, int>> expected = {
        {"testo", {FieldType::Text, 40}},     {"libero", {FieldType::Text, 40}},
        {"sino", {FieldType::Boolean, 0}},    {"data", {FieldType::Date, 0}},
        {"reale", {FieldType::Double, 0}},    {"breve", {FieldType::Integer, 0}},
        {"lungo", {FieldType::Long, 0}},      {"memo", {FieldType::Memo, 0}},
        {"valuta", {FieldType::Currency, 0}}, {"binario", {FieldType::LongBinary, 0}}};
    std::map<std::string, engine::FieldDef> byName;
    for (const auto& f : fields) {
        byName[f.name] = f;
        ASSERT_TRUE(expected.count(f.name)) << f.name;
        EXPECT_EQ(f.type, expected.at(f.name).first) << f.name;
        EXPECT_EQ(f.size, expected.at(f.name).second) << f.name;
        EXPECT_EQ(f.required, f.name != "libero") << f.name;
    }
    EXPECT_FALSE(byName["testo"].allowZeroLength);  // required text refuses the empty text
    EXPECT_TRUE(byName["libero"].allowZeroLength);
}

TEST_F(DictionaryTest, AnUnknownTypeCodeRefusesTheColumnAndTheTable) {
    ASSERT_TRUE(CDictionary::AddTableEntry(*tavole, "prova", "", ""));
    Field("prova", "primo", 'I', 0);
    Field("prova", "strano", 'C', 0);
    EXPECT_FALSE(dictionary.CreateTablesFromDictionary(*connection, *creation));
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.LastMessage().text,
              "Errore in fase di inserimento campo \"strano\"\n\nIl codice di tipo 'C' non \xE8 previsto "
              "(sono ammessi "
              "A, B, D, F, I, L, M, N, O).");
    EXPECT_EQ(port.LastMessage().caption, "Creazione Tavola \"prova\"");
    EXPECT_FALSE(creation->TableExists("prova"));
}

TEST_F(DictionaryTest, IndexColumnsArePlacedByPosition) {
    ASSERT_TRUE(CDictionary::AddTableEntry(*tavole, "prova", "", ""));
    Field("prova", "a", 'I', 0);
    Field("prova", "b", 'I', 0);
    Index("prova", "doppio", {{1, "a"}, {0, "b"}});
    Index("prova", "semplice", {{0, "a"}}, 0);
    ASSERT_TRUE(dictionary.CreateTablesFromDictionary(*connection, *creation));
    const auto indexes = *creation->Indexes("prova");
    ASSERT_EQ(indexes.size(), 2u);
    EXPECT_EQ(indexes[0].name, "doppio");
    EXPECT_EQ(indexes[0].columns, (std::vector<std::string>{"b", "a"}));
    EXPECT_TRUE(indexes[0].primary);
    EXPECT_FALSE(indexes[1].unique);
}

TEST_F(DictionaryTest, AFailingIndexKeepsItsTableAndStopsTheNext) {
    for (const char* t : {"aaa", "bbb"}) {
        ASSERT_TRUE(CDictionary::AddTableEntry(*tavole, t, "", ""));
        Field(t, "c", 'I', 0);
    }
    Index("aaa", "rotto", {{0, "manca"}});
    Index("aaa", "buono", {{0, "c"}}, 0);
    Index("bbb", "gap", {{1, "c"}});
    EXPECT_FALSE(dictionary.CreateTablesFromDictionary(*connection, *creation));
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(
        port.LastMessage().text,
        "Tavola \"aaa\": errore creazione indice \"rotto\"\n\nImpossibile creare l'indice 'rotto': il campo "
        "'manca' non esiste nella tabella 'aaa'.");
    EXPECT_EQ(port.LastMessage().caption, "Creazione Tavola \"aaa\"");
    EXPECT_TRUE(creation->TableExists("aaa"));
    EXPECT_EQ(creation->Indexes("aaa")->size(), 1u);  // the next index was still created
    EXPECT_FALSE(creation->TableExists("bbb"));

    // An index with a gap in its positions is refused.
    EXPECT_FALSE(dictionary.CreateTableFromDictionary("bbb", *connection, *creation));
    EXPECT_EQ(port.LastMessage().text,
              "Tavola \"bbb\": errore creazione indice \"gap\"\n\nManca l'elemento in posizione 0: le "
              "posizioni devono "
              "essere consecutive.");
}

TEST_F(DictionaryTest, AnEmptyDictionaryCreatesNothing) {
    EXPECT_TRUE(dictionary.CreateTablesFromDictionary(*connection, *creation));
    EXPECT_TRUE(dictionary.CreateRelations(*connection, *creation));
    EXPECT_EQ(testing_support::CensusTableNames(*creation).size(), 7u);
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(DictionaryTest, RelationRowsProduceEnforcedRelations) {
    ASSERT_TRUE(CDictionary::AddTableEntry(*tavole, "padre", "", ""));
    ASSERT_TRUE(CDictionary::AddTableEntry(*tavole, "figlio", "", ""));
    Field("padre", "a", 'I', 0);
    Field("padre", "b", 'I', 0);
    Index("padre", "codice", {{0, "a"}, {1, "b"}});
    Field("figlio", "x", 'I', 0);
    Field("figlio", "y", 'I', 0);
    ASSERT_TRUE(dictionary.CreateTablesFromDictionary(*connection, *creation));
    Relation("mancante", "padre", "nessuna", {{0, "a", "x"}});
    Relation("legame", "padre", "figlio", {{1, "b", "y"}, {0, "a", "x"}});
    EXPECT_FALSE(dictionary.CreateRelations(*connection, *creation));
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(
        port.LastMessage().text,
        "Errore creazione relazione \"mancante\"\n\nImpossibile creare la relazione 'mancante': la tabella "
        "'nessuna' non esiste.");
    EXPECT_EQ(port.LastMessage().caption, "Creazione relazioni");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Exclamation);

    // The pairs were placed in position order: (a, x) and (b, y).
    auto parent = std::move(*creation->OpenTable("padre"));
    ASSERT_TRUE(parent->AddNew());
    ASSERT_TRUE(parent->SetField("a", "1"));
    ASSERT_TRUE(parent->SetField("b", "2"));
    ASSERT_TRUE(parent->Update());
    auto child = std::move(*creation->OpenTable("figlio"));
    ASSERT_TRUE(child->AddNew());
    ASSERT_TRUE(child->SetField("x", "2"));
    ASSERT_TRUE(child->SetField("y", "1"));
    EXPECT_FALSE(child->Update().ok());
    ASSERT_TRUE(child->SetField("x", "1"));
    ASSERT_TRUE(child->SetField("y", "2"));
    EXPECT_TRUE(child->Update().ok());
}

}  // namespace
