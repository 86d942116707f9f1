#include <gtest/gtest.h>

#include "db/DbFixture.h"
#include "db/DbSelect.h"
#include "db/DbTable.h"

namespace {

class DbTableTest : public DbFixture {
  protected:
    // Adds a row with the two required fields and the others given.
    int AddRow(db::CDbTable& t, const std::string& id,
               const std::vector<std::pair<std::string, std::string>>& extra = {}) {
        t.AddNew();
        t.SetField("ID", id);
        t.SetField("nome", "n" + id);
        for (const auto& [field, value] : extra) {
            t.SetField(field, value);
        }
        return t.Update();
    }
    std::string Read(db::CDbTable& t, const std::string& field) {
        std::string buffer = "untouched";
        EXPECT_EQ(t.GetField(field, buffer), 1) << field;
        return buffer;
    }
};

TEST_F(DbTableTest, ACursorOnNoConnectionOrAMissingTableIsNotOpen) {
    db::CDbTable none(nullptr, "prova");
    EXPECT_EQ(none.IsOpen(), 0);
    EXPECT_EQ(none.SelectIndex("codice"), 0);
    EXPECT_EQ(none.Seek({"1"}), 0);
    EXPECT_EQ(none.Edit(), 0);
    EXPECT_TRUE(port.messages.empty());

    db::CDbTable missing(connection.get(), "manca");
    EXPECT_EQ(missing.IsOpen(), 0);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.LastMessage().text,
              "Errore in fase di apertura della tavola (manca)\n\nLa tabella 'manca' non esiste.");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Stop);
    EXPECT_EQ(missing.SelectIndex("codice"), 0);
    EXPECT_EQ(missing.Seek({"1"}), 0);
    EXPECT_EQ(port.messages.size(), 1u);  // no further messages
}

TEST_F(DbTableTest, SeeksMissSilentlyAndDeletedRowsAreGone) {
    db::CDbTable t(connection.get(), "prova");
    ASSERT_EQ(t.SelectIndex("codice"), 1);
    EXPECT_EQ(t.Seek({"7"}), 0);
    ASSERT_EQ(AddRow(t, "7"), 1);
    ASSERT_EQ(t.Seek({"7"}), 1);
    ASSERT_EQ(t.Delete(), 1);
    EXPECT_EQ(t.Seek({"7"}), 0);
    EXPECT_TRUE(port.messages.empty());

    EXPECT_EQ(t.Seek({"sette"}), 0);  // a key that is not a number is the engine's refusal
    EXPECT_EQ(
        port.LastMessage().text,
        "Errore lettura tavola (prova)\n\nIl valore <sette> non \xE8 un numero valido per il campo 'ID'.");
    EXPECT_EQ(t.SelectIndex("nome"), 0);
    EXPECT_EQ(
        port.LastMessage().text,
        "Errore selezione indice (nome) tavola (prova)\n\n'nome' non \xE8 un indice della tabella 'prova'.");
}

