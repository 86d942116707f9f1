#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "db/DbFixture.h"
#include "db/DbSelect.h"
#include "db/DbTable.h"

namespace {

class DbSelectTest : public DbFixture {
  protected:
    void SetUp() override {
        DbFixture::SetUp();
        db::CDbTable t(connection.get(), "prova");
        const std::vector<std::vector<std::pair<std::string, std::string>>> rows = {
            {{"ID", "1"}, {"nome", "uno   "}, {"attivo", "1"}, {"superf", "100"}, {"data", "01/01/1600"}},
            {{"ID", "2"}, {"nome", "due"}, {"attivo", "0"}, {"superf", "200"}, {"data", "06/12/2026"}},
            {{"ID", "3"}, {"nome", "tre"}, {"piccolo", "200"}},
        };
        for (const auto& row : rows) {
            EXPECT_TRUE(t.AddNew());
            for (const auto& [field, value] : row) {
                EXPECT_TRUE(t.SetField(field, value));
            }
            ASSERT_TRUE(t.Update());
        }
        ASSERT_TRUE(port.messages.empty());
    }

    // The rows of prova in identifier order, each as `row` reads it from the selection of `columns`.
    std::vector<std::string> EachRow(const std::string& columns,
                                     const std::function<std::string(db::CDbSelect&)>& row) {
        db::CDbSelect s(connection.get());
        s.SetColumns(columns);
        s.SetFrom("prova");
        s.SetOrderBy("ID");
        std::vector<std::string> out;
        for (int flag = s.Execute(); flag == 1; flag = s.Next()) {
            out.push_back(row(s));
        }
        EXPECT_FALSE(s.Failed());
        return out;
    }
};

// The selection runs what its fragments say: its columns, the rows its condition keeps, in its order;
// an empty fragment clears it.
TEST_F(DbSelectTest, TheSelectionRunsItsFragments) {
    const auto rows = [](db::CDbSelect& s) {
        std::vector<std::pair<int, std::string>> read;
        for (int flag = s.Execute(); flag == 1; flag = s.Next()) {
            std::int16_t id = 0;
            std::string nome;
            EXPECT_EQ(s.GetShort(0, id), 1);
            EXPECT_EQ(s.GetDateOrText(1, nome), 1);
            read.emplace_back(id, nome);
        }
        return read;
    };
    using Rows = std::vector<std::pair<int, std::string>>;
    db::CDbSelect s(connection.get());
    EXPECT_EQ(s.SetColumns("nome, ID"), 1);
    EXPECT_EQ(s.SetColumns("ID, nome"), 1);
    EXPECT_EQ(s.SetFrom("prova"), 1);
    EXPECT_EQ(s.SetWhere("nome <> \"due\""), 1);
    EXPECT_EQ(s.SetOrderBy("ID DESC"), 1);
    EXPECT_EQ(rows(s), (Rows{{3, "tre"}, {1, "uno   "}}));
    EXPECT_EQ(s.SetWhere(""), 0);
    EXPECT_EQ(rows(s), (Rows{{3, "tre"}, {2, "due"}, {1, "uno   "}}));
    EXPECT_TRUE(port.messages.empty());
    // Only the columns named are there.
    ASSERT_EQ(s.Execute(), 1);
    std::string beyond;
    EXPECT_EQ(s.GetDateOrText(2, beyond), 0);
    EXPECT_TRUE(s.Failed());
}

TEST_F(DbSelectTest, RowsAreReadInOrderUntilTheFlagDrops) {
    db::CDbSelect s(connection.get());
    s.SetColumns("ID, nome, attivo, superf, data, piccolo");
    s.SetFrom("prova");
    s.SetOrderBy("ID");
    std::vector<std::string> seen;
    for (int flag = s.Execute(); flag == 1; flag = s.Next()) {
        std::string nome;
        ASSERT_EQ(s.GetText("nome", nome), 1);
        seen.push_back(nome);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"uno", "due", "tre"}));  // trailing blanks removed
    EXPECT_EQ(s.Next(), 0);
    EXPECT_EQ(s.Next(), 0);
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(DbSelectTest, GettersKeepToTheirTypes) {
    db::CDbSelect s(connection.get());
    s.SetColumns("ID, nome, attivo, superf, data, piccolo");
    s.SetFrom("prova");
    s.SetOrderBy("ID");
    ASSERT_EQ(s.Execute(), 1);
    std::int16_t small = 99;
    std::int32_t large = 99;
    std::string buffer = "x";
    EXPECT_EQ(s.GetShort(2, small), 1);
    EXPECT_EQ(small, -1);  // a true Boolean
    EXPECT_EQ(s.GetShort(3, small), 0);
    EXPECT_EQ(small, 0);
    EXPECT_EQ(s.GetLong(3, large), 1);
    EXPECT_EQ(large, 100);
    EXPECT_EQ(s.GetLong(0, large), 0);
    EXPECT_EQ(large, 0);
    EXPECT_EQ(s.GetDateOrText(4, buffer), 1);
    EXPECT_EQ(buffer, "00/00/0000");
    EXPECT_EQ(s.GetDateOrText(1, buffer), 1);
    EXPECT_EQ(buffer, "uno   ");  // unchanged
    EXPECT_EQ(s.GetDateOrText(3, buffer), 0);
    EXPECT_EQ(buffer, "");
    ASSERT_EQ(s.Next(), 1);
    EXPECT_EQ(s.GetShort(2, small), 1);
    EXPECT_EQ(small, 0);
    EXPECT_EQ(s.GetDateOrText(4, buffer), 1);
    EXPECT_EQ(buffer, "06/12/2026");
    ASSERT_EQ(s.Next(), 1);
    EXPECT_EQ(s.GetShort(5, small), 1);
    EXPECT_EQ(small, 200);  // 8-bit unsigned
    EXPECT_TRUE(port.messages.empty());

    EXPECT_EQ(s.GetText("manca", buffer), 0);
    EXPECT_EQ(port.LastMessage().text, "Errore campo (manca) nella select corrente\n\n" + s.Statement() +
                                           "\n\nIl campo 'manca' non fa parte della selezione.");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Stop);
    EXPECT_EQ(s.GetShort(9, small), 0);
    EXPECT_EQ(port.LastMessage().text, "Errore campo (#9) nella select corrente\n\n" + s.Statement() +
                                           "\n\nLa colonna n. 9 non esiste nella selezione.");
}

