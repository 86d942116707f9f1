// The names of the census columns that come in series: the seven activity flags and the 36 bus counts
// (by service ext, sub, urb; within each the length classes b, a, l, n, m, c; in service before reserve).
#pragma once

#include <array>
#include <string>

namespace schema {

const std::array<const char*, 7>& FlagColumns();
const std::array<std::string, 36>& CountColumns();

}  // namespace schema
