#include <gtest/gtest.h>
#include <sqlite3.h>

#include "exchange/Rules.h"
#include "exchange/Validation.h"
#include "exchange/Verification.h"
#include "support/Census.h"

namespace {

census::Structure Complete() {
    census::Structure s;
    s.id = 3;
    s.ubicaz = "VIA ROMA 1";
    s.local = "FIRENZE";
    s.comune = 57;
    s.provin = "FI";
    s.flags[2] = true;
    s.scoTit = " ";  // no uncovered area
    s.copPro = "ACME";
    s.copSup = 150;
    s.copTit = "B";
    return s;
}

std::vector<std::string> Messages(const census::Structure& s) {
    exchange::CValidationErrorList errors;
    exchange::CheckStructure(s, errors);
    std::vector<std::string> out;
    for (const auto& e : errors) {
        EXPECT_EQ(e.id, s.id);
        out.push_back(e.message);
    }
    return out;
}

TEST(CheckStructure, ACompleteStructurePasses) {
    EXPECT_TRUE(Messages(Complete()).empty());
}

TEST(CheckStructure, EveryRuleInItsOrder) {
    census::Structure s;
    s.comune = 0;  // the code of no municipality
    s.ubicaz = "";
    s.local = " X";
    s.provin = "fi";
    s.scoTit = "";  // an empty title makes the group given
    s.copPro = " OWNER";
    s.copSup = 0;
    s.copTit = "D";
    EXPECT_EQ(Messages(s),
              (std::vector<std::string>{
                  "Manca ubicazione", "Localit\xE0 mal allineata (spazi in testa)", "Manca il comune",
                  "Manca la provincia", "Non \xE8 indicata neppure una attivit\xE0",
                  "Manca propriet\xE0 aree scoperte", "Manca superficie aree scoperte",
                  "Manca titolo di possesso aree scoperte",
                  "Propriet\xE0 aree coperte mal allineata (spazi in testa)", "Manca superficie aree coperte",
                  "Manca titolo di possesso aree coperte"}));
    census::Structure t = Complete();
    t.ubicaz = " VIA";
    t.local = "";
    t.scoPro = " P";
    t.scoSup = -1;  // only exactly 0 is missing
    t.scoTit = "C";
    t.copSup = 0;
    EXPECT_EQ(Messages(t),
              (std::vector<std::string>{"Ubicazione mal allineata (spazi in testa)", "Manca localit\xE0",
                                        "Propriet\xE0 aree scoperte mal allineata (spazi in testa)",
                                        "Manca superficie aree coperte"}));
}

TEST(CheckStructure, ProvincesAreTheTenCodesExactly) {
    for (const char* p : {"AR", "FI", "PT", "PO", "LU", "MS", "PI", "LI", "GR", "SI"}) {
        census::Structure s = Complete();
        s.provin = p;
        EXPECT_TRUE(Messages(s).empty()) << p;
    }
    for (const char* p : {"fi", "F", "FIR", "RM", ""}) {
        census::Structure s = Complete();
        s.provin = p;
        EXPECT_EQ(Messages(s), std::vector<std::string>{"Manca la provincia"}) << p;
    }
}

class ValidateCensusTest : public ::testing::Test {
  protected:
    testing_support::Census census;
    const exchange::LocalDateTime when{6, 12, 2026, 18, 27};
};

TEST_F(ValidateCensusTest, AnEmptyOrCorrectCensusPassesSilently) {
    EXPECT_TRUE(exchange::ValidateCensus(census.session, when));
    census.Store({census.ValidRecord(0), census.ValidRecord(1)});
    EXPECT_TRUE(exchange::ValidateCensus(census.session, when));
    EXPECT_TRUE(census.port.messages.empty());
    EXPECT_TRUE(census.port.fileDialogs.empty());
}

TEST_F(ValidateCensusTest, ErrorsBlockAndAreReported) {
    auto blank = census.ValidRecord(0);
    blank.ubicaz = "   ";  // only blanks: missing, not misaligned
    auto second = census.ValidRecord(1);
    second.comune = 0;
    second.provin = "fi";
    auto fine = census.ValidRecord(2);
    census.Store({blank, fine, second});
    const std::string report = census.File("ERRORI_VELUMBRA.TXT");
    census.port.AnswerNextFileDialog(report);
    EXPECT_FALSE(exchange::ValidateCensus(census.session, when));

    ASSERT_EQ(census.port.messages.size(), 1u);
    EXPECT_EQ(census.port.LastMessage().text,
              "ATTENZIONE: La situazione delle strutture aziendali contiene errori bloccanti.\n\n"
              "La generazione della comunicazione da inoltrare all'Osservatorio Trasporti\n"
              "non pu\xF2 pertanto essere effettuata.\n\n"
              "E' necessario correggere gli errori presenti nel report che sta per essere\ngenerato.");
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Stop);
    ASSERT_EQ(census.port.fileDialogs.size(), 1u);
    const auto& dialog = census.port.fileDialogs[0];
    EXPECT_TRUE(dialog.save);
    EXPECT_EQ(dialog.request.title, "Report Errori Riscontrati");
    EXPECT_EQ(dialog.request.proposedName, "ERRORI_VELUMBRA");
    EXPECT_EQ(dialog.request.defaultExtension, "TXT");
    EXPECT_EQ(dialog.request.filter, "File di testo (*.txt)|*.txt|Tutti i files (*.*)|*.*||");
    EXPECT_TRUE(dialog.request.overwritePrompt && dialog.request.createPrompt &&
                dialog.request.pathMustExist && dialog.request.hideReadOnly);

