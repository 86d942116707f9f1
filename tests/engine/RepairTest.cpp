#include <gtest/gtest.h>
#include <sqlite3.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <set>
#include <thread>

#include "Described.h"
#include "engine/Database.h"
#include "engine/FileSystem.h"
#include "engine/TableCursor.h"
#include "support/TempDir.h"

namespace {

using engine::Database;
using engine::FieldType;

constexpr const char* kCensusTables[] = {"tavole", "campi",  "indici", "indici2", "relaz",   "relaz2",
                                         "utenti", "master", "regazi", "regcom",  "depositi"};

class RepairTest : public ::testing::Test {
  protected:
    // A census-like file: the census tables, `master` with a unique key and long rows, a second index
    // with every flag and a validation rule, and a relation from `depositi` to `master`.
    void MakeCensus(int rows, const std::string& file = "") {
        auto created = Database::Create(file.empty() ? path : file, engine::kCensusLocale);
        ASSERT_TRUE(created.ok()) << created.description();
        auto db = std::move(*created);
        for (const char* name : kCensusTables) {
            auto def = db->NewTableDef(name);
            ASSERT_TRUE(def.ok());
            ASSERT_TRUE(def->AddField(
                {.name = "codice", .type = FieldType::Long, .ordinalPosition = 1, .required = true}));
            const int extra = std::string(name) == "master" ? 12 : std::string(name) == "depositi" ? 1 : 3;
            for (int f = 0; f < extra; ++f) {
                const bool ruled = f == 0 && std::string(name) == "master";
                ASSERT_TRUE(def->AddField({.name = "campo" + std::to_string(f),
                                           .type = FieldType::Text,
                                           .size = 40,
                                           .ordinalPosition = f + 2,
                                           .allowZeroLength = true,
                                           .validationRule = ruled ? "Is Null Or > \"A\"" : "",
                                           .validationText = ruled ? "Non \xE8 una struttura." : ""}));
            }
            ASSERT_TRUE(db->AppendTable(*def));
            ASSERT_TRUE(db->CreateIndex(
                name, {.name = "chiave", .columns = {"codice"}, .primary = true, .unique = true}));
        }
        ASSERT_TRUE(db->CreateIndex("master", {.name = "per_testo",
                                               .columns = {"campo0", "campo1"},
                                               .clustered = true,
                                               .ignoreNulls = true,
                                               .required = true}));
        ASSERT_TRUE(db->CreateRelation({.name = "deposito_master",
                                        .table = "master",
                                        .foreignTable = "depositi",
                                        .fields = {{"codice", "codice"}}}));
        ASSERT_TRUE(db->BeginTransaction());
        auto cursor = std::move(*db->OpenTable("master"));
        for (int i = 1; i <= rows; ++i) {
            ASSERT_TRUE(cursor->AddNew());
            ASSERT_TRUE(cursor->SetField("codice", std::to_string(i)));
            for (int f = 0; f < 12; ++f) {
                ASSERT_TRUE(cursor->SetField("campo" + std::to_string(f), "STRUTTURA " + std::to_string(i)));
            }
            ASSERT_TRUE(cursor->Update());
        }
        cursor.reset();
        ASSERT_TRUE(db->CommitTransaction());
        if (file.empty()) {
            description = engine_testing::Described(*db);
        }
    }

    void Overwrite(std::uintmax_t offset, std::size_t bytes) {
        std::fstream file(dir.path() / "census.mdb", std::ios::in | std::ios::out | std::ios::binary);
        const std::string garbage(bytes, '\x5A');
        file.seekp(static_cast<std::streamoff>(offset));
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }

