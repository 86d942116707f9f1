#include <gtest/gtest.h>
#include <sqlite3.h>

#include "db/DbFixture.h"
#include "db/DbSelect.h"
#include "db/DbTable.h"

namespace {

using Sought = db::SeekResult::Kind;

class DbTableTest : public DbFixture {
  protected:
    // Adds a row with the two required fields and the others given.
    ui::Outcome AddRow(db::CDbTable& t, const std::string& id,
                       const std::vector<std::pair<std::string, std::string>>& extra = {}) {
        EXPECT_TRUE(t.AddNew());
        EXPECT_TRUE(t.SetField("ID", id));
        EXPECT_TRUE(t.SetField("nome", "n" + id));
        for (const auto& [field, value] : extra) {
            EXPECT_TRUE(t.SetField(field, value));
        }
        return t.Update();
    }
    std::string Read(db::CDbTable& t, const std::string& field) {
        std::string buffer = "untouched";
        EXPECT_TRUE(t.GetField(field, buffer)) << field;
        return buffer;
    }
};

TEST_F(DbTableTest, ACursorOnNoConnectionOrAMissingTableIsNotOpen) {
    db::CDbTable none(nullptr, "prova");
    EXPECT_FALSE(none.IsOpen());
    EXPECT_FALSE(none.SelectIndex("codice"));
    EXPECT_EQ(none.Seek({"1"}).kind(), Sought::Failed);
    EXPECT_FALSE(none.Edit());
    EXPECT_TRUE(port.messages.empty());

    db::CDbTable missing(connection.get(), "manca");
    EXPECT_FALSE(missing.IsOpen());
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.LastMessage().text,
              "Errore in fase di apertura della tavola (manca)\n\nLa tabella 'manca' non esiste.");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Stop);
    EXPECT_FALSE(missing.SelectIndex("codice"));
    EXPECT_EQ(missing.Seek({"1"}).kind(), Sought::Failed);
    EXPECT_EQ(port.messages.size(), 1u);  // no further messages
}

TEST_F(DbTableTest, SeeksMissSilentlyAndDeletedRowsAreGone) {
    db::CDbTable t(connection.get(), "prova");
    ASSERT_TRUE(t.SelectIndex("codice"));
    EXPECT_EQ(t.Seek({"7"}).kind(), Sought::NotFound);
    ASSERT_TRUE(AddRow(t, "7"));
    ASSERT_EQ(t.Seek({"7"}).kind(), Sought::Found);
    ASSERT_TRUE(t.Delete());
    EXPECT_EQ(t.Seek({"7"}).kind(), Sought::NotFound);
    EXPECT_TRUE(port.messages.empty());

    // Every row at once: none is left, and the cursor has no current row.
    ASSERT_TRUE(AddRow(t, "8"));
    ASSERT_TRUE(AddRow(t, "9"));
    ASSERT_EQ(t.Seek({"8"}).kind(), Sought::Found);
    ASSERT_TRUE(t.DeleteAll());
    EXPECT_EQ(t.Seek({"8"}).kind(), Sought::NotFound);
    EXPECT_EQ(t.Seek({"9"}).kind(), Sought::NotFound);
    EXPECT_TRUE(port.messages.empty());

    const db::SeekResult refused = t.Seek({"sette"});  // a key that is not a number is the engine's refusal
    EXPECT_EQ(refused.kind(), Sought::Failed);
    EXPECT_EQ(refused.code(), 0);
    EXPECT_EQ(
        port.LastMessage().text,
        "Errore lettura tavola (prova)\n\nIl valore <sette> non \xE8 un numero valido per il campo 'ID'.");
    EXPECT_FALSE(t.SelectIndex("nome"));
    EXPECT_EQ(
        port.LastMessage().text,
        "Errore selezione indice (nome) tavola (prova)\n\n'nome' non \xE8 un indice della tabella 'prova'.");
}

