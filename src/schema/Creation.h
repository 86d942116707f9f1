// The creation of a complete census database, shared by the first start and the "&Crea" command.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "db/DbConnection.h"
#include "schema/SeedLists.h"
#include "ui/Port.h"

namespace schema {

// The locale a census database is created and copied with.
inline constexpr const char* kLocale = ";LANGID=0x0409;CP=1252;COUNTRY=0";

// Creates a complete census database at `path`: its dictionary, tables and relations, the code
// tables' seed rows and the settings row, built under a temporary name and given its name only when
// complete. Shows the success message followed by `successEnding`, or the first failure (the file
// then does not appear).
ui::Outcome CreateCensusDatabase(ui::Port& port, const std::filesystem::path& path,
                                 const std::string& successEnding);

// Puts back into `regazi` and `regcom` every seed row whose code is missing (a repair may have lost
// some); the rows there are kept as they are. Stops at the first failure, which is shown.
ui::Outcome CompleteCodeTables(db::CDbConnection& connection);

// Writes the seed rows into `table` ("regazi" or "regcom"); stops at the first row not stored.
ui::Outcome FillCodeTable(db::CDbConnection& connection, const std::string& table,
                          const std::vector<SeedEntry>& seed);

}  // namespace schema
