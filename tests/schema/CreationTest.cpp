#include <gtest/gtest.h>

#include <sqlite3.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "db/DbSelect.h"
#include "db/DbTable.h"
#include "engine/Database.h"
#include "schema/Creation.h"
#include "schema/Dictionary.h"
#include "schema/SeedLists.h"
#include "schema/Settings.h"
#include "support/Child.h"
#include "support/Tables.h"
#include "support/TempDir.h"
#include "text/Text.h"
#include "ui/ScriptedPort.h"

namespace {

std::vector<std::string> Column(db::CDbConnection& c, const std::string& columns, const std::string& from,
                                const std::string& order = "") {
    db::CDbSelect s(&c);
    s.SetColumns(columns);
    s.SetFrom(from);
    s.SetOrderBy(order);
    std::vector<std::string> out;
    for (int row = s.Execute(); row == 1; row = s.Next()) {
        std::string v;
        s.GetText(columns, v);
        out.push_back(v);
    }
    return out;
}

std::size_t Count(db::CDbConnection& c, const std::string& table) {
    db::CDbSelect s(&c);
    s.SetColumns("count(*) AS n");
    s.SetFrom(table);
    EXPECT_EQ(s.Execute(), 1);
    std::int32_t n = 0;
    EXPECT_EQ(s.GetLong(0, n), 1);
    return static_cast<std::size_t>(n);
}

class CreationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path = dir.File("VELUMBRA.MDB");
        created = schema::CreateCensusDatabase(port, path, "\n\n").done();
    }
    testing_support::TempDir dir;
    ui::ScriptedPort port;
    std::string path;
    bool created = false;
};

TEST_F(CreationTest, ANewDatabaseHoldsTheDictionaryTheTablesAndTheSeedRows) {
    ASSERT_TRUE(created);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.LastMessage().text, "Il database " + path + " \xE8 stato creato con successo\n\n");
    EXPECT_EQ(port.LastMessage().caption, "Creazione database");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Information);
    EXPECT_EQ(port.busyRequests.front(), true);  // the busy clock runs during the creation

    auto database = std::move(*engine::Database::Open(path));
    EXPECT_EQ(testing_support::CensusTableNames(*database),
              (std::vector<std::string>{"campi", "depositi", "indici", "indici2", "master", "regazi",
                                        "regcom", "relaz", "relaz2", "tavole", "utenti"}));
    for (const auto& [table, index] :
         std::vector<std::pair<std::string, std::string>>{{"tavole", "nome"},
                                                          {"campi", "nome"},
                                                          {"indici", "nome"},
                                                          {"indici2", "elemento"},
                                                          {"relaz", "nome"},
                                                          {"relaz2", "elemento"},
                                                          {"utenti", "nome"},
                                                          {"master", "codice"},
                                                          {"regazi", "codice"},
                                                          {"regcom", "codice"},
                                                          {"depositi", "codice"}}) {
        const auto indexes = *database->Indexes(table);
        ASSERT_EQ(indexes.size(), 1u) << table;
        EXPECT_EQ(indexes[0].name, index);
        const bool application = index == "codice";
        EXPECT_EQ(indexes[0].primary, application) << table;
        EXPECT_EQ(indexes[0].unique, application) << table;
        EXPECT_TRUE(indexes[0].clustered);
        EXPECT_TRUE(indexes[0].ignoreNulls);
    }
    EXPECT_EQ((*database->Indexes("depositi"))[0].columns, std::vector<std::string>{"ID"});
    EXPECT_EQ((*database->Indexes("indici2"))[0].columns,
              (std::vector<std::string>{"tavola", "nome", "progr"}));
    database.reset();

    db::CDbConnection c(port, path);
    EXPECT_EQ(Count(c, "tavole"), 4u);
    EXPECT_EQ(Count(c, "campi"), 61u);
    EXPECT_EQ(Count(c, "indici"), 4u);
    EXPECT_EQ(Count(c, "indici2"), 4u);
    for (const char* empty : {"relaz", "relaz2", "utenti", "depositi"}) {
        EXPECT_EQ(Count(c, empty), 0u) << empty;
    }
    // The settings row is part of a complete census: no company chosen yet, next structure 0.
    EXPECT_EQ(Column(c, "codice", "master"), std::vector<std::string>{"0"});
    EXPECT_EQ(Column(c, "azienda", "master"), std::vector<std::string>{"0"});
    EXPECT_EQ(Column(c, "id_depo", "master"), std::vector<std::string>{"0"});
    EXPECT_EQ(Count(c, "regazi"), 204u);
    EXPECT_EQ(Count(c, "regcom"), 301u);
    EXPECT_EQ(Column(c, "denom", "regazi", "codice").front(), "*** azienda non assegnata ***");
    EXPECT_EQ(Column(c, "denom", "regcom", "codice").front(), "*** COMUNE NON ASSEGNATO ***");
    const auto labels = Column(c, "denom", "campi");
    EXPECT_NE(std::find(labels.begin(), labels.end(), "Localit\xE0"), labels.end());
    EXPECT_EQ(port.messages.size(), 1u);
}

