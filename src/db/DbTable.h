// Keyed access to one table of an open connection: select an index, seek by key texts, edit, add,
// store and delete rows, fields read and written as text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/DbConnection.h"
#include "engine/TableCursor.h"
#include "ui/Outcome.h"

namespace db {

// A refusal as a cursor shows it: what failed, then the engine's own description.
struct FieldRefusal {
    std::string prefix;
    std::string description;
};

// What SetField of `text` into the field `f` of `table` (named `field` by the caller) would refuse,
// with the message it would show; nothing when the field takes it. The empty text, which stores null,
// is taken here and judged by RequiredRefusal.
std::optional<FieldRefusal> SetFieldRefusal(const std::string& table, const std::string& field,
                                            const engine::FieldDef& f, std::string_view text);
// The same for the decimal text of `number`.
std::optional<FieldRefusal> SetNumberRefusal(const std::string& table, const std::string& field,
                                             const engine::FieldDef& f, std::int64_t number);
// What Update would refuse in a row of `table` whose field `f` is null, with its message; nothing when
// the field may be null.
std::optional<FieldRefusal> RequiredRefusal(const std::string& table, const engine::FieldDef& f);

// What a seek came to: a row found, no row with that key, or a failure that was shown already.
class [[nodiscard]] SeekResult {
  public:
    using Kind = engine::SeekResult::Kind;
    static SeekResult Found() { return SeekResult(Kind::Found, 0); }
    static SeekResult NotFound() { return SeekResult(Kind::NotFound, 0); }
    // `code`: SQLite's extended result code (engine::Status::code()), 0 for the engine's own refusals.
    static SeekResult Failed(int code) { return SeekResult(Kind::Failed, code); }

    Kind kind() const { return kind_; }
    bool found() const { return kind_ == Kind::Found; }
    // What SQLite said when the seek failed; 0 otherwise.
    int code() const { return code_; }

  private:
    SeekResult(Kind kind, int code) : kind_(kind), code_(code) {}
    Kind kind_;
    int code_;
};

class CDbTable {
  public:
    // Opens the table; on a closed or absent connection the cursor is simply not open.
    CDbTable(CDbConnection* connection, const std::string& table);
    ~CDbTable();
    CDbTable(const CDbTable&) = delete;
    CDbTable& operator=(const CDbTable&) = delete;

    int IsOpen() const { return open_; }
    // The table's fields as the file defines them; none when the cursor is not open.
    const std::vector<engine::FieldDef>& Fields() const;
    // Each operation shows its own failure; done tells the caller whether it worked.
    ui::Outcome SelectIndex(const std::string& index);
    // 1 to 16 key texts, in index order: the row with that key found (the current row now), none, or
    // a failure, shown.
    SeekResult Seek(const std::vector<std::string>& keys);
    ui::Outcome Edit();
    ui::Outcome AddNew();
    ui::Outcome Update();
    ui::Outcome Delete();
    // Deletes every row of the table at once.
    ui::Outcome DeleteAll();

    // An empty text stores null; "00/00/0000" and "99/99/9999" store the dates they stand for.
    ui::Outcome SetField(const std::string& field, const std::string& text);
    // The same as SetField of the number's decimal text, without the text.
    ui::Outcome SetNumber(const std::string& field, std::int64_t number);
    ui::Outcome GetField(const std::string& field, std::string& buffer);
    ui::Outcome GetFieldWithBlob(const std::string& field, std::string& buffer);

  private:
    ui::Outcome Failed(const std::string& message, const engine::Status& status);
    // Edit, AddNew, Update, Delete and DeleteAll: the cursor's step, its failure shown as "<what>
    // tavola (<table>)" and the engine's description.
    ui::Outcome RowOperation(engine::Status (engine::TableCursor::*operation)(), const char* what);
    ui::Outcome ReadField(const std::string& field, std::string& buffer, bool withBlob);

    CDbConnection* connection_;
    std::unique_ptr<engine::TableCursor> cursor_;
    std::optional<std::string> name_;
    int open_ = 0;
};

}  // namespace db
