#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>

#include "db/DbTable.h"
#include "exchange/Export.h"
#include "exchange/TextFile.h"
#include "support/Census.h"

namespace {

class ExportTest : public ::testing::Test {
  protected:
    // Answers the date dialog and the save dialog, then exports.
    bool Export(const std::string& date = "06/12/2026", const std::string& file = "out.txt") {
        census.port.AnswerNextDialog(date);
        census.port.AnswerNextFileDialog(census.File(file));
        return exchange::ExportCommunication(census.session, when).done();
    }
    testing_support::Census census;
    const exchange::LocalDateTime when{6, 12, 2026, 9, 0};
};

TEST_F(ExportTest, AnEmptyCensusGivesFourLines) {
    census.SetCompany(12);
    ASSERT_TRUE(Export());
    EXPECT_EQ(census.ReadFile("out.txt"),
              "<VariazioniVelumbra>0\r\n<Azienda=12>\r\n<Data=06/12/2026>\r\n</VariazioniVelumbra>2040\r\n");
    ASSERT_EQ(census.port.messages.size(), 1u);
    EXPECT_EQ(census.port.LastMessage().text,
              "La comunicazione delle Strutture Aziendali \xE8 stata generata con successo\n"
              "e pu\xF2 essere inoltrata all'Osservatorio Trasporti Regionale");
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Information);

    ASSERT_EQ(census.port.dateRequests.size(), 1u);
    const auto& dialog = census.port.dateRequests[0];
    EXPECT_EQ(dialog.company, 12);
    EXPECT_EQ(dialog.date, "06/12/2026");  // today proposed
    EXPECT_EQ(dialog.companyEntries.size(), 204u);
    const auto& save = census.port.fileDialogs.back();
    EXPECT_EQ(save.request.title, "Generazione Comunicazione Strutture Aziendali");
    EXPECT_EQ(save.request.proposedName, "VariazioniVelumbra_12");
    EXPECT_EQ(save.request.defaultExtension, "TXT");
    EXPECT_TRUE(save.save && save.request.overwritePrompt && save.request.createPrompt);
    EXPECT_EQ(census.port.busyRequests, std::vector<bool>{true});
}

TEST_F(ExportTest, RecordsInIdentifierOrder) {
    census.SetCompany(12);
    auto first = census.ValidRecord(0);
    first.flags = {true, false, false, false, false, true, false};
    census.Store({first, census.ValidRecord(1)});
    ASSERT_TRUE(Export("06/12/26"));
    const std::string content = census.ReadFile("out.txt");
    const auto lines = exchange::SplitLines(content);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "<VariazioniVelumbra>2");
    EXPECT_EQ(lines[2], "<Data=06/12/2026>");
    EXPECT_TRUE(lines[3].starts_with(
        "VIA ROMA 1\tLocalit\xE0 0\t1\tAR\t1\t0\t0\t0\t0\t1\t0\tCOMUNE\t100\tA\t\t0\t \t"));
    EXPECT_TRUE(lines[4].starts_with("VIA ROMA 2\t"));
    std::int32_t checksum = exchange::AddLineChecksum(0, lines[1]);
    for (std::size_t i = 2; i < 5; ++i) {
        checksum = exchange::AddLineChecksum(checksum, lines[i]);
    }
    EXPECT_EQ(lines[5], "</VariazioniVelumbra>" + std::to_string(checksum));
}

TEST_F(ExportTest, RefusalsBeforeAnythingIsWritten) {
    // No working company: stopped before the validation.
    auto bad = census.ValidRecord(0);
    bad.comune = 0;
    census.Store({bad});
    EXPECT_FALSE(exchange::ExportCommunication(census.session, when));
    ASSERT_EQ(census.port.messages.size(), 1u);
    EXPECT_EQ(census.port.LastMessage().text,
              "ATTENZIONE: non \xE8 stata ancora selezionata l'azienda di lavoro.\n\n"
              "Per potere procedere oltre \xE8 necessario selezionare l'azienda");
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Stop);

    // Errors in the census: the validation blocks the export.
    census.SetCompany(12);
    census.port.Clear();
    // the report is not wanted
    EXPECT_EQ(exchange::ExportCommunication(census.session, when).ending(), ui::Ending::Refused);
    ASSERT_EQ(census.port.fileDialogs.size(), 1u);
    EXPECT_EQ(census.port.fileDialogs[0].kind, ui::FileKind::Report);
    EXPECT_TRUE(census.port.dateRequests.empty());
    EXPECT_FALSE(std::filesystem::exists(census.dir.path() / "out.txt"));

    // Date dialog or save dialog cancelled.
    census.Store({census.ValidRecord(0)});
    census.port.Clear();
    EXPECT_EQ(exchange::ExportCommunication(census.session, when).ending(), ui::Ending::Cancelled);
    census.port.AnswerNextDialog("06/12/2026");
    EXPECT_EQ(exchange::ExportCommunication(census.session, when).ending(), ui::Ending::Cancelled);
    ASSERT_EQ(census.port.fileDialogs.size(), 1u);
    EXPECT_EQ(census.port.fileDialogs[0].kind, ui::FileKind::Communication);
    EXPECT_TRUE(census.port.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(census.dir.path() / "out.txt"));
}

TEST_F(ExportTest, AMissingSettingsRowIsSaid) {
    {
        db::CDbTable master(census.session.Connection(), "master");
        EXPECT_TRUE(master.SelectIndex("codice"));
        ASSERT_TRUE(master.Seek({"0"}).found());
        EXPECT_TRUE(master.Delete());
    }
    EXPECT_FALSE(exchange::ExportCommunication(census.session, when));
    EXPECT_EQ(
        census.port.LastMessage().text,
        "ATTENZIONE: risulta impossibile trovare il MASTER\n\nPresumibilmente il DataBase \xE8 corrotto !!!");
}

TEST_F(ExportTest, AFailedWriteLeavesNoFileAndTheOldOneIntact) {
    census.SetCompany(12);
    census.Store({census.ValidRecord(0)});
    const std::string missingFolder = census.File("manca/out.txt");
    census.port.AnswerNextDialog("06/12/2026");
    census.port.AnswerNextFileDialog(missingFolder);
    EXPECT_FALSE(exchange::ExportCommunication(census.session, when));
    EXPECT_EQ(census.port.LastMessage().text, "Impossibile creare\n\n" + missingFolder);
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Exclamation);

#ifdef _WIN32
    GTEST_SKIP() << "a full disk is simulated with a file size limit (setrlimit, POSIX only)";
#else
    // A full disk, simulated by a limit on the size of the files this process may write.
    census.WriteFile("out.txt", "previous file");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tiny = old;
    tiny.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &tiny);
    census.port.Clear();
    const bool exported = Export();
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(exported);
    EXPECT_EQ(census.port.LastMessage().text, "Impossibile creare\n\n" + census.File("out.txt"));
    EXPECT_EQ(census.ReadFile("out.txt"), "previous file");
    int leftovers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(census.dir.path())) {
        leftovers += entry.path().extension() == ".tmp" ? 1 : 0;
    }
    EXPECT_EQ(leftovers, 0);
#endif
}

}  // namespace