TEST_F(CreationTest, TheSeedListsHaveTheirShape) {
    const auto& companies = schema::RegaziSeed();
    ASSERT_EQ(companies.size(), 204u);
    int empty = 0;
    for (std::size_t i = 0; i < companies.size(); ++i) {
        EXPECT_EQ(companies[i].code, static_cast<int>(i));
        EXPECT_LE(companies[i].name.size(), 40u);
        empty += companies[i].name == "vuoto" ? 1 : 0;
    }
    EXPECT_EQ(empty, 132);
    const auto& municipalities = schema::RegcomSeed();
    ASSERT_EQ(municipalities.size(), 301u);
    for (std::size_t i = 1; i < municipalities.size(); ++i) {
        EXPECT_EQ(municipalities[i].code, static_cast<int>(i));
        EXPECT_LE(municipalities[i].name.size(), 40u);
    }
    const auto has = [&](const std::string& name) {
        return std::any_of(municipalities.begin(), municipalities.end(),
                           [&](const auto& e) { return e.name == name; });
    };
    EXPECT_TRUE(has("PIAN DI SC\xD2"));  // merged away, still listed
    EXPECT_TRUE(has("CASTELFRANCO PIANDISC\xD2"));
    EXPECT_TRUE(has("SAN GIOVANNI D'ASSO"));
}

TEST_F(CreationTest, TheCensusTableRefusesIncompleteRows) {
    ASSERT_TRUE(created);
    port.Clear();
    db::CDbConnection c(port, path);
    db::CDbTable t(&c, "depositi");
    ASSERT_TRUE(t.SelectIndex("codice"));
    const auto fill = [&](const std::string& id) {
        EXPECT_TRUE(t.AddNew());
        EXPECT_TRUE(t.SetField("ID", id));
        for (const char* f : {"ubicaz", "local", "provin", "sco_pro", "cop_pro"}) {
            EXPECT_TRUE(t.SetField(f, "AR"));
        }
        for (const char* f : {"sco_tit", "cop_tit"}) {
            EXPECT_TRUE(t.SetField(f, "A"));
        }
        for (const char* f : {"comune", "deposito", "rifornim", "manutenz", "autostaz", "capoattr", "agenzia",
                              "direzle", "sco_sup", "cop_sup"}) {
            EXPECT_TRUE(t.SetField(f, "0"));
        }
        for (const char* s : {"ext", "sub", "urb"}) {
            for (const char* k : {"b", "a", "l", "n", "m", "c"}) {
                for (const char* u : {"s", "r"}) {
                    EXPECT_TRUE(t.SetField(std::string(s) + "_" + k + "_" + u, "0"));
                }
            }
        }
    };
    fill("1");
    ASSERT_TRUE(t.Update());
    fill("1");
    EXPECT_FALSE(t.Update());  // duplicate ID
    EXPECT_NE(port.LastMessage().text.find("Valore duplicato"), std::string::npos);
    fill("2");
    EXPECT_TRUE(t.SetField("local", ""));  // null
    EXPECT_FALSE(t.Update());
    EXPECT_NE(port.LastMessage().text.find("'depositi.local' non pu\xF2 contenere un valore Null"),
              std::string::npos);
    fill("2");
    EXPECT_TRUE(t.SetField("comune", ""));
    EXPECT_FALSE(t.Update());
    fill("32767");
    EXPECT_FALSE(t.SetField("ID", "32768"));
    EXPECT_FALSE(t.SetField("provin", "ARE"));
    EXPECT_FALSE(t.SetField("sco_tit", "AB"));
    EXPECT_TRUE(t.Update());
    ASSERT_TRUE(t.Seek({"32767"}).found());
    std::string provin;
    EXPECT_TRUE(t.GetField("provin", provin));
    EXPECT_EQ(provin, "AR");
}

