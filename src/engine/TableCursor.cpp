#include "engine/TableCursor.h"

#include "engine/Messages.h"
#include "engine/Sql.h"
#include "text/Text.h"

namespace engine {

using detail::Stmt;
using detail::Utf8;

namespace {

// The name, with its ASCII letters lowered, is `lower`.
bool SameLowered(std::string_view name, std::string_view lower) {
    if (name.size() != lower.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c) != lower[i]) {
            return false;
        }
    }
    return true;
}

constexpr std::size_t kMaxSeekKeys = 16;

}  // namespace

TableCursor::TableCursor(Database& db, std::string table, std::vector<FieldDef> fields)
    : db_(db),
      table_(std::move(table)),
      fields_(std::move(fields)),
      quotedTable_(QuoteIdentifier(Utf8(table_))) {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        lowerNames_.push_back(text::LowerAscii(fields_[i].name));
        inMap_.push_back(positions_.emplace(lowerNames_.back(), i).second);
    }
    followers_.assign(fields_.size() + 1, fields_.size());
    lastFound_ = fields_.size();
}

std::string TableCursor::ColumnList() const {
    std::string list;
    for (const FieldDef& f : fields_) {
        list += (list.empty() ? "" : ", ") + QuoteIdentifier(Utf8(f.name));
    }
    return list;
}

std::size_t TableCursor::FindField(std::string_view field) const {
    // A guess held by the map under its own position is the map's answer for the name.
    const std::size_t guess = followers_[lastFound_];
    if (guess < fields_.size() && inMap_[guess] &&
        (field == fields_[guess].name || SameLowered(field, lowerNames_[guess]))) {
        lastFound_ = guess;
        return guess;
    }
    const auto found = positions_.find(text::LowerAscii(field));
    if (found == positions_.end()) {
        return fields_.size();
    }
    followers_[lastFound_] = found->second;
    lastFound_ = found->second;
    return found->second;
}

Result<std::size_t> TableCursor::FieldIndex(std::string_view field) const {
    const std::size_t index = FindField(field);
    if (index < fields_.size()) {
        return index;
    }
    return Status::Error(
        Describe("Il campo '", Quote(field), "' non esiste nella tabella '", Quote(table_), "'."));
}

Status TableCursor::SelectIndex(std::string_view index) {
    auto indexes = db_.Indexes(table_);
    if (!indexes) {
        return indexes.status();
    }
    for (const IndexDef& def : *indexes) {
        if (text::LowerAscii(def.name) != text::LowerAscii(index)) {
            continue;
        }
        std::vector<std::size_t> columns;
        for (const std::string& column : def.columns) {
            auto pos = FieldIndex(column);
            if (!pos) {
                return pos.status();
            }
            columns.push_back(*pos);
        }
        seeks_.clear();
        seeks_.resize(columns.size());
        indexName_ = def.name;
        indexColumns_ = std::move(columns);
        return Status::Ok();
    }
    return Status::Error(
        Describe("'", Quote(index), "' non è un indice della tabella '", Quote(table_), "'."));
}

Status TableCursor::LoadRow(std::int64_t rowid) {
    if (!load_.prepared()) {
        load_ = Stmt(db_.handle(), "SELECT " + ColumnList() + " FROM " + quotedTable_ + " WHERE rowid = ?1");
        if (!load_.prepared()) {
            return detail::Failure(db_.handle(), load_.rc());
        }
    }
    load_.Reset();
    load_.BindInt(1, rowid);
    const int rc = load_.Step();
    if (rc != SQLITE_ROW) {
        load_.Reset();
        hasRow_ = false;
        if (rc == SQLITE_DONE) {
            return Status::Error(
                text::Utf8ToCp1252Lossy("Il record corrente non esiste più: è stato eliminato."));
        }
        return detail::Failure(db_.handle(), rc);
    }
    ReadRow(load_, 0);
    load_.Reset();
    rowid_ = rowid;
    hasRow_ = true;
    return Status::Ok();
}

void TableCursor::ReadRow(const detail::Stmt& stmt, int first) {
    // Every value is replaced; the storage of the previous row's texts is reused.
    row_.resize(fields_.size());
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        detail::ReadValueInto(sqlite3_column_value(stmt.get(), first + static_cast<int>(i)), fields_[i].type,
                              row_[i]);
    }
}

