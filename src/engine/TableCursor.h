// Table-mode cursor: keyed access to one table through its indexes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/Database.h"
#include "engine/Sqlite.h"

namespace engine {

// What a Seek came to: a row found (the current row now), no row with that key, or a failure.
class [[nodiscard]] SeekResult {
  public:
    enum class Kind { Found, NotFound, Failed };
    static SeekResult Found() { return SeekResult(Kind::Found); }
    static SeekResult NotFound() { return SeekResult(Kind::NotFound); }
    // A failure of the seek (never Status::Ok()).
    SeekResult(Status failure)  // NOLINT(google-explicit-constructor)
        : kind_(Kind::Failed), status_(std::move(failure)) {}

    Kind kind() const { return kind_; }
    // Why the seek failed, with SQLite's code; ok unless it failed.
    const Status& status() const { return status_; }

  private:
    explicit SeekResult(Kind kind) : kind_(kind) {}
    Kind kind_;
    Status status_;
};

class TableCursor {
  public:
    const std::string& table() const { return table_; }
    const std::vector<FieldDef>& fields() const { return fields_; }

    // Makes the named index the current one.
    Status SelectIndex(std::string_view index);
    // Positions on the first row whose key starts with the given values (texts converted to the
    // types of the index's columns). A miss leaves no current row and the cursor usable.
    SeekResult Seek(const std::vector<std::string>& keys);
    // Starts changing the current row.
    Status Edit();
    // Starts a new row with every field null.
    Status AddNew();
    // Stores the row begun by Edit or AddNew.
    Status Update();
    // Deletes the current row; afterwards there is no current row.
    Status Delete();
    // Deletes every row of the table in one statement (relations are enforced as for Delete);
    // afterwards there is no current row.
    Status DeleteAll();

    Result<Value> GetField(std::string_view field) const;
    // Sets a field of the row being edited or added from its text.
    Status SetField(std::string_view field, std::string_view text);
    // Sets it from a whole number, as SetField does from the number's decimal text.
    Status SetFieldNumber(std::string_view field, std::int64_t number);
    Status SetFieldNull(std::string_view field);
    Status SetFieldValue(std::string_view field, Value value);

  private:
    friend class Database;
    TableCursor(Database& db, std::string table, std::vector<FieldDef> fields);
    enum class Mode { None, Editing, Adding };

    // The position of the field, or fields_.size() when the table has none of that name.
    std::size_t FindField(std::string_view field) const;
    Result<std::size_t> FieldIndex(std::string_view field) const;
    Status SetFieldAt(std::size_t index, Value value);
    Status LoadRow(std::int64_t rowid);
    // Reads the current row from the fields of `stmt`, the first at column `first`.
    void ReadRow(const detail::Stmt& stmt, int first);
    std::string ColumnList() const;

    Database& db_;
    std::string table_;
    std::vector<FieldDef> fields_;
    std::unordered_map<std::string, std::size_t> positions_;  // by name in lower case
    std::vector<std::string> lowerNames_;                     // by position
    std::vector<char> inMap_;  // false for a name the map already held under an earlier position
    // Fields are mostly named in the same sequence row after row: the field that followed the last one
    // found the previous time is tried first (followers_[fields_.size()]: the first one found).
    mutable std::vector<std::size_t> followers_;
    mutable std::size_t lastFound_ = 0;
    std::string quotedTable_;

    std::string indexName_;
    std::vector<std::size_t> indexColumns_;  // positions in fields_
    std::vector<detail::Stmt> seeks_;        // for the current index, by number of key values
    detail::Stmt load_;
    detail::Stmt insert_;
    detail::Stmt update_;
    detail::Stmt delete_;

    bool hasRow_ = false;
    std::int64_t rowid_ = 0;
    std::vector<Value> row_;
    Mode mode_ = Mode::None;
    std::vector<Value> buffer_;
};

}  // namespace engine