// The settings row is found through its accessor; when it is missing it is told apart from a failure,
// and added with no company chosen and the next structure 0.
TEST_F(CreationTest, TheSettingsRowIsAddedWhenMissing) {
    ASSERT_TRUE(created);
    port.Clear();
    db::CDbConnection c(port, path);
    {
        schema::SettingsRow settings(&c);
        ASSERT_TRUE(settings.Seek().found());
        ASSERT_TRUE(settings.master().Delete());
        EXPECT_EQ(settings.Seek().kind(), db::SeekResult::Kind::NotFound);
        ASSERT_TRUE(settings.SeekOrAdd());
    }
    schema::SettingsRow settings(&c);
    ASSERT_TRUE(settings.Seek().found());
    std::string company, next;
    EXPECT_TRUE(settings.master().GetField("azienda", company));
    EXPECT_TRUE(settings.master().GetField("id_depo", next));
    EXPECT_EQ(company + "/" + next, "0/0");
    EXPECT_TRUE(port.messages.empty());

    schema::SettingsRow none(nullptr);  // no connection: nothing to seek, and nothing shown
    EXPECT_EQ(none.Seek().kind(), db::SeekResult::Kind::Failed);
    EXPECT_TRUE(port.messages.empty());
}

TEST(Creation, AnExistingFileIsLeftUntouchedAfterBothMessages) {
    testing_support::TempDir dir;
    ui::ScriptedPort port;
    const std::string path = dir.File("esiste.mdb");
    std::ofstream(path) << "dati preziosi";
    EXPECT_FALSE(schema::CreateCensusDatabase(port, path, ""));
    ASSERT_EQ(port.messages.size(), 2u);
    EXPECT_EQ(port.messages[0].text, "Errore durante la creazione del database " + path + "\n\nIl file '" +
                                         path + "' esiste gi\xE0.");
    EXPECT_EQ(port.messages[1].text, "Errore durante la creazione del database " + path + "\n\n");
    for (const auto& m : port.messages) {
        EXPECT_EQ(m.caption, "Creazione database");
        EXPECT_EQ(m.icon, ui::Icon::Exclamation);
    }
    std::stringstream content;
    content << std::ifstream(path).rdbuf();
    EXPECT_EQ(content.str(), "dati preziosi");
}

TEST_F(CreationTest, TheFileOpensInTheSqliteShell) {
    if (std::system("command -v sqlite3 > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "the sqlite3 shell is not installed";
    }
    const std::string out = (dir.path() / "shell.txt").string();
    const std::string command =
        "sqlite3 '" + text::Cp1252ToUtf8(path) +
        "' 'PRAGMA integrity_check; SELECT count(*) FROM regcom; SELECT denom FROM regcom "
        "WHERE codice = 0;' > '" +
        out + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::stringstream content;
    content << std::ifstream(out).rdbuf();
    EXPECT_EQ(content.str(), "ok\n301\n*** COMUNE NON ASSEGNATO ***\n");
}

}  // namespace

