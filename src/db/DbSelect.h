// A selection of many rows: the statement is assembled from its fragments, run as a forward-only
// snapshot, and its rows are read in order.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/DbConnection.h"
#include "engine/Query.h"

namespace db {

class CDbSelect {
  public:
    explicit CDbSelect(CDbConnection* connection);
    ~CDbSelect();
    CDbSelect(const CDbSelect&) = delete;
    CDbSelect& operator=(const CDbSelect&) = delete;

    // Each replaces its fragment and returns 1; an empty text clears it and returns 0. Nothing can
    // fail here: the result only tells whether the fragment is set.
    int SetColumns(const std::string& columns);
    int SetFrom(const std::string& tables);
    int SetWhere(const std::string& condition);
    int SetOrderBy(const std::string& order);

    // Runs the statement and positions on the first row; returns the row flag.
    [[nodiscard]] int Execute();
    // Moves to the next row; returns the row flag.
    [[nodiscard]] int Next();
    // True once the selection reported an error (running it, moving on or reading a field): the rows
    // read so far may not be all there are.
    bool Failed() const { return failed_; }
    const std::string& Statement() const { return statement_; }

    // The getters give 1 with the value, or 0: a value of another kind (a null among them) reads as 0
    // or the empty text with nothing shown; a failure is shown and latched in Failed(), which the
    // reader checks once its loop is over.
    // The column's text with trailing blanks removed.
    int GetText(const std::string& column, std::string& buffer);
    // 16-bit integers and Booleans (true gives -1), 8-bit unsigned integers.
    int GetShort(int position, std::int16_t& value);
    // 32-bit integers.
    int GetLong(int position, std::int32_t& value);
    // Dates in their text form, texts unchanged.
    int GetDateOrText(int position, std::string& buffer);
    // The same read in place: the text stays valid until the selection moves on or reads another field
    // this way.
    int GetDateOrText(int position, std::string_view& text);
    // Takes a getter's result for the field at `position`, named `column`: false, and the failure
    // latched in Failed(), when the field held a value of a kind that getter does not read (shown,
    // unless the selection has failed already). A null stays a value read as 0 or the empty text.
    bool CheckFieldRead(int gotten, int position, const std::string& column) {
        return gotten == 1 || CheckFailedRead(position, column);
    }

  private:
    static int SetFragment(std::optional<std::string>& fragment, const std::string& text);
    void BuildStatement();
    void ShowError(const char* prefix, const std::string& description, ui::Icon icon);
    bool CheckFailedRead(int position, const std::string& column);
    // The field read in place, or nothing where there is none; FieldAt shows why.
    const engine::FieldView* ViewedAt(int position);
    const engine::FieldView* FieldAt(int position);
    int DateOrText(const engine::FieldView& field, std::string_view& text);

    CDbConnection* connection_;
    std::unique_ptr<engine::QueryDef> query_;
    std::unique_ptr<engine::Snapshot> snapshot_;
    std::optional<std::string> columns_;
    std::optional<std::string> from_;
    std::optional<std::string> where_;
    std::optional<std::string> orderBy_;
    std::string statement_;
    int rowFlag_ = 0;
    bool failed_ = false;
    // The current row's fields, read in place all at once when the first of them is asked for.
    std::vector<engine::FieldView> fields_;
    bool viewed_ = false;
    std::string date_;  // the text of the date GetDateOrText read last
};

}  // namespace db
