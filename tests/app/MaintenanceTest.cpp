#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "app/Maintenance.h"
#include "db/DbSelect.h"
#include "engine/Database.h"
#include "engine/TableCursor.h"
#include "schema/Creation.h"
#include "support/Tables.h"
#include "support/TempDir.h"
#include "text/Text.h"
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

    // Statements run with the plain SQLite library on `file`; the first column of the last row of the
    // last statement, or "" (NULL too), or "error".
    static std::string Sql(const std::string& file, const std::string& sql) {
        sqlite3* db = nullptr;
        std::string answer = "error";
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) ==
            SQLITE_OK) {
            const char* tail = sql.c_str();
            while (tail && *tail) {
                sqlite3_stmt* stmt = nullptr;
                if (sqlite3_prepare_v2(db, tail, -1, &stmt, &tail) != SQLITE_OK) {
                    answer = "error";
                    break;
                }
                if (!stmt) {
                    break;
                }
                answer = "";
                int rc = SQLITE_ROW;
                while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
                    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
                    answer = text ? text : "";
                }
                sqlite3_finalize(stmt);
                if (rc != SQLITE_DONE) {
                    answer = "error";
                    break;
                }
            }
        }
        sqlite3_close(db);
        return answer;
    }

    // Adds `count` structures (identifiers 1...count, every column valid) and makes company 12 the
    // working one; the settings row's next identifier follows the last structure.
    void AddStructures(int count) {
        std::string columns, values;
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        sqlite3_stmt* info = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT name, type FROM pragma_table_info('depositi')", -1, &info,
                                     nullptr),
                  SQLITE_OK);
        while (sqlite3_step(info) == SQLITE_ROW) {
            const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(info, 0));
            const std::string type = reinterpret_cast<const char*>(sqlite3_column_text(info, 1));
            columns += (columns.empty() ? "\"" : ", \"") + name + "\"";
            std::string value = "i % 100";
            if (name == "ID") {
                value = "i";
            } else if (type == "BOOLEAN") {
                value = "i % 2";
            } else if (type == "INTEGER") {
                value = "i * 10";
            } else if (type.starts_with("VARCHAR(")) {
                value = "substr('S' || i || ' " + name + " DI PROVA', 1, " + type.substr(8);
                value.pop_back();
                value += ")";
            }
            values += (values.empty() ? "" : ", ") + value;
        }
        sqlite3_finalize(info);
        sqlite3_close(db);
        ASSERT_EQ(
            Sql(path, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                          std::to_string(count) + ") INSERT INTO depositi (" + columns + ") SELECT " +
                          values + " FROM n; UPDATE master SET azienda = 12, id_depo = " +
                          std::to_string(count + 1) + " WHERE codice = 0; SELECT count(*) FROM depositi"),
            std::to_string(count));
    }

    // Overwrites with noise the pages that hold the description of the tables (the first page after
    // its header, and the pages its rows and long texts spill onto) and, when asked, those of one
    // table; the header stays readable.
    void DestroyTheDescription(const std::string& alsoTable = "") {
        std::vector<long long> pages;
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT pageno FROM dbstat WHERE name IN ('sqlite_schema', ?1)", -1,
                                     &stmt, nullptr),
                  SQLITE_OK);
        sqlite3_bind_text(stmt, 1, alsoTable.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            pages.push_back(sqlite3_column_int64(stmt, 0));
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        ASSERT_GE(pages.size(), 2u);  // the first page and at least one more
        std::mt19937 noise(7);
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        for (const long long page : pages) {
            const std::streamoff from = (page - 1) * 4096 + (page == 1 ? 100 : 0);
            std::string bytes(static_cast<std::size_t>(page * 4096 - from), '\0');
            for (char& c : bytes) {
                c = static_cast<char>(noise());
            }
            file.seekp(from);
            file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
    }

    std::set<std::string> Files() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    // The description of the tables of a census as the program creates it.
    std::string FreshDescription() {
        const std::string fresh = dir.File("nuovo.mdb");
        EXPECT_TRUE(schema::CreateCensusDatabase(port, fresh, ""));
        port.Clear();
        const std::string description = Description(fresh);
        std::filesystem::remove(fresh);
        return description;
    }

    static std::string Description(const std::string& file) {
        return Sql(file,
                   "SELECT group_concat(type || ' ' || name || ' ' || sql, char(10)) FROM (SELECT * FROM "
                   "sqlite_master ORDER BY name)");
    }

    testing_support::TempDir dir;
    ui::ScriptedPort port;
    std::string path;
};

