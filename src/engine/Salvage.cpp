// Salvage of a damaged census into a blank one: the rows recovered from it, those still on its pages
// (read with the page reader), and the rows SQLite's recovery could not place, each put into the table
// of the blank census whose columns its values fit.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/Database.h"
#include "engine/FileWork.h"
#include "engine/Sql.h"
#include "engine/Sqlite.h"

extern "C" int sqlite3_dbdata_init(sqlite3* db, char** error, const sqlite3_api_routines* api);

namespace engine {

using detail::ExecOn;
using detail::Failure;
using detail::IsFatal;
using detail::kLostRows;
using detail::NotCensus;
using detail::QueryInt;
using detail::RunFinish;
using detail::Seal;
using detail::Stmt;
using detail::TableExists;
using detail::Utf8;

namespace {

// A column of a table of the blank census, and the values it can hold as SQLite stores them under the
// affinity of its declared type.
struct Column {
    enum class Holds { Numbers, NumbersOrText, Text, Anything };
    std::string name;
    Holds holds = Holds::Anything;
    bool nullable = true;
    bool rowid = false;  // names the row identifier: its value is stored as NULL in the record

    bool Fits(int type) const {
        switch (type) {
            case SQLITE_NULL:
                return nullable || rowid;
            case SQLITE_INTEGER:
            case SQLITE_FLOAT:
                return holds != Holds::Text;
            case SQLITE_TEXT:
                return holds != Holds::Numbers;
            default:
                return holds == Holds::Anything;
        }
    }
};

// SQLite's rules for the affinity of a declared type.
Column::Holds HoldsOf(std::string declared) {
    std::transform(declared.begin(), declared.end(), declared.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto has = [&](const char* part) { return declared.find(part) != std::string::npos; };
    if (has("INT")) {
        return Column::Holds::Numbers;
    }
    if (has("CHAR") || has("CLOB") || has("TEXT")) {
        return Column::Holds::Text;
    }
    if (has("BLOB") || declared.empty()) {
        return Column::Holds::Anything;
    }
    if (has("REAL") || has("FLOA") || has("DOUB")) {
        return Column::Holds::Numbers;
    }
    return Column::Holds::NumbersOrText;
}

// A table of the blank census. The tables to fill receive recovered rows; a recovered row that fits
// another table is one of the rows the blank holds already.
struct BlankTable {
    std::string name;  // UTF-8
    std::vector<Column> columns;
    bool fill = false;
    std::map<std::vector<std::size_t>, Stmt> inserts;  // by the columns given

    bool Fits(const std::vector<sqlite3_value*>& values) const {
        if (values.size() != columns.size()) {
            return false;
        }
        for (std::size_t c = 0; c < values.size(); ++c) {
            if (!columns[c].Fits(sqlite3_value_type(values[c]))) {
                return false;
            }
        }
        return true;
    }
};

std::vector<BlankTable> TablesOf(sqlite3* blank, const std::vector<std::string>& fill) {
    std::vector<BlankTable> tables;
    Stmt names(blank,
               "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE "
               "'\\' ORDER BY name");
    while (names.prepared() && names.Step() == SQLITE_ROW) {
        BlankTable table{.name = names.ColumnText(0)};
        table.fill = std::any_of(fill.begin(), fill.end(),
                                 [&](const std::string& name) { return Utf8(name) == table.name; });
        Stmt info(blank,
                  "SELECT name, type, \"notnull\", pk = 1 AND upper(type) = 'INTEGER' AND (SELECT count(*) "
                  "FROM pragma_table_info(?1) WHERE pk > 0) = 1 FROM pragma_table_info(?1) ORDER BY cid");
        info.BindText(1, table.name);
        while (info.prepared() && info.Step() == SQLITE_ROW) {
            table.columns.push_back({.name = info.ColumnText(0),
                                     .holds = HoldsOf(info.ColumnText(1)),
                                     .nullable = info.ColumnInt(2) == 0,
                                     .rowid = info.ColumnInt(3) != 0});
        }
        tables.push_back(std::move(table));
    }
    return tables;
}

// Puts recovered rows into the tables of the blank census, keeping the row identifiers they had.
class Placer {
  public:
    Placer(sqlite3* blank, const std::function<void()>& keepResponsive)
        : blank_(blank), keepResponsive_(keepResponsive) {}

    // Stores `rowid` and `values` as the given columns of `table`; a row that breaks a rule of the
    // table or takes a key already taken is left out.
    void Place(BlankTable& table, const std::vector<std::size_t>& columns, sqlite3_value* rowid,
               const std::vector<sqlite3_value*>& values) {
        Stmt& insert = table.inserts[columns];
        if (!insert.prepared()) {
            std::string names = "rowid", values = "?1";
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const Column& column = table.columns[columns[c]];
                names += ", " + QuoteIdentifier(column.name);
                const std::string value = "?" + std::to_string(c + 2);
                values += column.rowid ? ", coalesce(" + value + ", ?1)" : ", " + value;
            }
            insert = Stmt(blank_, "INSERT OR IGNORE INTO main." + QuoteIdentifier(table.name) + " (" + names +
                                      ") VALUES (" + values + ")");
            if (!insert.prepared()) {
                return;
            }
        }
        insert.Reset();
        sqlite3_bind_value(insert.get(), 1, rowid);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            sqlite3_bind_value(insert.get(), static_cast<int>(c + 2), values[c]);
        }
        const int rc = insert.Step();
        if (rc == SQLITE_DONE) {
            placed += sqlite3_changes(blank_) > 0 ? 1 : 0;
        } else if (IsFatal(rc) && failure) {
            failure = Failure(blank_, rc);
        }
        if (keepResponsive_ && ++rows_ % 256 == 0) {
            keepResponsive_();
        }
    }