TEST_F(DbTableTest, RowsAreChangedThroughTheirTextForms) {
    db::CDbTable t(connection.get(), "prova");
    EXPECT_TRUE(t.SelectIndex("codice"));
    ASSERT_TRUE(AddRow(t, "1",
                       {{"note", "ABC   "},
                        {"attivo", "-1"},
                        {"superf", "40213"},
                        {"reale", "1234,5"},
                        {"singolo", "2,5"},
                        {"importo", "-0,25"},
                        {"data", "07/03/2010"},
                        {"piccolo", "255"},
                        {"dati", std::string(2048, 'x')}}));
    ASSERT_EQ(t.Seek({"1"}).kind(), Sought::Found);
    EXPECT_EQ(Read(t, "attivo"), "1");
    EXPECT_EQ(Read(t, "superf"), "40213");
    EXPECT_EQ(Read(t, "reale"), "000000000001234,5000");
    EXPECT_EQ(Read(t, "singolo"), "");
    EXPECT_EQ(Read(t, "importo"), "-000000000000000,2500");
    EXPECT_EQ(Read(t, "data"), "07/03/2010");
    EXPECT_EQ(Read(t, "piccolo"), "255");
    EXPECT_EQ(Read(t, "note"), "ABC   ");
    EXPECT_EQ(Read(t, "dati"), "");
    std::string buffer;
    ASSERT_TRUE(t.GetFieldWithBlob("note", buffer));
    EXPECT_EQ(buffer, "ABC");
    ASSERT_TRUE(t.GetFieldWithBlob("dati", buffer));
    EXPECT_EQ(buffer, "BLOB [2048 bytes]");

    // The empty text stores null, and reads back empty.
    ASSERT_TRUE(t.Edit());
    EXPECT_TRUE(t.SetField("note", ""));
    EXPECT_TRUE(t.SetField("superf", ""));
    ASSERT_TRUE(t.Update());
    ASSERT_EQ(t.Seek({"1"}).kind(), Sought::Found);
    EXPECT_EQ(Read(t, "note"), "");
    EXPECT_EQ(Read(t, "superf"), "");
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(DbTableTest, DateSentinelsAndTheLimitsOfTheReadableYears) {
    db::CDbTable t(connection.get(), "prova");
    EXPECT_TRUE(t.SelectIndex("codice"));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"00/00/0000", "00/00/0000"}, {"99/99/9999", "99/99/9999"}, {"31/12/1600", "00/00/0000"},
        {"01/01/1601", "01/01/1601"}, {"31/12/2399", "31/12/2399"}, {"01/01/2400", "99/99/9999"}};
    int id = 0;
    for (const auto& [written, read] : cases) {
        ASSERT_TRUE(AddRow(t, std::to_string(++id), {{"data", written}})) << written;
        ASSERT_EQ(t.Seek({std::to_string(id)}).kind(), Sought::Found);
        EXPECT_EQ(Read(t, "data"), read) << written;
    }
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(DbTableTest, FieldErrorsQuoteTheCallersText) {
    db::CDbTable t(connection.get(), "prova");
    EXPECT_TRUE(t.SelectIndex("codice"));
    ASSERT_TRUE(t.AddNew());
    EXPECT_FALSE(t.SetField("ID", "00/00/0000"));
    EXPECT_EQ(port.LastMessage().text,
              "Errore campo (ID) della tavola (prova) <00/00/0000>\n\n"
              "Il valore <01/01/1600> non \xE8 un numero valido per il campo 'ID'.");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Stop);
    EXPECT_FALSE(t.SetField("data", "31/04/2026"));
    EXPECT_FALSE(t.SetField("manca", ""));
    EXPECT_EQ(port.LastMessage().text,
              "Errore campo (manca) della tavola (prova) <NULL>\n\nIl campo 'manca' non esiste nella tabella "
              "'prova'.");
    EXPECT_FALSE(t.SetField("nome", "undici car."));
    EXPECT_FALSE(t.SetField("ID", "32768"));
    std::string buffer = "untouched";
    EXPECT_FALSE(t.GetField("manca", buffer));
    EXPECT_EQ(buffer, "untouched");
    EXPECT_EQ(
        port.LastMessage().text,
        "Errore campo (manca) della tavola (prova)\n\nIl campo 'manca' non esiste nella tabella 'prova'.");
}

