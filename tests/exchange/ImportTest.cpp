#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <thread>

#include "db/DbTable.h"
#include "exchange/Export.h"
#include "exchange/Import.h"
#include "exchange/TextFile.h"
#include "support/Census.h"
#include "support/Child.h"
#include "support/Communication.h"
#include "text/Text.h"

namespace {

const std::string kCorrupt =
    "ATTENZIONE: Il file proposto per l'importazione \xE8 corrotto oppure non ha un contenuto\n"
    "compatibile con le specifiche tecniche previste !!!\n\n"
    "L'Acquisizione dell'Ultima Situazione Strutture Aziendali non pu\xF2 essere effettuata.";

// A clock that always says `t`.
std::function<exchange::LocalDateTime()> At(exchange::LocalDateTime t) {
    return [t] { return t; };
}

std::string Join(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) {
        out += l + "\r\n";
    }
    return out;
}

class ImportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        census.SetCompany(12);
        census.Store({census.ValidRecord(7), census.ValidRecord(8)});
        before = census.Rows();
        census.port.Clear();
    }
    // A file of the observatory for `records`.
    std::string File(const std::vector<census::Structure>& records, int company = 12) {
        return testing_support::CommunicationFile({company, "06/12/2026", records}, "ComunicazioneVelumbra");
    }
    // Imports `content`, answering the confirmation with `answer`.
    bool Import(const std::string& content, ui::Answer answer = ui::Answer::Ok) {
        census.WriteFile("in.txt", content);
        census.port.AnswerNextFileDialog(census.File("in.txt"));
        census.port.AnswerNextMessage(answer);
        return exchange::ImportCommunication(census.session).done();
    }
    std::string IdDepo() {
        db::CDbTable master(census.session.Connection(), "master");
        EXPECT_TRUE(master.SelectIndex("codice"));
        EXPECT_TRUE(master.Seek({"0"}).found());
        std::string value;
        EXPECT_TRUE(master.GetField("id_depo", value));
        return value;
    }
    // Imports in.txt, confirmed, on 8 December 2026 at 15:04:05, in a child process whose files cannot
    // grow beyond `limit` bytes: "done" or "failed", then each message shown after a line "--".
    std::optional<std::string> ImportOnAFullDisk(std::size_t limit) {
        // The child opens the census on its own: a connection is never used across a fork.
        census.session.CloseConnection();
        return testing_support::RunWithFileSizeLimit(limit, [&] {
            ui::ScriptedPort port;
            app::Session session(port);
            session.SetPath(census.path);
            if (!session.OpenAssociatedDatabase()) {
                return std::string("not opened");
            }
            port.AnswerNextFileDialog(census.File("in.txt"));
            std::string report =
                exchange::ImportCommunication(session, At({8, 12, 2026, 15, 4, 5})) ? "done" : "failed";
            for (const auto& m : port.messages) {
                report += "\n--\n" + m.text;
            }
            return report;
        });
    }
    void ExpectRefused(const std::string& content, const std::string& message) {
        census.port.Clear();
        EXPECT_FALSE(Import(content));
        ASSERT_EQ(census.port.messages.size(), 1u);
        EXPECT_EQ(census.port.LastMessage().text, message);
        EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Stop);
        EXPECT_EQ(census.Rows(), before);
    }

    testing_support::Census census;
    std::vector<std::string> before;
};