TEST_F(MaintenanceTest, TheCommandsAskForTheirFilesAndStopWhenCancelled) {
    // Cancelled in its dialog, a command is not done and shows nothing.
    EXPECT_FALSE(app::CreateDatabaseCommand(port));
    EXPECT_FALSE(app::RepairDatabaseCommand(port));
    EXPECT_FALSE(app::DuplicateDatabaseCommand(port));
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
    EXPECT_FALSE(app::DuplicateDatabaseCommand(port));
    EXPECT_EQ(port.fileDialogs.back().request.title, "Selezione del Database di destinazione");
    EXPECT_TRUE(port.fileDialogs.back().save);
    EXPECT_TRUE(port.messages.empty());

    const std::string created = dir.File("nuovo.mdb");
    port.AnswerNextFileDialog(created);
    EXPECT_TRUE(app::CreateDatabaseCommand(port));
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.LastMessage().text, "Il database " + created + " \xE8 stato creato con successo\n\n");
}

TEST_F(MaintenanceTest, ASoundFileIsRepairedSilently) {
    AddManyRows(50);
    EXPECT_TRUE(app::RepairDatabaseAt(port, path));
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(Codes(path).size(), 351u);
    EXPECT_EQ(port.busyRequests, std::vector<bool>{true});
}

// What a damage took of the code tables comes back from the program's own lists; the rows there are
// kept as they are.
TEST_F(MaintenanceTest, TheCodeTablesComeBackWhole) {
    AddManyRows(10);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db,
                     "DELETE FROM regazi WHERE codice BETWEEN 5 AND 9; DELETE FROM regcom WHERE codice > 100 "
                     "AND codice < 1000; UPDATE regcom SET denom = 'RINOMINATO' WHERE codice = 1",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    ASSERT_TRUE(app::RepairDatabaseAt(port, path));
    EXPECT_TRUE(port.messages.empty());

    std::set<int> expected;
    for (const schema::SeedEntry& entry : schema::RegcomSeed()) {
        expected.insert(entry.code);
    }
    const std::vector<int> codes = Codes(path);
    const std::set<int> seeded(codes.begin(), codes.end() - 10);  // the ten added, 1000 on, at the end
    EXPECT_EQ(seeded, expected);
    EXPECT_EQ(codes.size(), schema::RegcomSeed().size() + 10);

    db::CDbConnection c(port, path);
    db::CDbSelect companies(&c);
    companies.SetColumns("codice, denom");
    companies.SetFrom("regazi");
    companies.SetWhere("codice = 7");
    ASSERT_EQ(companies.Execute(), 1);
    std::string name;
    companies.GetText("denom", name);
    EXPECT_EQ(name, text::TrimRight(schema::RegaziSeed()[7].name));
    db::CDbSelect renamed(&c);
    renamed.SetColumns("denom");
    renamed.SetFrom("regcom");
    renamed.SetWhere("codice = 1");
    ASSERT_EQ(renamed.Execute(), 1);
    renamed.GetText("denom", name);
    EXPECT_EQ(name, "RINOMINATO");
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
    ASSERT_TRUE(app::RepairDatabaseAt(port, path));
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
    EXPECT_EQ(testing_support::CensusTableNames(*repaired).size(), 11u);
    EXPECT_EQ(repaired->Indexes("regcom")->size(), 1u);
    repaired.reset();
    port.Clear();
    EXPECT_TRUE(app::RepairDatabaseAt(port, path));  // now sound
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(MaintenanceTest, RepairRefusals) {
    const std::string missing = dir.File("manca.mdb");
    EXPECT_FALSE(app::RepairDatabaseAt(port, missing));
    EXPECT_EQ(port.LastMessage().text, "Errore durante la riparazione del database\n\n" + missing +
                                           "\n\nImpossibile trovare il file '" + missing + "'.");
    EXPECT_EQ(port.LastMessage().caption, "Riparazione database");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Exclamation);

    db::CDbConnection open(port, path);
    EXPECT_FALSE(app::RepairDatabaseAt(port, path));
    EXPECT_EQ(port.LastMessage().text, "Errore durante la riparazione del database\n\n" + path +
                                           "\n\nIl database '" + path +
                                           "' \xE8 aperto in questo programma: occorre sconnetterlo prima di "
                                           "ripararlo.");

    const std::string text = dir.File("testo.mdb");
    std::ofstream(text) << std::string(5000, 'x');
    EXPECT_FALSE(app::RepairDatabaseAt(port, text));
    EXPECT_EQ(port.LastMessage().text, "Errore durante la riparazione del database\n\n" + text +
                                           "\n\nIl file '" + text + "' non \xE8 un database del censimento.");
}