TEST_F(DbTableTest, RowsAreChangedThroughTheirTextForms) {
    db::CDbTable t(connection.get(), "prova");
    t.SelectIndex("codice");
    ASSERT_EQ(AddRow(t, "1",
                     {{"note", "ABC   "},
                      {"attivo", "-1"},
                      {"superf", "40213"},
                      {"reale", "1234,5"},
                      {"singolo", "2,5"},
                      {"importo", "-0,25"},
                      {"data", "07/03/2010"},
                      {"piccolo", "255"},
                      {"dati", std::string(2048, 'x')}}),
              1);
    ASSERT_EQ(t.Seek({"1"}), 1);
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
    ASSERT_EQ(t.GetFieldWithBlob("note", buffer), 1);
    EXPECT_EQ(buffer, "ABC");
    ASSERT_EQ(t.GetFieldWithBlob("dati", buffer), 1);
    EXPECT_EQ(buffer, "BLOB [2048 bytes]");

    // The empty text stores null, and reads back empty.
    ASSERT_EQ(t.Edit(), 1);
    EXPECT_EQ(t.SetField("note", ""), 1);
    EXPECT_EQ(t.SetField("superf", ""), 1);
    ASSERT_EQ(t.Update(), 1);
    ASSERT_EQ(t.Seek({"1"}), 1);
    EXPECT_EQ(Read(t, "note"), "");
    EXPECT_EQ(Read(t, "superf"), "");
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(DbTableTest, DateSentinelsAndTheLimitsOfTheReadableYears) {
    db::CDbTable t(connection.get(), "prova");
    t.SelectIndex("codice");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"00/00/0000", "00/00/0000"}, {"99/99/9999", "99/99/9999"}, {"31/12/1600", "00/00/0000"},
        {"01/01/1601", "01/01/1601"}, {"31/12/2399", "31/12/2399"}, {"01/01/2400", "99/99/9999"}};
    int id = 0;
    for (const auto& [written, read] : cases) {
        ASSERT_EQ(AddRow(t, std::to_string(++id), {{"data", written}}), 1) << written;
        ASSERT_EQ(t.Seek({std::to_string(id)}), 1);
        EXPECT_EQ(Read(t, "data"), read) << written;
    }
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(DbTableTest, FieldErrorsQuoteTheCallersText) {
    db::CDbTable t(connection.get(), "prova");
    t.SelectIndex("codice");
    ASSERT_EQ(t.AddNew(), 1);
    EXPECT_EQ(t.SetField("ID", "00/00/0000"), 0);
    EXPECT_EQ(port.LastMessage().text,
              "Errore campo (ID) della tavola (prova) <00/00/0000>\n\n"
              "Il valore <01/01/1600> non \xE8 un numero valido per il campo 'ID'.");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Stop);
    EXPECT_EQ(t.SetField("data", "31/04/2026"), 0);
    EXPECT_EQ(t.SetField("manca", ""), 0);
    EXPECT_EQ(port.LastMessage().text,
              "Errore campo (manca) della tavola (prova) <NULL>\n\nIl campo 'manca' non esiste nella tabella "
              "'prova'.");
    EXPECT_EQ(t.SetField("nome", "undici car."), 0);
    EXPECT_EQ(t.SetField("ID", "32768"), 0);
    std::string buffer = "untouched";
    EXPECT_EQ(t.GetField("manca", buffer), 0);
    EXPECT_EQ(buffer, "untouched");
    EXPECT_EQ(
        port.LastMessage().text,
        "Errore campo (manca) della tavola (prova)\n\nIl campo 'manca' non esiste nella tabella 'prova'.");
}

TEST_F(DbTableTest, UpdatesRefusedForDuplicateKeysAndMissingValues) {
    db::CDbTable t(connection.get(), "prova");
    t.SelectIndex("codice");
    ASSERT_EQ(AddRow(t, "5"), 1);
    EXPECT_EQ(AddRow(t, "5"), 0);
    EXPECT_EQ(port.LastMessage().text,
              "Errore aggiornamento tavola (prova)\n\nValore duplicato: la tabella 'prova' contiene gi\xE0 "
              "un record con "
              "lo stesso valore in 'ID', che l'indice univoco non consente di ripetere.");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Stop);
    t.AddNew();
    t.SetField("ID", "6");
    EXPECT_EQ(t.Update(), 0);
    EXPECT_EQ(port.LastMessage().text,
              "Errore aggiornamento tavola (prova)\n\nIl campo 'prova.nome' non pu\xF2 contenere un valore "
              "Null: \xE8 "
              "obbligatorio immettere un valore.");
    EXPECT_EQ(t.Edit(), 0);  // no current row
    EXPECT_EQ(port.LastMessage().text,
              "Errore editing tavola (prova)\n\nNessun record corrente da modificare.");
    EXPECT_EQ(t.Seek({"6"}), 0);
}

}  // namespace