TEST_F(ImportTest, AValidFileReplacesTheCensusRenumbered) {
    const auto a = census.ValidRecord(1);
    auto b = census.ValidRecord(2);
    b.ubicaz = "";  // stored as one blank
    ASSERT_TRUE(Import(File({a, b, census.ValidRecord(3)})));
    const auto& dialog = census.port.fileDialogs[0];
    EXPECT_FALSE(dialog.save);
    EXPECT_EQ(dialog.request.title, "Acquisizione Ultima Situazione Strutture Aziendali");
    EXPECT_EQ(dialog.request.proposedName, "ComunicazioneVelumbra_12");
    EXPECT_TRUE(dialog.request.fileMustExist);
    ASSERT_EQ(census.port.messages.size(), 2u);
    EXPECT_EQ(census.port.messages[0].text,
              "Il file proposto presenta un contenuto valido per l'importazione.\n\n"
              "L'Acquisizione dell'Ultima Situazione Strutture Aziendali ricevuta dall'Osservatorio\n"
              "Trasporti Regionale provocher\xE0 l'AZZERAMENTO di tutte le strutture attualmente registrati\n"
              "nel database, mentre verranno registrate le strutture denunciate con la precedente\n"
              "comunicazione.\n\nSi intende procedere oltre?");
    EXPECT_EQ(census.port.messages[0].icon, ui::Icon::Question);
    EXPECT_EQ(census.port.messages[0].buttons, ui::Buttons::OkCancel);
    // The comparison with the census goes with it, as its details.
    EXPECT_TRUE(census.port.messages[0].details.starts_with(
        "invariate 0, modificate 0, nuove 3, eliminate 2\nnuova VIA ROMA 2 - "))
        << census.port.messages[0].details;
    EXPECT_TRUE(census.port.LastMessage().text.starts_with(
        "L'Acquisizione dell'Ultima Situazione Strutture Aziendali ricevuta dall'Osservatorio\n"
        "Trasporti Regionale \xE8 terminata con successo.\nSono state registrate 3 schede Struttura\n"))
        << census.port.LastMessage().text;
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Information);
    const auto rows = census.Rows();
    ASSERT_EQ(rows.size(), 3u);
    auto read = a;
    read.copPro = "";  // texts are read back without trailing blanks
    EXPECT_EQ(rows[0], "0\t" + exchange::FormatRecordLine(read));
    EXPECT_TRUE(rows[1].starts_with("1\t\t"));  // one blank, trimmed when read
    EXPECT_TRUE(rows[2].starts_with("2\t"));
    EXPECT_EQ(IdDepo(), "3");
}

TEST_F(ImportTest, AnEmptyFileEmptiesTheCensus) {
    ASSERT_TRUE(Import(File({})));
    EXPECT_TRUE(census.Rows().empty());
    EXPECT_EQ(IdDepo(), "0");
    EXPECT_TRUE(census.port.LastMessage().text.starts_with(
        "L'Acquisizione dell'Ultima Situazione Strutture Aziendali ricevuta dall'Osservatorio\n"
        "Trasporti Regionale \xE8 terminata con successo.\nSono state registrate 0 schede Struttura\n"))
        << census.port.LastMessage().text;
}

TEST_F(ImportTest, CancellingTheConfirmationChangesNothing) {
    census.WriteFile("in.txt", File({census.ValidRecord(1)}));
    census.port.AnswerNextFileDialog(census.File("in.txt"));
    census.port.AnswerNextMessage(ui::Answer::Cancel);
    EXPECT_EQ(exchange::ImportCommunication(census.session).ending(), ui::Ending::Cancelled);
    EXPECT_EQ(census.port.LastMessage().confirmation, ui::ConfirmationKind::ReplaceCensus);
    EXPECT_EQ(census.Rows(), before);
    EXPECT_EQ(census.port.messages.size(), 1u);
}

TEST_F(ImportTest, MalformedFilesAreRefusedAndTheCensusUntouched) {
    const std::string good = File({census.ValidRecord(1), census.ValidRecord(2)});
    auto lines = exchange::SplitLines(good);
    std::vector<std::string> l(lines.begin(), lines.end());
    const auto with = [&](std::size_t index, const std::string& line) {
        auto copy = l;
        copy[index] = line;
        return Join(copy);
    };
    ExpectRefused(
        testing_support::CommunicationFile({12, "06/12/2026", {census.ValidRecord(1)}}, "VariazioniVelumbra"),
        kCorrupt);
    ExpectRefused(with(1, "<Azienda=12"), kCorrupt);
    ExpectRefused(with(2, "<Data=6/12/2026>"), kCorrupt);
    ExpectRefused(with(2, "<Data=06/12/20266>"), kCorrupt);
    ExpectRefused(with(3, l[3] + "\t0"), kCorrupt);
    ExpectRefused(with(3, l[3].substr(0, l[3].rfind('\t'))), kCorrupt);
    // One record more than announced: the extra record is taken for the closing line.
    auto extra = l;
    extra.insert(extra.begin() + 4, l[4]);
    ExpectRefused(Join(extra), kCorrupt);
    const std::string closing = l[5];
    const int checksum = text::ReadInt(closing.substr(closing.find('>') + 1));
    ExpectRefused(with(5, "</ComunicazioneVelumbra>" + std::to_string(checksum + 1)), kCorrupt);
    ExpectRefused("", kCorrupt);
    ExpectRefused(good.substr(0, good.size() / 2), kCorrupt);

    // A file of another company is said so, even when the rest of it is damaged.
    const std::string other =
        "ATTENZIONE: Il file proposto per l'importazione appartiene ad una diversa Azienda TPL.\n\n"
        "L'Acquisizione dell'Ultima Situazione Strutture Aziendali non pu\xF2 essere effettuata.";
    ExpectRefused(File({census.ValidRecord(1)}, 13), other);
    ExpectRefused("<ComunicazioneVelumbra>5\n<Azienda=13>\ngarbage\n", other);

    // Lines ended by a line feed alone are read as well, and a date with dashes is taken as it is.
    census.port.Clear();
    std::string lf = testing_support::CommunicationFile({12, "06-12-2026", {census.ValidRecord(4)}},
                                                        "ComunicazioneVelumbra");
    lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
    EXPECT_TRUE(Import(lf));
}

