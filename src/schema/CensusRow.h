// A structure read from and written to the rows of depositi: the one mapping between the census
// record and its columns.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "census/Structure.h"
#include "db/DbSelect.h"
#include "db/DbTable.h"
#include "text/Text.h"
#include "ui/Outcome.h"
#include "ui/Port.h"

namespace schema {

// The structure in the current row of a selection whose columns from `first` on are the 53 of
// census::ColumnList(); the identifier is left as it is. Texts lose their trailing blanks, titles
// are kept as stored; a null reads as 0 or the empty text. A failure (a field that cannot be read,
// or one holding a value of another kind) is shown and latched in the selection, which the reader
// checks once its loop is over.
void ReadStructure(db::CDbSelect& s, int first, census::Structure& out);

// How ReadStructure reads each of the 53 columns: a text (without its trailing blanks, or kept whole as
// a title is), a 32-bit integer (the surfaces) or a 16-bit one (the rest).
enum class ColumnReading : std::uint8_t { Text, TrimmedText, Long, Short };
const std::array<ColumnReading, census::kRecordFields>& ColumnReadings();

// Reads the current row as ReadStructure does, with the same getters, checks and failures, but without a
// structure: each column's value goes to `take(i, value)`, i its place among census::Columns(), the
// value a std::string_view for a text (valid until the selection reads another field) or the number as
// a std::int64_t.
template <typename Take>
void ReadStructureFields(db::CDbSelect& s, int first, Take&& take) {
    const auto& columns = census::Columns();
    const auto& readings = ColumnReadings();
    for (std::size_t i = 0; i < census::kRecordFields; ++i) {
        const int position = first + static_cast<int>(i);
        switch (readings[i]) {
            case ColumnReading::Text:
            case ColumnReading::TrimmedText: {
                std::string_view value;
                s.CheckFieldRead(s.GetDateOrText(position, value), position, columns[i].name);
                take(i, readings[i] == ColumnReading::TrimmedText ? text::TrimRightView(value) : value);
                break;
            }
            case ColumnReading::Long: {
                std::int32_t value = 0;
                s.CheckFieldRead(s.GetLong(position, value), position, columns[i].name);
                take(i, std::int64_t{value});
                break;
            }
            case ColumnReading::Short: {
                std::int16_t value = 0;
                s.CheckFieldRead(s.GetShort(position, value), position, columns[i].name);
                take(i, std::int64_t{value});
                break;
            }
        }
    }
}
// The structure in the current row of a cursor on depositi, its identifier too, read as above. Not
// done when a field cannot be read (the failure is shown).
ui::Outcome ReadStructure(db::CDbTable& depositi, census::Structure& out);
// Sets every column but the identifier in the row begun on the cursor; stops at the first field
// refused (the failure is shown).
ui::Outcome SetStructureFields(db::CDbTable& depositi, const census::Structure& s);

// Whether a new structure can take identifier `id`; otherwise says why it cannot be stored.
[[nodiscard]] bool IdentifierFits(ui::Port& port, int id);

// The columns of depositi as the census file defines them (the cursor's own definitions), lined up
// with the structure's: they say, before anything is stored, what storing a structure would refuse.
class StructureColumns {
  public:
    explicit StructureColumns(std::vector<engine::FieldDef> fields);
    // What a new row holding `s` (its identifier set) would be refused for, with the message that
    // SetStructureFields or the Update after it shows: the first field that does not take its value
    // (a text wider than its column, a number beyond its range), else the first required column left
    // null. Nothing when it would be stored.
    std::optional<db::FieldRefusal> Refusal(const census::Structure& s) const;

  private:
    std::vector<engine::FieldDef> fields_;
    // For each of the structure's columns, its place among fields_ (fields_.size() when missing: the
    // storing reports that itself).
    std::array<std::size_t, census::kRecordFields> positions_{};
    std::size_t id_;  // the identifier's place, always set
};

}  // namespace schema
