// One structure of the census, as every part of the program holds it: stored in depositi, listed,
// edited, checked, exported and imported. Texts are Windows-1252 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace census {

inline constexpr std::size_t kFlagCount = 7;  // the activities carried out there
// The bus counts: for each of the three services (extraurban, suburban, urban) and each of the six
// length classes (b a l n m c), the buses in service and those in reserve.
inline constexpr std::size_t kServiceCount = 3;
inline constexpr std::size_t kLengthClassCount = 6;
inline constexpr std::size_t kUseCount = 2;
inline constexpr std::size_t kCountCount = kServiceCount * kLengthClassCount * kUseCount;
// Where the count of a service, a length class and a use (in service or in reserve) is among the counts.
constexpr std::size_t CountIndex(std::size_t service, std::size_t lengthClass, bool reserve) {
    return (service * kLengthClassCount + lengthClass) * kUseCount + (reserve ? 1 : 0);
}
// The columns of a structure after its identifier, in the order of depositi and of the record line.
inline constexpr std::size_t kRecordFields = 4 + kFlagCount + 6 + kCountCount;
// The longest field the record reader takes in any column.
inline constexpr std::size_t kMaxRecordField = 1023;
// The identifier is a 16-bit integer: 0 to 32767.
inline constexpr int kMaxStructureId = 32767;

struct Structure {
    int id = -1;  // -1: not stored yet
    std::string ubicaz;
    std::string local;
    int comune = -1;  // the municipality's code; -1: none chosen
    std::string provin;
    // deposito, rifornim, manutenz, autostaz, capoattr, agenzia, direzle
    std::array<bool, kFlagCount> flags{};
    std::string scoPro;
    std::int64_t scoSup = 0;   // wider than the column: a number read from a file is kept as it is
    std::string scoTit = " ";  // "A", "B", "C" or a blank; any other text is kept (and refused on storing)
    std::string copPro;
    std::int64_t copSup = 0;
    std::string copTit = " ";
    // ext, sub, urb; within each the length classes b a l n m c; in service before reserve
    std::array<int, kCountCount> counts{};
    bool operator==(const Structure&) const = default;
};

// The kinds of the columns, as the dictionary's type codes name them.
enum class ColumnKind : char { Text = 'A', Boolean = 'B', Integer = 'I', Long = 'L' };

// Which member of a structure holds a column: a text, a number or a surface, or one of the flags or of
// the counts.
struct FlagAt {
    std::size_t index;
};
struct CountAt {
    std::size_t index;
};
using ColumnMember =
    std::variant<std::string Structure::*, int Structure::*, std::int64_t Structure::*, FlagAt, CountAt>;

struct Column {
    std::string name;
    ColumnKind kind;
    int size;  // characters, for texts
    // The longest field the record reader takes for the column (the record line carries the columns
    // in this order).
    std::size_t readLimit;
    std::string label;  // the dictionary's label and description, UTF-8
    std::string description;
    ColumnMember member;
};

// Where the flags and the counts begin among the columns (the map places them there), for views that
// show the columns in their order, a heading over each series.
inline constexpr std::size_t kFirstFlag = 4;
inline constexpr std::size_t kFirstCount = kRecordFields - kCountCount;

// The 53 columns after the identifier, in order.
const std::array<Column, kRecordFields>& Columns();
// "ubicaz, local, ..., urb_c_r": the 53 names as a select list.
const std::string& ColumnList();

// A title: one character, where a blank means "no title".
inline bool IsTitle(const Column& c) {
    return c.kind == ColumnKind::Text && c.size == 1;
}

// Calls `visit(column, member)` for the 53 columns in order, with the member of `s` that holds it: a
// std::string, an int (the municipality and the counts), a bool (the flags but direzle) or a
// std::int64_t (the surfaces). direzle is a number column held as a flag.
template <typename S, typename Visit>
void VisitColumns(S& s, Visit&& visit) {
    for (const Column& c : Columns()) {
        std::visit(
            [&](const auto& member) {
                using Member = std::decay_t<decltype(member)>;
                if constexpr (std::is_same_v<Member, FlagAt>) {
                    visit(c, s.flags[member.index]);
                } else if constexpr (std::is_same_v<Member, CountAt>) {
                    visit(c, s.counts[member.index]);
                } else {
                    visit(c, s.*member);
                }
            },
            c.member);
    }
}

// The first character of a title, or a blank where there is none.
inline char TitleChar(std::string_view title) {
    return title.empty() ? ' ' : title[0];
}

}  // namespace census