TEST_F(MaintenanceTest, DuplicateCopiesEvenAnOpenDatabaseButNeverOverwrites) {
    AddManyRows(20);
    db::CDbConnection open(port, path);  // duplicating the connected database is safe
    const std::string copy = dir.File("copia.mdb");
    EXPECT_TRUE(app::DuplicateDatabaseAt(port, path, copy));
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(Codes(copy), Codes(path));

    EXPECT_FALSE(app::DuplicateDatabaseAt(port, path, copy));
    EXPECT_EQ(port.LastMessage().text, "Errore durante la duplicazione del database\n\n" + path + "\n" +
                                           copy + "\n\nIl file '" + copy + "' esiste gi\xE0.");
    EXPECT_EQ(port.LastMessage().caption, "Duplicazione database");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Exclamation);

    const std::string missing = dir.File("manca.mdb");
    EXPECT_FALSE(app::DuplicateDatabaseAt(port, missing, dir.File("altra.mdb")));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "altra.mdb"));
    // No temporary file is left behind.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        files += entry.path().string().find(".in-costruzione") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(files, 0);
}

TEST_F(MaintenanceTest, ACensusWhoseDescriptionOfItsTablesIsLostIsRebuiltWithTheProgramsOwn) {
    const std::string fresh = FreshDescription();
    const std::string seeds =
        Sql(path,
            "SELECT (SELECT count(*) FROM regazi) || ' ' || (SELECT count(*) FROM regcom) || ' ' || "
            "(SELECT count(*) FROM campi)");
    AddStructures(3000);
    DestroyTheDescription();
    const std::string damaged = dir.File("censimento.danneggiato.mdb");
    ASSERT_TRUE(app::RepairDatabaseAt(port, path));
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.LastMessage().text,
              "Il database era danneggiato ed \xE8 stato ricostruito con tutti i dati ancora leggibili:\n\n" +
                  path + "\n\nIl file danneggiato \xE8 stato conservato come:\n\n" + damaged);
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Information);
    EXPECT_EQ(Files(), (std::set<std::string>{"censimento.mdb", "censimento.danneggiato.mdb"}));

    // The program's own tables and rows, the structures and the settings row of the damaged file.
    EXPECT_EQ(Sql(path, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(Description(path), fresh);
    EXPECT_EQ(Sql(path,
                  "SELECT (SELECT count(*) FROM regazi) || ' ' || (SELECT count(*) FROM regcom) || ' ' || "
                  "(SELECT count(*) FROM campi)"),
              seeds);
    EXPECT_GE(std::stoi(Sql(path, "SELECT count(*) FROM depositi")), 2900);
    EXPECT_EQ(
        Sql(path,
            "SELECT count(*) FROM depositi WHERE local <> substr('S' || ID || ' local DI PROVA', 1, 30) "
            "OR urb_n_s <> ID % 100 OR cop_sup <> ID * 10"),
        "0");
    EXPECT_EQ(Sql(path,
                  "SELECT count(*) || ' ' || max(codice) || ' ' || max(azienda) || ' ' || max(id_depo) FROM "
                  "master"),
              "1 0 12 3001");
    EXPECT_TRUE(engine::Database::Open(path, engine::Database::Contents::WholeCensus).ok());

    // Now sound: repaired silently in place.
    port.Clear();
    EXPECT_TRUE(app::RepairDatabaseAt(port, path));
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(Files(), (std::set<std::string>{"censimento.mdb", "censimento.danneggiato.mdb"}));
}

// One bit changed in the statement that creates the structures' table (the damage SQLite's recovery
// cannot read past): the structures are rebuilt from their pages, whole.
TEST_F(MaintenanceTest, AStructureTableWhoseStatementIsDamagedComesBackWhole) {
    const std::string fresh = FreshDescription();
    AddStructures(300);
    std::string sound;
    {
        std::ostringstream out;
        out << std::ifstream(path, std::ios::binary).rdbuf();
        sound = out.str();
    }
    const std::size_t statement = sound.find("CREATE TABLE \"depositi\" (");
    ASSERT_NE(statement, std::string::npos);
    // A quotation mark turned into '&' leaves a statement that does not read, so no table to read the
    // rows into; a letter of a name turned into another leaves one that reads, with a column of
    // another name.
    std::vector<std::size_t> places{sound.find("\"agenzia\"", statement) + 2};
    for (std::size_t at = statement, quotes = 0; at < statement + 1500; ++at) {
        if (sound[at] == '"' && quotes++ % 40 == 0) {
            places.push_back(at);
        }
    }
    ASSERT_EQ(places.size(), 4u);
    for (const std::size_t at : places) {
        SCOPED_TRACE(at - statement);
        std::string damaged = sound;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x04);
        for (const std::string& name : Files()) {
            std::filesystem::remove(dir.path() / name);
        }
        std::ofstream(path, std::ios::binary) << damaged;
        port.Clear();
        ASSERT_TRUE(app::RepairDatabaseAt(port, path));
        ASSERT_EQ(port.messages.size(), 1u);
        EXPECT_EQ(port.LastMessage().icon, ui::Icon::Information);
        EXPECT_EQ(Description(path), fresh);
        EXPECT_EQ(Sql(path, "SELECT count(*) FROM depositi"), "300");
        EXPECT_EQ(
            Sql(path,
                "SELECT count(*) FROM depositi WHERE local <> substr('S' || ID || ' local DI PROVA', 1, 30) "
                "OR urb_n_s <> ID % 100 OR cop_sup <> ID * 10"),
            "0");
        EXPECT_EQ(Sql(path, "SELECT max(azienda) || ' ' || max(id_depo) FROM master"), "12 301");
    }
}

