#include <gtest/gtest.h>

#include "exchange/Spreadsheet.h"
#include "support/Census.h"
#include "text/Text.h"

namespace {

// Reads CSV as a spreadsheet program does: ';' between fields, CR LF between rows, a field between
// double quotes may hold anything, a doubled quote standing for one. False on a malformed file (a bare
// line feed, a quote inside an unquoted field, an unclosed quote).
bool ParseCsv(std::string_view file, std::vector<std::vector<std::string>>& rows) {
    std::vector<std::string> row(1);
    bool quoted = false;
    for (std::size_t i = 0; i < file.size(); ++i) {
        const char c = file[i];
        const bool crlf = c == '\r' && i + 1 < file.size() && file[i + 1] == '\n';
        if (c == '"' && !quoted && i > 0 && file[i - 1] == '"') {
            row.back() += '"';  // a doubled quote inside a quoted field
            quoted = true;
        } else if (c == '"') {
            if (!quoted && !row.back().empty()) {
                return false;  // a quote inside an unquoted field
            }
            quoted = !quoted;
        } else if (quoted) {
            row.back() += c;
        } else if (c == ';') {
            row.emplace_back();
        } else if (crlf) {
            rows.push_back(row);
            row.assign(1, {});
            ++i;
        } else if (c == '\r' || c == '\n') {
            return false;  // a line end that is not CR LF
        } else {
            row.back() += c;
        }
    }
    return !quoted && row.size() == 1 && row[0].empty();
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

    EXPECT_EQ(census.port.fileDialogs.back().kind, ui::FileKind::Spreadsheet);
    EXPECT_EQ(census.port.fileDialogs.back().request.proposedName, "CensimentoVelumbra_12.csv");
    ASSERT_EQ(census.port.messages.size(), 1u);
    EXPECT_EQ(census.port.LastMessage().text, "Il censimento \xE8 stato esportato con successo nel file\n\n" +
                                                  census.File("censimento.csv") +
                                                  "\n\nStrutture esportate: 3");
    EXPECT_EQ(census.port.LastMessage().caption, "Velumbra");
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Information);

    const std::string file = census.ReadFile("censimento.csv");
    ASSERT_TRUE(file.starts_with("\xEF\xBB\xBF"));
    // A text with blanks at an end is quoted: a spreadsheet program may trim an unquoted one.
    EXPECT_NE(file.find(";\" Forl\xC3\xAC\";"), std::string::npos);
    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(ParseCsv(std::string_view(file).substr(3), rows));
    ASSERT_EQ(rows.size(), 4u);
    for (const auto& row : rows) {
        EXPECT_EQ(row.size(), 54u);  // the identifier and the 53 columns of a structure
    }
    EXPECT_EQ(rows[0][13], "Aree Scoperte Riservate Superficie (MQ)");
    EXPECT_EQ(rows[0].back(), "MEZZI URBANI Corti Riserva");
    const auto& row = rows[2];
    const std::vector<std::string> expected = {"1", "VIA \"LUNGA\"; CAPOLINEA", " Forl\xC3\xAC"};
    EXPECT_EQ(std::vector<std::string>(row.begin(), row.begin() + 3), expected);  // blank and letters kept
    EXPECT_EQ(row[3].find_first_of("0123456789"), std::string::npos);             // the municipality by name
    EXPECT_EQ(row[5] + "|" + row[6] + "|" + row[11], "SI||SI");
    EXPECT_EQ(row[14] + "|" + row[16] + "|" + row[17], "Comodato|250|Affitto");
    EXPECT_EQ(rows[1][14] + "|" + rows[1][17], "Propriet\xC3\xA0|");
    EXPECT_EQ(row.back(), std::to_string(awkward.counts.back()));
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