namespace {

std::vector<std::string> FolderNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The creation on a disk that fills up at every stage: it either completes, or stops at its first
// failure with one message (two when the dictionary itself fails: its own, then the creation's),
// never a success message, and leaves nothing in the folder.
TEST(Creation, IsWholeOrAbsentWhenTheDiskFillsUp) {
    if (!testing_support::kCanLimitFileSize) {
        GTEST_SKIP() << testing_support::kNoFileSizeLimit;
    }
    int failures = 0, successes = 0;
    for (std::size_t limit = 8 * 1024; limit <= 160 * 1024; limit += 8 * 1024) {
        SCOPED_TRACE("file size limit " + std::to_string(limit));
        testing_support::TempDir dir;
        const std::string path = dir.File("VELUMBRA.MDB");
        const auto result = testing_support::RunWithFileSizeLimit(limit, [&] {
            ui::ScriptedPort port;
            std::string report = schema::CreateCensusDatabase(port, path, "").done() ? "done" : "failed";
            for (const auto& m : port.messages) {
                report += "\n" + m.text;
            }
            return report;
        });
        ASSERT_TRUE(result);
        const std::vector<std::string_view> lines = [&] {
            std::vector<std::string_view> out;
            std::string_view rest = *result;
            while (!rest.empty()) {
                const std::size_t end = rest.find('\n');
                out.push_back(rest.substr(0, end));
                rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
            }
            return out;
        }();
        const bool succeeded = lines.front() == "done";
        const bool announced = result->find("creato con successo") != std::string::npos;
        EXPECT_EQ(succeeded, announced);
        if (succeeded) {
            ++successes;
            EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"VELUMBRA.MDB"});
            ui::ScriptedPort port;
            db::CDbConnection c(port, path);
            ASSERT_TRUE(c.IsOpen());
            EXPECT_EQ(Count(c, "regcom"), 301u);
            EXPECT_EQ(Count(c, "master"), 1u);
        } else {
            ++failures;
            EXPECT_TRUE(FolderNames(dir.path()).empty());
            EXPECT_NE(result->find("Errore di lettura o di scrittura sul disco."), std::string::npos);
            EXPECT_LE(std::count(result->begin(), result->end(), '\n'), 6);  // one or two messages
        }
    }
    EXPECT_GT(failures, 0);
    EXPECT_GT(successes, 0);
}

// A creation killed half-way leaves its temporary file behind: it is never taken for a census, and
// the next creation in that folder removes it.
TEST(Creation, AKilledCreationLeavesNothingThatCounts) {
    if (!testing_support::kCanLimitFileSize) {
        GTEST_SKIP() << testing_support::kNoFileSizeLimit;
    }
    testing_support::TempDir dir;
    const std::string path = dir.File("VELUMBRA.MDB");
    const auto killed = testing_support::RunWithFileSizeLimit(1 << 30, [&] {
        auto building = engine::Database::CreateForBuilding(path, schema::kLocale);
        if (!building) {
            return std::string("not begun");
        }
        ui::ScriptedPort port;
        schema::CDictionary dictionary(port);
        if (!dictionary.CreateSpecialTables(**building)) {
            return std::string("no dictionary");
        }
        std::_Exit(0);  // killed: nothing is cleaned up
    });
    ASSERT_TRUE(killed);
    ASSERT_TRUE(killed->empty()) << *killed;
    const auto left = FolderNames(dir.path());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(left[0].starts_with(".VELUMBRA.MDB.")) << left[0];
    EXPECT_FALSE(std::filesystem::exists(path));
    // Never opened as a census: the next command in the folder removes it, its writer gone.
    const std::string leftover = dir.File(left[0]);
    auto opened = engine::Database::Open(leftover);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.description(), "Impossibile trovare il file '" + leftover + "'.");
    EXPECT_TRUE(FolderNames(dir.path()).empty());

    ui::ScriptedPort port;
    EXPECT_TRUE(schema::CreateCensusDatabase(port, path, ""));
    EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"VELUMBRA.MDB"});
}

// A file marked as a census that lacks one of its tables (left by an older program killed while
// creating it) is refused by every command with one message that names the missing table.
TEST(Creation, AFileWithoutEveryCensusTableIsRefused) {
    testing_support::TempDir dir;
    const std::string path = dir.File("VELUMBRA.MDB");
    ui::ScriptedPort port;
    ASSERT_TRUE(schema::CreateCensusDatabase(port, path, ""));
    {
        auto database = std::move(*engine::Database::Open(path));
        sqlite3_exec(database->handle(), "DROP TABLE regcom", nullptr, nullptr, nullptr);
    }
    port.Clear();
    db::CDbConnection c(port, path);
    EXPECT_FALSE(c.IsOpen());
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.LastMessage().text,
              "Errore in fase di apertura del database\n\nIl file '" + path +
                  "' non \xE8 un database del censimento completo: manca la tabella 'regcom'.");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Stop);
}

}  // namespace
