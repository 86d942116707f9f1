// Table definitions: fields and their constraints, the creation of tables, indexes and relations, and
// the record of their attributes in the engine's own table (see Attributes.h).
#include <algorithm>
#include <set>

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

constexpr int kMaxIndexColumns = 10;
constexpr int kMaxRelationFields = 10;

bool IsValidName(std::string_view name) {
    if (name.empty() || name.size() > 64 || name.front() == ' ' || name.starts_with("sqlite_")) {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == '.' || c == '!' || c == '`' || c == '[' ||
               c == ']' || c == '"' || c == ':';
    });
}

// Names compare without regard to the case of their letters.
bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

Status InvalidName(std::string_view what, std::string_view name) {
    return Status::Error(Describe("'", Quote(name), "' non è un nome valido per ", what, "."));
}

// The column definition of a field, with its constraints named so that a refusal can be described.
std::string ColumnDefinition(const FieldDef& f) {
    const std::string name = Utf8(f.name);
    const std::string col = QuoteIdentifier(name);
    auto constraint = [&](std::string_view kind, const std::string& check) {
        return " CONSTRAINT " + QuoteIdentifier(name + ":" + std::string(kind)) + " CHECK (" + check + ")";
    };
    std::string def = col + " " + detail::DeclaredType(f.type, f.size);
    if (f.type == FieldType::Text || f.type == FieldType::Memo) {
        def += " COLLATE NOCASE";
    }
    if (f.required) {
        def += " NOT NULL";
    }
    switch (f.type) {
        case FieldType::Byte:
            def += constraint("intervallo", col + " BETWEEN 0 AND 255");
            break;
        case FieldType::Integer:
            def += constraint("intervallo", col + " BETWEEN -32768 AND 32767");
            break;
        case FieldType::Long:
            def += constraint("intervallo", col + " BETWEEN -2147483648 AND 2147483647");
            break;
        case FieldType::Text:
            def += constraint("lunghezza", "length(" + col + ") <= " + std::to_string(f.size));
            break;
        default:
            break;
    }
    if ((f.type == FieldType::Text || f.type == FieldType::Memo) && !f.allowZeroLength) {
        def += constraint("vuoto", col + " <> ''");
    }
    if (!f.validationRule.empty()) {
        def += constraint("regola:" + Utf8(f.validationText),
                          ExpandFieldRule(col, Utf8(TranslateSql(f.validationRule))));
    }
    return def;
}

std::string IndexSqlName(std::string_view table, std::string_view index) {
    return QuoteIdentifier(Utf8(table) + "." + Utf8(index));
}

}  // namespace

Status TableDef::AddField(const FieldDef& field) {
    if (!IsValidName(field.name)) {
        return InvalidName("un campo", field.name);
    }
    for (const FieldDef& f : fields_) {
        if (SameName(f.name, field.name)) {
            return Status::Error(Describe("Il campo '", Quote(field.name), "' è già definito nella tabella '",
                                          Quote(name_), "'."));
        }
    }
    FieldDef f = field;
    if (f.type == FieldType::Text) {
        if (f.size == 0) {
            f.size = 255;
        }
        if (f.size < 1 || f.size > 255) {
            return Status::Error(Describe("La dimensione del campo di testo '", Quote(field.name),
                                          "' deve essere compresa tra 1 e 255 caratteri."));
        }
    } else {
        f.size = 0;
    }
    if (f.type != FieldType::Text && f.type != FieldType::Memo) {
        f.allowZeroLength = false;
    }
    fields_.push_back(std::move(f));
    return Status::Ok();
}

Result<TableDef> Database::NewTableDef(std::string_view name) const {
    // The engine's own table keeps its name.
    if (!IsValidName(name) || detail::IsAttributesTable(name)) {
        return InvalidName("una tabella", name);
    }
    return TableDef(std::string(name));
}

