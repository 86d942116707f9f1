#include "engine/Attributes.h"

#include <iterator>

#include "engine/Sql.h"
#include "engine/Sqlite.h"
#include "text/Text.h"

namespace engine::detail {

namespace {

constexpr std::string_view kFieldKind = "campo";
constexpr std::string_view kIndexKind = "indice";

std::string Table() {
    return QuoteIdentifier(kAttributesTable);
}

Status Run(sqlite3* db, const std::string& sql) {
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? Status::Ok() : Failure(db, rc);
}

Status EnsureTable(sqlite3* db) {
    return Run(db, "CREATE TABLE IF NOT EXISTS " + Table() +
                       " (\n"
                       "  \"tabella\" TEXT NOT NULL COLLATE NOCASE,\n"
                       "  \"genere\" TEXT NOT NULL,\n"
                       "  \"nome\" TEXT NOT NULL COLLATE NOCASE,\n"
                       "  \"obbligatorio\" BOOLEAN NOT NULL,\n"
                       "  \"testo_vuoto\" BOOLEAN,\n"
                       "  \"regola\" TEXT,\n"
                       "  \"messaggio\" TEXT,\n"
                       "  \"primario\" BOOLEAN,\n"
                       "  \"cluster\" BOOLEAN,\n"
                       "  \"ignora_null\" BOOLEAN,\n"
                       "  PRIMARY KEY (\"tabella\", \"genere\", \"nome\")\n"
                       ")");
}

// Makes room for the rows of a new object, or of a new table's objects when `object` is empty.
Status Forget(sqlite3* db, std::string_view table, std::string_view kind, std::string_view object) {
    std::string sql = "DELETE FROM " + Table() + " WHERE \"tabella\" = " + QuoteLiteral(Utf8(table));
    if (!object.empty()) {
        sql += " AND \"genere\" = " + QuoteLiteral(kind) + " AND \"nome\" = " + QuoteLiteral(Utf8(object));
    }
    return Run(db, sql);
}

Status Inserted(sqlite3* db, Stmt& insert) {
    if (!insert.prepared()) {
        return Failure(db, insert.rc() != SQLITE_OK ? insert.rc() : sqlite3_errcode(db));
    }
    const int rc = insert.Step();
    return rc == SQLITE_DONE ? Status::Ok() : Failure(db, rc);
}

// The rows of one kind of object of `table`, with the columns `columns` after the object's name.
Stmt Recorded(sqlite3* db, std::string_view table, std::string_view kind, const std::string& columns) {
    Stmt rows(db, "SELECT \"nome\", " + columns + " FROM " + Table() +
                      " WHERE \"tabella\" = ?1 AND \"genere\" = ?2");
    if (rows.prepared()) {
        rows.BindText(1, Utf8(table));
        rows.BindText(2, kind);
    }
    return rows;
}

std::string NameOf(const Stmt& rows) {
    return text::Utf8ToCp1252Lossy(rows.ColumnText(0));
}

}  // namespace

bool IsAttributesTable(std::string_view name) {
    return text::LowerAscii(name) == kAttributesTable;
}

Status WriteFieldAttributes(sqlite3* db, std::string_view table, const std::vector<FieldDef>& fields) {
    Status s = EnsureTable(db);
    if (s) {
        // The table is new: rows its name still has were left by a table removed behind the engine's
        // back, and so were those of its indexes.
        s = Forget(db, table, kFieldKind, "");
    }
    Stmt insert(db, "INSERT INTO " + Table() +
                        " (\"tabella\", \"genere\", \"nome\", \"obbligatorio\", \"testo_vuoto\", \"regola\", "
                        "\"messaggio\") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    for (std::size_t i = 0; s && i < fields.size(); ++i) {
        const FieldDef& f = fields[i];
        insert.Reset();
        if (insert.prepared()) {
            insert.BindText(1, Utf8(table));
            insert.BindText(2, kFieldKind);
            insert.BindText(3, Utf8(f.name));
            insert.BindInt(4, f.required ? 1 : 0);
            insert.BindInt(5, f.allowZeroLength ? 1 : 0);
            insert.BindText(6, Utf8(f.validationRule));
            insert.BindText(7, Utf8(f.validationText));
        }
        s = Inserted(db, insert);
    }
    return s;
}

Status WriteIndexAttributes(sqlite3* db, std::string_view table, const IndexDef& index) {
    Status s = EnsureTable(db);
    if (s) {
        s = Forget(db, table, kIndexKind, index.name);
    }
    if (!s) {
        return s;
    }
    Stmt insert(db, "INSERT INTO " + Table() +
                        " (\"tabella\", \"genere\", \"nome\", \"obbligatorio\", \"primario\", \"cluster\", "
                        "\"ignora_null\") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    if (insert.prepared()) {
        insert.BindText(1, Utf8(table));
        insert.BindText(2, kIndexKind);
        insert.BindText(3, Utf8(index.name));
        insert.BindInt(4, index.required ? 1 : 0);
        insert.BindInt(5, index.primary ? 1 : 0);
        insert.BindInt(6, index.clustered ? 1 : 0);
        insert.BindInt(7, index.ignoreNulls ? 1 : 0);
    }
    return Inserted(db, insert);
}

// A file without a table of attributes has nothing recorded: the statements are not prepared then.
// Any other failure to read them is the caller's to know.
Status ReadFailure(sqlite3* db, const Stmt& rows) {
    if (!rows.prepared()) {
        const int rc = sqlite3_errcode(db);
        return rc == SQLITE_ERROR ? Status::Ok() : Failure(db, rc);
    }
    return rows.rc() == SQLITE_DONE ? Status::Ok() : Failure(db, rows.rc());
}

Result<std::map<std::string, FieldDef>> RecordedFieldAttributes(sqlite3* db, std::string_view table) {
    std::map<std::string, FieldDef> fields;
    Stmt rows =
        Recorded(db, table, kFieldKind,
                 "\"obbligatorio\", \"testo_vuoto\", coalesce(\"regola\", ''), coalesce(\"messaggio\", '')");
    while (rows.prepared() && rows.Step() == SQLITE_ROW) {
        FieldDef f;
        f.name = NameOf(rows);
        f.required = rows.ColumnInt(1) != 0;
        f.allowZeroLength = rows.ColumnInt(2) != 0;
        f.validationRule = text::Utf8ToCp1252Lossy(rows.ColumnText(3));
        f.validationText = text::Utf8ToCp1252Lossy(rows.ColumnText(4));
        const std::string key = text::LowerAscii(f.name);
        fields[key] = std::move(f);
    }
    if (Status read = ReadFailure(db, rows); !read) {
        return read;
    }
    return fields;
}

Result<std::map<std::string, IndexDef>> RecordedIndexAttributes(sqlite3* db, std::string_view table) {
    std::map<std::string, IndexDef> indexes;
    Stmt rows =
        Recorded(db, table, kIndexKind, "\"obbligatorio\", \"primario\", \"cluster\", \"ignora_null\"");
    while (rows.prepared() && rows.Step() == SQLITE_ROW) {
        IndexDef def;
        def.name = NameOf(rows);
        def.required = rows.ColumnInt(1) != 0;
        def.primary = rows.ColumnInt(2) != 0;
        def.clustered = rows.ColumnInt(3) != 0;
        def.ignoreNulls = rows.ColumnInt(4) != 0;
        const std::string key = text::LowerAscii(def.name);
        indexes[key] = std::move(def);
    }
    if (Status read = ReadFailure(db, rows); !read) {
        return read;
    }
    return indexes;
}

bool HoldsAttributesOf(sqlite3* out, sqlite3* blank) {
    static constexpr const char* kColumns[] = {"tabella",     "genere",     "nome",      "obbligatorio",
                                               "testo_vuoto", "regola",     "messaggio", "primario",
                                               "cluster",     "ignora_null"};
    std::string columns, match;
    for (std::size_t i = 0; i < std::size(kColumns); ++i) {
        const std::string column = QuoteIdentifier(kColumns[i]);
        columns += (i ? ", " : "") + column;
        // The names compare exactly here: the blank is made by the same program.
        match +=
            (i ? " AND " : "") + column + " IS ?" + std::to_string(i + 1) + (i < 3 ? " COLLATE BINARY" : "");
    }
    Stmt rows(blank, "SELECT " + columns + " FROM " + Table());
    if (!rows.prepared()) {
        return true;  // the blank keeps no attributes: there is nothing to hold
    }
    Stmt found(out, "SELECT count(*) FROM " + Table() + " WHERE " + match);
    if (!found.prepared()) {
        return false;
    }
    while (rows.Step() == SQLITE_ROW) {
        found.Reset();
        for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
            sqlite3_bind_value(found.get(), i + 1, sqlite3_column_value(rows.get(), i));
        }
        if (found.Step() != SQLITE_ROW || found.ColumnInt(0) == 0) {
            return false;
        }
    }
    return rows.rc() == SQLITE_DONE;
}

}  // namespace engine::detail