// Read in place, a row's texts and dates stay as the copying getter gives them while the others are
// read, whether the rows stream from the file or are kept in memory (within a transaction that has
// changed rows).
TEST_F(DbSelectTest, TextsReadInPlaceAreThoseCopied) {
    const auto read = [&] {
        return EachRow("ID, nome, data", [](db::CDbSelect& s) {
            std::string_view nome;
            std::string_view data;
            std::string copied;
            EXPECT_EQ(s.GetDateOrText(1, nome), 1);
            s.GetDateOrText(2, data);
            EXPECT_EQ(s.GetDateOrText(1, copied), 1);
            EXPECT_EQ(nome, copied);
            return std::string(nome) + "|" + std::string(data);
        });
    };
    db::CDbTable t(connection.get(), "prova");
    ASSERT_TRUE(t.SelectIndex("codice"));
    ASSERT_TRUE(t.AddNew() && t.SetField("ID", "4") && t.SetField("nome", "citt\xE0") &&
                t.SetField("data", "31/12/1999") && t.Update());
    std::vector<std::string> expected = {"uno   |00/00/0000", "due|06/12/2026", "tre|",
                                         "citt\xE0|31/12/1999"};
    EXPECT_EQ(read(), expected);
    db::CDbTransaction transaction(*connection);
    ASSERT_TRUE(t.AddNew() && t.SetField("ID", "5") && t.SetField("nome", "\xC8 cos\xEC") && t.Update());
    expected.push_back("\xC8 cos\xEC|");
    EXPECT_EQ(read(), expected);
    EXPECT_TRUE(transaction.Commit());
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(DbSelectTest, NoMatchingRowIsSilentAndErrorsAreShown) {
    db::CDbSelect none(connection.get());
    none.SetColumns("ID");
    none.SetFrom("prova");
    none.SetWhere("ID > 100");
    EXPECT_EQ(none.Execute(), 0);
    EXPECT_TRUE(port.messages.empty());

    db::CDbSelect wrong(connection.get());
    wrong.SetColumns("manca");
    wrong.SetFrom("prova");
    EXPECT_EQ(wrong.Execute(), 0);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.LastMessage().text,
              "Errore sintassi SQL\n\nSELECT manca\nFROM prova\n\n\nIl campo 'manca' non esiste.");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Exclamation);
    EXPECT_EQ(port.LastMessage().caption, "Velumbra");

    db::CDbSelect empty(connection.get());
    empty.SetFrom("prova");
    EXPECT_EQ(empty.Execute(), 0);
    EXPECT_EQ(port.LastMessage().text, "Errore sintassi SQL\n\n\n\nL'istruzione SQL \xE8 vuota.");
}

TEST_F(DbSelectTest, ASelectionDoesNotSeeRowsDeletedWhileItIsRead) {
    db::CDbSelect s(connection.get());
    s.SetColumns("ID");
    s.SetFrom("prova");
    s.SetOrderBy("ID");
    db::CDbTable t(connection.get(), "prova");
    EXPECT_TRUE(t.SelectIndex("codice"));
    int rows = 0;
    for (int flag = s.Execute(); flag == 1; flag = s.Next()) {
        std::string id;
        s.GetText("ID", id);
        for (const char* key : {"1", "2", "3"}) {
            if (t.Seek({key}).found()) {
                EXPECT_TRUE(t.Delete());
            }
        }
        ++rows;
    }
    EXPECT_EQ(rows, 3);
    db::CDbSelect after(connection.get());
    after.SetColumns("ID");
    after.SetFrom("prova");
    EXPECT_EQ(after.Execute(), 0);
    EXPECT_TRUE(port.messages.empty());
}

// Inside a transaction a selection sees what the transaction has stored so far, and still not what
// is changed while it is read; rows stored by a committed transaction are seen by every selection.
TEST_F(DbSelectTest, ASelectionSeesItsOwnTransactionsRows) {
    const auto ids = [&] {
        return EachRow("ID", [](db::CDbSelect& s) {
            std::string id;
            EXPECT_EQ(s.GetText("ID", id), 1);
            return id;
        });
    };
    db::CDbTable t(connection.get(), "prova");
    ASSERT_TRUE(t.SelectIndex("codice"));
    {
        db::CDbTransaction transaction(*connection);
        EXPECT_EQ(ids(), (std::vector<std::string>{"1", "2", "3"}));  // nothing changed yet
        ASSERT_TRUE(t.AddNew() && t.SetField("ID", "9") && t.SetField("nome", "nove") && t.Update());
        EXPECT_EQ(ids(), (std::vector<std::string>{"1", "2", "3", "9"}));
        ASSERT_TRUE(transaction.Commit());
    }
    EXPECT_EQ(ids(), (std::vector<std::string>{"1", "2", "3", "9"}));
    EXPECT_TRUE(port.messages.empty());
}

}  // namespace
