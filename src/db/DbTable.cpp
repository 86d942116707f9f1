#include "db/DbTable.h"

#include "db/TextForms.h"
#include "text/Text.h"

namespace db {
namespace {

constexpr const char* kUpdateFailed = "Errore aggiornamento";

std::string RowErrorPrefix(const char* what, const std::string& table) {
    return std::string(what) + " tavola (" + table + ")\n\n";
}

std::string FieldErrorPrefix(const std::string& table, const std::string& field, std::string_view text) {
    const std::string shown = text.empty() ? "NULL" : std::string(text);
    return "Errore campo (" + field + ") della tavola (" + table + ") <" + shown + ">\n\n";
}

}  // namespace

std::optional<FieldRefusal> SetFieldRefusal(const std::string& table, const std::string& field,
                                            const engine::FieldDef& f, std::string_view text) {
    // The cursor's own conversion, its quick way first; the value is only looked at, and its storage
    // serves the next question.
    thread_local engine::Value value;
    if (text.empty() || engine::TryValueFromText(f.type, f.size, text, value)) {
        return std::nullopt;
    }
    auto converted = engine::ValueFromText(f.type, f.size, f.name, text);
    if (converted) {
        return std::nullopt;
    }
    return FieldRefusal{FieldErrorPrefix(table, field, text), converted.description()};
}

std::optional<FieldRefusal> SetNumberRefusal(const std::string& table, const std::string& field,
                                             const engine::FieldDef& f, std::int64_t number) {
    engine::Value value;
    if (engine::TryValueFromInt(f.type, number, value)) {
        return std::nullopt;
    }
    return SetFieldRefusal(table, field, f, text::FormatInt(number));
}

std::optional<FieldRefusal> RequiredRefusal(const std::string& table, const engine::FieldDef& f) {
    if (!f.required) {
        return std::nullopt;
    }
    return FieldRefusal{RowErrorPrefix(kUpdateFailed, table),
                        engine::NullRefused(table + "." + f.name).description()};
}

CDbTable::CDbTable(CDbConnection* connection, const std::string& table) : connection_(connection) {
    if (!connection_ || !connection_->IsOpen() || !connection_->Database()) {
        return;
    }
    if (!table.empty()) {
        name_ = table;
    }
    auto cursor = connection_->Database()->OpenTable(table);
    if (!cursor) {
        ShowDatabaseError(connection_->Port(), "Errore in fase di apertura della tavola (" + table + ")\n\n",
                          cursor.description());
        return;
    }
    cursor_ = std::move(*cursor);
    open_ = 1;
}

CDbTable::~CDbTable() {
    // Closing a cursor releases its statements; the engine reports no failure for it.
    cursor_.reset();
    name_.reset();
    open_ = 0;
}

const std::vector<engine::FieldDef>& CDbTable::Fields() const {
    static const std::vector<engine::FieldDef> none;
    return cursor_ ? cursor_->fields() : none;
}

ui::Outcome CDbTable::Failed(const std::string& message, const engine::Status& status) {
    ShowDatabaseError(connection_->Port(), message, status.description());
    return FailedWith(status);
}

ui::Outcome CDbTable::SelectIndex(const std::string& index) {
    if (!open_) {
        return ui::Outcome::Failed();
    }
    engine::Status s = cursor_->SelectIndex(index);
    return s ? ui::Outcome::Done()
             : Failed("Errore selezione indice (" + index + ") tavola (" + name_.value_or("") + ")\n\n", s);
}

SeekResult CDbTable::Seek(const std::vector<std::string>& keys) {
    if (!open_) {
        return SeekResult::Failed(0);
    }
    engine::SeekResult sought = cursor_->Seek(keys);
    switch (sought.kind()) {
        case engine::SeekResult::Kind::Found:
            return SeekResult::Found();
        case engine::SeekResult::Kind::NotFound:
            return SeekResult::NotFound();
        case engine::SeekResult::Kind::Failed:
            break;
    }
    ShowDatabaseError(connection_->Port(), "Errore lettura tavola (" + name_.value_or("") + ")\n\n",
                      sought.status().description());
    return SeekResult::Failed(sought.status().code());
}

ui::Outcome CDbTable::RowOperation(engine::Status (engine::TableCursor::*operation)(), const char* what) {
    if (!cursor_) {  // never opened: nothing to act on
        return ui::Outcome::Failed();
    }
    engine::Status s = (cursor_.get()->*operation)();
    return s ? ui::Outcome::Done() : Failed(RowErrorPrefix(what, name_.value_or("")), s);
}

ui::Outcome CDbTable::Edit() {
    return RowOperation(&engine::TableCursor::Edit, "Errore editing");
}

ui::Outcome CDbTable::AddNew() {
    return RowOperation(&engine::TableCursor::AddNew, "Errore inserimento");
}

ui::Outcome CDbTable::Update() {
    return RowOperation(&engine::TableCursor::Update, kUpdateFailed);
}

ui::Outcome CDbTable::Delete() {
    return RowOperation(&engine::TableCursor::Delete, "Errore eliminazione");
}

ui::Outcome CDbTable::DeleteAll() {
    return RowOperation(&engine::TableCursor::DeleteAll, "Errore eliminazione");
}

ui::Outcome CDbTable::SetField(const std::string& field, const std::string& text) {
    if (!cursor_) {
        return ui::Outcome::Failed();
    }
    // Compared as views: the lengths are compared first, and most texts are not dates.
    std::string_view stored = text;
    if (stored == std::string_view(kNoDate)) {
        stored = "01/01/1600";
    } else if (stored == std::string_view(kEndOfTime)) {
        stored = "31/12/2400";
    }
    engine::Status s = stored.empty() ? cursor_->SetFieldNull(field) : cursor_->SetField(field, stored);
    if (s) {
        return ui::Outcome::Done();
    }
    return Failed(FieldErrorPrefix(name_.value_or(""), field, text), s);
}

ui::Outcome CDbTable::SetNumber(const std::string& field, std::int64_t number) {
    if (!cursor_) {
        return ui::Outcome::Failed();
    }
    engine::Status s = cursor_->SetFieldNumber(field, number);
    if (s) {
        return ui::Outcome::Done();
    }
    return Failed(FieldErrorPrefix(name_.value_or(""), field, text::FormatInt(number)), s);
}

ui::Outcome CDbTable::ReadField(const std::string& field, std::string& buffer, bool withBlob) {
    if (!cursor_) {
        return ui::Outcome::Failed();
    }
    auto value = cursor_->GetField(field);
    if (!value) {
        return Failed("Errore campo (" + field + ") della tavola (" + name_.value_or("") + ")\n\n",
                      value.status());
    }
    buffer = withBlob ? ValueToTextWithBlob(*value) : ValueToText(*value);
    return ui::Outcome::Done();
}

ui::Outcome CDbTable::GetField(const std::string& field, std::string& buffer) {
    return ReadField(field, buffer, false);
}

ui::Outcome CDbTable::GetFieldWithBlob(const std::string& field, std::string& buffer) {
    return ReadField(field, buffer, true);
}

}  // namespace db