    // One number read with the plain SQLite library, or -1.
    static long long Number(const std::string& file, const std::string& sql) {
        sqlite3* db = nullptr;
        long long n = -1;
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
                sqlite3_step(stmt) == SQLITE_ROW) {
                n = sqlite3_column_int64(stmt, 0);
            }
            sqlite3_finalize(stmt);
        }
        sqlite3_close(db);
        return n;
    }

    std::set<std::string> Files() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    std::string Bytes() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // The pages that hold the engine's table of attributes and its key.
    std::vector<long long> AttributePages() const {
        std::vector<long long> pages;
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT pageno FROM dbstat WHERE name LIKE '%velumbra_attributi%'", -1,
                                   &stmt, nullptr) == SQLITE_OK) {
                while (sqlite3_step(stmt) == SQLITE_ROW) {
                    pages.push_back(sqlite3_column_int64(stmt, 0));
                }
            }
            sqlite3_finalize(stmt);
        }
        sqlite3_close(db);
        return pages;
    }

    // Repairs the file and checks what every rebuilt file must be; returns the rows of `master`. The
    // description of the tables must come back whole unless the pages of the attributes were lost.
    long long RepairDamaged(bool attributesLost = false) {
        int ticks = 0;
        std::string damaged;
        const engine::Status s = Database::Repair(path, &damaged, [&] { ++ticks; });
        EXPECT_TRUE(s) << s.description();
        EXPECT_EQ(damaged, dir.File("census.danneggiato.mdb"));
        EXPECT_GT(ticks, 0);
        EXPECT_EQ(Files(), (std::set<std::string>{"census.mdb", "census.danneggiato.mdb"}));
        EXPECT_EQ(Number(path, "PRAGMA application_id"), engine::kApplicationId);
        EXPECT_EQ(Number(path, "PRAGMA user_version"), 1);
        EXPECT_EQ(Number(path, "SELECT count(*) FROM pragma_journal_mode WHERE journal_mode = 'wal'"), 1);
        EXPECT_EQ(Number(path, "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'"),
                  1);
        // The census tables and the engine's table of attributes; nothing of the repair's own.
        EXPECT_EQ(Number(path, "SELECT count(*) FROM sqlite_master WHERE type = 'table'"), 12);
        EXPECT_EQ(Number(path, "SELECT count(*) FROM sqlite_master WHERE type = 'trigger'"), kTriggers);
        EXPECT_EQ(Number(path,
                         "SELECT count(*) FROM sqlite_master WHERE name LIKE 'velumbra%' AND "
                         "name NOT LIKE '%velumbra_attributi%'"),
                  0);
        // The key stays unique, and the rows read back whole.
        EXPECT_EQ(Number(path, "SELECT count(*) - count(DISTINCT codice) FROM master"), 0);
        EXPECT_EQ(Number(path, "SELECT count(*) FROM master WHERE campo11 <> 'STRUTTURA ' || codice"), 0);
        auto reopened = Database::Open(path);
        EXPECT_TRUE(reopened.ok()) << reopened.description();
        if (reopened.ok() && !attributesLost) {
            // Every attribute of the fields and indexes as the census was made.
            EXPECT_EQ(engine_testing::Described(**reopened), description);
        }
        return Number(path, "SELECT count(*) FROM master");
    }

    testing_support::TempDir dir;
    const std::string path = dir.File("census.mdb");
    long long kTriggers = 0;
    long long pageSize = 0;
    std::string description;  // the tables as MakeCensus made them

    void Measure() {
        kTriggers = Number(path, "SELECT count(*) FROM sqlite_master WHERE type = 'trigger'");
        pageSize = Number(path, "PRAGMA page_size");
        ASSERT_GT(kTriggers, 0);
    }
};

TEST_F(RepairTest, ATruncatedFileIsRebuiltWithTheRowsStillOnIt) {
    MakeCensus(3000);
    Measure();
    const auto size = std::filesystem::file_size(path);
    std::filesystem::resize_file(path, size / 2);
    const long long rows = RepairDamaged();
    EXPECT_GT(rows, 1200);
    EXPECT_LT(rows, 3000);
    // Now sound: repaired in place, nothing set aside.
    EXPECT_TRUE(Database::Repair(path));
    EXPECT_EQ(Files(), (std::set<std::string>{"census.mdb", "census.danneggiato.mdb"}));
    EXPECT_EQ(Number(path, "SELECT count(*) FROM master"), rows);
}

TEST_F(RepairTest, OverwrittenPagesAreSkippedQuickly) {
    MakeCensus(3000);
    Measure();
    const std::vector<long long> attributes = AttributePages();
    Overwrite(static_cast<std::uintmax_t>(pageSize), 3 * static_cast<std::size_t>(pageSize));  // pages 2-4
    // Without a blank census, attributes on those pages cannot come back (see below).
    const long long rows =
        RepairDamaged(std::any_of(attributes.begin(), attributes.end(), [](long long p) { return p <= 4; }));
    EXPECT_GT(rows, 2500);
    EXPECT_LE(rows, 3000);
}

