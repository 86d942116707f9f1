#include "exchange/Comparison.h"

#include <array>
#include <string_view>
#include <unordered_map>

#include "text/Text.h"

namespace exchange {
namespace {

// The first fields of a record, which say where the structure stands.
constexpr std::size_t kPlaceFields = 4;

// The fields of a structure as an export writes them, trailing blanks removed.
using Fields = std::array<std::string, kRecordFields>;

Fields ExchangedFields(const CStructureRecord& record) {
    Fields fields;
    const std::string line = FormatRecordLine(record);
    std::size_t start = 0;
    for (std::size_t i = 0; i < kRecordFields; ++i) {
        const std::size_t tab = line.find('\t', start);
        fields[i] = text::TrimRight(std::string_view(line).substr(start, tab - start));
        start = tab == std::string::npos ? line.size() : tab + 1;
    }
    return fields;
}

std::string PlaceKey(const Fields& f) {
    return f[0] + '\t' + f[1] + '\t' + f[2] + '\t' + f[3];
}

// "VIA ROMA 1 - Località (comune 12 FI)".
std::string Place(const Fields& f) {
    return f[0] + " - " + f[1] + " (comune " + f[2] + " " + f[3] + ")";
}

std::string Quoted(const std::string& value) {
    return "\"" + value + "\"";
}

}  // namespace

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

CensusComparison CompareCensus(const std::vector<CStructureRecord>& census,
                               const std::vector<CStructureRecord>& file) {
    std::vector<Fields> incoming;
    incoming.reserve(file.size());
    // The file's structures at each place, in file order, and how many of them are paired already.
    struct AtPlace {
        std::vector<std::size_t> records;
        std::size_t paired = 0;
    };
    std::unordered_map<std::string, AtPlace> places;
    places.reserve(file.size());
    for (std::size_t i = 0; i < file.size(); ++i) {
        incoming.push_back(ExchangedFields(file[i]));
        places[PlaceKey(incoming.back())].records.push_back(i);
    }
    std::vector<bool> taken(file.size(), false);
    CensusComparison result;
    std::vector<std::string> goneLines;
    const auto& columns = census::Columns();
    for (const CStructureRecord& structure : census) {
        const Fields stored = ExchangedFields(structure);
        const std::string id = "ID=" + text::FormatInt(structure.id) + " ";
        const auto found = places.find(PlaceKey(stored));
        if (found == places.end() || found->second.paired == found->second.records.size()) {
            ++result.gone;
            goneLines.push_back("eliminata " + id + Place(stored));
            continue;
        }
        const std::size_t index = found->second.records[found->second.paired++];
        taken[index] = true;
        const Fields& other = incoming[index];
        std::string changes;
        for (std::size_t i = kPlaceFields; i < kRecordFields; ++i) {
            if (stored[i] != other[i]) {
                changes += (changes.empty() ? ": " : "; ") + std::string(columns[i].name) + " " +
                           Quoted(stored[i]) + " -> " + Quoted(other[i]);
            }
        }
        if (changes.empty()) {
            ++result.unchanged;
        } else {
            ++result.changed;
            result.lines.push_back("modificata " + id + Place(stored) + changes);
        }
    }
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (!taken[i]) {
            ++result.added;
            result.lines.push_back("nuova " + Place(incoming[i]));
        }
    }
    result.lines.insert(result.lines.end(), goneLines.begin(), goneLines.end());
    return result;
}

}  // namespace exchange
