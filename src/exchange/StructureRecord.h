// The exchanged form of a structure, the list of them with company and date, the line checksum and
// the record line of the communication files.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/DbConnection.h"
#include "ui/Outcome.h"

namespace exchange {

inline constexpr int kFlagCount = 7;
inline constexpr int kCountCount = 36;
inline constexpr int kRecordFields = 53;

struct CStructureRecord {
    std::string ubicaz;
    std::string local;
    int comune = 0;
    std::string provin;
    std::array<bool, kFlagCount>
        flags{};  // deposito, rifornim, manutenz, autostaz, capoattr, agenzia, direzle
    std::string scoPro;
    // The surfaces are 32-bit in the census. Held wider, so that a file's number beyond that range is
    // kept as read and refused when the record is stored, as the 16-bit fields' are.
    std::int64_t scoSup = 0;
    std::string scoTit;  // one character, or none
    std::string copPro;
    std::int64_t copSup = 0;
    std::string copTit;
    std::array<int, kCountCount> counts{};  // ext, sub, urb; classes b a l n m c; service before reserve
    bool operator==(const CStructureRecord&) const = default;
};

struct CStructureRecordList {
    int company = 0;
    std::string date;  // DD/MM/YYYY
    std::vector<CStructureRecord> records;
    std::size_t Count() const { return records.size(); }
};

// The 53 columns of the record, in order, as a select list.
const std::string& RecordColumnList();

// The sum of the line's bytes as signed 8-bit values, TAB and line feed excluded.
std::int32_t ComputeLineChecksum(std::string_view line);
// The running checksum of the files: (previous + checksum of the line) mod 1,000,000,000, the
// remainder truncated toward zero.
std::int32_t AddLineChecksum(std::int32_t previous, std::string_view line);

// The record line, without its line end. A TAB, carriage return or line feed inside a text is written
// as a blank, so that the layout holds.
std::string FormatRecordLine(const CStructureRecord& record);
// Reads a record line: exactly 53 fields, none longer than the reader takes (1023 characters, 63 for
// the four texts, 15 for the province). Appends the record and returns true, or returns false.
[[nodiscard]] bool ParseRecordLine(CStructureRecordList& list, std::string_view line);

// Every structure of depositi in ID order, as records with their identifiers. False when the
// selection reported an error (the records are then not all there are).
struct IdentifiedRecord {
    int id = 0;
    CStructureRecord record;
};
ui::Outcome ReadStructureRecords(db::CDbConnection& connection, std::vector<IdentifiedRecord>& out);

}  // namespace exchange
