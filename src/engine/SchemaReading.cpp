// Reading back the description of the tables: whether they exist, their fields and indexes, from SQLite's own
// description and the engine's table of attributes.
#include "engine/Attributes.h"
#include "engine/Database.h"
#include "engine/Messages.h"
#include "engine/Sql.h"
#include "engine/Sqlite.h"

namespace engine {

using detail::Failure;
using detail::Stmt;
using detail::Utf8;

bool Database::TableExists(std::string_view table) const {
    if (detail::IsAttributesTable(table)) {
        return false;
    }
    Stmt st(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    st.BindText(1, Utf8(table));
    return st.prepared() && st.Step() == SQLITE_ROW;
}

namespace {

// Whether the census table `table` exists. It does not only when the description of the tables was
// read to its end without it; any failure to read that is returned as it is.
Status Exists(sqlite3* db, std::string_view table) {
    if (detail::IsAttributesTable(table)) {
        return Status::Error(Describe("La tabella '", Quote(table), "' non esiste."));
    }
    Stmt sqlOf(db, "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    sqlOf.BindText(1, Utf8(table));
    const int rc = sqlOf.prepared() ? sqlOf.Step() : sqlite3_errcode(db);
    if (rc == SQLITE_ROW) {
        return Status::Ok();
    }
    if (rc == SQLITE_DONE) {
        return Status::Error(Describe("La tabella '", Quote(table), "' non esiste."));
    }
    return Failure(db, rc);
}

// What ended reading the rows of `st`: nothing when they were read to their end.
Status Ended(sqlite3* db, const Stmt& st) {
    const int rc = st.prepared() ? st.rc() : sqlite3_errcode(db);
    return rc == SQLITE_DONE ? Status::Ok() : Failure(db, rc);
}

}  // namespace

Result<std::vector<FieldDef>> Database::Fields(std::string_view table) const {
    if (Status exists = Exists(db_, table); !exists) {
        return exists;
    }
    auto recordedOrFailure = detail::RecordedFieldAttributes(db_, table);
    if (!recordedOrFailure) {
        return recordedOrFailure.status();
    }
    const auto& recorded = *recordedOrFailure;
    Stmt info(db_, "SELECT name, type, \"notnull\", cid FROM pragma_table_info(?1)");
    info.BindText(1, Utf8(table));
    std::vector<FieldDef> fields;
    while (info.prepared() && info.Step() == SQLITE_ROW) {
        FieldDef f;
        const std::string name = info.ColumnText(0);
        f.name = text::Utf8ToCp1252Lossy(name);
        if (!detail::ParseDeclaredType(info.ColumnText(1), f.type, f.size)) {
            f.type = FieldType::LongBinary;
        }
        f.ordinalPosition = static_cast<int>(info.ColumnInt(3)) + 1;
        if (const auto it = recorded.find(text::LowerAscii(f.name)); it != recorded.end()) {
            f.required = it->second.required;
            f.allowZeroLength = it->second.allowZeroLength;
            f.validationRule = it->second.validationRule;
            f.validationText = it->second.validationText;
        } else {
            // A field the table of attributes does not record, in a table not made by the engine: what
            // SQLite's description says, nothing refusing the empty text.
            f.required = info.ColumnInt(2) != 0;
            f.allowZeroLength = f.type == FieldType::Text || f.type == FieldType::Memo;
        }
        fields.push_back(std::move(f));
    }
    if (Status read = Ended(db_, info); !read) {
        return read;
    }
    return fields;
}

Result<std::vector<IndexDef>> Database::Indexes(std::string_view table) const {
    if (Status exists = Exists(db_, table); !exists) {
        return exists;
    }
    auto recordedOrFailure = detail::RecordedIndexAttributes(db_, table);
    if (!recordedOrFailure) {
        return recordedOrFailure.status();
    }
    const auto& recorded = *recordedOrFailure;
    std::vector<IndexDef> indexes;
    Stmt list(db_,
              "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = ?1 COLLATE NOCASE "
              "AND sql IS NOT NULL ORDER BY name");
    list.BindText(1, Utf8(table));
    while (list.prepared() && list.Step() == SQLITE_ROW) {
        const std::string sqlName = list.ColumnText(0);
        const std::string sql = list.ColumnText(1);
        IndexDef def;
        const std::size_t dot = sqlName.find('.');
        def.name = text::Utf8ToCp1252Lossy(dot == std::string::npos ? sqlName : sqlName.substr(dot + 1));
        def.unique = sql.starts_with("CREATE UNIQUE");
        // An index the table of attributes does not record has none of its flags.
        if (const auto it = recorded.find(text::LowerAscii(def.name)); it != recorded.end()) {
            def.primary = it->second.primary;
            def.clustered = it->second.clustered;
            def.ignoreNulls = it->second.ignoreNulls;
            def.required = it->second.required;
        }
        Stmt cols(db_, "SELECT name FROM pragma_index_info(?1) ORDER BY seqno");
        cols.BindText(1, sqlName);
        while (cols.prepared() && cols.Step() == SQLITE_ROW) {
            def.columns.push_back(text::Utf8ToCp1252Lossy(cols.ColumnText(0)));
        }
        if (Status read = Ended(db_, cols); !read) {
            return read;
        }
        indexes.push_back(std::move(def));
    }
    if (Status read = Ended(db_, list); !read) {
        return read;
    }
    return indexes;
}

}  // namespace engine