TEST_F(ImportTest, AFileThatCannotBeOpenedIsSaid) {
    census.port.AnswerNextFileDialog(census.File("manca.txt"));
    EXPECT_FALSE(exchange::ImportCommunication(census.session));
    EXPECT_EQ(census.port.LastMessage().text, "Impossibile aprire\n\n" + census.File("manca.txt"));
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Exclamation);
    census.SetCompany(0);
    census.port.Clear();
    EXPECT_FALSE(exchange::ImportCommunication(census.session));
    EXPECT_TRUE(census.port.fileDialogs.empty());
    EXPECT_EQ(census.port.messages.size(), 1u);
}

TEST_F(ImportTest, ARecordThatCannotBeStoredIsRefusedBeforeAnythingIsAsked) {
    auto tooLong = census.ValidRecord(2);
    tooLong.ubicaz = std::string(45, 'X');  // the reader takes it, the column does not
    const std::string idDepo = IdDepo();
    EXPECT_FALSE(Import(File({census.ValidRecord(1), tooLong, census.ValidRecord(3)})));
    EXPECT_EQ(census.Rows(), before);
    EXPECT_EQ(IdDepo(), idDepo);
    // The refusal of the record is the one message: no confirmation is asked, nothing is replaced.
    ASSERT_EQ(census.port.messages.size(), 1u);
    EXPECT_TRUE(
        census.port.messages[0].text.starts_with("Errore campo (ubicaz) della tavola (depositi) <XXX"));
    EXPECT_EQ(census.port.messages[0].icon, ui::Icon::Stop);
}

// The disk fills up while the census is replaced: the failure is shown once, where it is met; the
// transaction the engine has already ended is not withdrawn a second time (no message about it), and
// the census stays as it was.
TEST_F(ImportTest, AFullDiskLeavesTheCensusAsItWasWithOneMessage) {
    if (!testing_support::kCanLimitFileSize) {
        GTEST_SKIP() << testing_support::kNoFileSizeLimit;
    }
    std::vector<census::Structure> many;
    for (int i = 0; i < 3000; ++i) {
        many.push_back(census.ValidRecord(i));
    }
    census.WriteFile("in.txt", File(many));
    const auto result = ImportOnAFullDisk(400 * 1024);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->starts_with("failed")) << *result;
    EXPECT_EQ(result->find("nessuna transazione"), std::string::npos) << *result;
    EXPECT_NE(result->find("Errore di lettura o di scrittura sul disco."), std::string::npos) << *result;
    EXPECT_TRUE(result->ends_with("terminata con errori.\nSono state registrate 0 schede Struttura"))
        << *result;
    // The confirmation, the failure, the end: nothing else.
    std::size_t messages = 0;
    for (std::size_t at = result->find("\n--\n"); at != std::string::npos;
         at = result->find("\n--\n", at + 1)) {
        ++messages;
    }
    EXPECT_EQ(messages, 3u) << *result;

    ASSERT_TRUE(census.session.OpenAssociatedDatabase());
    EXPECT_EQ(census.Rows(), before);
}

