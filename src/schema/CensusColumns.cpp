#include "schema/CensusColumns.h"

namespace schema {

const std::array<const char*, 7>& FlagColumns() {
    static const std::array<const char*, 7> columns = {"deposito", "rifornim", "manutenz", "autostaz",
                                                       "capoattr", "agenzia",  "direzle"};
    return columns;
}

const std::array<std::string, 36>& CountColumns() {
    static const std::array<std::string, 36> columns = [] {
        std::array<std::string, 36> names;
        std::size_t i = 0;
        for (const char* service : {"ext", "sub", "urb"}) {
            for (const char* lengthClass : {"b", "a", "l", "n", "m", "c"}) {
                for (const char* use : {"s", "r"}) {
                    names[i++] = std::string(service) + "_" + lengthClass + "_" + use;
                }
            }
        }
        return names;
    }();
    return columns;
}

}  // namespace schema
