#include "schema/CodeList.h"

#include "db/DbSelect.h"
#include "text/Text.h"

namespace schema {

std::optional<std::vector<std::string>> CodeListEntries(db::CDbConnection& connection,
                                                        const std::string& table) {
    std::vector<std::string> entries;
    db::CDbSelect codes(&connection);
    codes.SetColumns("codice, denom");
    codes.SetFrom(table);
    codes.SetOrderBy("denom");
    for (int row = codes.Execute(); row == 1; row = codes.Next()) {
        std::int16_t code = 0;
        std::string name;
        // A null reads as 0 or the empty text; a failure is latched and checked below.
        codes.CheckFieldRead(codes.GetShort(0, code), 0, "codice");
        codes.CheckFieldRead(codes.GetDateOrText(1, name), 1, "denom");
        entries.push_back(text::FormatIntZeroPadded(code, 4) + " - " + name);
    }
    if (codes.Failed()) {
        return std::nullopt;
    }
    return entries;
}

std::optional<std::vector<std::string>> FillCompanyCombo(db::CDbConnection& connection) {
    return CodeListEntries(connection, "regazi");
}

}  // namespace schema
