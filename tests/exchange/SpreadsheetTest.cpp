#include <gtest/gtest.h>

#include "exchange/Spreadsheet.h"
#include "support/Census.h"
#include "text/Text.h"

namespace {

// Reads CSV as a spreadsheet program does: ';' between fields, CR LF between rows, a field between
// double quotes may hold anything, a doubled quote standing for one. False on a malformed file (a bare
// line feed, a quote inside an unquoted field, an unclosed quote).
bool ParseCsv(std::string_view file, std::vector<std::vector<std::string>>& rows) {
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    bool wasQuoted = false;
    for (std::size_t i = 0; i < file.size(); ++i) {
        const char c = file[i];
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < file.size() && file[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            if (!field.empty() || wasQuoted) {
                return false;
            }
            quoted = wasQuoted = true;
        } else if (c == ';' || c == '\r') {
            if (c == '\r' && (i + 1 >= file.size() || file[i + 1] != '\n')) {
                return false;
            }
            row.push_back(field);
            field.clear();
            wasQuoted = false;
            if (c == '\r') {
                rows.push_back(row);
                row.clear();
                ++i;
            }
        } else if (c == '\n' || wasQuoted) {
            return false;
        } else {
            field += c;
        }
    }
    return !quoted && row.empty() && field.empty();
}

class SpreadsheetTest : public ::testing::Test {
  protected:
    testing_support::Census census;
};

TEST_F(SpreadsheetTest, OneRowForEachStructureThatASpreadsheetReadsBack) {
    census.SetCompany(12);
    auto awkward = census.ValidRecord(3);
    awkward.ubicaz = "VIA \"LUNGA\"; CAPOLINEA";
    awkward.local = " Forl\xEC";
    awkward.scoTit = "C";
    awkward.copTit = "B";
    awkward.copSup = 250;
    awkward.flags = {true, false, false, false, false, false, true};
    census.Store({census.ValidRecord(0), awkward, census.ValidRecord(1)});
    census.port.AnswerNextFileDialog(census.File("censimento.csv"));
    ASSERT_TRUE(exchange::ExportSpreadsheet(census.session).done());

    const auto& save = census.port.fileDialogs.back();
    EXPECT_EQ(save.kind, ui::FileKind::Spreadsheet);
    EXPECT_EQ(save.request.proposedName, "CensimentoVelumbra_12.csv");
    EXPECT_TRUE(save.save && save.request.overwritePrompt);
    ASSERT_EQ(census.port.messages.size(), 1u);
    EXPECT_EQ(census.port.LastMessage().text, "Il censimento \xE8 stato esportato con successo nel file\n\n" +
                                                  census.File("censimento.csv") +
                                                  "\n\nStrutture esportate: 3");
    EXPECT_EQ(census.port.LastMessage().caption, "Velumbra");
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Information);

    const std::string file = census.ReadFile("censimento.csv");
    ASSERT_TRUE(file.starts_with("\xEF\xBB\xBF"));
    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(ParseCsv(std::string_view(file).substr(3), rows));
    ASSERT_EQ(rows.size(), 4u);
    for (const auto& row : rows) {
        EXPECT_EQ(row.size(), 54u);  // the identifier and the 53 columns of a structure
    }
    const auto& heading = rows[0];
    EXPECT_EQ(heading[2], "Localit\xC3\xA0");
    EXPECT_EQ(heading[13], "Aree Scoperte Riservate Superficie (MQ)");
    EXPECT_EQ(heading[16], "Superfici Coperte Superficie (MQ)");
    EXPECT_EQ(heading.back(), "MEZZI URBANI Corti Riserva");
    EXPECT_EQ(heading[18], "MEZZI EXTRAURBANI Bipiano Servizio");

    EXPECT_EQ(rows[1][0], "0");
    const auto& row = rows[2];
    EXPECT_EQ(row[0], "1");
    EXPECT_EQ(row[1], "VIA \"LUNGA\"; CAPOLINEA");
    EXPECT_EQ(row[2], " Forl\xC3\xAC");  // the leading blank kept, the letter in UTF-8
    EXPECT_EQ(row[4], awkward.provin);
    EXPECT_EQ(row[5], "SI");
    EXPECT_EQ(row[6], "");
    EXPECT_EQ(row[11], "SI");
    EXPECT_EQ(row[14], "Comodato");
    EXPECT_EQ(row[16], "250");
    EXPECT_EQ(row[17], "Affitto");
    EXPECT_EQ(rows[1][14], "Propriet\xC3\xA0");
    EXPECT_EQ(rows[1][17], "");  // no title
    EXPECT_EQ(row[18 + census::CountIndex(2, 5, true)], std::to_string(awkward.counts.back()));
    EXPECT_FALSE(row[3].empty());  // the municipality by its name
    EXPECT_EQ(row[3].find_first_of("0123456789"), std::string::npos);
}

TEST_F(SpreadsheetTest, AFileThatCannotBeWrittenIsSaidAndNotAnnounced) {
    census.SetCompany(12);
    census.Store({census.ValidRecord(0)});
    const std::string missing = census.File("nessuna-cartella/censimento.csv");
    census.port.AnswerNextFileDialog(missing);
    const ui::Outcome outcome = exchange::ExportSpreadsheet(census.session);
    EXPECT_EQ(outcome.ending(), ui::Ending::Failed);
    ASSERT_EQ(census.port.messages.size(), 1u);
    EXPECT_EQ(census.port.LastMessage().text, "Impossibile creare\n\n" + missing);
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Exclamation);

    census.port.AnswerNextFileDialog(std::nullopt);  // cancelled: nothing said, nothing written
    EXPECT_EQ(exchange::ExportSpreadsheet(census.session).ending(), ui::Ending::Cancelled);
    EXPECT_EQ(census.port.messages.size(), 1u);
}

}  // namespace