SeekResult TableCursor::Seek(const std::vector<std::string>& keys) {
    if (indexColumns_.empty()) {
        return Status::Error(text::Utf8ToCp1252Lossy("Nessun indice selezionato per la ricerca."));
    }
    if (keys.empty() || keys.size() > kMaxSeekKeys) {
        return Status::Error(text::Utf8ToCp1252Lossy("La ricerca richiede da 1 a 16 valori di chiave."));
    }
    if (keys.size() > indexColumns_.size()) {
        return Status::Error(
            Describe("La ricerca ha più valori di chiave dei campi dell'indice '", Quote(indexName_), "'."));
    }
    mode_ = Mode::None;
    hasRow_ = false;
    // A key shorter than the index matches on the index's first columns.
    Stmt& seek = seeks_[keys.size() - 1];
    if (!seek.prepared()) {
        std::string where;
        std::string order;
        for (std::size_t k = 0; k < indexColumns_.size(); ++k) {
            const std::string col = QuoteIdentifier(Utf8(fields_[indexColumns_[k]].name));
            if (k < keys.size()) {
                where += (k ? " AND " : "") + col + " = ?" + std::to_string(k + 1);
            }
            order += col + ", ";
        }
        // The row found is read at once, after its rowid.
        seek = Stmt(db_.handle(), "SELECT rowid, " + ColumnList() + " FROM " + quotedTable_ + " WHERE " +
                                      where + " ORDER BY " + order + "rowid LIMIT 1");
        if (!seek.prepared()) {
            return detail::Failure(db_.handle(), seek.rc());
        }
    }
    seek.Reset();
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const FieldDef& f = fields_[indexColumns_[k]];
        auto value = ValueFromText(f.type, f.size, f.name, keys[k]);
        if (!value) {
            return value.status();
        }
        seek.BindValue(static_cast<int>(k + 1), *value);
    }
    const int rc = seek.Step();
    if (rc == SQLITE_DONE) {
        seek.Reset();
        return SeekResult::NotFound();
    }
    if (rc != SQLITE_ROW) {
        Status failure = detail::Failure(db_.handle(), rc);
        seek.Reset();
        return failure;
    }
    ReadRow(seek, 1);
    rowid_ = seek.ColumnInt(0);
    hasRow_ = true;
    seek.Reset();
    return SeekResult::Found();
}

Status TableCursor::Edit() {
    if (!hasRow_) {
        return Status::Error(text::Utf8ToCp1252Lossy("Nessun record corrente da modificare."));
    }
    Status reloaded = LoadRow(rowid_);  // start from what is stored now
    if (!reloaded) {
        return reloaded;
    }
    buffer_ = row_;
    mode_ = Mode::Editing;
    return Status::Ok();
}

Status TableCursor::AddNew() {
    // Row after row added, the values keep their storage.
    buffer_.resize(fields_.size());
    for (Value& value : buffer_) {
        value.AssignNull();
    }
    mode_ = Mode::Adding;
    return Status::Ok();
}

Status TableCursor::Update() {
    if (mode_ == Mode::None) {
        return Status::Error(text::Utf8ToCp1252Lossy("Aggiornamento senza modifica o inserimento in corso."));
    }
    Stmt& st = mode_ == Mode::Adding ? insert_ : update_;
    if (!st.prepared()) {
        std::string sql;
        if (mode_ == Mode::Adding) {
            std::string params;
            for (std::size_t i = 0; i < fields_.size(); ++i) {
                params += (i ? ", ?" : "?") + std::to_string(i + 1);
            }
            sql = "INSERT INTO " + quotedTable_ + " (" + ColumnList() + ") VALUES (" + params + ")";
        } else {
            std::string sets;
            for (std::size_t i = 0; i < fields_.size(); ++i) {
                sets +=
                    (i ? ", " : "") + QuoteIdentifier(Utf8(fields_[i].name)) + " = ?" + std::to_string(i + 1);
            }
            sql = "UPDATE " + quotedTable_ + " SET " + sets + " WHERE rowid = ?" +
                  std::to_string(fields_.size() + 1);
        }
        st = Stmt(db_.handle(), sql);
        if (!st.prepared()) {
            return detail::Failure(db_.handle(), st.rc());
        }
    }
    st.Reset();
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        st.BindValue(static_cast<int>(i + 1), buffer_[i]);
    }
    if (mode_ == Mode::Editing) {
        st.BindInt(static_cast<int>(fields_.size() + 1), rowid_);
    }
    const int rc = st.Step();
    st.Reset();
    if (rc != SQLITE_DONE) {
        return detail::Failure(db_.handle(), rc);  // the row stays in the buffer, still being edited
    }
    if (mode_ == Mode::Editing) {
        if (sqlite3_changes(db_.handle()) == 0) {
            mode_ = Mode::None;
            hasRow_ = false;
            return Status::Error(text::Utf8ToCp1252Lossy(
                "Il record è stato eliminato nel frattempo: la modifica non è stata salvata."));
        }
        row_ = std::move(buffer_);
        buffer_.clear();
    }
    mode_ = Mode::None;  // an added row's buffer stays for the next one
    return Status::Ok();
}