// The census as `list` would print it, read through another session.
std::vector<std::string> RowsOf(const std::string& path) {
    ui::ScriptedPort port;
    app::Session session(port);
    session.SetPath(path);
    EXPECT_TRUE(session.OpenAssociatedDatabase()) << path;
    std::vector<census::Structure> records;
    std::vector<std::string> rows;
    if (session.HasOpenDatabase()) {
        EXPECT_TRUE(exchange::ReadStructureRecords(*session.Connection(), records));
    }
    for (const auto& r : records) {
        rows.push_back(std::to_string(r.id) + "\t" + exchange::FormatRecordLine(r));
    }
    return rows;
}

// The names in the census's folder that are copies made before an import, in order.
std::vector<std::string> Copies(const testing_support::Census& census) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(census.dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name.find("prima-importazione") != std::string::npos) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

const std::string kSucceeded =
    "L'Acquisizione dell'Ultima Situazione Strutture Aziendali ricevuta dall'Osservatorio\n"
    "Trasporti Regionale \xE8 terminata con successo.\nSono state registrate 1 schede Struttura\n"
    "Il censimento precedente \xE8 conservato nella copia ";

// Before anything is deleted, the census is copied whole beside itself under the date and time of the
// import (the next second here, a folder taking that name); the copy opens as any census does and holds
// the census as it was, and the success message names it. Imports within the same second take the
// seconds after the newest copy's: each message names the copy of the census that import replaced, and
// the five made last are kept.
TEST_F(ImportTest, TheCensusIsCopiedBeforeItIsReplaced) {
    std::filesystem::create_directory(census.dir.path() / "VELUMBRA.prima-importazione-20261208-150405.MDB");
    census.WriteFile("in.txt", File({census.ValidRecord(1)}));
    const exchange::LocalDateTime when{8, 12, 2026, 15, 4, 5};
    census.port.AnswerNextFileDialog(census.File("in.txt"));
    ASSERT_TRUE(exchange::ImportCommunication(census.session, At(when)));
    const std::string copy = census.File("VELUMBRA.prima-importazione-20261208-150406.MDB");
    EXPECT_EQ(census.port.LastMessage().text, kSucceeded + copy);
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Information);
    EXPECT_EQ(census.port.LastMessage().caption, ui::kProgramCaption);
    EXPECT_EQ(RowsOf(copy), before);

    for (int seed = 2; seed <= 7; ++seed) {
        const auto replaced = census.Rows();
        census.WriteFile("in.txt", File({census.ValidRecord(seed)}));
        census.port.AnswerNextFileDialog(census.File("in.txt"));
        ASSERT_TRUE(exchange::ImportCommunication(census.session, At(when)));
        const std::string next = census.File("VELUMBRA.prima-importazione-20261208-1504" +
                                             std::to_string(105 + seed).substr(1) + ".MDB");
        EXPECT_EQ(census.port.LastMessage().text, kSucceeded + next);
        EXPECT_EQ(RowsOf(next), replaced);
    }
    const auto copies = Copies(census);
    EXPECT_EQ(std::vector<std::string>(copies.begin(), copies.begin() + 2),
              (std::vector<std::string>{"VELUMBRA.prima-importazione-20261208-150405.MDB",
                                        "VELUMBRA.prima-importazione-20261208-150408.MDB"}));
    EXPECT_EQ(copies.size(), 6u);  // the folder and the five newest, up to 150412
}

