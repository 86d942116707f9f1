// Unnamed queries and the forward-only snapshots they open.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Sqlite.h"
#include "engine/Status.h"
#include "engine/Value.h"

namespace engine {

class Database;
class Snapshot;

class QueryDef {
  public:
    // Runs the query and keeps every row of its result: changes made to the database afterwards,
    // even while the snapshot is being read, are not seen through it.
    Result<std::unique_ptr<Snapshot>> OpenSnapshot();

  private:
    friend class Database;
    QueryDef(Database& db, detail::Stmt stmt) : db_(db), stmt_(std::move(stmt)) {}
    Database& db_;
    detail::Stmt stmt_;
};

class Snapshot {
  public:
    bool AtEnd() const { return current_ >= rowCount_; }
    void MoveNext();
    std::size_t RowCount() const { return rowCount_; }

    int ColumnCount() const { return static_cast<int>(names_.size()); }
    const std::string& ColumnName(int index) const { return names_[static_cast<std::size_t>(index)]; }
    // The column's position by name (letters compared without case), or -1.
    int ColumnIndex(std::string_view name) const;
    // The field of the current row.
    Result<Value> Field(int index) const;
    // The same without a copy, or nothing where Field gives a failure: the value stays valid until the
    // snapshot moves on.
    const Value* FieldIfAny(int index) const {
        return !AtEnd() && index >= 0 && index < ColumnCount() ? &row_[static_cast<std::size_t>(index)] : nullptr;
    }
    Result<Value> Field(std::string_view name) const;

  private:
    friend class QueryDef;
    Snapshot() = default;
    void DecodeCurrent();

    std::vector<std::string> names_;
    std::vector<std::string> lowerNames_;
    std::string data_;                  // every row, encoded one after another
    std::vector<std::size_t> offsets_;  // where each row begins in data_
    std::size_t rowCount_ = 0;
    std::size_t current_ = 0;
    std::vector<Value> row_;  // the current row, decoded
};

}  // namespace engine