    std::int64_t placed = 0;
    Status failure = Status::Ok();

  private:
    sqlite3* blank_;
    const std::function<void()>& keepResponsive_;
    std::int64_t rows_ = 0;
};

// The values of `count` columns of `row` from column `first` on.
std::vector<sqlite3_value*> ValuesOf(sqlite3_stmt* row, int first, std::size_t count) {
    std::vector<sqlite3_value*> values(count);
    for (std::size_t c = 0; c < count; ++c) {
        values[c] = sqlite3_column_value(row, first + static_cast<int>(c));
    }
    return values;
}

// Reads the b-trees of a damaged file straight off its pages, decoded by SQLite's own page readers
// (sqlite_dbdata, sqlite_dbptr) on a connection of their own. Of the file's description of its tables
// it needs only the names and root pages its rows still give, also where the statement that creates a
// table no longer reads as SQL. While it lives, `from` reads its description of its tables without
// stopping at what does not read.
class PageReader {
  public:
    explicit PageReader(sqlite3* from) : from_(from) {
        sqlite3_db_config(from_, SQLITE_DBCONFIG_WRITABLE_SCHEMA, -1, &writable_);
        sqlite3_db_config(from_, SQLITE_DBCONFIG_WRITABLE_SCHEMA, 1, nullptr);
        read_ = Stmt(from_, "SELECT data FROM sqlite_dbpage WHERE pgno = ?1");
        if (!read_.prepared() ||
            sqlite3_open_v2(":memory:", &pages_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_dbdata_init(pages_, nullptr, nullptr) != SQLITE_OK ||
            sqlite3_create_function(pages_, "getpage", 1, SQLITE_UTF8, this, &PageReader::GetPage, nullptr,
                                    nullptr) != SQLITE_OK) {
            sqlite3_close(pages_);
            pages_ = nullptr;
        }
    }
    ~PageReader() {
        sqlite3_close(pages_);
        read_ = Stmt();
        sqlite3_db_config(from_, SQLITE_DBCONFIG_WRITABLE_SCHEMA, writable_, nullptr);
    }
    PageReader(const PageReader&) = delete;
    PageReader& operator=(const PageReader&) = delete;

    bool Usable() const { return pages_ != nullptr; }

    // The root page of the table named `name` (UTF-8) in the rows of the description of the tables
    // (type, name, table, root page, statement), by its name or its table's; 0 when none is found.
    std::int64_t RootOf(const std::string& name) {
        std::int64_t root = 0;
        ForEachRow(1, [&](sqlite3_value*, const std::vector<sqlite3_value*>& values) {
            const auto text = [&](std::size_t i) {
                const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(values[i]));
                return std::string(t ? t : "");
            };
            if (values.size() >= 4 && text(0) == "table" && (text(1) == name || text(2) == name) &&
                sqlite3_value_type(values[3]) == SQLITE_INTEGER && sqlite3_value_int64(values[3]) > 1) {
                root = sqlite3_value_int64(values[3]);
            }
            return root == 0;
        });
        return root;
    }

