// The census beside a communication file of the observatory, by content: an import renumbers the
// structures, so a structure is known by where it stands (ubicazione, località, comune, provincia).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "exchange/StructureRecord.h"

namespace exchange {

struct CensusComparison {
    std::size_t unchanged = 0;
    std::size_t changed = 0;
    std::size_t added = 0;
    std::size_t gone = 0;
    // One line per changed structure (its identifier, its place, each field that differs with its
    // value in the census and in the file), then per new structure (its place), then per gone
    // structure (its identifier and place). Windows-1252, without line ends.
    std::vector<std::string> lines;

    // "invariate U, modificate M, nuove N, eliminate E".
    std::string Summary() const;
    // The summary, then the lines, each ended by a line feed but the last.
    std::string Text() const;
};

// A structure's record line as an export writes it, with each field's trailing blanks removed: the
// text a comparison shows of its fields.
std::string ComparedLine(const census::Structure& record);

// Pairs the census (in identifier order) with the file's records (in file order): two structures are
// the same when their ubicaz, località, comune and provincia match, trailing blanks aside; several
// structures at one place are paired in their order. A pair is unchanged when every field the file
// carries is alike (as an export would write it, trailing blanks aside), changed otherwise; the census's
// structures left over are gone, the file's are new. The census is handed over one structure at a time,
// as it is read, and is not held; the file's records are, by reference, until the comparison is taken.
class CensusComparer {
  public:
    explicit CensusComparer(const StructureRecords& file);
    CensusComparer(const CensusComparer&) = delete;
    CensusComparer& operator=(const CensusComparer&) = delete;

    // The census's next structure, in identifier order.
    void Add(const census::Structure& stored);
    // The comparison of the structures added with the file's records; taken once, at the end.
    CensusComparison Take();

  private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    // The slot of the file's place of `record`: that place's (its first record then read into
    // incoming_), or the empty one where it would go.
    std::size_t SlotOf(const census::Structure& record, std::size_t hash);

    const StructureRecords& file_;
    census::Structure incoming_;  // a record of the file, read back
    // An open-addressed table of the file's places: the place's first record, and its first record
    // not paired yet; the records at one place are chained in file order.
    std::vector<std::uint32_t> first_, unpaired_;
    std::vector<std::size_t> hashes_;  // of each slot's place
    std::vector<std::uint32_t> next_;
    std::vector<bool> taken_;
    CensusComparison result_;
    std::vector<std::string> goneLines_;
};

CensusComparison CompareCensus(const std::vector<census::Structure>& census,
                               const std::vector<census::Structure>& file);

}  // namespace exchange