Status Database::AppendTable(TableDef& def) {
    if (TableExists(def.name())) {
        return Status::Error(Describe("La tabella '", Quote(def.name()), "' esiste già."));
    }
    if (def.fields().empty()) {
        return Status::Error(Describe("Impossibile creare la tabella '", Quote(def.name()),
                                      "': non ha alcun campo definito."));
    }
    std::vector<const FieldDef*> ordered;
    for (const FieldDef& f : def.fields()) {
        ordered.push_back(&f);
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const FieldDef* a, const FieldDef* b) {
        return (a->ordinalPosition > 0 ? a->ordinalPosition : INT32_MAX) <
               (b->ordinalPosition > 0 ? b->ordinalPosition : INT32_MAX);
    });
    std::string sql = "CREATE TABLE " + QuoteIdentifier(Utf8(def.name())) + " (\n";
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        sql += "  " + ColumnDefinition(*ordered[i]) + (i + 1 < ordered.size() ? ",\n" : "\n");
    }
    sql += ")";
    Status s = Exec("SAVEPOINT append_table");
    if (!s) {
        return s;
    }
    s = Exec(sql);
    if (s) {
        s = detail::WriteFieldAttributes(db_, def.name(), def.fields());
    }
    for (std::size_t i = 0; s && i < def.pendingIndexes().size(); ++i) {
        s = CreateIndex(def.name(), def.pendingIndexes()[i]);
    }
    if (!s) {
        (void)Exec("ROLLBACK TO append_table; RELEASE append_table");
        return s;
    }
    s = Exec("RELEASE append_table");
    if (s) {
        def.appended_ = true;
        def.pendingIndexes_.clear();
    }
    return s;
}

namespace {

// Checks an index against the fields of its table and the indexes it already has; gives the column
// list of the statement that creates it.
Status CheckIndex(std::string_view table, const IndexDef& index, const std::vector<FieldDef>& fields,
                  const std::vector<IndexDef>& existing, std::string& columns) {
    if (!IsValidName(index.name)) {
        return InvalidName("un indice", index.name);
    }
    if (index.columns.empty() || index.columns.size() > kMaxIndexColumns) {
        return Status::Error(Describe("L'indice '", Quote(index.name), "' deve avere da 1 a 10 campi."));
    }
    for (const std::string& c : index.columns) {
        const bool known =
            std::any_of(fields.begin(), fields.end(), [&](const FieldDef& f) { return SameName(f.name, c); });
        if (!known) {
            return Status::Error(Describe("Impossibile creare l'indice '", Quote(index.name), "': il campo '",
                                          Quote(c), "' non esiste nella tabella '", Quote(table), "'."));
        }
        columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(Utf8(c)) + " ASC";
    }
    for (const IndexDef& other : existing) {
        if (SameName(other.name, index.name)) {
            return Status::Error(Describe("L'indice '", Quote(index.name), "' esiste già nella tabella '",
                                          Quote(table), "'."));
        }
        if (other.primary && index.primary) {
            return Status::Error(Describe("La tabella '", Quote(table), "' ha già una chiave primaria ('",
                                          Quote(other.name), "')."));
        }
    }
    return Status::Ok();
}

}  // namespace

Status Database::CreateIndex(TableDef& def, const IndexDef& index) {
    if (def.appended_) {
        return CreateIndex(def.name(), index);
    }
    std::string columns;
    Status s = CheckIndex(def.name(), index, def.fields(), def.pendingIndexes_, columns);
    if (s) {
        def.pendingIndexes_.push_back(index);
    }
    return s;
}