// The five newest copies stay; the sixth import removes the oldest. Copies of other databases, and
// names that only look alike, are not touched.
TEST_F(ImportTest, TheFiveNewestCopiesAreKept) {
    census.WriteFile("in.txt", File({census.ValidRecord(1)}));
    for (const char* other :
         {"ALTRO.prima-importazione-20200101-000000.MDB", "VELUMBRA.prima-importazione-2020.MDB",
          "VELUMBRA.prima-importazione-20200101-000000.TXT"}) {
        census.WriteFile(other, "non toccare");
    }
    const auto import = [&](int day, int hour) {
        census.port.AnswerNextFileDialog(census.File("in.txt"));
        ASSERT_TRUE(exchange::ImportCommunication(census.session, At({day, 12, 2026, hour, 0, 0})));
        EXPECT_TRUE(
            std::filesystem::is_regular_file(census.port.LastMessage().text.substr(kSucceeded.size())));
    };
    // A clock that goes back twice: each copy made then is named a second after the newest, so the
    // names still sort in the order the copies were made, and the first made is the first to go.
    import(9, 10);
    import(8, 23);
    import(10, 0);
    import(9, 9);
    import(11, 1);
    const std::vector<std::string> five = {
        "VELUMBRA.prima-importazione-20261209-100000.MDB", "VELUMBRA.prima-importazione-20261209-100001.MDB",
        "VELUMBRA.prima-importazione-20261210-000000.MDB", "VELUMBRA.prima-importazione-20261210-000001.MDB",
        "VELUMBRA.prima-importazione-20261211-010000.MDB"};
    const auto made = Copies(census);
    ASSERT_EQ(made.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(made.begin() + 3, made.end()), five);
    import(12, 8);
    auto kept = Copies(census);
    kept.erase(std::remove_if(
                   kept.begin(), kept.end(),
                   [](const std::string& n) { return !n.starts_with("VELUMBRA.prima-importazione-2026"); }),
               kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{five[1], five[2], five[3], five[4],
                                              "VELUMBRA.prima-importazione-20261212-080000.MDB"}));
    for (const char* other :
         {"ALTRO.prima-importazione-20200101-000000.MDB", "VELUMBRA.prima-importazione-2020.MDB",
          "VELUMBRA.prima-importazione-20200101-000000.TXT"}) {
        EXPECT_EQ(census.ReadFile(other), "non toccare") << other;
    }
}

// An import that does not replace the census (a record that cannot be stored, a census locked by
// another program) leaves the copies kept before as they were.
TEST_F(ImportTest, AnImportThatReplacesNothingLeavesTheCopiesAsTheyWere) {
    for (int seed = 1; seed <= 5; ++seed) {
        ASSERT_TRUE(Import(File({census.ValidRecord(seed)})));
    }
    const auto copies = Copies(census);
    auto tooLong = census.ValidRecord(9);
    tooLong.ubicaz = std::string(45, 'X');
    EXPECT_FALSE(Import(File({tooLong})));
    auto other = engine::Database::Open(census.path);
    ASSERT_TRUE(other.ok() && (*other)->BeginTransaction());
    sqlite3_busy_timeout(census.session.Connection()->Database()->handle(), 50);
    census.port.Clear();
    EXPECT_FALSE(Import(File({census.ValidRecord(9)})));
    EXPECT_TRUE(census.port.messages.at(1).text.ends_with(
        "bloccato da un altro utente o programma: riprovare pi\xF9 tardi."));
    EXPECT_TRUE((*other)->RollbackTransaction());
    EXPECT_EQ(Copies(census), copies);
}