    // Calls `row` with the key and the values of every row on the leaves of the b-tree at `root`, while
    // it answers true. Each page is read once, so pointers that a damage turned into a loop end.
    void ForEachRow(
        std::int64_t root,
        const std::function<bool(sqlite3_value* key, const std::vector<sqlite3_value*>& values)>& row) {
        if (!pages_ || root <= 0) {
            return;
        }
        Stmt tree(
            pages_,
            "WITH RECURSIVE tree(p) AS (SELECT ?1 UNION SELECT d.child FROM sqlite_dbptr('getpage()') AS d, "
            "tree WHERE d.pgno = tree.p) SELECT p FROM tree");
        Stmt cells(pages_, "SELECT cell, field, value FROM sqlite_dbdata('getpage()') WHERE pgno = ?1");
        if (!tree.prepared() || !cells.prepared()) {
            return;
        }
        tree.BindInt(1, root);
        std::vector<sqlite3_value*> values;
        sqlite3_value* key = nullptr;
        const auto release = [&] {
            sqlite3_value_free(key);
            key = nullptr;
            for (sqlite3_value* value : values) {
                sqlite3_value_free(value);
            }
            values.clear();
        };
        bool more = true;
        while (more && tree.Step() == SQLITE_ROW) {
            cells.Reset();
            cells.BindInt(1, tree.ColumnInt(0));
            std::int64_t cell = -1;
            // Only the cells of a table's leaves have a key; those of its inner pages and of indexes give
            // none.
            const auto give = [&] {
                more = !key || row(key, values);
                release();
            };
            while (more && cells.Step() == SQLITE_ROW) {
                if (cells.ColumnInt(0) != cell) {
                    give();
                    cell = cells.ColumnInt(0);
                }
                sqlite3_value* value = sqlite3_value_dup(sqlite3_column_value(cells.get(), 2));
                if (cells.ColumnInt(1) < 0) {
                    sqlite3_value_free(key);
                    key = value;
                } else if (static_cast<std::size_t>(cells.ColumnInt(1)) == values.size()) {
                    values.push_back(value);
                } else {
                    sqlite3_value_free(value);
                }
            }
            if (more) {
                give();
            }
        }
        release();
    }

  private:
    // getpage(N): page N of the damaged file, or with N = 0 the number of its pages.
    static void GetPage(sqlite3_context* context, int, sqlite3_value** arguments) {
        auto* self = static_cast<PageReader*>(sqlite3_user_data(context));
        const std::int64_t pgno = sqlite3_value_int64(arguments[0]);
        if (pgno == 0) {
            sqlite3_result_int64(context, QueryInt(self->from_, "SELECT count(*) FROM sqlite_dbpage"));
            return;
        }
        self->read_.Reset();
        self->read_.BindInt(1, pgno);
        if (self->read_.Step() == SQLITE_ROW) {
            sqlite3_result_value(context, sqlite3_column_value(self->read_.get(), 0));
        }
        self->read_.Reset();
    }

    sqlite3* from_;
    sqlite3* pages_ = nullptr;
    Stmt read_;
    int writable_ = 0;
};

// The name under which the blank's own rows of `table` are set aside while the recovered rows go in.
std::string AsideName(const BlankTable& table) {
    return "temp." + QuoteIdentifier("velumbra_vuoto_" + table.name);
}

}  // namespace

