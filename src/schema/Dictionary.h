// The data dictionary that every census database carries: seven special tables describing the
// application tables, their columns, indexes and relations; the physical tables are created from it.
#pragma once

#include <optional>
#include <string>

#include "db/DbConnection.h"
#include "db/DbTable.h"
#include "engine/Database.h"
#include "ui/Port.h"

namespace schema {

class CDictionary {
  public:
    explicit CDictionary(ui::Port& port) : port_(port) {}

    // Creates tavole, campi, indici, indici2, relaz, relaz2 and utenti, each with its one index, in a
    // database just created (the creation handle). Done when all seven were made.
    ui::Outcome CreateSpecialTables(engine::Database& creation);

    // The row writers: each adds one row through an open cursor; done when it was stored. The first
    // step that fails stops the row (its failure is shown).
    static ui::Outcome AddTableEntry(db::CDbTable& tavole, const std::string& nome, const std::string& denom,
                                     const std::string& note);
    static ui::Outcome AddFieldEntry(db::CDbTable& campi, const std::string& tavola, const std::string& nome,
                                     char tipo, int size, int obblig, const std::string& denom,
                                     const std::string& note, const std::optional<std::string>& regola,
                                     const std::optional<std::string>& mess);
    static ui::Outcome AddIndexEntry(db::CDbTable& indici, const std::string& tavola, const std::string& nome,
                                     int primkey, const std::string& denom, const std::string& note);
    static ui::Outcome AddIndexColumnEntry(db::CDbTable& indici2, const std::string& tavola,
                                           const std::string& nome, int progr, const std::string& campo);

    // The descriptions of the four application tables; each stops at the first row not stored.
    ui::Outcome DescribeMaster(db::CDbTable& tavole, db::CDbTable& campi, db::CDbTable& indici,
                               db::CDbTable& indici2);
    ui::Outcome DescribeRegazi(db::CDbTable& tavole, db::CDbTable& campi, db::CDbTable& indici,
                               db::CDbTable& indici2);
    ui::Outcome DescribeRegcom(db::CDbTable& tavole, db::CDbTable& campi, db::CDbTable& indici,
                               db::CDbTable& indici2);
    ui::Outcome DescribeDepositi(db::CDbTable& tavole, db::CDbTable& campi, db::CDbTable& indici,
                                 db::CDbTable& indici2);

    // Creates every table listed in tavole, in order of name, with its columns and indexes; stops at
    // the first table that fails. The connection and the creation handle are on the same file.
    ui::Outcome CreateTablesFromDictionary(db::CDbConnection& connection, engine::Database& creation);
    ui::Outcome CreateTableFromDictionary(const std::string& table, db::CDbConnection& connection,
                                          engine::Database& creation);
    // Creates the relations listed in relaz and relaz2; done when all were made (or there are none).
    ui::Outcome CreateRelations(db::CDbConnection& connection, engine::Database& creation);

  private:
    void Show(const std::string& text, const std::string& caption);

    ui::Port& port_;
};

// A text constant of the SQL fragments: between double quotes, a quote inside doubled.
std::string SqlText(const std::string& value);

// Refuses a census whose application tables hold a column this program does not know: a later
// version's, whose data an import or an edit here would lose.
engine::Status CheckKnownColumns(engine::Database& census);

}  // namespace schema
