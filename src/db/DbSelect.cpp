#include "db/DbSelect.h"

#include "db/TextForms.h"
#include "engine/Messages.h"
#include "text/Text.h"

namespace db {

CDbSelect::CDbSelect(CDbConnection* connection) : connection_(connection) {}

CDbSelect::~CDbSelect() {
    snapshot_.reset();
    query_.reset();
}

int CDbSelect::SetFragment(std::optional<std::string>& fragment, const std::string& text) {
    if (text.empty()) {
        fragment.reset();
        return 0;
    }
    fragment = text;
    return 1;
}

int CDbSelect::SetColumns(const std::string& columns) {
    return SetFragment(columns_, columns);
}
int CDbSelect::SetFrom(const std::string& tables) {
    return SetFragment(from_, tables);
}
int CDbSelect::SetWhere(const std::string& condition) {
    return SetFragment(where_, condition);
}
int CDbSelect::SetOrderBy(const std::string& order) {
    return SetFragment(orderBy_, order);
}

void CDbSelect::BuildStatement() {
    statement_.clear();
    if (!columns_ || !from_) {
        return;
    }
    statement_ = "SELECT " + *columns_ + "\nFROM " + *from_ + "\n";
    if (where_) {
        statement_ += "WHERE " + *where_ + "\n";
    }
    if (orderBy_) {
        statement_ += "ORDER BY " + *orderBy_ + "\n";
    }
}

void CDbSelect::ShowError(const char* prefix, const std::string& description, ui::Icon icon) {
    failed_ = true;
    if (connection_) {
        connection_->Port().ShowMessage(std::string(prefix) + "\n\n" + statement_ + "\n\n" + description,
                                        ui::kProgramCaption, icon);
    }
}

int CDbSelect::Execute() {
    BuildStatement();
    rowFlag_ = 1;
    viewed_ = false;
    engine::Database* database = connection_ && connection_->IsOpen() ? connection_->Database() : nullptr;
    if (!database) {
        rowFlag_ = 0;
        ShowError("Errore sintassi SQL", text::Utf8ToCp1252Lossy("Nessun database è aperto."),
                  ui::Icon::Exclamation);
        return rowFlag_;
    }
    auto query = database->CreateQuery(statement_);
    if (!query) {
        rowFlag_ = 0;
        ShowError("Errore sintassi SQL", query.description(), ui::Icon::Exclamation);
        return rowFlag_;
    }
    query_ = std::move(*query);
    auto snapshot = query_->OpenSnapshot();
    if (!snapshot) {
        rowFlag_ = 0;
        ShowError("Errore estrazione Select SQL", snapshot.description(), ui::Icon::Exclamation);
        return rowFlag_;
    }
    snapshot_ = std::move(*snapshot);
    if (snapshot_->AtEnd()) {
        rowFlag_ = 0;
    }
    return rowFlag_;
}

int CDbSelect::Next() {
    if (rowFlag_ != 1) {
        return rowFlag_;
    }
    if (!snapshot_ || snapshot_->AtEnd()) {
        rowFlag_ = 0;
        return rowFlag_;
    }
    viewed_ = false;
    engine::Status moved = snapshot_->MoveNext();
    if (!moved) {
        rowFlag_ = 0;
        ShowError("Errore lettura riga successiva della select corrente", moved.description(),
                  ui::Icon::Stop);
        return rowFlag_;
    }
    if (snapshot_->AtEnd()) {
        rowFlag_ = 0;
    }
    return rowFlag_;
}

int CDbSelect::GetText(const std::string& column, std::string& buffer) {
    auto value = snapshot_ ? snapshot_->Field(column)
                           : engine::Result<engine::Value>(
                                 engine::Status::Error(text::Utf8ToCp1252Lossy("Nessun record corrente.")));
    if (!value) {
        failed_ = true;
        if (connection_) {
            connection_->Port().ShowMessage("Errore campo (" + column + ") nella select corrente\n\n" +
                                                statement_ + "\n\n" + value.description(),
                                            ui::kProgramCaption, ui::Icon::Stop);
        }
        return 0;
    }
    buffer = ValueToTextWithBlob(*value);
    return 1;
}

const engine::FieldView* CDbSelect::ViewedAt(int position) {
    // The values are read in place: the callers are done with them before the selection moves on.
    if (!viewed_ && snapshot_) {
        fields_.resize(static_cast<std::size_t>(snapshot_->ColumnCount()));
        viewed_ = snapshot_->ViewFields(fields_.data());
    }
    if (viewed_ && position >= 0 && position < static_cast<int>(fields_.size())) {
        return &fields_[static_cast<std::size_t>(position)];
    }
    return nullptr;
}

const engine::FieldView* CDbSelect::FieldAt(int position) {
    if (viewed_ && position >= 0 && position < static_cast<int>(fields_.size())) {
        return &fields_[static_cast<std::size_t>(position)];  // the row read already
    }
    if (const engine::FieldView* field = ViewedAt(position)) {
        return field;
    }
    // Where there is no such field, the snapshot tells why.
    const std::string description = snapshot_ ? snapshot_->Field(position).description()
                                              : text::Utf8ToCp1252Lossy("Nessun record corrente.");
    failed_ = true;
    if (connection_) {
        connection_->Port().ShowMessage("Errore campo (#" + text::FormatInt(position) +
                                            ") nella select corrente\n\n" + statement_ + "\n\n" + description,
                                        ui::kProgramCaption, ui::Icon::Stop);
    }
    return nullptr;
}

int CDbSelect::GetShort(int position, std::int16_t& value) {
    const engine::FieldView* field = FieldAt(position);
    if (!field) {
        return 0;
    }
    using Kind = engine::Value::Kind;
    if (field->kind == Kind::Integer || field->kind == Kind::Boolean || field->kind == Kind::Byte) {
        value = static_cast<std::int16_t>(field->integer);
        return 1;
    }
    value = 0;
    return 0;
}

int CDbSelect::GetLong(int position, std::int32_t& value) {
    const engine::FieldView* field = FieldAt(position);
    if (!field) {
        return 0;
    }
    if (field->kind == engine::Value::Kind::Long) {
        value = static_cast<std::int32_t>(field->integer);
        return 1;
    }
    value = 0;
    return 0;
}

int CDbSelect::GetDateOrText(int position, std::string& buffer) {
    const engine::FieldView* field = FieldAt(position);
    if (!field) {
        return 0;
    }
    std::string_view text;
    const int gotten = DateOrText(*field, text);
    buffer.assign(text.data(), text.size());
    return gotten;
}

int CDbSelect::GetDateOrText(int position, std::string_view& text) {
    text = std::string_view();
    const engine::FieldView* field = FieldAt(position);
    return field ? DateOrText(*field, text) : 0;
}

int CDbSelect::DateOrText(const engine::FieldView& field, std::string_view& text) {
    using Kind = engine::Value::Kind;
    if (field.kind == Kind::Date) {
        date_ = DateToText(field.date);
        text = date_;
        return 1;
    }
    if (field.kind == Kind::Text || field.kind == Kind::Memo) {
        text = field.bytes;
        return 1;
    }
    text = std::string_view();
    return 0;
}

bool CDbSelect::CheckFailedRead(int position, const std::string& column) {
    if (failed_) {
        return false;  // the field could not be read at all, or an earlier failure was shown
    }
    using Kind = engine::Value::Kind;
    const engine::FieldView* field = ViewedAt(position);
    if (field && (field->kind == Kind::Null || field->kind == Kind::Empty)) {
        return true;
    }
    failed_ = true;
    if (connection_) {
        connection_->Port().ShowMessage(
            "Errore campo (" + column + ") nella select corrente\n\n" + statement_ + "\n\n" +
                text::Utf8ToCp1252Lossy("Il campo contiene un valore di tipo diverso da quello previsto."),
            ui::kProgramCaption, ui::Icon::Stop);
    }
    return false;
}

}  // namespace db