// Two imports at once, from two connections: the second waits for the first, and each keeps a copy of
// the census it replaced under a name of its own.
TEST_F(ImportTest, TwoImportsAtOnceEachKeepTheCensusTheyReplaced) {
    census.WriteFile("in.txt", File({census.ValidRecord(1)}));
    census.session.CloseConnection();
    auto holder = engine::Database::Open(census.path);  // holds the write lock until both wait for it
    ASSERT_TRUE(holder.ok() && (*holder)->BeginTransaction());
    std::string copies[2];
    const auto import = [&](int which) {
        ui::ScriptedPort port;
        app::Session session(port);
        session.SetPath(census.path);
        port.AnswerNextFileDialog(census.File("in.txt"));
        if (session.OpenAssociatedDatabase() &&
            exchange::ImportCommunication(session, At({8, 12, 2026, 15, 4, 5}))) {
            copies[which] = port.LastMessage().text.substr(kSucceeded.size());
        }
    };
    std::thread first(import, 0), second(import, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE((*holder)->RollbackTransaction());
    first.join();
    second.join();
    std::sort(std::begin(copies), std::end(copies));
    EXPECT_EQ(copies[0], census.File("VELUMBRA.prima-importazione-20261208-150405.MDB"));
    EXPECT_EQ(copies[1], census.File("VELUMBRA.prima-importazione-20261208-150406.MDB"));
    EXPECT_EQ(RowsOf(copies[0]), before);
    ASSERT_TRUE(census.session.OpenAssociatedDatabase());
    EXPECT_EQ(RowsOf(copies[1]), census.Rows());
}

// While a reading elsewhere still holds the census as it was before its last change, the file alone is
// not the census yet: the copy holds the last change all the same.
TEST_F(ImportTest, TheCopyHoldsTheLastChangeWhileAnOlderReadingGoesOn) {
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open_v2(census.path.c_str(), &reader, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM depositi;", nullptr, nullptr, nullptr),
              SQLITE_OK);
    census.Store({census.ValidRecord(3), census.ValidRecord(4), census.ValidRecord(5)});
    const auto changed = census.Rows();
    ASSERT_NE(changed, before);
    census.WriteFile("in.txt", File({census.ValidRecord(1)}));
    census.port.AnswerNextFileDialog(census.File("in.txt"));
    EXPECT_TRUE(exchange::ImportCommunication(census.session, At({8, 12, 2026, 15, 4, 5})));
    EXPECT_EQ(RowsOf(census.File("VELUMBRA.prima-importazione-20261208-150405.MDB")), changed);
    sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(reader);

    // With every change in the file, the copy is the census as well.
    const auto replaced = census.Rows();
    census.WriteFile("in.txt", File({census.ValidRecord(2)}));
    census.port.AnswerNextFileDialog(census.File("in.txt"));
    EXPECT_TRUE(exchange::ImportCommunication(census.session, At({8, 12, 2026, 15, 4, 5})));
    EXPECT_EQ(RowsOf(census.File("VELUMBRA.prima-importazione-20261208-150406.MDB")), replaced);
}

// A copy that cannot be written (the disk is full) stops the import before anything changes: the
// message names the copy and says why, and no piece of the copy is left behind.
TEST_F(ImportTest, ACopyThatCannotBeWrittenStopsTheImport) {
    if (!testing_support::kCanLimitFileSize) {
        GTEST_SKIP() << testing_support::kNoFileSizeLimit;
    }
    census.WriteFile("in.txt", File({census.ValidRecord(1)}));
    const auto result = ImportOnAFullDisk(32 * 1024);
    ASSERT_TRUE(result);
    const std::string copy = census.File("VELUMBRA.prima-importazione-20261208-150405.MDB");
    EXPECT_TRUE(result->ends_with(
        "\n--\nImpossibile creare la copia del censimento prima dell'importazione:\n\n" + copy +
        "\n\nErrore di lettura o di scrittura sul disco.\n\n"
        "L'Acquisizione dell'Ultima Situazione Strutture Aziendali non pu\xF2 essere effettuata."))
        << *result;
    EXPECT_TRUE(result->starts_with("failed")) << *result;
    for (const auto& entry : std::filesystem::directory_iterator(census.dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find("prima-importazione"), std::string::npos)
            << entry.path();
    }
    ASSERT_TRUE(census.session.OpenAssociatedDatabase());
    EXPECT_EQ(census.Rows(), before);
}

// A copy taken inside a transaction would hold changes that may yet be withdrawn: the import is
// refused, and the census stays as it was.
TEST_F(ImportTest, NoCopyIsTakenInsideATransaction) {
    census.WriteFile("in.txt", File({census.ValidRecord(1)}));
    {
        db::CDbTransaction transaction(*census.session.Connection());
        ASSERT_TRUE(transaction.IsActive());
        census.port.AnswerNextFileDialog(census.File("in.txt"));
        EXPECT_FALSE(exchange::ImportCommunication(census.session, At({8, 12, 2026, 15, 4, 5})));
        EXPECT_EQ(
            census.port.LastMessage().text,
            "Impossibile creare la copia del censimento prima dell'importazione:\n\n" +
                census.File("VELUMBRA.prima-importazione-20261208-150405.MDB") +
                "\n\nIl database ha una transazione in corso: la copia si pu\xF2 fare solo quando \xE8 "
                "conclusa.\n\nL'Acquisizione dell'Ultima Situazione Strutture Aziendali non pu\xF2 essere "
                "effettuata.");
        EXPECT_EQ(census.port.LastMessage().caption, ui::kProgramCaption);
        EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Exclamation);
    }
    EXPECT_EQ(census.Rows(), before);
    EXPECT_TRUE(Copies(census).empty());
}

