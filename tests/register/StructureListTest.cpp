#include <gtest/gtest.h>
#include <sqlite3.h>

#include "census/Structure.h"
#include "db/DbTable.h"
#include "register/StructureEditor.h"
#include "register/StructureFind.h"
#include "register/StructureList.h"
#include "support/Census.h"
#include "text/Text.h"

namespace {

census::Structure Entered(int seed = 0) {
    census::Structure v;
    v.ubicaz = "VIA ROMA " + std::to_string(seed);
    v.local = "CENTRO";
    v.comune = 57;
    v.provin = "FI";
    v.flags[0] = 1;
    v.scoPro = "COMUNE";
    v.scoSup = 120;
    v.scoTit = "A";
    v.copPro = "";
    v.copSup = 0;
    v.copTit = " ";
    v.counts[0] = 3;
    v.counts[35] = 1;
    return v;
}

std::string IdDepo(testing_support::Census& census) {
    db::CDbTable master(census.session.Connection(), "master");
    EXPECT_TRUE(master.SelectIndex("codice"));
    EXPECT_TRUE(master.Seek({"0"}).found());
    std::string value;
    EXPECT_TRUE(master.GetField("id_depo", value));
    return value;
}

TEST(StructureEditor, ReadingTheControls) {
    EXPECT_EQ(reg::ComuneFromControl("0048 - CASTELNUOVO"), 48);
    EXPECT_EQ(reg::ComuneFromControl("48"), 48);
    EXPECT_EQ(reg::ComuneFromControl("12"), 12);  // not checked against the list
    EXPECT_EQ(reg::ComuneFromControl(""), -1);
    EXPECT_EQ(reg::ComuneFromControl("0"), -1);
    EXPECT_EQ(reg::ComuneFromControl("ABC"), -1);
    EXPECT_EQ(reg::ProvinceFromControl("AR - Arezzo"), "AR");
    EXPECT_EQ(reg::ProvinceFromControl("fi"), "fi");
    EXPECT_EQ(reg::ProvinceFromControl("F "), "F");
    EXPECT_EQ(reg::TitleFromControl("B - Affitto, leasing o simili"), 'B');
    EXPECT_EQ(reg::TitleFromControl("  - Non Utilizzato"), ' ');
    EXPECT_EQ(reg::TitleFromControl("D"), ' ');
    EXPECT_EQ(reg::TitleFromControl(""), ' ');
    EXPECT_EQ(reg::NumberFromControl(" -15"), -15);
    EXPECT_EQ(reg::NumberFromControl("12a"), 12);
    EXPECT_EQ(reg::NumberFromControl(""), 0);
    EXPECT_EQ(reg::NumberForControl(-3), "");
    EXPECT_EQ(reg::NumberForControl(0), "0");
    EXPECT_EQ(reg::TextFromControl("VIA   "), "VIA");
    EXPECT_EQ(reg::TitleEntryFor(' '), 0);
    EXPECT_EQ(reg::TitleEntryFor('C'), 3);
}

TEST(StructureEditor, OkChecksTheMandatoryDataAndTheSurfaces) {
    ui::ScriptedPort port;
    census::Structure blank = reg::BlankStructure();
    EXPECT_EQ(blank.id, -1);
    EXPECT_EQ(blank.comune, -1);
    EXPECT_EQ(blank.scoTit, " ");
    EXPECT_FALSE(reg::CheckAndAccept(port, blank));
    EXPECT_EQ(port.LastMessage().text,
              "ATTENZIONE; mancano i seguenti dati obbligatori:\n\n"
              "Ubicazione; Localit\xE0; Comune; Provincia; Attivit\xE0 svolte;\n\n"
              "Denuncia propriet\xE0 superfici\n\n"
              "Occorre completare la scheda informativa !!!");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Information);