Status TableCursor::Delete() {
    if (!hasRow_) {
        return Status::Error(text::Utf8ToCp1252Lossy("Nessun record corrente da eliminare."));
    }
    if (!delete_.prepared()) {
        delete_ = Stmt(db_.handle(), "DELETE FROM " + quotedTable_ + " WHERE rowid = ?1");
        if (!delete_.prepared()) {
            return detail::Failure(db_.handle(), delete_.rc());
        }
    }
    delete_.Reset();
    delete_.BindInt(1, rowid_);
    const int rc = delete_.Step();
    delete_.Reset();
    if (rc != SQLITE_DONE) {
        return detail::Failure(db_.handle(), rc);
    }
    hasRow_ = false;
    mode_ = Mode::None;
    return Status::Ok();
}

Status TableCursor::DeleteAll() {
    Stmt all(db_.handle(), "DELETE FROM " + quotedTable_);
    const int rc = all.prepared() ? all.Step() : all.rc();
    if (rc != SQLITE_DONE) {
        return detail::Failure(db_.handle(), rc);
    }
    hasRow_ = false;
    mode_ = Mode::None;
    return Status::Ok();
}

Result<Value> TableCursor::GetField(std::string_view field) const {
    auto index = FieldIndex(field);
    if (!index) {
        return index.status();
    }
    if (mode_ != Mode::None) {
        return buffer_[*index];
    }
    if (!hasRow_) {
        return Status::Error(text::Utf8ToCp1252Lossy("Nessun record corrente."));
    }
    return row_[*index];
}

Status TableCursor::SetFieldAt(std::size_t index, Value value) {
    if (mode_ == Mode::None) {
        return Status::Error(text::Utf8ToCp1252Lossy(
            "Per cambiare un campo occorre prima avviare la modifica o l'inserimento del record."));
    }
    buffer_[index] = std::move(value);
    return Status::Ok();
}

Status TableCursor::SetFieldValue(std::string_view field, Value value) {
    auto index = FieldIndex(field);
    if (!index) {
        return index.status();
    }
    return SetFieldAt(*index, std::move(value));
}

Status TableCursor::SetField(std::string_view field, std::string_view text) {
    auto index = FieldIndex(field);
    if (!index) {
        return index.status();
    }
    const FieldDef& f = fields_[*index];
    if (mode_ != Mode::None && TryValueFromText(f.type, f.size, text, buffer_[*index])) {
        return Status::Ok();
    }
    auto value = ValueFromText(f.type, f.size, f.name, text);
    if (!value) {
        return value.status();
    }
    return SetFieldAt(*index, std::move(*value));
}

Status TableCursor::SetFieldNumber(std::string_view field, std::int64_t number) {
    auto index = FieldIndex(field);
    if (!index) {
        return index.status();
    }
    if (mode_ != Mode::None && TryValueFromInt(fields_[*index].type, number, buffer_[*index])) {
        return Status::Ok();
    }
    return SetField(field, text::FormatInt(number));
}

Status TableCursor::SetFieldNull(std::string_view field) {
    return SetFieldValue(field, Value::Null());
}

// A table-mode cursor on a table of the file, with its fields as the file describes them.
Result<std::unique_ptr<TableCursor>> Database::OpenTable(std::string_view table) {
    auto fields = Fields(table);
    if (!fields) {
        return fields.status();
    }
    return std::unique_ptr<TableCursor>(new TableCursor(*this, std::string(table), std::move(*fields)));
}

}  // namespace engine
