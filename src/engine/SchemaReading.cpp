// Reading back the description of the tables: their names, fields and indexes, from SQLite's own
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

namespace {

// The attributes of a field made by an earlier version, which kept them in the statement that created
// its table, `createSql`: the empty text is refused by a constraint named after the field, and the
// validation rule is a constraint whose name holds the validation text.
void ReadEarlierFieldAttributes(const std::string& createSql, const std::string& utf8Name, FieldDef& f) {
    const bool textual = f.type == FieldType::Text || f.type == FieldType::Memo;
    f.allowZeroLength =
        textual && createSql.find("CONSTRAINT " + QuoteIdentifier(utf8Name + ":vuoto")) == std::string::npos;
    const std::string rulePrefix = "CONSTRAINT \"" + utf8Name + ":regola:";
    const std::size_t rule = createSql.find(rulePrefix);
    if (rule == std::string::npos) {
        return;
    }
    // The name holds the validation text up to its closing quote (quotes inside are doubled).
    std::size_t pos = rule + rulePrefix.size();
    std::string validationText;
    while (pos < createSql.size()) {
        if (createSql[pos] == '"' && pos + 1 < createSql.size() && createSql[pos + 1] == '"') {
            validationText += '"';
            pos += 2;
        } else if (createSql[pos] == '"') {
            break;
        } else {
            validationText += createSql[pos++];
        }
    }
    f.validationText = text::Utf8ToCp1252Lossy(validationText);
    // The rule itself is read back as the check made of it.
    const std::size_t open = createSql.find("CHECK (", pos);
    if (open == std::string::npos) {
        return;
    }
    int depth = 0;
    std::size_t end = open + 6;
    for (; end < createSql.size(); ++end) {
        depth += createSql[end] == '(' ? 1 : createSql[end] == ')' ? -1 : 0;
        if (depth == 0) {
            break;
        }
    }
    f.validationRule = text::Utf8ToCp1252Lossy(createSql.substr(open + 7, end - open - 7));
}

// The flags of an index made by an earlier version, which kept them in a comment at the end of the
// statement that created it: "/* primary clustered ignorenulls required */", each word only when set.
void ReadEarlierIndexFlags(const std::string& createSql, IndexDef& def) {
    const std::size_t comment = createSql.rfind("/*");
    const std::string flags = comment == std::string::npos ? "" : createSql.substr(comment);
    def.primary = flags.find(" primary") != std::string::npos;
    def.clustered = flags.find(" clustered") != std::string::npos;
    def.ignoreNulls = flags.find(" ignorenulls") != std::string::npos;
    def.required = flags.find(" required") != std::string::npos;
}

}  // namespace

bool Database::TableExists(std::string_view table) const {
    if (detail::IsAttributesTable(table)) {
        return false;
    }
    Stmt st(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    st.BindText(1, Utf8(table));
    return st.prepared() && st.Step() == SQLITE_ROW;
}

std::vector<std::string> Database::TableNames() const {
    std::vector<std::string> names;
    Stmt st(db_,
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
            "AND name <> " +
                QuoteLiteral(detail::kAttributesTable) + " COLLATE NOCASE ORDER BY name");
    while (st.prepared() && st.Step() == SQLITE_ROW) {
        names.push_back(text::Utf8ToCp1252Lossy(st.ColumnText(0)));
    }
    return names;
}

namespace {

// The statement that created the census table `table`. It does not exist only when the description of
// the tables was read to its end without it; any failure to read that is returned as it is.
Result<std::string> CreateStatementOf(sqlite3* db, std::string_view table) {
    if (detail::IsAttributesTable(table)) {
        return Status::Error(Describe("La tabella '", Quote(table), "' non esiste."));
    }
    Stmt sqlOf(db, "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    sqlOf.BindText(1, Utf8(table));
    const int rc = sqlOf.prepared() ? sqlOf.Step() : sqlite3_errcode(db);
    if (rc == SQLITE_ROW) {
        return sqlOf.ColumnText(0);
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
    auto created = CreateStatementOf(db_, table);
    if (!created) {
        return created.status();
    }
    const std::string createSql = *created;
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
            f.required = info.ColumnInt(2) != 0;
            ReadEarlierFieldAttributes(createSql, name, f);
        }
        fields.push_back(std::move(f));
    }
    if (Status read = Ended(db_, info); !read) {
        return read;
    }
    return fields;
}

Result<std::vector<IndexDef>> Database::Indexes(std::string_view table) const {
    if (auto created = CreateStatementOf(db_, table); !created) {
        return created.status();
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
        if (const auto it = recorded.find(text::LowerAscii(def.name)); it != recorded.end()) {
            def.primary = it->second.primary;
            def.clustered = it->second.clustered;
            def.ignoreNulls = it->second.ignoreNulls;
            def.required = it->second.required;
        } else {
            ReadEarlierIndexFlags(sql, def);
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
