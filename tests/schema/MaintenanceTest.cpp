#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "db/DbSelect.h"
#include "engine/Database.h"
#include "engine/TableCursor.h"
#include "schema/Creation.h"
#include "schema/Maintenance.h"
#include "support/TempDir.h"
#include "ui/ScriptedPort.h"

namespace {

class MaintenanceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path = dir.File("censimento.mdb");
        ASSERT_TRUE(schema::CreateCensusDatabase(port, path, ""));
        port.Clear();
    }

    // Fills regcom with extra rows long enough to spread over many pages.
    void AddManyRows(int rows) {
        auto database = std::move(*engine::Database::Open(path));
        ASSERT_TRUE(database->BeginTransaction());
        auto cursor = std::move(*database->OpenTable("regcom"));
        for (int i = 1000; i < 1000 + rows; ++i) {
            ASSERT_TRUE(cursor->AddNew());
            ASSERT_TRUE(cursor->SetField("codice", std::to_string(i)));
            ASSERT_TRUE(
                cursor->SetField("denom", "COMUNE DI PROVA NUMERO " + std::to_string(i) + " XXXXXXXXX"));
            ASSERT_TRUE(cursor->Update());
        }
        cursor.reset();
        ASSERT_TRUE(database->CommitTransaction());
    }

    std::vector<int> Codes(const std::string& file) {
        db::CDbConnection c(port, file);
        db::CDbSelect s(&c);
        s.SetColumns("codice, denom");
        s.SetFrom("regcom");
        s.SetOrderBy("codice");
        std::vector<int> codes;
        for (int row = s.Execute(); row == 1; row = s.Next()) {
            std::int16_t code = 0;
            std::string denom;
            s.GetShort(0, code);
            s.GetText("denom", denom);
            if (code >= 1000) {
                EXPECT_EQ(denom, "COMUNE DI PROVA NUMERO " + std::to_string(code) + " XXXXXXXXX");
            }
            codes.push_back(code);
        }
        return codes;
    }

    testing_support::TempDir dir;
    ui::ScriptedPort port;
    std::string path;
};

TEST_F(MaintenanceTest, TheCommandsAskForTheirFilesAndStopWhenCancelled) {
    // Cancelled in its dialog, a command is not done and shows nothing.
    EXPECT_FALSE(schema::CreateDatabaseCommand(port));
    EXPECT_FALSE(schema::RepairDatabaseCommand(port));
    EXPECT_FALSE(schema::DuplicateDatabaseCommand(port));
    ASSERT_EQ(port.fileDialogs.size(), 3u);
    const auto& create = port.fileDialogs[0];
    EXPECT_TRUE(create.save);
    EXPECT_EQ(create.request.title, "Creazione Nuovo Database");
    EXPECT_EQ(create.request.proposedName, "*.MDB");
    EXPECT_EQ(create.request.defaultExtension, "MDB");
    EXPECT_EQ(create.request.filter, "Database JET (*.mdb)|*.mdb|Tutti i files (*.*)|*.*||");
    EXPECT_TRUE(create.request.overwritePrompt);
    EXPECT_TRUE(create.request.createPrompt);
    EXPECT_TRUE(create.request.pathMustExist);
    EXPECT_TRUE(create.request.hideReadOnly);
    EXPECT_FALSE(create.request.fileMustExist);
    EXPECT_FALSE(port.fileDialogs[1].save);
    EXPECT_EQ(port.fileDialogs[1].request.title, "Riparazione del Database");
    EXPECT_TRUE(port.fileDialogs[1].request.fileMustExist);
    EXPECT_EQ(port.fileDialogs[2].request.title, "Selezione del Database di origine");
    EXPECT_TRUE(port.messages.empty());
    EXPECT_TRUE(port.busyRequests.empty());

    // Duplicate cancelled at the second dialog does nothing and shows nothing.
    port.AnswerNextFileDialog(path);
    port.AnswerNextFileDialog(std::nullopt);
    EXPECT_FALSE(schema::DuplicateDatabaseCommand(port));
    EXPECT_EQ(port.fileDialogs.back().request.title, "Selezione del Database di destinazione");
    EXPECT_TRUE(port.fileDialogs.back().save);
    EXPECT_TRUE(port.messages.empty());

    const std::string created = dir.File("nuovo.mdb");
    port.AnswerNextFileDialog(created);
    EXPECT_TRUE(schema::CreateDatabaseCommand(port));
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.LastMessage().text, "Il database " + created + " \xE8 stato creato con successo\n\n");
}