    census::Structure v = Entered();
    v.scoTit = " ";  // owner and surface without a title
    v.copSup = 40;   // a surface without owner
    EXPECT_FALSE(reg::CheckAndAccept(port, v));
    EXPECT_EQ(port.LastMessage().text,
              "ATTENZIONE; mancano i seguenti dati obbligatori:\n\n"
              "Errata Denuncia Superfici Scoperte\nErrata Denuncia Superfici Coperte\n\n"
              "Occorre completare la scheda informativa !!!");
    port.Clear();
    v = Entered();
    v.provin = "fi";  // kept as typed
    ASSERT_TRUE(reg::CheckAndAccept(port, v));
    EXPECT_EQ(v.copPro, " ");  // an empty owner is stored as one blank
    EXPECT_EQ(v.provin, "fi");
    v = Entered();
    v.scoSup = -5;  // a negative surface counts as given
    EXPECT_TRUE(reg::CheckAndAccept(port, v));
    EXPECT_TRUE(port.messages.empty());
}

class StructureListTest : public ::testing::Test {
  protected:
    testing_support::Census census;
};

TEST_F(StructureListTest, NewStructuresTakeTheCounterInsideTheTransaction) {
    reg::StructureList list(census.session);
    ASSERT_TRUE(list.Open());
    EXPECT_TRUE(list.Rows().empty());
    EXPECT_FALSE(list.CanChangeSelected());
    EXPECT_FALSE(list.ModifyStructure());  // nothing selected: nothing happens
    EXPECT_FALSE(list.DeleteStructure());

    census.port.AnswerNextEditor(Entered(1));
    ASSERT_TRUE(list.CreateStructure());
    ASSERT_EQ(list.Rows().size(), 1u);
    EXPECT_EQ(list.Rows()[0].id, 0);
    EXPECT_EQ(list.Rows()[0].changed, 1);
    EXPECT_EQ(list.Rows()[0].scoTit, 'A');
    EXPECT_EQ(reg::TitleWord(list.Rows()[0].scoTit), "Propriet\xE0");
    EXPECT_EQ(IdDepo(census), "1");
    const auto& editor = census.port.editorRequests[0];
    EXPECT_EQ(editor.values, reg::BlankStructure());
    EXPECT_EQ(editor.municipalityEntries.size(), 301u);

    // Withdrawn with "Ripristina": the row and the counter step go together.
    EXPECT_TRUE(list.RevertChanges());
    EXPECT_TRUE(list.Rows().empty());
    EXPECT_EQ(IdDepo(census), "0");
    census.port.AnswerNextEditor(Entered(2));
    ASSERT_TRUE(list.CreateStructure());
    EXPECT_EQ(list.Rows()[0].id, 0);             // the same identifier again
    census.port.AnswerNextEditor(std::nullopt);  // cancelled: nothing stored
    EXPECT_FALSE(list.CreateStructure());
    EXPECT_TRUE(list.Close());  // closing commits
    EXPECT_EQ(census.Rows().size(), 1u);
    EXPECT_EQ(IdDepo(census), "1");
}

TEST_F(StructureListTest, DeletionsAndChangesAreMarkedUntilTheNextLoad) {
    census.Store({census.ValidRecord(0), census.ValidRecord(1), census.ValidRecord(2)});
    reg::StructureList list(census.session);
    ASSERT_TRUE(list.Open());
    ASSERT_EQ(list.Rows().size(), 3u);
    list.Select(1);
    EXPECT_EQ(list.SelectionId(), "1");
    EXPECT_EQ(list.SelectionText(), "VIA ROMA 2 - Localit\xE0 1");
    ASSERT_TRUE(list.DeleteStructure());
    EXPECT_EQ(list.Rows()[1].deleted, 1);
    EXPECT_FALSE(list.DeleteStructure());  // a deleted row cannot be deleted again
    EXPECT_FALSE(list.CanChangeSelected());

    list.Select(2);
    auto read = list.ReadStructure(2);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->copPro, "");  // a stored blank owner comes back empty
    EXPECT_EQ(read->copTit, " ");
    auto changed = *read;
    changed.ubicaz = "VIA NUOVA";
    census.port.AnswerNextEditor(changed);
    ASSERT_TRUE(list.ModifyStructure());
    EXPECT_EQ(census.port.editorRequests.back().values, *read);
    EXPECT_EQ(list.Rows().Text(list.Rows()[2], reg::CDepotRowList::Field::Ubicaz), "VIA NUOVA");
    EXPECT_EQ(list.Rows()[2].changed, 1);

    EXPECT_TRUE(list.RevertChanges());
    ASSERT_EQ(list.Rows().size(), 3u);
    EXPECT_EQ(list.Rows()[1].deleted, 0);  // back, unmarked
    EXPECT_EQ(list.Rows().Text(list.Rows()[2], reg::CDepotRowList::Field::Ubicaz), "VIA ROMA 3");
    EXPECT_EQ(list.Rows()[2].changed, 0);

    list.Select(0);
    ASSERT_TRUE(list.DeleteStructure());
    EXPECT_TRUE(list.RefreshView());  // commits
    EXPECT_EQ(list.Rows().size(), 2u);
    EXPECT_TRUE(list.Close());
    EXPECT_EQ(census.Rows().size(), 2u);
}

