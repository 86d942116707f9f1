// The built-in lists of regional company and municipality codes written into every new database.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace schema {

struct SeedEntry {
    std::int32_t code;
    std::string name;  // Windows-1252
};

// Codes 0 to 203 in order; code 0 is "*** azienda non assegnata ***".
const std::vector<SeedEntry>& RegaziSeed();
// Code 0 is "*** COMUNE NON ASSEGNATO ***", then the municipalities in alphabetical order.
const std::vector<SeedEntry>& RegcomSeed();

}  // namespace schema
