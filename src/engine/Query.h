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
    // Runs the query as a snapshot: changes made to the database afterwards, even while the
    // snapshot is being read, are not seen through it. The rows stream from a read transaction of
    // their own on a second handle when the file allows it; otherwise they are kept in memory.
    Result<std::unique_ptr<Snapshot>> OpenSnapshot();

  private:
    friend class Database;
    QueryDef(Database& db, detail::Stmt stmt, std::string utf8Sql)
        : db_(db), stmt_(std::move(stmt)), utf8Sql_(std::move(utf8Sql)) {}
    Result<std::unique_ptr<Snapshot>> KeepInMemory();
    Database& db_;
    detail::Stmt stmt_;
    std::string utf8Sql_;
};

class Snapshot {
  public:
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    bool AtEnd() const { return atEnd_; }
    // Moves to the next row; a row that cannot be read ends the snapshot with the failure.
    Status MoveNext();

    int ColumnCount() const { return static_cast<int>(names_.size()); }
    // The column's position by name (letters compared without case), or -1.
    int ColumnIndex(std::string_view name) const;
    // The field of the current row.
    Result<Value> Field(int index) const;
    // The same without a copy, or nothing where Field gives a failure: the value stays valid until the
    // snapshot moves on.
    const Value* FieldIfAny(int index) const;
    // The same read in place, without making a value: false where Field gives a failure. The bytes stay
    // valid until the snapshot moves on or views the same field again.
    bool ViewField(int index, FieldView& out) const;
    // The same for every field of the row at once, into `out` (ColumnCount() of them); false where there
    // is no current row.
    bool ViewFields(FieldView* out) const;
    Result<Value> Field(std::string_view name) const;

  private:
    friend class QueryDef;
    Snapshot() = default;
    // Done on every move: the row's values are made only when asked for.
    void MovedTo();
    void ViewAt(std::size_t column, FieldView& out) const;
    Status Step();

    std::vector<std::string> names_;
    std::vector<std::string> lowerNames_;
    std::vector<FieldType> types_;
    std::vector<bool> declared_;
    bool atEnd_ = true;
    mutable std::vector<Value> row_;  // the current row, made from its views when first asked for
    mutable bool decoded_ = false;
    mutable std::vector<std::string> scratch_;  // a field's text in Windows-1252, where it needs converting

    // Kept in memory:
    std::string data_;                  // every row, encoded one after another
    std::vector<std::size_t> offsets_;  // where each row begins in data_
    std::size_t current_ = 0;
    std::vector<std::size_t> fieldsAt_;  // where each field of the current row begins in data_

    // Streamed:
    Database* owner_ = nullptr;
    sqlite3* reader_ = nullptr;  // holds the read transaction
    detail::Stmt stream_;
};

}  // namespace engine
