// The census at a glance: how many structures there are and what is done in them, the surfaces by
// title of possession and the buses by service and length class, all summed in one reading of the
// census. The same figures make the summary window, its printed page and the command-line listing.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "census/Structure.h"
#include "db/DbConnection.h"
#include "ui/Outcome.h"

namespace exchange {

// The titles of possession the surfaces are summed by: "A", "B", "C", and none (a blank).
inline constexpr std::size_t kTitleKinds = 4;
inline constexpr std::size_t kNoTitle = 3;

struct CensusSummary {
    std::int64_t structures = 0;
    std::array<std::int64_t, census::kFlagCount> byActivity{};  // the structures carrying each out
    std::array<std::int64_t, kTitleKinds> uncovered{};          // square metres, by title
    std::array<std::int64_t, kTitleKinds> covered{};
    std::array<std::int64_t, census::kCountCount> buses{};  // in the order of the counts

    void Add(const census::Structure& s);
    std::int64_t Buses(std::size_t service, std::size_t lengthClass, bool reserve) const {
        return buses[census::CountIndex(service, lengthClass, reserve)];
    }
    // The buses of a service (every class), of a length class (every service), or all of them.
    std::int64_t ServiceBuses(std::size_t service, bool reserve) const;
    std::int64_t ClassBuses(std::size_t lengthClass, bool reserve) const;
    std::int64_t AllBuses(bool reserve) const;
};

// Where a title's surfaces are summed: 0 to 2 for "A" to "C", kNoTitle for anything else.
std::size_t TitleKind(const std::string& title);

// The words of the census's columns, Windows-1252, as the grid shows them.
const std::string& ActivityName(std::size_t activity);        // "Deposito" ... "Amministrativo"
const std::string& ServiceName(std::size_t service);          // "Extraurbani", "Suburbani", "Urbani"
const std::string& LengthClassName(std::size_t lengthClass);  // "Bipiano" ... "Corti"
const std::string& TitleName(std::size_t kind);               // "Proprietà" ... "Nessun titolo"

// Sums the whole census in one reading. Not done when it could not be read whole (the failure is shown).
ui::Outcome SummariseCensus(db::CDbConnection& connection, CensusSummary& summary);

// The figures as tables: a title, the column headings, and rows each with its label first. Windows-1252.
struct SummaryTable {
    std::string title;
    std::string accessibleName;         // what the table holds, told to screen readers
    std::vector<std::string> headings;  // the first one heads the labels
    std::vector<std::vector<std::string>> rows;
};
// The structures and their activities, the surfaces by title, the buses in service and in reserve (each
// with its totals by row and by column).
std::vector<SummaryTable> SummaryTables(const CensusSummary& summary);

// The tables as text for a terminal: each under its title, its columns aligned. UTF-8, lines ended by
// "\n".
std::string SummaryText(const CensusSummary& summary);
// The tables as CSV: each a heading row (the table's title first) and its rows, an empty line between
// tables. UTF-8, ";" between fields, lines ended by "\n".
std::string SummaryCsv(const CensusSummary& summary);

}  // namespace exchange
