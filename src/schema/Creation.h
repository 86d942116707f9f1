// The creation of a complete census database, shared by the first start and the "&Crea" command.
#pragma once

#include <string>
#include <vector>

#include "db/DbConnection.h"
#include "schema/SeedLists.h"
#include "ui/Port.h"

namespace schema {

// The locale a census database is created and copied with.
inline constexpr const char* kLocale = ";LANGID=0x0409;CP=1252;COUNTRY=0";

enum class CreationOutcome {
    Failed,      // the file or its special tables could not be made (both messages shown)
    Incomplete,  // a table, index or relation failed: the file stays, without code rows
    Created,     // complete, and the success message shown
};

// Creates the file at `path`, its dictionary, tables and relations, fills the code tables and shows
// the success message followed by `successEnding`. Shows every failure itself.
CreationOutcome CreateCensusDatabase(ui::Port& port, const std::string& path,
                                     const std::string& successEnding);

// Writes the seed rows into `table` ("regazi" or "regcom").
void FillCodeTable(db::CDbConnection& connection, const std::string& table,
                   const std::vector<SeedEntry>& seed);

}  // namespace schema
