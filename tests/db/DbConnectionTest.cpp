#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

#include "db/DbConnection.h"
#include "db/DbFixture.h"
#include "db/DbTable.h"

namespace {

using Sought = db::SeekResult::Kind;

using Fixture = DbFixture;

TEST(DbConnection, OpeningAMissingFileOrOneThatIsNotADatabaseShowsTheOpenMessage) {
    testing_support::TempDir dir;
    ui::ScriptedPort port;
    const std::string missing = dir.File("manca.mdb");
    {
        db::CDbConnection c(port, missing);
        EXPECT_FALSE(c.IsOpen());
        EXPECT_EQ(c.Path(), missing);        // the path is kept all the same
        EXPECT_FALSE(c.BeginTransaction());  // nothing happens, nothing is shown
        EXPECT_FALSE(c.CommitTransaction());
        EXPECT_FALSE(c.RollbackTransaction());
    }
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.LastMessage().text,
              "Errore in fase di apertura del database\n\nImpossibile trovare il file '" + missing + "'.");
    EXPECT_EQ(port.LastMessage().caption, "Velumbra");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Stop);
    EXPECT_EQ(port.LastMessage().buttons, ui::Buttons::Ok);

    const std::string text = dir.File("testo.mdb");
    std::ofstream(text) << "SQLite format 2\nnot really";
    db::CDbConnection notDb(port, text);
    EXPECT_FALSE(notDb.IsOpen());
    EXPECT_EQ(port.LastMessage().text, "Errore in fase di apertura del database\n\nIl file '" + text +
                                           "' non \xE8 un database del censimento.");

    db::CDbConnection empty(port, "");
    EXPECT_FALSE(empty.IsOpen());
    EXPECT_FALSE(empty.Path().has_value());
}

TEST_F(Fixture, CommitOrRollbackWithoutATransactionShowsTheEngineError) {
    EXPECT_FALSE(connection->CommitTransaction());
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.LastMessage().text,
              "Errore in fase di convalida della transazione\n\nImpossibile convalidare: nessuna transazione "
              "\xE8 in corso.");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Stop);
    EXPECT_FALSE(connection->RollbackTransaction());
    EXPECT_EQ(port.LastMessage().text,
              "Errore in fase di ripristino della transazione\n\nImpossibile annullare: nessuna transazione "
              "\xE8 in corso.");
    EXPECT_TRUE(connection->IsOpen());  // a failed transaction operation changes nothing
}

TEST_F(Fixture, ATransactionCoversTheRowsStoredThroughCursors) {
    EXPECT_TRUE(connection->BeginTransaction());
    {
        db::CDbTable t(connection.get(), "prova");
        ASSERT_TRUE(t.AddNew());
        EXPECT_TRUE(t.SetField("ID", "1"));
        EXPECT_TRUE(t.SetField("nome", "uno"));
        ASSERT_TRUE(t.Update());
    }
    EXPECT_TRUE(connection->RollbackTransaction());
    EXPECT_TRUE(connection->BeginTransaction());
    db::CDbTable t(connection.get(), "prova");
    ASSERT_TRUE(t.SelectIndex("codice"));
    EXPECT_EQ(t.Seek({"1"}).kind(), Sought::NotFound);
    EXPECT_TRUE(connection->CommitTransaction());
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(Fixture, ASecondBeginFromAnotherProgramFindsTheDatabaseLocked) {
    EXPECT_TRUE(connection->BeginTransaction());
    auto other = engine::Database::Open(path);
    ASSERT_TRUE(other.ok());
    // A short wait is enough to show the refusal.
    sqlite3_busy_timeout((*other)->handle(), 10);
    const engine::Status s = (*other)->BeginTransaction();
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.description(),
              "Il database \xE8 bloccato da un altro utente o programma: riprovare pi\xF9 tardi.");
    EXPECT_TRUE(connection->CommitTransaction());
}

// A transaction object keeps what it commits, withdraws what it does not, and says nothing more when
// the engine has already ended it (as a failed write on a full disk does).
TEST_F(Fixture, ATransactionRollsBackUnlessCommitted) {
    const auto store = [&](const char* id) {
        db::CDbTable t(connection.get(), "prova");
        return t.AddNew() && t.SetField("ID", id) && t.SetField("nome", "n") && t.Update();
    };
    const auto stored = [&](const char* id) {
        db::CDbTable t(connection.get(), "prova");
        return t.SelectIndex("codice") && t.Seek({id}).found();
    };
    {
        db::CDbTransaction kept(*connection);
        ASSERT_TRUE(kept.IsActive());
        ASSERT_TRUE(store("1"));
        {
            db::CDbTransaction inner(*connection);  // a level inside, dropped without a commit
            ASSERT_TRUE(inner.IsActive());
            ASSERT_TRUE(store("2"));
        }
        EXPECT_TRUE(kept.IsActive());
        EXPECT_TRUE(kept.Commit());
        EXPECT_FALSE(kept.IsActive());
    }
    {
        db::CDbTransaction dropped(*connection);
        ASSERT_TRUE(store("3"));
    }
    EXPECT_TRUE(stored("1"));
    EXPECT_FALSE(stored("2"));
    EXPECT_FALSE(stored("3"));
    EXPECT_EQ(connection->TransactionDepth(), 0);
    {
        db::CDbTransaction ended(*connection);
        ASSERT_TRUE(store("4"));
        // The engine ends it behind the object's back.
        ASSERT_EQ(sqlite3_exec(connection->Database()->handle(), "ROLLBACK", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        EXPECT_FALSE(ended.IsActive());
        EXPECT_FALSE(ended.Commit());  // nothing of it is kept, and the caller is told
    }
    EXPECT_FALSE(stored("4"));
    EXPECT_TRUE(port.messages.empty());  // no word about a transaction that is gone
}

}  // namespace