    const std::string rule(72, '=');
    EXPECT_EQ(census.ReadFile("ERRORI_VELUMBRA.TXT"),
              rule + "\r\n06/12/2026 18.27 Report verifica situazione Strutture (Velumbra)\r\nDatabase: " +
                  census.path + "\r\n" + rule +
                  "\r\n\r\nID=0 Manca ubicazione\r\nID=2 Manca il comune\r\n"
                  "ID=2 Manca la provincia\r\n");
}

TEST_F(ValidateCensusTest, CancellingTheReportWritesNothing) {
    auto r = census.ValidRecord(0);
    r.local = " X";
    census.Store({r});
    EXPECT_FALSE(exchange::ValidateCensus(census.session, when));
    EXPECT_EQ(census.port.fileDialogs.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(census.dir.path() / "ERRORI_VELUMBRA.TXT"));
}

TEST_F(ValidateCensusTest, AReportThatCannotBeWrittenIsSaid) {
    auto r = census.ValidRecord(0);
    r.local = " X";
    census.Store({r});
    const std::string path = census.File("manca/ERRORI_VELUMBRA.TXT");
    census.port.AnswerNextFileDialog(path);
    EXPECT_FALSE(exchange::ValidateCensus(census.session, when));
    EXPECT_EQ(census.port.LastMessage().text, "Impossibile creare\n\n" + path);
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Exclamation);
}