Status detail::Salvage(sqlite3* out, sqlite3* blank, sqlite3* from, const Database::BlankCensus& census,
                       std::string_view path, bool headerRead, const std::function<void()>& keepResponsive) {
    PageReader pages(from);
    Status s =
        ExecOn(blank, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA temp_store = MEMORY");
    if (s) {
        s = ExecOn(blank, "BEGIN");
    }
    std::vector<BlankTable> tables = TablesOf(blank, census.tables);
    for (const BlankTable& table : tables) {
        if (s && table.fill) {
            s = ExecOn(blank, "CREATE TABLE " + AsideName(table) + " AS SELECT * FROM main." +
                                  QuoteIdentifier(table.name) + "; DELETE FROM main." +
                                  QuoteIdentifier(table.name));
        }
    }
    if (!s) {
        return s;
    }
    Placer placer(blank, keepResponsive);

    // The tables recovered under their own description.
    for (BlankTable& table : tables) {
        if (!table.fill || !TableExists(out, table.name)) {
            continue;
        }
        std::vector<std::size_t> columns;
        std::string names = "rowid";
        Stmt info(out, "SELECT name FROM pragma_table_info(?1)");
        info.BindText(1, table.name);
        while (info.prepared() && info.Step() == SQLITE_ROW) {
            const std::string name = info.ColumnText(0);
            for (std::size_t c = 0; c < table.columns.size(); ++c) {
                if (sqlite3_stricmp(table.columns[c].name.c_str(), name.c_str()) == 0) {
                    columns.push_back(c);
                    names += ", " + QuoteIdentifier(name);
                }
            }
        }
        Stmt rows(out, "SELECT " + names + " FROM " + QuoteIdentifier(table.name));
        while (rows.prepared() && rows.Step() == SQLITE_ROW && placer.failure) {
            placer.Place(table, columns, sqlite3_column_value(rows.get(), 0),
                         ValuesOf(rows.get(), 1, columns.size()));
        }
    }

    // The rows on the pages of the tables to fill, by the position of their values: where the
    // statement that creates a table was damaged, they are not among those recovered above.
    if (pages.Usable()) {
        for (BlankTable& table : tables) {
            const std::int64_t root = table.fill ? pages.RootOf(table.name) : 0;
            std::vector<std::size_t> all(table.columns.size());
            for (std::size_t c = 0; c < all.size(); ++c) {
                all[c] = c;
            }
            pages.ForEachRow(root, [&](sqlite3_value* key, const std::vector<sqlite3_value*>& values) {
                if (table.Fits(values)) {
                    placer.Place(table, all, key, values);
                }
                return static_cast<bool>(placer.failure);
            });
        }
    }

    // The lost rows. Those of an index have no row identifier; the pieces of the description of the
    // tables tell the b-trees of the tables they name.
    if (TableExists(out, kLostRows)) {
        const std::string lost = QuoteIdentifier(kLostRows);
        const std::int64_t fields =
            QueryInt(out, "SELECT count(*) - 4 FROM pragma_table_info(" + QuoteLiteral(kLostRows) + ")");
        const std::string schemaRow =
            "nfield = 5 AND c0 IN ('table', 'index', 'trigger') AND typeof(c4) = 'text' AND c4 LIKE 'CREATE "
            "%'";
        std::map<std::int64_t, std::string> roots;  // root page -> table
        if (fields >= 5) {
            Stmt schema(out, "SELECT c3, c1 FROM " + lost + " WHERE " + schemaRow +
                                 " AND c0 = 'table' AND typeof(c3) = 'integer'");
            while (schema.prepared() && schema.Step() == SQLITE_ROW) {
                roots[schema.ColumnInt(0)] = schema.ColumnText(1);
            }
        }
        std::vector<std::size_t> all;
        Stmt rows(out, "SELECT rootpgno, nfield, id, * FROM " + lost + " WHERE id IS NOT NULL" +
                           (fields >= 5 ? " AND NOT (" + schemaRow + ")" : std::string()));
        while (rows.prepared() && rows.Step() == SQLITE_ROW && placer.failure) {
            // Columns: the three chosen, then rootpgno, pgno, nfield, id, c0...
            constexpr int kFirstValue = 7;
            const auto nfield =
                static_cast<std::size_t>(std::clamp<std::int64_t>(rows.ColumnInt(1), 0, fields));
            const auto root = roots.find(rows.ColumnInt(0));
            const std::vector<sqlite3_value*> values = ValuesOf(rows.get(), kFirstValue, nfield);
            BlankTable* chosen = nullptr;
            int fitting = 0;
            for (BlankTable& table : tables) {
                if (table.Fits(values)) {
                    ++fitting;
                    if (!chosen || (root != roots.end() && root->second == table.name)) {
                        chosen = &table;
                    }
                }
            }
            const bool named = chosen && root != roots.end() && root->second == chosen->name;
            if (!chosen || !chosen->fill || (fitting > 1 && !named)) {
                continue;
            }
            all.resize(nfield);
            for (std::size_t c = 0; c < nfield; ++c) {
                all[c] = c;
            }
            placer.Place(*chosen, all, sqlite3_column_value(rows.get(), 2), values);
        }
    }
    if (!placer.failure) {
        return placer.failure;
    }
    for (BlankTable& table : tables) {
        table.inserts.clear();
        if (s && table.fill) {
            std::string names;
            for (const Column& column : table.columns) {
                names += (names.empty() ? "" : ", ") + QuoteIdentifier(column.name);
            }
            s = ExecOn(blank, "INSERT OR IGNORE INTO main." + QuoteIdentifier(table.name) + " (" + names +
                                  ") SELECT " + names + " FROM " + AsideName(table) + "; DROP TABLE " +
                                  AsideName(table));
        }
    }
    if (s) {
        s = RunFinish(blank, census.finish);
    }
    if (s) {
        s = ExecOn(blank, "COMMIT");
    }
    if (s && !headerRead && placer.placed == 0) {
        return NotCensus(path);
    }
    return s ? Seal(blank) : s;
}

}  // namespace engine