TEST_F(RepairTest, RebuiltRowsHoldTheirValuesAsTheyWere) {
    MakeCensus(3000);
    Measure();
    // Values of every kind, in a table whose name and columns read like pieces of the statements.
    const std::string values =
        "CREATE TABLE \"l'elenco VALUES(1, 2)\"(\"l'a\", b); INSERT INTO \"l'elenco VALUES(1, 2)\" VALUES "
        "('it''s, VALUES(x)', -7), ('riga\r\nnuova', 9223372036854775807), (NULL, -9223372036854775808), "
        "('', 2.5), (x'', x'00FF7A'), ('\xC3\xA8', -0.0), (12345678901234567890, 1e300)";
    const std::string read =
        "SELECT group_concat(quote(\"l'a\") || typeof(\"l'a\") || quote(b) || typeof(b), '|') FROM "
        "(SELECT * FROM \"l'elenco VALUES(1, 2)\" ORDER BY rowid)";
    std::string before, after;
    for (std::string* into : {&before, &after}) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        if (into == &before) {
            ASSERT_EQ(sqlite3_exec(db, values.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        }
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, read.c_str(), -1, &stmt, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
        *into = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        if (into == &before) {
            // A page in the middle of master's rows.
            const long long page = Number(
                path, "SELECT pageno FROM dbstat WHERE name = 'master' ORDER BY pageno LIMIT 1 OFFSET 20");
            ASSERT_GT(page, 1);
            Overwrite(static_cast<std::uintmax_t>((page - 1) * pageSize), static_cast<std::size_t>(pageSize));
            const engine::Status s = Database::Repair(path);
            ASSERT_TRUE(s) << s.description();
        }
    }
    EXPECT_EQ(after, before);
    EXPECT_LT(Number(path, "SELECT count(*) FROM master"), 3000);
    EXPECT_GT(Number(path, "SELECT count(*) FROM master"), 2500);
}

// A text with a NUL byte inside comes back whole, not cut where a C string would end.
TEST_F(RepairTest, ARebuiltTextKeepsEveryByte) {
    MakeCensus(3000);
    Measure();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, "CREATE TABLE note(testo); INSERT INTO note VALUES (CAST(x'41004243' AS TEXT))",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    const long long page =
        Number(path, "SELECT pageno FROM dbstat WHERE name = 'master' ORDER BY pageno LIMIT 1 OFFSET 20");
    ASSERT_GT(page, 1);
    Overwrite(static_cast<std::uintmax_t>((page - 1) * pageSize), static_cast<std::size_t>(pageSize));
    const engine::Status s = Database::Repair(path);
    ASSERT_TRUE(s) << s.description();
    EXPECT_EQ(
        Number(path, "SELECT count(*) FROM note WHERE typeof(testo) = 'text' AND hex(testo) = '41004243'"),
        1);
}

TEST_F(RepairTest, AnOverwrittenFirstPageLosesNoRow) {
    MakeCensus(3000);
    Measure();
    Overwrite(0, static_cast<std::size_t>(pageSize));
    EXPECT_EQ(RepairDamaged(), 3000);
}

TEST_F(RepairTest, AFileThatAnotherProgramHoldsIsLeftAlone) {
    MakeCensus(200);
    Overwrite(5 * 4096, 4096);
    const std::string before = Bytes();
#ifndef _WIN32  // another process holding it: needs fork
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        char c = 1;
        (void)!write(ready[1], &c, 1);
        (void)!read(done[0], &c, 1);
        sqlite3_close(db);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    const engine::Status s = Database::Repair(path);
    EXPECT_FALSE(s);
    EXPECT_EQ(s.description(),
              "Il database '" + path +
                  "' \xE8 in uso in un altro programma: occorre chiuderlo prima di ripararlo.");
    EXPECT_EQ(Bytes(), before);
    EXPECT_EQ(Files().count("census.danneggiato.mdb"), 0u);
    (void)!write(done[1], &c, 1);
    int status = 0;
    waitpid(child, &status, 0);
    for (const int fd : {ready[0], ready[1], done[0], done[1]}) {
        close(fd);
    }
#endif

    // The same with a connection of this process that the program does not know of.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    sqlite3_exec(other, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    EXPECT_FALSE(Database::Repair(path));
    sqlite3_close(other);
    EXPECT_EQ(Bytes(), before);

    // Once let go, it is repaired.
    EXPECT_TRUE(Database::Repair(path));
    EXPECT_GT(Number(path, "SELECT count(*) FROM master"), 100);
    EXPECT_TRUE(Files().count("census.danneggiato.mdb"));
}

TEST_F(RepairTest, TemporariesNeverOutliveARepair) {
    MakeCensus(400);
    // What a killed repair left: abandoned, it goes; one that another repair holds stays.
    std::ofstream(dir.path() / ".census.mdb.in-riparazione") << std::string(8192, 'x');
    std::ofstream(dir.path() / ".census.mdb.in-riparazione-journal") << "x";
    const std::string held = dir.File(".altro.mdb.in-riparazione");
    std::ofstream(held) << "";
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open_v2(held.c_str(), &holder, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder,
                           "PRAGMA locking_mode = EXCLUSIVE; PRAGMA journal_mode = MEMORY; CREATE TABLE t(a)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_TRUE(Database::Repair(path));  // sound
    EXPECT_EQ(Files(), (std::set<std::string>{"census.mdb", ".altro.mdb.in-riparazione"}));
    sqlite3_close(holder);

    // A failed rebuild leaves nothing behind: the first page held the whole description of the tables
    // but for the engine's table of attributes, which goes too.
    std::filesystem::remove(held);
    std::filesystem::remove(path);
    {
        auto created = Database::Create(path, engine::kCensusLocale);
        ASSERT_TRUE(created.ok());
        for (const char* name : kCensusTables) {
            auto def = (*created)->NewTableDef(name);
            ASSERT_TRUE(def->AddField({.name = "a", .type = FieldType::Long, .ordinalPosition = 1}));
            ASSERT_TRUE((*created)->AppendTable(*def));
        }
    }
    const std::vector<long long> attributes = AttributePages();
    ASSERT_EQ(attributes.size(), 2u);  // the table and its key
    Overwrite(0, 4096);
    for (const long long page : attributes) {
        Overwrite(static_cast<std::uintmax_t>((page - 1) * 4096), 4096);
    }
    const engine::Status s = Database::Repair(path);
    EXPECT_FALSE(s);
    EXPECT_EQ(s.description(), "Il file '" + path + "' non \xE8 un database del censimento.");
    EXPECT_EQ(Files(), std::set<std::string>{"census.mdb"});
}

TEST_F(RepairTest, AFileWithoutTheCensusTablesIsRefusedByName) {
    {
        auto created = Database::Create(path, engine::kCensusLocale);
        ASSERT_TRUE(created.ok());
        auto def = (*created)->NewTableDef("master");
        ASSERT_TRUE(def->AddField({.name = "a", .type = FieldType::Long, .ordinalPosition = 1}));
        ASSERT_TRUE((*created)->AppendTable(*def));
    }
    const std::string missing =
        "Il file '" + path + "' non \xE8 un database del censimento completo: manca la tabella 'tavole'.";
    const engine::Status repaired = Database::Repair(path);
    EXPECT_EQ(repaired.description(), missing);
    const engine::Status copied = Database::Compact(path, dir.File("copia.mdb"), engine::kCensusLocale);
    EXPECT_EQ(copied.description(), missing);
    EXPECT_EQ(Files(), std::set<std::string>{"census.mdb"});

    // A text file is no database at all.
    const std::string text = dir.File("testo.mdb");
    std::ofstream(text) << std::string(5000, 'x');
    EXPECT_EQ(Database::Repair(text).description(),
              "Il file '" + text + "' non \xE8 un database del censimento.");
    EXPECT_EQ(Files(), (std::set<std::string>{"census.mdb", "testo.mdb"}));
}

TEST_F(RepairTest, WhatKilledWritersLeftGoes) {
    MakeCensus(200);
    // A blank census that nobody holds, and one being built by a process that no longer runs, go; one
    // being built by a process that runs stays.
#ifdef _WIN32
    const long child = 999999996;  // no such process
#else
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
#endif
    std::ofstream(dir.path() / ".census.mdb.in-riparazione-vuoto") << std::string(8192, 'x');
    std::ofstream(dir.path() / ".census.mdb.in-riparazione-vuoto-wal") << "x";
    std::ofstream(dir.path() /
                  ("..census.mdb.in-riparazione-vuoto." + std::to_string(child) + ".in-costruzione"))
        << "x";
    const std::string running = "..altro.mdb.in-riparazione-vuoto." +
                                std::to_string(engine::files::CurrentProcessId()) + ".in-costruzione";
    std::ofstream(dir.path() / running) << "x";
    EXPECT_TRUE(Database::Repair(path));  // sound
    EXPECT_EQ(Files(), (std::set<std::string>{"census.mdb", running}));

    // A duplicate, a kept copy, a creation and a repair killed while writing, with their journals: gone
    // with the next command on a census of that folder.
    std::ofstream(dir.path() / ".census.mdb.in-riparazione") << std::string(8192, 'x');
    const std::string dead = std::to_string(child);
    for (const std::string& left :
         {".copia.mdb." + dead + ".in-costruzione", ".copia.mdb." + dead + ".in-costruzione-journal",
          ".census.prima-importazione-20261209-101010.mdb." + dead + ".in-costruzione",
          ".nuovo.mdb." + dead + ".in-costruzione-journal"}) {
        std::ofstream(dir.path() / left) << "x";
    }
    ASSERT_TRUE(Database::Open(path).ok());
    EXPECT_EQ(Files(), (std::set<std::string>{"census.mdb", running}));
}

TEST_F(RepairTest, ABlankCensusThatCannotBeMadeLeavesTheFolderAsItWas) {
    MakeCensus(3000);
    Measure();
    int made = 0;
    const Database::BlankCensus failing{.make =
                                            [&made](const std::filesystem::path&) {
                                                ++made;
                                                return engine::Status::Error("Disco pieno.");
                                            },
                                        .tables = {"master"}};
    // Pages of rows lost, the description of the tables whole: rebuilt under it all the same.
    Overwrite(static_cast<std::uintmax_t>(pageSize), 3 * static_cast<std::size_t>(pageSize));
    EXPECT_TRUE(Database::Repair(path, nullptr, {}, failing));
    EXPECT_EQ(made, 1);
    EXPECT_GT(Number(path, "SELECT count(*) FROM master"), 2500);
    std::filesystem::remove(dir.path() / "census.danneggiato.mdb");

    // The description lost (the first page after its header, and the pages its rows spill onto): only
    // the blank census could have held the rows.
    std::vector<long long> pages;
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT pageno FROM dbstat WHERE name = 'sqlite_schema'", -1, &stmt,
                                     nullptr),
                  SQLITE_OK);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            pages.push_back(sqlite3_column_int64(stmt, 0));
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
    ASSERT_GE(pages.size(), 2u);
    for (const long long page : pages) {
        const auto from = static_cast<std::uintmax_t>((page - 1) * pageSize + (page == 1 ? 100 : 0));
        Overwrite(from, static_cast<std::size_t>(static_cast<std::uintmax_t>(page * pageSize) - from));
    }
    const engine::Status s = Database::Repair(path, nullptr, {}, failing);
    EXPECT_EQ(s.description(), "Disco pieno.");
    EXPECT_EQ(made, 2);
    EXPECT_EQ(Files(), std::set<std::string>{"census.mdb"});
}

