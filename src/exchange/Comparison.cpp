#include "exchange/Comparison.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>
#include <unordered_map>

#include "text/Text.h"

namespace exchange {
namespace {

// The first fields of a record, which say where the structure stands: those before its activities.
constexpr std::size_t kPlaceFields = census::kFirstFlag;

using Fields = std::array<std::string_view, kRecordFields>;

Fields Split(std::string_view line) {
    Fields fields;
    for (std::size_t i = 0, start = 0; i < kRecordFields; ++i) {
        const std::size_t tab = line.find('\t', start);
        fields[i] = line.substr(start, tab - start);
        start = tab == std::string_view::npos ? line.size() : tab + 1;
    }
    return fields;
}

// Where the structure stands: the line up to its fifth field.
std::string_view PlaceKey(std::string_view line) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < kPlaceFields && end != std::string_view::npos; ++i) {
        end = line.find('\t', i == 0 ? 0 : end + 1);
    }
    return line.substr(0, end);
}

// "VIA ROMA 1 - Località (comune 12 FI)".
std::string Place(const Fields& f) {
    return std::string(f[0]) + " - " + std::string(f[1]) + " (comune " + std::string(f[2]) + " " +
           std::string(f[3]) + ")";
}

std::string Quoted(std::string_view value) {
    return "\"" + std::string(value) + "\"";
}

}  // namespace

std::string ComparedLine(const census::Structure& record) {
    std::string line;
    line.reserve(256);
    AppendRecordLine(line, record);
    // The blanks that end a field are dropped, in place.
    std::size_t kept = 0;
    std::size_t blanks = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ') {
            ++blanks;
            continue;
        }
        if (c != '\t') {  // blanks inside a field stay
            std::fill_n(line.begin() + static_cast<std::ptrdiff_t>(kept), blanks, ' ');
            kept += blanks;
        }
        blanks = 0;
        line[kept++] = c;
    }
    line.resize(kept);
    return line;
}

std::string CensusComparison::Summary() const {
    return "invariate " + text::FormatInt(static_cast<std::int64_t>(unchanged)) + ", modificate " +
           text::FormatInt(static_cast<std::int64_t>(changed)) + ", nuove " +
           text::FormatInt(static_cast<std::int64_t>(added)) + ", eliminate " +
           text::FormatInt(static_cast<std::int64_t>(gone));
}

std::string CensusComparison::Text() const {
    std::string out = Summary();
    for (const std::string& line : lines) {
        out += '\n';
        out += line;
    }
    return out;
}

CensusComparison CompareCensus(const std::vector<census::Structure>& census,
                               const std::vector<census::Structure>& file) {
    std::vector<ComparedStructure> compared;
    compared.reserve(census.size());
    for (const census::Structure& structure : census) {
        compared.push_back({structure.id, ComparedLine(structure)});
    }
    return CompareCensus(compared, file);
}

CensusComparison CompareCensus(const std::vector<ComparedStructure>& census,
                               const std::vector<census::Structure>& file) {
    // Every line is made before any is looked at: the places point into them.
    std::vector<std::string> incoming;
    incoming.reserve(file.size());
    for (const census::Structure& record : file) {
        incoming.push_back(ComparedLine(record));
    }
    // The file's structures at each place, in file order, and how many of them are paired already.
    struct AtPlace {
        std::vector<std::size_t> records;
        std::size_t paired = 0;
    };
    std::unordered_map<std::string_view, AtPlace> places;
    places.reserve(file.size());
    for (std::size_t i = 0; i < incoming.size(); ++i) {
        places[PlaceKey(incoming[i])].records.push_back(i);
    }
    std::vector<bool> taken(file.size(), false);
    CensusComparison result;
    std::vector<std::string> goneLines;
    const auto& columns = census::Columns();
    for (const ComparedStructure& structure : census) {
        const std::string& stored = structure.line;
        const std::string id = "ID=" + text::FormatInt(structure.id) + " ";
        const auto found = places.find(PlaceKey(stored));
        if (found == places.end() || found->second.paired == found->second.records.size()) {
            ++result.gone;
            goneLines.push_back("eliminata " + id + Place(Split(stored)));
            continue;
        }
        const std::size_t index = found->second.records[found->second.paired++];
        taken[index] = true;
        if (stored == incoming[index]) {
            ++result.unchanged;
            continue;
        }
        const Fields before = Split(stored);
        const Fields after = Split(incoming[index]);
        std::string line = "modificata " + id + Place(before);
        const char* separator = ": ";
        for (std::size_t i = kPlaceFields; i < kRecordFields; ++i) {
            if (before[i] != after[i]) {
                line += separator + std::string(columns[i].name) + " " + Quoted(before[i]) + " -> " +
                        Quoted(after[i]);
                separator = "; ";
            }
        }
        ++result.changed;
        result.lines.push_back(std::move(line));
    }
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (!taken[i]) {
            ++result.added;
            result.lines.push_back("nuova " + Place(Split(incoming[i])));
        }
    }
    result.lines.insert(result.lines.end(), std::make_move_iterator(goneLines.begin()),
                        std::make_move_iterator(goneLines.end()));
    return result;
}

}  // namespace exchange
