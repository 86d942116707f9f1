// The census beside a communication file of the observatory, by content: an import renumbers the
// structures, so a structure is known by where it stands (ubicazione, località, comune, provincia).
#pragma once

#include <cstddef>
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

// A structure of the census as it is compared: its identifier, and its record line as an export
// writes it with each field's trailing blanks removed (ComparedLine).
struct ComparedStructure {
    int id;
    std::string line;
};
std::string ComparedLine(const census::Structure& record);

// Pairs the census (in identifier order) with the file's records (in file order): two structures are
// the same when their ubicazione, località, comune and provincia match, trailing blanks aside; several
// structures at one place are paired in their order. A pair is unchanged when every field the file
// carries is alike (as an export would write it, trailing blanks aside), changed otherwise; the census's
// structures left over are gone, the file's are new.
CensusComparison CompareCensus(const std::vector<ComparedStructure>& census,
                               const std::vector<census::Structure>& file);
CensusComparison CompareCensus(const std::vector<census::Structure>& census,
                               const std::vector<census::Structure>& file);

}  // namespace exchange
