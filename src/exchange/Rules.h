// The rules a structure must pass before the census can be sent.
#pragma once

#include <cstddef>
#include <vector>

#include "census/Structure.h"
#include "ui/Port.h"

namespace exchange {

// The failures of the rules, in report order: each a ui::CensusError, the structure's identifier and
// ubicazione (as stored, trailing blanks aside) and the rule's message, Windows-1252.
using CValidationErrorList = std::vector<ui::CensusError>;

// Appends the failures of one structure, as read from the census (texts right-trimmed, titles as
// stored: only their first character counts), in rule order.
void CheckStructure(const census::Structure& s, CValidationErrorList& errors);

// How many structures failed a rule.
std::size_t StructuresWithErrors(const CValidationErrorList& errors);

}  // namespace exchange