TEST_F(StructureListTest, AMunicipalityMissingFromTheListShowsAsNonExistent) {
    reg::StructureList list(census.session);
    ASSERT_TRUE(list.Open());
    auto v = Entered();
    v.comune = 4000;
    census.port.AnswerNextEditor(v);
    ASSERT_TRUE(list.CreateStructure());
    EXPECT_EQ(list.Rows().ComuneName(list.Rows()[0]), "*** Inesistente ***");
    EXPECT_TRUE(list.RefreshView());
    EXPECT_TRUE(list.Rows().empty());  // stored, but not listed
    EXPECT_TRUE(list.Close());
    EXPECT_EQ(census.Rows().size(), 1u);
}

TEST_F(StructureListTest, AStoreThatFailsLeavesTheCounterAndTheList) {
    reg::StructureList list(census.session);
    ASSERT_TRUE(list.Open());
    auto v = Entered();
    v.comune = 70000;  // beyond the column
    census.port.AnswerNextEditor(v);
    EXPECT_FALSE(list.CreateStructure());
    EXPECT_TRUE(list.Rows().empty());
    EXPECT_EQ(IdDepo(census), "0");
    EXPECT_FALSE(census.port.messages.empty());
}

}  // namespace

namespace {

// Another program holds the write lock: the window's transaction cannot begin, so the window does not
// open at all, rather than storing every change at once where nothing could be withdrawn.
TEST(StructureListLock, TheListDoesNotOpenWithoutItsTransaction) {
    testing_support::Census census;
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(census.path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_busy_timeout(census.session.Connection()->Database()->handle(), 50);
    census.port.Clear();
    {
        reg::StructureList list(census.session);
        EXPECT_FALSE(list.Open());
        EXPECT_FALSE(list.IsOpen());
        EXPECT_TRUE(list.Rows().empty());
        EXPECT_FALSE(list.DeleteStructure());  // nothing to act on
    }
    ASSERT_EQ(census.port.messages.size(), 1u);  // nothing follows about a transaction never begun
    EXPECT_TRUE(census.port.messages[0].text.starts_with("Errore in fase di avvio della transazione\n\n"));
    EXPECT_EQ(census.port.messages[0].icon, ui::Icon::Stop);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    // Once the other program lets go, the list opens, and its changes can be withdrawn.
    census.Store({census.ValidRecord(1)});
    census.port.Clear();
    reg::StructureList list(census.session);
    ASSERT_TRUE(list.Open());
    list.Select(0);
    ASSERT_TRUE(list.DeleteStructure());
    ASSERT_TRUE(list.RevertChanges());
    EXPECT_EQ(list.Rows().size(), 1u);
    EXPECT_EQ(census.Rows().size(), 1u);
    EXPECT_TRUE(census.port.messages.empty());
}

// The counter has reached the last identifier the column can hold: the new structure is refused with
// a message that says so, and nothing is stored.
TEST(StructureListLock, AnIdentifierThatDoesNotFitIsRefusedByName) {
    testing_support::Census census;
    {
        db::CDbTable master(census.session.Connection(), "master");
        ASSERT_TRUE(master.SelectIndex("codice") && master.Seek({"0"}).found() && master.Edit() &&
                    master.SetField("id_depo", "32768") && master.Update());
    }
    census.port.Clear();
    reg::StructureList list(census.session);
    ASSERT_TRUE(list.Open());
    census.port.AnswerNextEditor(Entered());
    EXPECT_FALSE(list.CreateStructure());
    ASSERT_EQ(census.port.messages.size(), 1u);
    EXPECT_EQ(census.port.LastMessage().text,
              "Impossibile registrare la struttura: l'identificativo 32768 supera il massimo consentito "
              "(32767).");
    EXPECT_TRUE(list.Rows().empty());
    EXPECT_TRUE(list.Close());
    EXPECT_TRUE(census.Rows().empty());
    EXPECT_EQ(IdDepo(census), "32768");
}

}  // namespace

namespace {

// Read a part at a time, the list comes out as it does read at once: each row once, in order, and a
// command on a row first reads the rest.
TEST_F(StructureListTest, ReadInPartsTheListIsTheWholeOne) {
    std::vector<census::Structure> records;
    for (int i = 0; i < 40; ++i) {
        records.push_back(census.ValidRecord(i));
    }
    census.Store(records);
    const auto whole = reg::LoadRows(*census.session.Connection());
    ASSERT_TRUE(whole);
    ASSERT_EQ(whole->size(), 40u);
    reg::StructureList list(census.session);
    ASSERT_TRUE(list.Open(std::size_t{3}));
    EXPECT_EQ(list.Rows().size(), 3u);
    EXPECT_FALSE(list.IsComplete());
    ASSERT_TRUE(list.ReadMore(2, (*whole)[20].id));  // on to a structure far down
    EXPECT_EQ(list.Rows().size(), 21u);
    list.Select(1);
    ASSERT_TRUE(list.DeleteStructure());
    EXPECT_TRUE(list.IsComplete());
    ASSERT_EQ(list.Rows().size(), whole->size());
    using Field = reg::CDepotRowList::Field;
    for (std::size_t i = 0; i < whole->size(); ++i) {
        EXPECT_EQ(list.Rows()[i].id, (*whole)[i].id);
        EXPECT_EQ(list.Rows().Text(list.Rows()[i], Field::Ubicaz), whole->Text((*whole)[i], Field::Ubicaz));
        EXPECT_EQ(list.Rows().ComuneName(list.Rows()[i]), whole->ComuneName((*whole)[i]));
        EXPECT_EQ(list.Rows()[i].deleted, i == 1 ? 1 : 0);
    }
    EXPECT_TRUE(list.ReadMore(5));  // nothing left: done at once
    EXPECT_TRUE(list.Close());
}

// Runs `sql` on the census file from another handle, past the census's checks of lengths and ranges.
void ExecOnFile(const std::string& path, const std::string& sql) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    const std::string unchecked = "PRAGMA ignore_check_constraints = ON; " + sql;
    EXPECT_EQ(sqlite3_exec(other, unchecked.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(other);
    sqlite3_close(other);
}

// Makes depositi take nulls everywhere, as a census from elsewhere may hold them.
void AllowNulls(const std::string& path) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    sqlite3_stmt* version = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(other, "PRAGMA schema_version", -1, &version, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(version), SQLITE_ROW);
    const std::string next = std::to_string(sqlite3_column_int(version, 0) + 1);
    sqlite3_finalize(version);
    const std::string sql =
        "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = replace(sql, ' NOT NULL', "
        "'') WHERE name = 'depositi'; PRAGMA writable_schema = OFF; PRAGMA schema_version = " +
        next + ";";
    EXPECT_EQ(sqlite3_exec(other, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(other);
    sqlite3_close(other);
}

// Every row of two lists alike, in all the grid shows.
void ExpectSameRows(const reg::CDepotRowList& read, const reg::CDepotRowList& expected) {
    using Field = reg::CDepotRowList::Field;
    ASSERT_EQ(read.size(), expected.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        const reg::CDepotRow& a = read[i];
        const reg::CDepotRow& b = expected[i];
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(read.ComuneName(a), expected.ComuneName(b));
        EXPECT_EQ(a.provin, b.provin);
        EXPECT_EQ(a.scoTit, b.scoTit);
        EXPECT_EQ(a.copTit, b.copTit);
        EXPECT_EQ(a.flags, b.flags);
        EXPECT_EQ(a.scoSup, b.scoSup);
        EXPECT_EQ(a.copSup, b.copSup);
        EXPECT_EQ(a.counts, b.counts);
        for (Field f : {Field::Ubicaz, Field::Local, Field::ScoPro, Field::CopPro}) {
            EXPECT_EQ(read.Text(a, f), expected.Text(b, f));
        }
    }
}

// The rows read straight from the selection are those the window makes of the structures the editor
// reads, on a census with odd values: empty texts and nulls, trailing blanks, accented letters, counts
// beyond their column, a title of two letters; streamed, and kept in memory once the window has changed
// a row.
TEST_F(StructureListTest, ReadStraightTheRowsAreThoseOfTheStructuresRead) {
    std::vector<census::Structure> records;
    for (int i = 0; i < 6; ++i) {
        records.push_back(census.ValidRecord(i));
    }
    census.Store(records);
    const auto& columns = census::Columns();
    const std::string& firstCount = columns[census::kFirstCount].name;
    const std::string& lastCount = columns[census::kRecordFields - 1].name;
    AllowNulls(census.path);
    ExecOnFile(
        census.path,
        "UPDATE depositi SET ubicaz = '', local = NULL, provin = 'F ', sco_tit = NULL, cop_tit = 'BX', "
        "sco_sup = NULL, deposito = NULL, " +
            firstCount + " = 70000, " + lastCount +
            " = -40000 WHERE ID = 1;"
            "UPDATE depositi SET ubicaz = 'VIA   ', local = 'Citt\xC3\xA0 ', sco_pro = NULL, "
            "cop_pro = '  ', provin = NULL, direzle = 2, cop_sup = -5 WHERE ID = 3;");
    reg::StructureList list(census.session);
    ASSERT_TRUE(list.Open());
    db::CDbConnection& connection = *census.session.Connection();
    reg::CDepotRowList expected;
    for (const reg::CDepotRow& row : list.Rows()) {
        const auto read = list.ReadStructure(row.id);
        ASSERT_TRUE(read);
        expected.Add(*read, reg::ComuneName(connection, read->comune));
    }
    ASSERT_EQ(expected.size(), 6u);
    EXPECT_EQ(expected.Text(expected[3], reg::CDepotRowList::Field::Local), "Citt\xE0");
    ExpectSameRows(list.Rows(), expected);

    // With a row deleted in the window's transaction the selection keeps its rows in memory.
    list.Select(0);
    ASSERT_TRUE(list.DeleteStructure());
    const auto kept = reg::LoadRows(connection);
    ASSERT_TRUE(kept);
    reg::CDepotRowList rest;
    for (std::size_t i = 1; i < list.Rows().size(); ++i) {
        rest.Add(*list.ReadStructure(list.Rows()[i].id), list.Rows().ComuneName(list.Rows()[i]));
    }
    ExpectSameRows(*kept, rest);
    EXPECT_TRUE(census.port.messages.empty());
    EXPECT_TRUE(list.Close());
}

// A depositi whose numbers are declared otherwise than the census declares them gives values of another
// kind: the list is not read, with one message for the first such field, however many rows follow.
TEST_F(StructureListTest, ValuesOfAnotherKindRefuseTheListWithOneMessage) {
    census.Store({census.ValidRecord(0), census.ValidRecord(1), census.ValidRecord(2)});
    ExecOnFile(census.path,
               "CREATE TABLE copia AS SELECT * FROM depositi; DROP TABLE depositi; "
               "ALTER TABLE copia RENAME TO depositi;");
    census.port.Clear();
    EXPECT_FALSE(reg::LoadRows(*census.session.Connection()));
    ASSERT_EQ(census.port.messages.size(), 1u);
    EXPECT_TRUE(census.port.messages[0].text.starts_with("Errore campo (ID) nella select corrente\n\n"));
    EXPECT_TRUE(
        census.port.messages[0].text.ends_with("\n\nIl campo contiene un valore di tipo diverso da "
                                               "quello previsto."));
    EXPECT_EQ(census.port.messages[0].icon, ui::Icon::Stop);
}

// The compact listed form gives back what the grid shows, row after row: texts (empty ones and those
// with Windows-1252 letters too), the province, the flags, the titles' letters and the counts.
TEST(DepotRowList, KeepsWhatTheGridShows) {
    reg::CDepotRowList rows;
    census::Structure a;
    a.id = 32766;
    a.ubicaz = "VIA DELL'UNIT\xC0 D'ITALIA 1";
    a.local = "";
    a.provin = "FI";
    a.flags = {true, false, false, false, false, false, true};
    a.scoPro = "COMUNE";
    a.scoSup = 2147483647;
    a.scoTit = "B";
    a.copPro = " ";
    a.copTit = "";
    a.counts[0] = 32767;
    a.counts[35] = -1;
    census::Structure b = a;
    b.id = 0;
    b.ubicaz = "PIAZZA";
    b.provin = "S";
    rows.Add(a, "FIRENZE");
    rows.Add(b, "SIENA", 1);
    rows.Add(a, "FIRENZE");
    using Field = reg::CDepotRowList::Field;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].id, 32766);
    EXPECT_EQ(rows.Text(rows[0], Field::Ubicaz), "VIA DELL'UNIT\xC0 D'ITALIA 1");
    EXPECT_EQ(rows.Text(rows[0], Field::Local), "");
    EXPECT_EQ(rows.Text(rows[0], Field::ScoPro), "COMUNE");
    EXPECT_EQ(rows.Text(rows[0], Field::CopPro), " ");
    EXPECT_EQ(rows[0].Provin(), "FI");
    EXPECT_EQ(rows[1].Provin(), "S");
    EXPECT_TRUE(rows[0].Flag(0));
    EXPECT_FALSE(rows[0].Flag(1));
    EXPECT_TRUE(rows[0].Flag(6));
    EXPECT_EQ(rows[0].scoSup, 2147483647);
    EXPECT_EQ(rows[0].scoTit, 'B');
    EXPECT_EQ(rows[0].copTit, ' ');  // no title
    EXPECT_EQ(rows[0].counts[0], 32767);
    EXPECT_EQ(rows[0].counts[35], -1);
    EXPECT_EQ(rows.ComuneName(rows[0]), "FIRENZE");
    EXPECT_EQ(rows.ComuneName(rows[1]), "SIENA");
    EXPECT_EQ(rows.ComuneName(rows[2]), "FIRENZE");
    EXPECT_EQ(rows[1].changed, 1);
    EXPECT_EQ(rows.Text(rows[1], Field::Ubicaz), "PIAZZA");

    b.ubicaz = "PIAZZA NUOVA";
    rows.Replace(1, b, "SIENA", 1);
    EXPECT_EQ(rows.Text(rows[1], Field::Ubicaz), "PIAZZA NUOVA");
    EXPECT_EQ(rows.Text(rows[2], Field::Ubicaz), "VIA DELL'UNIT\xC0 D'ITALIA 1");  // the others stay
}

}  // namespace

// "Trova": the identifier when the text is a number, else a part of the four texts, whatever the case
// and the accents; deleted rows too, in the list's order.
TEST(StructureFind, FindsByIdentifierAndByAPartOfTheTexts) {
    EXPECT_EQ(text::FoldForSearch("CITT\xC0 \xC6on \xDF\x8C \xD1"), "citta aeon ssoe n");
    reg::CDepotRowList rows;
    census::Structure s;
    const auto add = [&](int id, const char* location, const char* locality, const char* province,
                         const char* municipality, std::uint8_t deleted = 0) {
        s.id = static_cast<std::int16_t>(id);
        s.ubicaz = location;
        s.local = locality;
        s.provin = province;
        rows.Add(s, municipality);
        rows[rows.size() - 1].deleted = deleted;
    };
    add(3, "VIA ROMA 12", "CENTRO", "FI", "CITT\xC0 DI CASTELLO");
    add(12, "PIAZZA DUOMO", "Perignano", "PI", "LARI", 1);
    add(120, "VIALE \xC8LBA", "", "LU", "CAPANNORI");
    add(7, "STRADA", "", "PO", "PRATO");
    const auto found = [&rows](const char* text) { return reg::FindRows(rows, reg::StructureQuery(text)); };
    using Rows = std::vector<std::size_t>;
    EXPECT_EQ(found("citta"), Rows({0}));    // the municipality, its accent folded
    EXPECT_EQ(found("  elba "), Rows({2}));  // blanks at the ends do not count
    EXPECT_EQ(found("PERIG"), Rows({1}));    // the locality; the deleted row is found
    EXPECT_EQ(found("po"), Rows({3}));       // the province (and nothing else holds "po")
    EXPECT_EQ(found("12"), Rows({0, 1}));    // identifier 12 exactly, and "VIA ROMA 12"
    EXPECT_EQ(found("7"), Rows({3}));
    EXPECT_EQ(found("-3"), Rows());
    EXPECT_EQ(found(""), Rows());
    EXPECT_EQ(found("nessuna"), Rows());
}
