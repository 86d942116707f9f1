#include "exchange/Summary.h"

#include <algorithm>

#include "exchange/Spreadsheet.h"
#include "exchange/StructureRecord.h"
#include "text/Text.h"

namespace exchange {

namespace {

using census::kFlagCount;
using census::kLengthClassCount;
using census::kServiceCount;

const std::string& Word(const std::vector<std::string>& words, std::size_t i) {
    static const std::string none;
    return i < words.size() ? words[i] : none;
}

std::vector<std::string> Cp1252Words(std::initializer_list<const char*> utf8) {
    std::vector<std::string> words;
    for (const char* w : utf8) {
        words.push_back(text::Utf8ToCp1252Lossy(w));
    }
    return words;
}

std::string Figure(std::int64_t value) {
    return text::FormatInt(value);
}

// The buses of one use as a table: a row for each service and one of totals, a column for each length
// class and one of totals.
SummaryTable BusTable(const CensusSummary& summary, bool reserve) {
    SummaryTable t;
    t.title = reserve ? "Mezzi in riserva" : "Mezzi in servizio";
    t.accessibleName = reserve ? "Mezzi in riserva per servizio e classe di lunghezza"
                               : "Mezzi in servizio per servizio e classe di lunghezza";
    t.headings.push_back("Servizio");
    for (std::size_t c = 0; c < kLengthClassCount; ++c) {
        t.headings.push_back(LengthClassName(c));
    }
    t.headings.push_back("Totale");
    for (std::size_t s = 0; s <= kServiceCount; ++s) {
        const bool total = s == kServiceCount;
        std::vector<std::string> row{total ? std::string("Totale") : ServiceName(s)};
        for (std::size_t c = 0; c < kLengthClassCount; ++c) {
            row.push_back(Figure(total ? summary.ClassBuses(c, reserve) : summary.Buses(s, c, reserve)));
        }
        row.push_back(Figure(total ? summary.AllBuses(reserve) : summary.ServiceBuses(s, reserve)));
        t.rows.push_back(std::move(row));
    }
    return t;
}

}  // namespace

const std::string& ActivityName(std::size_t activity) {
    static const auto words = Cp1252Words({"Deposito", "Rifornimento", "Manutenzione", "Autostazione",
                                           "Capol.Attr.", "Agenzia", "Amministrativo"});
    return Word(words, activity);
}

const std::string& ServiceName(std::size_t service) {
    static const auto words = Cp1252Words({"Extraurbani", "Suburbani", "Urbani"});
    return Word(words, service);
}

const std::string& LengthClassName(std::size_t lengthClass) {
    static const auto words = Cp1252Words({"Bipiano", "Articolati", "Lunghi", "Normali", "Medi", "Corti"});
    return Word(words, lengthClass);
}

const std::string& TitleName(std::size_t kind) {
    static const auto words = Cp1252Words({"Proprietà", "Affitto", "Comodato", "Nessun titolo"});
    return Word(words, kind);
}

std::size_t TitleKind(const std::string& title) {
    const char c = census::TitleChar(title);
    return c >= 'A' && c <= 'C' ? static_cast<std::size_t>(c - 'A') : kNoTitle;
}

void CensusSummary::Add(const census::Structure& s) {
    ++structures;
    for (std::size_t i = 0; i < kFlagCount; ++i) {
        byActivity[i] += s.flags[i] ? 1 : 0;
    }
    uncovered[TitleKind(s.scoTit)] += s.scoSup;
    covered[TitleKind(s.copTit)] += s.copSup;
    for (std::size_t i = 0; i < buses.size(); ++i) {
        buses[i] += s.counts[i];
    }
}

std::int64_t CensusSummary::ServiceBuses(std::size_t service, bool reserve) const {
    std::int64_t sum = 0;
    for (std::size_t c = 0; c < kLengthClassCount; ++c) {
        sum += Buses(service, c, reserve);
    }
    return sum;
}

std::int64_t CensusSummary::ClassBuses(std::size_t lengthClass, bool reserve) const {
    std::int64_t sum = 0;
    for (std::size_t s = 0; s < kServiceCount; ++s) {
        sum += Buses(s, lengthClass, reserve);
    }
    return sum;
}

std::int64_t CensusSummary::AllBuses(bool reserve) const {
    std::int64_t sum = 0;
    for (std::size_t s = 0; s < kServiceCount; ++s) {
        sum += ServiceBuses(s, reserve);
    }
    return sum;
}

ui::Outcome SummariseCensus(db::CDbConnection& connection, CensusSummary& summary) {
    const ui::BusyScope busy(connection.Port(), true);
    CensusSummary sums;
    ui::Outcome read = ForEachStructure(connection, [&sums](const census::Structure& s) { sums.Add(s); });
    if (read) {
        summary = sums;
    }
    return read;
}

std::vector<SummaryTable> SummaryTables(const CensusSummary& summary) {
    std::vector<SummaryTable> tables;
    SummaryTable structures;
    structures.title = text::Utf8ToCp1252Lossy("Strutture e attività svolte");
    structures.accessibleName = text::Utf8ToCp1252Lossy("Strutture censite e attività svolte");
    structures.headings = {"Voce", "Strutture"};
    structures.rows.push_back({"Strutture censite", Figure(summary.structures)});
    for (std::size_t i = 0; i < kFlagCount; ++i) {
        structures.rows.push_back({ActivityName(i), Figure(summary.byActivity[i])});
    }
    tables.push_back(std::move(structures));

    SummaryTable surfaces;
    surfaces.title = "Superfici (MQ) per titolo di possesso";
    surfaces.accessibleName = "Superfici in metri quadri per titolo di possesso";
    surfaces.headings = {"Titolo di possesso", "Aree Scoperte Riservate", "Superfici Coperte"};
    std::int64_t uncovered = 0;
    std::int64_t covered = 0;
    for (std::size_t k = 0; k < kTitleKinds; ++k) {
        surfaces.rows.push_back({TitleName(k), Figure(summary.uncovered[k]), Figure(summary.covered[k])});
        uncovered += summary.uncovered[k];
        covered += summary.covered[k];
    }
    surfaces.rows.push_back({"Totale", Figure(uncovered), Figure(covered)});
    tables.push_back(std::move(surfaces));

    tables.push_back(BusTable(summary, false));
    tables.push_back(BusTable(summary, true));
    return tables;
}

std::string SummaryText(const CensusSummary& summary) {
    std::string out;
    for (const SummaryTable& t : SummaryTables(summary)) {
        if (!out.empty()) {
            out += '\n';
        }
        out += text::Cp1252ToUtf8(t.title) + "\n";
        // Each column as wide as its widest text: the labels to the left, the figures to the right.
        std::vector<std::size_t> widths(t.headings.size(), 0);
        const auto measure = [&widths](const std::vector<std::string>& row) {
            for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) {
                widths[i] = std::max(widths[i], row[i].size());  // one byte a letter in Windows-1252
            }
        };
        measure(t.headings);
        for (const auto& row : t.rows) {
            measure(row);
        }
        const auto line = [&](const std::vector<std::string>& row) {
            std::string l = " ";
            for (std::size_t i = 0; i < row.size(); ++i) {
                const std::string pad(widths[i] - row[i].size(), ' ');
                l += ' ';
                l += i == 0 ? row[i] + pad : pad + row[i];
            }
            out += text::Cp1252ToUtf8(text::TrimRight(l)) + "\n";
        };
        line(t.headings);
        for (const auto& row : t.rows) {
            line(row);
        }
    }
    return out;
}

std::string SummaryCsv(const CensusSummary& summary) {
    std::string out;
    const auto line = [&out](const std::vector<std::string>& cp1252) {
        std::vector<std::string> fields;
        for (const std::string& f : cp1252) {
            fields.push_back(text::Cp1252ToUtf8(f));
        }
        out += CsvRow(fields) + "\n";
    };
    for (const SummaryTable& t : SummaryTables(summary)) {
        if (!out.empty()) {
            out += '\n';
        }
        std::vector<std::string> heading = t.headings;
        heading.front() = t.title;
        line(heading);
        for (const auto& row : t.rows) {
            line(row);
        }
    }
    return out;
}

}  // namespace exchange