// "Verifica Censimento": the same failures, in report order, each with its structure's identifier and
// ubicazione, in a window from which a structure is chosen; the window opens again at the entry chosen
// last, kept within the entries there are. No report, no file dialog.
TEST_F(ValidateCensusTest, VerificationShowsTheErrorsInAWindow) {
    auto blank = census.ValidRecord(0);
    blank.ubicaz = "   ";
    auto second = census.ValidRecord(1);
    second.comune = 0;
    second.provin = "fi";
    census.Store({blank, census.ValidRecord(2), second});
    exchange::Verification verification;
    census.port.AnswerNextCensusErrors(2);
    EXPECT_FALSE(exchange::VerifyCensus(census.session, verification));
    ASSERT_EQ(census.port.errorsRequests.size(), 1u);
    const auto errors = census.port.errorsRequests[0].errors;  // a copy: the requests grow
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].id, 0);
    EXPECT_EQ(errors[0].ubicaz, "");
    EXPECT_EQ(errors[0].message, "Manca ubicazione");
    EXPECT_EQ(errors[1].id, 2);
    EXPECT_EQ(errors[1].ubicaz, "VIA ROMA 2");
    EXPECT_EQ(errors[1].message, "Manca il comune");
    EXPECT_EQ(errors[2].message, "Manca la provincia");
    EXPECT_EQ(census.port.errorsRequests[0].current, 0u);
    EXPECT_EQ(verification.chosen, 2);
    EXPECT_EQ(verification.entry, 2u);
    EXPECT_TRUE(census.port.messages.empty());
    EXPECT_TRUE(census.port.fileDialogs.empty());

    // The second structure mended: the window opens on the last entry there is, and closing it
    // chooses nothing.
    census.Store({blank, census.ValidRecord(2), census.ValidRecord(3)});
    EXPECT_FALSE(exchange::VerifyCensus(census.session, verification));
    ASSERT_EQ(census.port.errorsRequests.size(), 2u);
    EXPECT_EQ(census.port.errorsRequests[1].errors.size(), 1u);
    EXPECT_EQ(census.port.errorsRequests[1].current, 0u);
    EXPECT_FALSE(verification.chosen);

    exchange::CValidationErrorList found;
    EXPECT_FALSE(exchange::ValidateCensus(census.session, when, &found));
    EXPECT_EQ(exchange::StructuresWithErrors(found), 1u);
    EXPECT_EQ(exchange::StructuresWithErrors(errors), 2u);
}

TEST_F(ValidateCensusTest, ACensusWithoutErrorsIsReadyToBeSent) {
    census.Store({census.ValidRecord(0)});
    exchange::Verification verification;
    EXPECT_TRUE(exchange::VerifyCensus(census.session, verification));
    EXPECT_TRUE(census.port.errorsRequests.empty());
    ASSERT_EQ(census.port.messages.size(), 1u);
    EXPECT_EQ(census.port.LastMessage().text,
              "La situazione delle strutture aziendali non contiene errori:\n"
              "la comunicazione pu\xF2 essere generata e inoltrata all'Osservatorio Trasporti Regionale.");
    EXPECT_EQ(census.port.LastMessage().caption, "Verifica Censimento");
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Information);
    EXPECT_FALSE(verification.chosen);
}

// A census made by another program, its uncovered surfaces declared as real numbers: the census is
// not read (a surface is not taken for 0), and the person is told once which field could not be read.
TEST_F(ValidateCensusTest, AValueOfAnotherKindIsNotReadAsZero) {
    census.Store({census.ValidRecord(0), census.ValidRecord(1)});
    census.session.CloseConnection();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(census.path.c_str(), &other), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other,
                           "PRAGMA writable_schema = ON; UPDATE sqlite_schema SET sql = replace(sql, "
                           "'\"sco_sup\" INTEGER', '\"sco_sup\" DOUBLE') WHERE name = 'depositi'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    ASSERT_TRUE(census.session.OpenAssociatedDatabase());
    census.port.Clear();
    EXPECT_FALSE(exchange::ValidateCensus(census.session, when));
    ASSERT_EQ(census.port.messages.size(), 1u);
    EXPECT_TRUE(
        census.port.LastMessage().text.starts_with("Errore campo (sco_sup) nella select corrente\n\n"));
    EXPECT_TRUE(census.port.LastMessage().text.ends_with(
        "\n\nIl campo contiene un valore di tipo diverso da quello previsto."));
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Stop);
    EXPECT_TRUE(census.port.fileDialogs.empty());  // no report of a census not read
}

TEST(ValidateCensus, ACensusThatCannotBeReadIsNotCorrect) {
    ui::ScriptedPort port;
    app::Session session(port);  // no database at all
    EXPECT_FALSE(exchange::ValidateCensus(session));
    exchange::Verification verification;
    EXPECT_FALSE(exchange::VerifyCensus(session, verification));
    EXPECT_TRUE(port.messages.empty());
    EXPECT_TRUE(port.errorsRequests.empty());
}

}  // namespace