TEST_F(MaintenanceTest, WithoutItsSettingsRowTheRebuiltCensusNumbersNewStructuresAfterTheOldOnes) {
    AddStructures(2000);
    ASSERT_EQ(Sql(path, "DELETE FROM depositi WHERE ID > 1990; SELECT max(ID) FROM depositi"), "1990");
    DestroyTheDescription("master");
    ASSERT_TRUE(app::RepairDatabaseAt(port, path));
    EXPECT_EQ(Sql(path, "PRAGMA integrity_check"), "ok");
    EXPECT_GE(std::stoi(Sql(path, "SELECT count(*) FROM depositi")), 1900);
    EXPECT_EQ(Sql(path, "SELECT max(ID) + 1 FROM depositi"), "1991");
    // The blank census's settings row: no company chosen, the next identifier after the last structure.
    EXPECT_EQ(Sql(path,
                  "SELECT count(*) || ' ' || max(codice) || ' ' || max(azienda) || ' ' || max(id_depo) FROM "
                  "master"),
              "1 0 0 1991");
}

TEST_F(MaintenanceTest, AFailedRepairLeavesTheFolderAsItWas) {
    std::filesystem::remove(path);
    // No database at all.
    const std::string text = dir.File("testo.mdb");
    std::ofstream(text) << std::string(5000, 'x');
    // A database of another program, in WAL mode, whose first page is lost: what can be read of it fits
    // no census table.
    const std::string other = dir.File("altro.mdb");
    ASSERT_EQ(Sql(other,
                  "PRAGMA journal_mode = WAL; CREATE TABLE t(a, b, c, d, e, f, g); WITH RECURSIVE "
                  "n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) INSERT INTO t SELECT "
                  "'a' || i, 'b', 'c', 'd', 'e', 'f', 'g' FROM n; SELECT count(*) FROM t"),
              "2000");
    {
        std::fstream file(other, std::ios::in | std::ios::out | std::ios::binary);
        const std::string garbage(4096, '\x5A');
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    const std::set<std::string> before = Files();
    ASSERT_EQ(before, (std::set<std::string>{"testo.mdb", "altro.mdb"}));
    for (const std::string& file : {text, other}) {
        port.Clear();
        EXPECT_FALSE(app::RepairDatabaseAt(port, file));
        EXPECT_EQ(port.LastMessage().text, "Errore durante la riparazione del database\n\n" + file +
                                               "\n\nIl file '" + file +
                                               "' non \xE8 un database del censimento.");
        EXPECT_EQ(Files(), before);
    }
}

// Files whose damage once crashed the repair. Each is rebuilt with no fewer structures than a plain read
// of it sees, the original kept beside it, or refused with the repair's own message and left as it was;
// nothing of the repair is left behind either way.
TEST_F(MaintenanceTest, DamagedFilesThatOnceCrashedTheRepair) {
    const auto bytes = [](const std::filesystem::path& file) {
        std::ostringstream out;
        out << std::ifstream(file, std::ios::binary).rdbuf();
        return out.str();
    };
    int inputs = 0;
    for (const auto& input : std::filesystem::directory_iterator(VELUMBRA_DAMAGED_CENSUSES)) {
        if (input.path().extension() != ".MDB") {
            continue;
        }
        SCOPED_TRACE(input.path().string());
        ++inputs;
        for (const std::string& name : Files()) {
            std::filesystem::remove(dir.path() / name);
        }
        const std::string file = dir.File("censimento.MDB"), plain = dir.File("lettura.MDB");
        for (const std::string& copy : {file, plain}) {
            std::filesystem::copy_file(input.path(), copy);
            std::filesystem::permissions(copy, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
        }
        const std::string seen = Sql(plain, "SELECT count(*) FROM depositi NOT INDEXED");
        std::filesystem::remove(plain);
        const std::string original = bytes(file);
        port.Clear();
        const bool repaired = app::RepairDatabaseAt(port, file).done();
        ASSERT_EQ(port.messages.size(), 1u);
        if (repaired) {
            EXPECT_EQ(port.LastMessage().text,
                      "Il database era danneggiato ed \xE8 stato ricostruito con tutti i "
                      "dati ancora leggibili:\n\n" +
                          file + "\n\nIl file danneggiato \xE8 stato conservato come:\n\n" +
                          dir.File("censimento.danneggiato.MDB"));
            EXPECT_EQ(Files(), (std::set<std::string>{"censimento.MDB", "censimento.danneggiato.MDB"}));
            EXPECT_EQ(bytes(dir.path() / "censimento.danneggiato.MDB"), original);
            EXPECT_GE(std::stoi(Sql(file, "SELECT count(*) FROM depositi")),
                      seen == "error" ? 0 : std::stoi(seen));
        } else {
            EXPECT_TRUE(
                port.LastMessage().text.starts_with("Errore durante la riparazione del database\n\n" + file))
                << port.LastMessage().text;
            EXPECT_EQ(Files(), std::set<std::string>{"censimento.MDB"});
            EXPECT_EQ(bytes(file), original);
        }
    }
    EXPECT_GT(inputs, 0);
}

}  // namespace