TEST_F(MaintenanceTest, ASoundFileIsRepairedSilently) {
    AddManyRows(50);
    EXPECT_TRUE(schema::RepairDatabaseAt(port, path));
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(Codes(path).size(), 351u);
    EXPECT_EQ(port.busyRequests, std::vector<bool>{true});
}

TEST_F(MaintenanceTest, ADamagedFileIsRebuiltFromItsReadableRows) {
    AddManyRows(3000);
    // Damage a few pages in the middle of the file, where the rows just added lie.
    const auto size = std::filesystem::file_size(dir.path() / "censimento.mdb");
    {
        std::fstream file(dir.path() / "censimento.mdb", std::ios::in | std::ios::out | std::ios::binary);
        const std::string garbage(3 * 4096, '\x5A');
        file.seekp(static_cast<std::streamoff>(size / 2 / 4096 * 4096));
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    ASSERT_TRUE(schema::RepairDatabaseAt(port, path));
    ASSERT_EQ(port.messages.size(), 1u);
    const std::string damaged = dir.File("censimento.danneggiato.mdb");
    EXPECT_EQ(port.LastMessage().text,
              "Il database era danneggiato ed \xE8 stato ricostruito con tutti i dati ancora leggibili:\n\n" +
                  path + "\n\nIl file danneggiato \xE8 stato conservato come:\n\n" + damaged);
    EXPECT_EQ(port.LastMessage().caption, "Riparazione database");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Information);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "censimento.danneggiato.mdb"));

    const auto codes = Codes(path);
    EXPECT_GT(codes.size(), 3000u);  // most rows came back
    EXPECT_LT(codes.size(), 3301u);  // but not those of the damaged pages
    auto repaired = std::move(*engine::Database::Open(path));
    EXPECT_EQ(repaired->TableNames().size(), 11u);
    EXPECT_EQ(repaired->Indexes("regcom")->size(), 1u);
    repaired.reset();
    port.Clear();
    EXPECT_TRUE(schema::RepairDatabaseAt(port, path));  // now sound
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(MaintenanceTest, RepairRefusals) {
    const std::string missing = dir.File("manca.mdb");
    EXPECT_FALSE(schema::RepairDatabaseAt(port, missing));
    EXPECT_EQ(port.LastMessage().text, "Errore durante la riparazione del database\n\n" + missing +
                                           "\n\nImpossibile trovare il file '" + missing + "'.");
    EXPECT_EQ(port.LastMessage().caption, "Riparazione database");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Exclamation);

    db::CDbConnection open(port, path);
    EXPECT_FALSE(schema::RepairDatabaseAt(port, path));
    EXPECT_EQ(port.LastMessage().text, "Errore durante la riparazione del database\n\n" + path +
                                           "\n\nIl database '" + path +
                                           "' \xE8 aperto in questo programma: occorre sconnetterlo prima di "
                                           "ripararlo.");

    const std::string text = dir.File("testo.mdb");
    std::ofstream(text) << std::string(5000, 'x');
    EXPECT_FALSE(schema::RepairDatabaseAt(port, text));
    EXPECT_EQ(port.LastMessage().text, "Errore durante la riparazione del database\n\n" + text +
                                           "\n\nIl file '" + text + "' non \xE8 un database del censimento.");
}

TEST_F(MaintenanceTest, DuplicateCopiesEvenAnOpenDatabaseButNeverOverwrites) {
    AddManyRows(20);
    db::CDbConnection open(port, path);  // duplicating the connected database is safe
    const std::string copy = dir.File("copia.mdb");
    EXPECT_TRUE(schema::DuplicateDatabaseAt(port, path, copy));
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(Codes(copy), Codes(path));

    EXPECT_FALSE(schema::DuplicateDatabaseAt(port, path, copy));
    EXPECT_EQ(port.LastMessage().text, "Errore durante la duplicazione del database\n\n" + path + "\n" +
                                           copy + "\n\nIl file '" + copy + "' esiste gi\xE0.");
    EXPECT_EQ(port.LastMessage().caption, "Duplicazione database");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Exclamation);

    const std::string missing = dir.File("manca.mdb");
    EXPECT_FALSE(schema::DuplicateDatabaseAt(port, missing, dir.File("altra.mdb")));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "altra.mdb"));
    // No temporary file is left behind.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        files += entry.path().string().find(".copia") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(files, 0);
}

}  // namespace
