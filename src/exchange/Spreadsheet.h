// The census for a spreadsheet: a CSV file of every structure, one row each with the grid's columns,
// as Italian spreadsheet programs open it without asking: UTF-8 with a byte-order mark, ";" between
// fields, every line ended by CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/Session.h"
#include "census/Structure.h"

namespace exchange {

// A field as CSV writes it: between double quotes (those inside it doubled) when it holds a ';', a '"',
// a line end, or begins or ends with a blank; as it is otherwise.
std::string CsvField(std::string_view utf8);
// The fields of a row, between ";", without a line end.
std::string CsvRow(const std::vector<std::string>& utf8Fields);

// The heading row: the grid's column titles, each with its band where the title alone does not say
// which column it is ("Aree Scoperte Riservate Superficie (MQ)", "MEZZI URBANI Corti Riserva"). UTF-8.
const std::vector<std::string>& SpreadsheetHeadings();
// A structure's row: the municipality by its name (Windows-1252), the activities "SI" or empty, the
// titles by their names. UTF-8.
std::vector<std::string> SpreadsheetFields(const census::Structure& s, const std::string& comuneName);

// "Esporta per Foglio di Calcolo": every structure of the census, in identifier order, into the file
// the person chooses ("CensimentoVelumbra_<company>.csv" proposed). Done when the file was written.
ui::Outcome ExportSpreadsheet(app::Session& session);

}  // namespace exchange
