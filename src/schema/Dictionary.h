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
    // database just created (the creation handle). 1 when all seven were made.
    int CreateSpecialTables(engine::Database& creation);

    // The row writers: each adds one row through an open cursor and returns the result of storing it.
    static int AddTableEntry(db::CDbTable& tavole, const std::string& nome, const std::string& denom,
                             const std::string& note);
    static int AddFieldEntry(db::CDbTable& campi, const std::string& tavola, const std::string& nome,
                             char tipo, int size, int obblig, const std::string& denom,
                             const std::string& note, const std::optional<std::string>& regola,
                             const std::optional<std::string>& mess);
    static int AddIndexEntry(db::CDbTable& indici, const std::string& tavola, const std::string& nome,
                             int primkey, const std::string& denom, const std::string& note);
    static int AddIndexColumnEntry(db::CDbTable& indici2, const std::string& tavola, const std::string& nome,
                                   int progr, const std::string& campo);

    // The descriptions of the four application tables.
    void DescribeMaster(db::CDbTable& tavole, db::CDbTable& campi, db::CDbTable& indici,
                        db::CDbTable& indici2);
    void DescribeRegazi(db::CDbTable& tavole, db::CDbTable& campi, db::CDbTable& indici,
                        db::CDbTable& indici2);
    void DescribeRegcom(db::CDbTable& tavole, db::CDbTable& campi, db::CDbTable& indici,
                        db::CDbTable& indici2);
    void DescribeDepositi(db::CDbTable& tavole, db::CDbTable& campi, db::CDbTable& indici,
                          db::CDbTable& indici2);

    // Creates every table listed in tavole, in order of name, with its columns and indexes; stops at
    // the first table that fails. The connection and the creation handle are on the same file.
    int CreateTablesFromDictionary(db::CDbConnection& connection, engine::Database& creation);
    int CreateTableFromDictionary(const std::string& table, db::CDbConnection& connection,
                                  engine::Database& creation);
    // Creates the relations listed in relaz and relaz2; 1 when all were made (or there are none).
    int CreateRelations(db::CDbConnection& connection, engine::Database& creation);

  private:
    void Show(const std::string& text, const std::string& caption);

    ui::Port& port_;
};

// A text constant of the SQL fragments: between double quotes, a quote inside doubled.
std::string SqlText(const std::string& value);

}  // namespace schema
