#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/Restore.h"
#include "support/Census.h"
#include "text/Text.h"

namespace {

using testing_support::Census;

engine::DateTime At(int day, int hour, int minute, int second) {
    return {2026, 12, day, hour, minute, second};
}

std::string Bytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RestoreTest : public ::testing::Test {
  protected:
    // The census as it stands, closed and copied beside itself under `name`, then opened again.
    std::filesystem::path KeepAs(const std::string& name) {
        census.session.CloseConnection();
        const std::filesystem::path copy = census.dir.path() / name;
        std::filesystem::copy_file(census.path, copy);
        EXPECT_TRUE(census.session.OpenAssociatedDatabase());
        return copy;
    }
    // Runs "Ripristina Copia…" choosing entry `entry` and confirming.
    ui::Outcome Restore(std::size_t entry, const engine::DateTime& now) {
        census.port.Clear();
        census.port.AnswerNextKeptCopy(entry);
        census.port.AnswerNextMessage(ui::Answer::Ok);
        return app::RestoreCensusCopyCommand(census.session, [now] { return now; });
    }

    Census census;
};

// The copies of both kinds, newest first, whatever order their files were made in; files that only look
// like copies are no copies. With none, the person is told so and no list is shown.
TEST_F(RestoreTest, TheCopiesAreListedNewestFirst) {
    EXPECT_EQ(Restore(0, At(9, 10, 0, 0)).ending(), ui::Ending::Refused);
    EXPECT_TRUE(census.port.keptCopiesRequests.empty());
    EXPECT_EQ(
        census.port.LastMessage().text,
        text::Utf8ToCp1252Lossy("Accanto al database non è conservata alcuna copia del censimento:\n\n") +
            census.path);
    census.Store({Census::ValidRecord(0), Census::ValidRecord(1)});
    census.SetCompany(12);
    for (const char* name :
         {"VELUMBRA.prima-ripristino-20261208-090000.MDB", "VELUMBRA.prima-importazione-20261208-153000.MDB",
          "VELUMBRA.prima-importazione-20261201-235959.MDB",
          "VELUMBRA.prima-importazione-20261208-153000-2.MDB", "ALTRO.prima-importazione-20261209-120000.MDB",
          "VELUMBRA.prima-importazione-20261399-120000.MDB"}) {
        KeepAs(name);
    }
    std::ofstream(census.dir.path() / "VELUMBRA.prima-ripristino-20261210-080000.MDB") << "non un database";
    std::vector<std::string> listed;
    for (const app::CensusCopy& copy : app::ListCensusCopies(census.session.Path())) {
        listed.push_back(copy.file.path.filename().string().substr(9, 11) + " " + copy.entry.made + " " +
                         copy.entry.structures + " " + copy.entry.company.substr(0, 7));
    }
    EXPECT_EQ(listed,
              (std::vector<std::string>{
                  "prima-ripri 10/12/2026 08:00:00 ? ?", "prima-impor 08/12/2026 15:30:00 2 0012 - ",
                  "prima-impor 08/12/2026 15:30:00 2 0012 - ", "prima-ripri 08/12/2026 09:00:00 2 0012 - ",
                  "prima-impor 01/12/2026 23:59:59 2 0012 - "}));
}

// The census restored is the copy's; the one it replaced is kept first, listed, and can be put back in
// turn. The person is asked, then told.
TEST_F(RestoreTest, TheCensusReplacedIsKeptAndCanBePutBack) {
    census.Store({Census::ValidRecord(0)});
    const std::vector<std::string> before = census.Rows();
    KeepAs("VELUMBRA.prima-importazione-20261208-153000.MDB");
    census.Store({Census::ValidRecord(1), Census::ValidRecord(2), Census::ValidRecord(3)});
    const std::vector<std::string> after = census.Rows();

    ASSERT_TRUE(Restore(0, At(9, 10, 0, 0)));
    EXPECT_EQ(census.Rows(), before);
    ASSERT_TRUE(census.session.HasOpenDatabase());
    // Asked, then told (the texts are those the desktop's test reads), naming the copy the census was kept
    // as.
    ASSERT_EQ(census.port.messages.size(), 2u);
    EXPECT_EQ(census.port.messages[0].confirmation, ui::ConfirmationKind::RestoreCopy);
    EXPECT_TRUE(
        census.port.messages[1].text.ends_with(census.File("VELUMBRA.prima-ripristino-20261209-100000.MDB")));
    EXPECT_EQ(census.port.messages[1].icon, ui::Icon::Information);
    const std::vector<app::CensusCopy> copies = app::ListCensusCopies(census.session.Path());
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(copies[0].entry.made, "09/12/2026 10:00:00");
    EXPECT_EQ(copies[0].entry.structures, "3");
    ASSERT_TRUE(Restore(0, At(9, 10, 5, 0)));
    EXPECT_EQ(census.Rows(), after);
    EXPECT_EQ(app::ListCensusCopies(census.session.Path()).size(), 3u);
}

// A copy that is no whole census is refused with its reason: the census stays as it was, and no copy of
// it is made.
TEST_F(RestoreTest, ACopyThatIsNoWholeCensusIsRefused) {
    census.Store({Census::ValidRecord(0), Census::ValidRecord(1)});
    const auto damage = [&](const std::string& name, const char* sql) {
        const std::filesystem::path copy = KeepAs(name);
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(copy.string().c_str(), &raw), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(raw, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
        sqlite3_close(raw);
    };
    damage("VELUMBRA.prima-importazione-20261201-100000.MDB", "ALTER TABLE depositi ADD COLUMN nuovo TEXT");
    damage("VELUMBRA.prima-importazione-20261202-100000.MDB", "DROP TABLE regcom");
    damage("VELUMBRA.prima-importazione-20261203-100000.MDB", "PRAGMA application_id = 7");
    {
        const std::filesystem::path copy = KeepAs("VELUMBRA.prima-importazione-20261204-100000.MDB");
        std::fstream file(copy, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(4096 + 8);
        file << std::string(3 * 4096, '\x7F');
    }
    std::ofstream(census.dir.path() / "VELUMBRA.prima-importazione-20261205-100000.MDB") << "non un database";
    census.session.CloseConnection();
    const std::string bytes = Bytes(census.path);
    ASSERT_TRUE(census.session.OpenAssociatedDatabase());
    const std::vector<std::string> rows = census.Rows();

    // Newest first: not a database, damaged, not a census, a table missing, a column unknown.
    const std::vector<std::string> reasons = {"non è un database del censimento", "danneggiato",
                                              "non è un database del censimento",
                                              "non è un database del censimento", "versione più recente"};
    for (std::size_t entry = 0; entry < reasons.size(); ++entry) {
        SCOPED_TRACE(entry);
        EXPECT_EQ(Restore(entry, At(9, 10, 0, 0)).ending(), ui::Ending::Refused);
        ASSERT_EQ(census.port.messages.size(), 1u);
        const ui::ScriptedPort::Message& refusal = census.port.LastMessage();
        EXPECT_TRUE(refusal.text.starts_with(text::Utf8ToCp1252Lossy(
            "La copia non è un censimento completo e non può essere ripristinata:\n\n")))
            << refusal.text;
        EXPECT_NE(refusal.text.find(text::Utf8ToCp1252Lossy(reasons[entry])), std::string::npos)
            << refusal.text;
        EXPECT_EQ(refusal.icon, ui::Icon::Exclamation);
        EXPECT_EQ(refusal.caption, "Ripristino database");
        EXPECT_TRUE(census.session.HasOpenDatabase());
        EXPECT_EQ(census.Rows(), rows);
    }
    census.session.CloseConnection();
    EXPECT_EQ(Bytes(census.path), bytes);
    EXPECT_EQ(app::ListCensusCopies(census.path).size(), reasons.size());
}

}  // namespace