Status Database::CreateIndex(std::string_view table, const IndexDef& index) {
    auto fields = Fields(table);
    if (!fields) {
        return Status::Error(Describe("Impossibile creare l'indice '", Quote(index.name), "': la tabella '",
                                      Quote(table), "' non esiste."));
    }
    std::string columns;
    Status checked = CheckIndex(table, index, *fields, *Indexes(table), columns);
    if (!checked) {
        return checked;
    }
    const bool unique = index.primary || index.unique;
    const std::string sql = std::string(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                            IndexSqlName(table, index.name) + " ON " + QuoteIdentifier(Utf8(table)) + " (" +
                            columns + ")";
    Status s = Exec("SAVEPOINT create_index");
    if (!s) {
        return s;
    }
    s = Exec(sql);
    if (!s && (sqlite3_errcode(db_) & 0xFF) == SQLITE_CONSTRAINT) {
        s = Status::Error(Describe("Impossibile creare l'indice univoco '", Quote(index.name),
                                   "': la tabella '", Quote(table), "' contiene valori duplicati."));
    }
    if (s) {
        s = detail::WriteIndexAttributes(db_, table, index);
    }
    if (!s) {
        (void)Exec("ROLLBACK TO create_index; RELEASE create_index");
        return s;
    }
    return Exec("RELEASE create_index");
}

// ---------------------------------------------------------------------------------------------------
// Relations, enforced by triggers named after the relation.

Status Database::CreateRelation(const RelationDef& rel) {
    const auto refuse = [&](auto... pieces) {
        return Status::Error(
            Describe("Impossibile creare la relazione '", Quote(rel.name), "': ", pieces...));
    };
    if (!IsValidName(rel.name)) {
        return InvalidName("una relazione", rel.name);
    }
    const std::string triggerBase = "rel:" + Utf8(rel.name) + ":";
    {
        Stmt st(db_, "SELECT 1 FROM sqlite_master WHERE type = 'trigger' AND name = ?1");
        st.BindText(1, triggerBase + "ins");
        if (st.prepared() && st.Step() == SQLITE_ROW) {
            return Status::Error(Describe("La relazione '", Quote(rel.name), "' esiste già."));
        }
    }
    for (const std::string* t : {&rel.table, &rel.foreignTable}) {
        if (!TableExists(*t)) {
            return refuse("la tabella '", Quote(*t), "' non esiste.");
        }
    }
    if (rel.fields.empty() || rel.fields.size() > kMaxRelationFields) {
        return refuse("deve avere da 1 a 10 coppie di campi.");
    }
    auto primaryFields = Fields(rel.table);
    auto foreignFields = Fields(rel.foreignTable);
    const auto has = [](const std::vector<FieldDef>& fields, const std::string& name) {
        return std::any_of(fields.begin(), fields.end(),
                           [&](const FieldDef& f) { return SameName(f.name, name); });
    };
    std::set<std::string> keyColumns;
    for (const auto& [key, foreign] : rel.fields) {
        if (!has(*primaryFields, key)) {
            return refuse("il campo '", Quote(key), "' non esiste nella tabella '", Quote(rel.table), "'.");
        }
        if (!has(*foreignFields, foreign)) {
            return refuse("il campo '", Quote(foreign), "' non esiste nella tabella '",
                          Quote(rel.foreignTable), "'.");
        }
        keyColumns.insert(Utf8(key));
    }
    // The referenced side must be a unique key, as a one-to-many relation needs.
    bool uniqueKey = false;
    const auto keys = Indexes(rel.table);
    for (const IndexDef& idx : *keys) {
        std::set<std::string> cols;
        for (const std::string& c : idx.columns) {
            cols.insert(Utf8(c));
        }
        uniqueKey = uniqueKey || ((idx.unique || idx.primary) && cols == keyColumns);
    }
    if (!uniqueKey) {
        return refuse("i campi della tabella '", Quote(rel.table), "' non formano una chiave univoca.");
    }
    const std::string pt = QuoteIdentifier(Utf8(rel.table));
    const std::string ft = QuoteIdentifier(Utf8(rel.foreignTable));
    std::string match;        // referenced row of NEW foreign row
    std::string children;     // referencing rows of OLD referenced row
    std::string notNull;      // the foreign key is complete
    std::string keyChanged;   // the referenced key changes
    std::string foreignCols;  // columns of the referencing table
    std::string keyCols;
    for (const auto& [key, foreign] : rel.fields) {
        const std::string k = QuoteIdentifier(Utf8(key));
        const std::string f = QuoteIdentifier(Utf8(foreign));
        const auto join = [](std::string& s, const std::string& sep, const std::string& part) {
            s += (s.empty() ? "" : sep) + part;
        };
        join(match, " AND ", pt + "." + k + " = NEW." + f);
        join(children, " AND ", ft + "." + f + " = OLD." + k);
        join(notNull, " AND ", "NEW." + f + " IS NOT NULL");
        join(keyChanged, " OR ", "NEW." + k + " IS NOT OLD." + k);
        join(foreignCols, ", ", f);
        join(keyCols, ", ", k);
    }
    const std::string needParent = QuoteLiteral(Utf8(
        Describe("Impossibile aggiungere o modificare il record: la tabella '", Quote(rel.table),
                 "' non contiene il record correlato richiesto dalla relazione '", Quote(rel.name), "'.")));
    const std::string hasChildren = QuoteLiteral(
        Utf8(Describe("Impossibile eliminare o modificare il record: la tabella '", Quote(rel.foreignTable),
                      "' contiene record correlati (relazione '", Quote(rel.name), "').")));
    const std::string parentMissing =
        "(" + notNull + ") AND NOT EXISTS (SELECT 1 FROM " + pt + " WHERE " + match + ")";
    const std::string childExists = "EXISTS (SELECT 1 FROM " + ft + " WHERE " + children + ")";
    std::string sql = "SAVEPOINT relation;\n";
    sql += "CREATE TRIGGER " + QuoteIdentifier(triggerBase + "ins") + " BEFORE INSERT ON " + ft + " WHEN " +
           parentMissing + " BEGIN SELECT RAISE(ABORT, " + needParent + "); END;\n";
    sql += "CREATE TRIGGER " + QuoteIdentifier(triggerBase + "upd") + " BEFORE UPDATE OF " + foreignCols +
           " ON " + ft + " WHEN " + parentMissing + " BEGIN SELECT RAISE(ABORT, " + needParent + "); END;\n";
    sql += "CREATE TRIGGER " + QuoteIdentifier(triggerBase + "del") + " BEFORE DELETE ON " + pt + " WHEN " +
           childExists + " BEGIN SELECT RAISE(ABORT, " + hasChildren + "); END;\n";
    sql += "CREATE TRIGGER " + QuoteIdentifier(triggerBase + "key") + " BEFORE UPDATE OF " + keyCols +
           " ON " + pt + " WHEN (" + keyChanged + ") AND " + childExists + " BEGIN SELECT RAISE(ABORT, " +
           hasChildren + "); END;\n";
    // Rows already present must respect the relation.
    std::string orphans = "SELECT 1 FROM " + ft + " WHERE (" + notNull + ") AND NOT EXISTS (SELECT 1 FROM " +
                          pt + " WHERE " + match + ") LIMIT 1";
    for (const auto& [key, foreign] : rel.fields) {
        const std::string needle = "NEW." + QuoteIdentifier(Utf8(foreign));
        for (std::size_t p = orphans.find(needle); p != std::string::npos; p = orphans.find(needle)) {
            orphans.replace(p, 4, ft + ".");
        }
    }
    Stmt check(db_, orphans);
    if (check.prepared() && check.Step() == SQLITE_ROW) {
        return refuse("la tabella '", Quote(rel.foreignTable), "' contiene record senza corrispondenza in '",
                      Quote(rel.table), "'.");
    }
    check = Stmt();
    Status s = Exec(sql + "RELEASE relation;");
    if (!s) {
        (void)Exec("ROLLBACK TO relation; RELEASE relation;");
    }
    return s;
}

}  // namespace engine