// A file of more structures than identifiers can number is refused at the first that does not fit,
// and the message says why.
TEST_F(ImportTest, MoreStructuresThanIdentifiersAreRefusedByName) {
    std::vector<census::Structure> all(32769, census.ValidRecord(1));
    EXPECT_FALSE(Import(File(all)));
    EXPECT_EQ(census.Rows(), before);
    ASSERT_EQ(census.port.messages.size(), 1u);
    EXPECT_EQ(census.port.messages[0].text,
              "Impossibile registrare la struttura: l'identificativo 32768 supera il massimo consentito "
              "(32767).");
    EXPECT_EQ(census.port.messages[0].icon, ui::Icon::Stop);
}

// A number beyond its field's range is kept as the file has it, never clamped: the record cannot be
// stored, and the import ends with errors leaving the census as it was. So for the 16-bit counts, and
// so for the two 32-bit surfaces; their limits themselves are stored as they are.
TEST_F(ImportTest, ANumberBeyondItsFieldMakesTheRecordUnstorable) {
    auto limits = census.ValidRecord(1);
    limits.scoSup = 2147483647;
    limits.copSup = -2147483647 - 1;
    ASSERT_TRUE(Import(File({limits})));
    before = census.Rows();
    ASSERT_EQ(before.size(), 1u);
    auto read = limits;
    read.copPro = "";  // texts are read back without trailing blanks
    EXPECT_EQ(before[0], "0\t" + exchange::FormatRecordLine(read));
    const std::string idDepo = IdDepo();

    struct Beyond {
        std::string column;
        std::int64_t value;
    };
    for (const Beyond& beyond :
         {Beyond{"sco_sup", 2147483648}, Beyond{"sco_sup", 99999999999}, Beyond{"cop_sup", 2147483648},
          Beyond{"cop_sup", 99999999999}, Beyond{"cop_sup", -2147483649}, Beyond{"ext_b_s", 32768}}) {
        SCOPED_TRACE(beyond.column + " " + std::to_string(beyond.value));
        auto record = census.ValidRecord(2);
        if (beyond.column == "sco_sup") {
            record.scoSup = beyond.value;
        } else if (beyond.column == "cop_sup") {
            record.copSup = beyond.value;
        } else {
            record.counts[0] = static_cast<int>(beyond.value);
        }
        const std::string content = File({census.ValidRecord(3), record});
        ASSERT_NE(content.find("\t" + std::to_string(beyond.value) + "\t"), std::string::npos);
        census.port.Clear();
        EXPECT_FALSE(Import(content));
        EXPECT_EQ(census.Rows(), before);
        EXPECT_EQ(IdDepo(), idDepo);
        // The refusal, before anything is asked, names the column and the number as the file has it.
        const std::string refusal = "Errore campo (" + beyond.column + ") della tavola (depositi) <" +
                                    std::to_string(beyond.value) + ">";
        ASSERT_EQ(census.port.messages.size(), 1u);
        EXPECT_TRUE(census.port.LastMessage().text.starts_with(refusal)) << census.port.LastMessage().text;
    }
}

