// The exchanged form of a structure, the list of them with company and date, the line checksum and
// the record line of the communication files.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "census/Structure.h"
#include "db/DbConnection.h"
#include "ui/Outcome.h"

namespace exchange {

using census::kCountCount;
using census::kFlagCount;
using census::kRecordFields;

struct CStructureRecordList {
    int company = 0;
    std::string date;  // DD/MM/YYYY
    std::vector<census::Structure> records;
    std::size_t Count() const { return records.size(); }
};

// Structures held compactly, one after another in one piece of storage (the texts by their bytes, the
// numbers in as few bytes as they need), for the many records of a file held at once.
class StructureRecords {
  public:
    StructureRecords() = default;
    explicit StructureRecords(const std::vector<census::Structure>& records);

    // Room for records of about `bytes` in all, taken only as it is filled.
    void Reserve(std::size_t bytes) { bytes_.reserve(bytes); }
    void Add(const census::Structure& record);
    std::size_t size() const { return starts_.size(); }
    // The record at `index` into `out`, whose texts keep their storage.
    void Get(std::size_t index, census::Structure& out) const;

  private:
    std::string bytes_;
    std::vector<std::size_t> starts_;
};

// The sum of the line's bytes as signed 8-bit values, TAB and line feed excluded.
std::int32_t ComputeLineChecksum(std::string_view line);
// The running checksum of the files: (previous + checksum of the line) mod 1,000,000,000, the
// remainder truncated toward zero.
std::int32_t AddLineChecksum(std::int32_t previous, std::string_view line);
// The same step with a line's checksum already computed.
std::int32_t AddChecksum(std::int32_t previous, std::int32_t lineChecksum);

// The record line, without its line end. A TAB, carriage return or line feed inside a text is written
// as a blank, so that the layout holds.
std::string FormatRecordLine(const census::Structure& record);
// The same, appended to `out`.
void AppendRecordLine(std::string& out, const census::Structure& record);
// The census's structures as the record lines of a communication file, each ended by CR LF, with the
// checksum of each line (the running checksum begins with the company and date lines, which are known
// only later).
struct CommunicationBody {
    std::string lines;
    std::vector<std::int32_t> lineChecksums;
    // Appends the record line of a structure.
    void Add(const census::Structure& record);
};

// Reads a record line: exactly 53 fields, none longer than the reader takes (1023 characters, 63 for
// the four texts, 15 for the province). Reads it into `record` (whose texts keep their storage) and
// returns true, or returns false with `record` left in any state.
[[nodiscard]] bool ParseRecord(std::string_view line, census::Structure& record);
// The same, appending the record to the list.
[[nodiscard]] bool ParseRecordLine(CStructureRecordList& list, std::string_view line);

// Calls `visit` with every structure of depositi in ID order, with its identifier, read into the same
// record (its texts right-trimmed as stored). Not done when the selection reported an error (the
// structures were then not all there are).
ui::Outcome ForEachStructure(db::CDbConnection& connection,
                             const std::function<void(const census::Structure&)>& visit);
// The same, the census judged intact or not by `intact` (a check begun before, CheckIntact's verdict).
ui::Outcome ForEachStructure(db::CDbConnection& connection,
                             const std::function<void(const census::Structure&)>& visit,
                             const std::function<ui::Outcome()>& intact);
// Every structure of depositi in ID order, with its identifier, as ForEachStructure reads them.
ui::Outcome ReadStructureRecords(db::CDbConnection& connection, std::vector<census::Structure>& out);

// The municipalities' names by code (Windows-1252, right-trimmed), read at once; nothing when they
// cannot be read whole (shown).
using MunicipalityNames = std::unordered_map<int, std::string>;
std::optional<MunicipalityNames> ReadMunicipalityNames(db::CDbConnection& connection);
// A structure's municipality by its code: its name, or "*** Inesistente ***" when it is not listed.
const std::string& MunicipalityName(const MunicipalityNames& names, int code);

}  // namespace exchange