// A number given as a number is stored, read back and refused exactly as its decimal text would be, in
// a field of any type; a refusal quotes the number's text.
TEST_F(DbTableTest, ANumberIsTakenAsItsTextWouldBe) {
    db::CDbTable t(connection.get(), "prova");
    EXPECT_TRUE(t.SelectIndex("codice"));
    const std::vector<std::string> fields = {"attivo", "superf", "reale", "importo", "piccolo", "note"};
    for (const std::int64_t number :
         {std::int64_t{0}, std::int64_t{7}, std::int64_t{-3}, std::int64_t{255}}) {
        std::vector<std::string> asText, asNumber;
        for (const bool typed : {false, true}) {
            const std::string id = std::to_string(typed ? 100 + number : 200 + number);
            ASSERT_TRUE(t.AddNew());
            ASSERT_TRUE(typed ? t.SetNumber("ID", 100 + number) : t.SetField("ID", id));
            ASSERT_TRUE(t.SetField("nome", "n"));
            for (const auto& field : fields) {
                const ui::Outcome set =
                    typed ? t.SetNumber(field, number) : t.SetField(field, std::to_string(number));
                (typed ? asNumber : asText).push_back(field + (set ? " set" : " refused"));
            }
            ASSERT_TRUE(t.Update()) << number;
            ASSERT_EQ(t.Seek({id}).kind(), Sought::Found);
            for (const auto& field : fields) {
                (typed ? asNumber : asText).push_back(Read(t, field));
            }
        }
        EXPECT_EQ(asNumber, asText) << number;
    }
    port.Clear();
    ASSERT_TRUE(t.AddNew());
    for (const auto& [field, number] : std::vector<std::pair<std::string, std::int64_t>>{
             {"ID", 32768}, {"piccolo", -1}, {"superf", std::int64_t{1} << 40}, {"note", 12345678901}}) {
        EXPECT_FALSE(t.SetNumber(field, number));
        const std::string byNumber = port.LastMessage().text;
        EXPECT_FALSE(t.SetField(field, std::to_string(number)));
        EXPECT_EQ(byNumber, port.LastMessage().text);
        EXPECT_NE(byNumber.find("<" + std::to_string(number) + ">"), std::string::npos) << byNumber;
    }
}

TEST_F(DbTableTest, UpdatesRefusedForDuplicateKeysAndMissingValues) {
    db::CDbTable t(connection.get(), "prova");
    EXPECT_TRUE(t.SelectIndex("codice"));
    ASSERT_TRUE(AddRow(t, "5"));
    EXPECT_FALSE(AddRow(t, "5"));
    EXPECT_EQ(port.LastMessage().text,
              "Errore aggiornamento tavola (prova)\n\nValore duplicato: la tabella 'prova' contiene gi\xE0 "
              "un record con "
              "lo stesso valore in 'ID', che l'indice univoco non consente di ripetere.");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Stop);
    EXPECT_TRUE(t.AddNew());
    EXPECT_TRUE(t.SetField("ID", "6"));
    EXPECT_FALSE(t.Update());
    EXPECT_EQ(port.LastMessage().text,
              "Errore aggiornamento tavola (prova)\n\nIl campo 'prova.nome' non pu\xF2 contenere un valore "
              "Null: \xE8 "
              "obbligatorio immettere un valore.");
    EXPECT_FALSE(t.Edit());  // no current row
    EXPECT_EQ(port.LastMessage().text,
              "Errore editing tavola (prova)\n\nNessun record corrente da modificare.");
    EXPECT_EQ(t.Seek({"6"}).kind(), Sought::NotFound);
}

// A seek that SQLite itself fails (the table dropped by another program) is a failure, shown once,
// with SQLite's code: not a row that does not exist.
TEST_F(DbTableTest, ASeekThatSQLiteFailsIsNoMiss) {
    db::CDbTable t(connection.get(), "prova");
    ASSERT_TRUE(t.SelectIndex("codice"));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other, "DROP TABLE prova", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    const db::SeekResult sought = t.Seek({"1"});
    EXPECT_EQ(sought.kind(), Sought::Failed);
    EXPECT_EQ(sought.code(), SQLITE_ERROR);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_TRUE(port.LastMessage().text.starts_with("Errore lettura tavola (prova)\n\n"));
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Stop);
}

}  // namespace
