#include "census/Structure.h"

namespace census {

const std::array<Column, kRecordFields>& Columns() {
    static const std::array<Column, kRecordFields> columns = [] {
        // The counts' names outlive the table: they are kept in a table of their own.
        static std::array<std::string, kCountCount> countNames;
        std::array<Column, kRecordFields> c{};
        std::size_t i = 0;
        for (const Column& fixed :
             {Column{"ubicaz", ColumnKind::Text, 40}, Column{"local", ColumnKind::Text, 30},
              Column{"comune", ColumnKind::Integer, 0}, Column{"provin", ColumnKind::Text, 2},
              Column{"deposito", ColumnKind::Boolean, 0}, Column{"rifornim", ColumnKind::Boolean, 0},
              Column{"manutenz", ColumnKind::Boolean, 0}, Column{"autostaz", ColumnKind::Boolean, 0},
              Column{"capoattr", ColumnKind::Boolean, 0}, Column{"agenzia", ColumnKind::Boolean, 0},
              // The administrative activity has always been a number.
              Column{"direzle", ColumnKind::Integer, 0}, Column{"sco_pro", ColumnKind::Text, 40},
              Column{"sco_sup", ColumnKind::Long, 0}, Column{"sco_tit", ColumnKind::Text, 1},
              Column{"cop_pro", ColumnKind::Text, 40}, Column{"cop_sup", ColumnKind::Long, 0},
              Column{"cop_tit", ColumnKind::Text, 1}}) {
            c[i++] = fixed;
        }
        constexpr std::array<const char*, kServiceCount> services = {"ext", "sub", "urb"};
        constexpr std::array<const char*, kLengthClassCount> classes = {"b", "a", "l", "n", "m", "c"};
        for (std::size_t service = 0; service < kServiceCount; ++service) {
            for (std::size_t lengthClass = 0; lengthClass < kLengthClassCount; ++lengthClass) {
                for (const bool reserve : {false, true}) {
                    const std::size_t n = CountIndex(service, lengthClass, reserve);
                    countNames[n] =
                        std::string(services[service]) + "_" + classes[lengthClass] + (reserve ? "_r" : "_s");
                    c[kFirstCount + n] = Column{countNames[n].c_str(), ColumnKind::Integer, 0};
                }
            }
        }
        return c;
    }();
    return columns;
}

const std::string& ColumnList() {
    static const std::string list = [] {
        std::string s;
        for (const Column& c : Columns()) {
            s += s.empty() ? "" : ", ";
            s += c.name;
        }
        return s;
    }();
    return list;
}

}  // namespace census