// A record the reader takes but depositi cannot hold is refused alike by the comparison, by the import
// that only checks and by the one that stores, with the very message the database layer gives when
// it refuses the row: the check and the storing go by the same definition of the table.
TEST_F(ImportTest, CheckCompareAndStoreRefuseAnUnstorableRecordAlike) {
    const std::string local41(41, 'L');
    const std::pair<std::function<void(census::Structure&)>, std::string> faults[] = {
        {[&](auto& r) { r.local = local41; },
         "Errore campo (local) della tavola (depositi) <" + local41 + ">\n\nIl testo <" + local41 +
             "> \xE8 troppo lungo per il campo 'local': sono ammessi al massimo 30 caratteri."},
        {[](auto& r) { r.counts[5] = 70000; }, "Errore campo (ext_l_r) della tavola (depositi) <70000>\n\n"},
        {[](auto& r) { r.provin = "FIR"; }, "Errore campo (provin) della tavola (depositi) <FIR>\n\n"},
        {[](auto& r) { r.comune = 58091; }, "Errore campo (comune) della tavola (depositi) <58091>\n\n"},
        // A title field left empty in the file (an export writes a blank there).
        {[](auto& r) { r.scoTit = ""; }, "Errore aggiornamento tavola (depositi)\n\n"},
    };
    db::CDbConnection& connection = *census.session.Connection();
    for (const auto& [make, refusal] : faults) {
        SCOPED_TRACE(refusal);
        auto record = census.ValidRecord(2);
        make(record);
        const exchange::CStructureRecordList list{12, "06/12/2026", {census.ValidRecord(1), record}};
        census.port.Clear();
        {  // what the database layer says when the row itself is refused
            db::CDbTransaction transaction(connection);
            int counter = 0;
            ASSERT_TRUE(exchange::DeleteAllStructures(connection));
            EXPECT_FALSE(exchange::StoreStructures(connection, list, counter));
        }
        EXPECT_FALSE(exchange::CheckStorable(connection, list));
        if (!record.scoTit.empty()) {
            census.WriteFile("in.txt", File(list.records));
            exchange::CensusComparison comparison;
            EXPECT_FALSE(exchange::CompareCommunication(census.session, census.File("in.txt"), comparison));
            for (const ui::Answer answer : {ui::Answer::Cancel, ui::Answer::Ok}) {
                EXPECT_FALSE(Import(File(list.records), answer));  // no confirmation is asked
            }
        }
        ASSERT_EQ(census.port.messages.size(), record.scoTit.empty() ? 2u : 5u);
        EXPECT_TRUE(census.port.messages[0].text.starts_with(refusal)) << census.port.messages[0].text;
        for (const auto& m : census.port.messages) {
            EXPECT_EQ(m.text, census.port.messages[0].text);
            EXPECT_EQ(m.icon, ui::Icon::Stop);
        }
        EXPECT_EQ(census.Rows(), before);
    }
}

// Random censuses go out and come back unchanged: export, import of the same file, export again.
TEST_F(ImportTest, ExportImportExportIsByteIdentical) {
    std::mt19937 random(20261206);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ '.-\xE0\xE8\xE9\xEC\xF2\xF9\xC0";
    const auto word = [&](int max) {
        std::string s(1, 'A' + static_cast<char>(pick(26)));
        for (int i = pick(max); i > 0; --i) {
            s += letters[static_cast<std::size_t>(pick(static_cast<int>(letters.size())))];
        }
        while (s.back() == ' ') {
            s.pop_back();
        }
        return s;
    };
    for (int round = 0; round < 12; ++round) {
        std::vector<census::Structure> records;
        for (int i = pick(30); i > 0; --i) {
            auto r = census.ValidRecord(pick(1000));
            r.ubicaz = word(39);
            r.local = word(29);
            r.scoPro = word(39);
            r.scoSup = pick(2) ? 1 + pick(100000) : -1 - pick(100);  // never 0: the surface is given
            r.scoTit = std::string(1, "ABC"[pick(3)]);
            for (auto& f : r.flags) {
                f = pick(2) == 1;
            }
            r.flags[0] = true;
            for (auto& c : r.counts) {
                c = pick(3) ? pick(200) : 0;
            }
            records.push_back(r);
        }
        census.Store(records);
        census.port.Clear();
        census.port.AnswerNextDialog("06/12/2026");
        census.port.AnswerNextFileDialog(census.File("first.txt"));
        ASSERT_TRUE(exchange::ExportCommunication(census.session, {6, 12, 2026, 9, 0}));
        std::string file = census.ReadFile("first.txt");
        const auto retag = [](std::string s) {
            for (const char* tag : {"<VariazioniVelumbra>", "</VariazioniVelumbra>"}) {
                const std::size_t at = s.find(tag);
                s.replace(at, std::string(tag).size(),
                          std::string(tag).starts_with("</") ? "</ComunicazioneVelumbra>"
                                                             : "<ComunicazioneVelumbra>");
            }
            return s;
        };
        ASSERT_TRUE(Import(retag(file)));
        census.port.AnswerNextDialog("06/12/2026");
        census.port.AnswerNextFileDialog(census.File("second.txt"));
        ASSERT_TRUE(exchange::ExportCommunication(census.session, {6, 12, 2026, 9, 0}));
        ASSERT_EQ(census.ReadFile("second.txt"), file) << "round " << round;
    }
}

}  // namespace