// A rebuilt file that holds fewer rows than a plain read of the damaged one still sees is no repair: the
// file stays as it was, and the repair says so.
TEST_F(RepairTest, ARebuildThatLosesReadableRowsIsRefused) {
    MakeCensus(3000);
    Measure();
    Overwrite(static_cast<std::uintmax_t>(pageSize) * 40, static_cast<std::size_t>(pageSize));
    const long long seen = Number(path, "SELECT count(*) FROM (SELECT rowid FROM master LIMIT 100)");
    ASSERT_EQ(seen, 100);  // the damage lies further on
    const std::string before = Bytes();
    const Database::BlankCensus losing{
        .make = {}, .tables = {"master"}, .finish = "DELETE FROM master WHERE codice > 10"};
    const engine::Status s = Database::Repair(path, nullptr, {}, losing);
    EXPECT_EQ(s.description(),
              "Il database '" + path +
                  "' \xE8 danneggiato e non \xE8 stato possibile ricostruirlo con tutti i dati "
                  "ancora leggibili: il file \xE8 rimasto com'era.");
    EXPECT_EQ(Files(), std::set<std::string>{"census.mdb"});
    EXPECT_EQ(Bytes(), before);
}

TEST_F(RepairTest, AttributesLostWithTheirPagesComeBackFromTheBlankCensus) {
    MakeCensus(3000);
    Measure();
    const std::vector<long long> attributes = AttributePages();
    ASSERT_EQ(attributes.size(), 2u);  // the table and its key
    for (const long long page : attributes) {
        Overwrite(static_cast<std::uintmax_t>((page - 1) * pageSize), static_cast<std::size_t>(pageSize));
    }
    int made = 0;
    const Database::BlankCensus blank{.make =
                                          [&](const std::filesystem::path& file) {
                                              ++made;
                                              MakeCensus(0, file.string());
                                              return engine::Status::Ok();
                                          },
                                      .tables = {"master", "depositi"}};
    std::string damaged;
    ASSERT_TRUE(Database::Repair(path, &damaged, {}, blank));
    EXPECT_EQ(made, 1);
    EXPECT_EQ(damaged, dir.File("census.danneggiato.mdb"));
    EXPECT_EQ(Number(path, "SELECT count(*) FROM master"), 3000);
    auto reopened = Database::Open(path);
    ASSERT_TRUE(reopened.ok()) << reopened.description();
    EXPECT_EQ(engine_testing::Described(**reopened), description);
}

}  // namespace
