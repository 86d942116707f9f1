#include <gtest/gtest.h>

#include "db/DbTable.h"
#include "register/Company.h"
#include "schema/CodeList.h"
#include "support/Census.h"

namespace {

const std::string kRefused =
    "ATTENZIONE: Il Codice Regionale Azienda non \xE8 valido.\n\n"
    "Occorre selezionare un Codice Regionale Azienda presente nella lista.\n\n"
    "I dati immessi non saranno registrati !!!";

std::string Lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    return s;
}

class CompanyTest : public ::testing::Test {
  protected:
    std::string Stored() {
        db::CDbTable master(census.session.Connection(), "master");
        EXPECT_TRUE(master.SelectIndex("codice"));
        EXPECT_TRUE(master.Seek({"0"}).found());
        std::string value;
        EXPECT_TRUE(master.GetField("azienda", value));
        return value;
    }
    void Rename(int code, const std::string& name) {
        db::CDbTable regazi(census.session.Connection(), "regazi");
        EXPECT_TRUE(regazi.SelectIndex("codice"));
        ASSERT_TRUE(regazi.Seek({std::to_string(code)}).found());
        EXPECT_TRUE(regazi.Edit());
        EXPECT_TRUE(regazi.SetField("denom", name));
        ASSERT_TRUE(regazi.Update());
    }
    testing_support::Census census;
};

TEST_F(CompanyTest, TheListIsInOrderOfName) {
    const auto read = schema::FillCompanyCombo(*census.session.Connection());
    ASSERT_TRUE(read);
    const std::vector<std::string>& entries = *read;
    ASSERT_EQ(entries.size(), 204u);
    EXPECT_EQ(entries.front(), "0000 - *** azienda non assegnata ***");
    for (std::size_t i = 1; i < entries.size(); ++i) {
        EXPECT_LE(Lower(entries[i - 1].substr(7)),
                  Lower(entries[i].substr(7)));  // letters compared without case
        EXPECT_EQ(entries[i][4], ' ');
    }
    EXPECT_EQ(reg::FindEntryWithPrefix(entries, "0000"), 0);
    EXPECT_EQ(reg::FindEntryWithPrefix(entries, "9999"), -1);
}

TEST_F(CompanyTest, TheDialogsCheck) {
    const auto entries = schema::FillCompanyCombo(*census.session.Connection()).value();
    const std::string twelve = entries[static_cast<std::size_t>(reg::FindEntryWithPrefix(entries, "0012"))];
    int code = -1;
    EXPECT_TRUE(reg::CheckCompanyEntry(census.port, entries, twelve, code));
    EXPECT_EQ(code, 12);
    EXPECT_TRUE(reg::CheckCompanyEntry(census.port, entries, "12", code));
    EXPECT_EQ(code, 12);
    EXPECT_TRUE(reg::CheckCompanyEntry(census.port, entries, "", code));  // "0000" exists
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(census.port.messages.empty());
    for (const char* refused : {"12a", "x", "9999", "-1"}) {
        code = 77;
        EXPECT_FALSE(reg::CheckCompanyEntry(census.port, entries, refused, code)) << refused;
        EXPECT_EQ(code, 77);
    }
    EXPECT_EQ(census.port.messages.size(), 4u);
    EXPECT_EQ(census.port.LastMessage().text, kRefused);
    EXPECT_EQ(census.port.LastMessage().icon, ui::Icon::Stop);
}

TEST_F(CompanyTest, SelectCompanyStoresTheChoice) {
    census.port.AnswerNextDialog("12");
    EXPECT_TRUE(reg::SelectCompany(census.session));
    EXPECT_EQ(Stored(), "12");
    ASSERT_EQ(census.port.companyRequests.size(), 1u);
    EXPECT_EQ(census.port.companyRequests[0].text,
              "0000 - *** azienda non assegnata ***");  // the current one

    // The dialog opens on the current company; a refused entry then cancel stores nothing.
    census.port.AnswerNextDialog("12a");
    EXPECT_FALSE(reg::SelectCompany(census.session));
    EXPECT_EQ(Stored(), "12");
    EXPECT_TRUE(census.port.companyRequests[1].text.starts_with("0012 - "));
    EXPECT_EQ(census.port.LastMessage().text, kRefused);
}

TEST_F(CompanyTest, ACurrentCodeMissingFromTheListOpensEmpty) {
    census.SetCompany(5000);
    EXPECT_FALSE(reg::SelectCompany(census.session));  // cancelled
    EXPECT_EQ(census.port.companyRequests[0].text, "");
    EXPECT_EQ(Stored(), "5000");
}

TEST_F(CompanyTest, TheTitleNamesTheCompany) {
    EXPECT_EQ(census.session.Title(), "VELUMBRA - Azienda 0 *** azienda non assegnata ***");
    census.SetCompany(12);
    Rename(12, "TRASPORTI DI PROVA   ");
    EXPECT_EQ(census.session.Title(), "VELUMBRA - Azienda 12 TRASPORTI DI PROVA");
    census.SetCompany(5000);
    EXPECT_EQ(census.session.Title(), "VELUMBRA - Azienda 5000 Azienda non definita");
    census.session.CloseConnection();
    EXPECT_EQ(census.session.Title(), "VELUMBRA - \"Censimento Velumbra\"");
}

TEST_F(CompanyTest, OpeningAddsTheSettingsRowWhenMissing) {
    {
        db::CDbTable master(census.session.Connection(), "master");
        EXPECT_TRUE(master.SelectIndex("codice"));
        ASSERT_TRUE(master.Seek({"0"}).found());
        EXPECT_TRUE(master.Delete());
    }
    EXPECT_EQ(census.session.Title(), "VELUMBRA - \"Censimento Velumbra\"");
    EXPECT_FALSE(reg::SelectCompany(census.session));
    EXPECT_EQ(
        census.port.LastMessage().text,
        "ATTENZIONE: risulta impossibile trovare il MASTER\n\nPresumibilmente il DataBase \xE8 corrotto !!!");
    census.session.CloseConnection();
    EXPECT_TRUE(census.session.OpenAssociatedDatabase());
    EXPECT_EQ(Stored(), "0");

    // A database that cannot be opened is forgotten.
    census.port.Clear();
    census.session.SetPath(census.File("manca.mdb"));
    EXPECT_FALSE(census.session.OpenAssociatedDatabase());
    EXPECT_EQ(census.session.Path(), "");
    EXPECT_FALSE(census.session.HasOpenDatabase());
    EXPECT_EQ(census.port.messages.size(), 1u);
}

}  // namespace
