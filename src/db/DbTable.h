// Keyed access to one table of an open connection: select an index, seek by key texts, edit, add,
// store and delete rows, fields read and written as text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/DbConnection.h"
#include "engine/TableCursor.h"

namespace db {

class CDbTable {
  public:
    // Opens the table; on a closed or absent connection the cursor is simply not open.
    CDbTable(CDbConnection* connection, const std::string& table);
    ~CDbTable();
    CDbTable(const CDbTable&) = delete;
    CDbTable& operator=(const CDbTable&) = delete;

    int IsOpen() const { return open_; }
    int SelectIndex(const std::string& index);
    // 1 to 16 key texts, in index order; 1 when a row with that key exists.
    int Seek(const std::vector<std::string>& keys);
    // As Seek, without reading the row's fields: for a Delete or an Edit to follow.
    int Locate(const std::vector<std::string>& keys);
    int Edit();
    int AddNew();
    int Update();
    int Delete();

    // An empty text stores null; "00/00/0000" and "99/99/9999" store the dates they stand for.
    int SetField(const std::string& field, const std::string& text);
    int GetField(const std::string& field, std::string& buffer);
    int GetFieldWithBlob(const std::string& field, std::string& buffer);

  private:
    int Failed(const std::string& message, const engine::Status& status);
    int ReadField(const std::string& field, std::string& buffer, bool withBlob);

    CDbConnection* connection_;
    std::unique_ptr<engine::TableCursor> cursor_;
    std::optional<std::string> name_;
    int open_ = 0;
};

}  // namespace db
