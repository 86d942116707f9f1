#include "register/StructureFind.h"

#include <algorithm>
#include <charconv>

#include "text/Text.h"

namespace reg {

StructureQuery::StructureQuery(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return;
    }
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    folded_ = text::FoldForSearch(text);
    int id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (error == std::errc() && end == text.data() + text.size() && text.front() != '-') {
        id_ = id;
    }
}

bool StructureQuery::FoundIn(std::string_view text) const {
    if (folded_.empty() || text.size() < folded_.size()) {
        return false;
    }
    text::FoldForSearch(text, scratch_);
    return scratch_.find(folded_) != std::string::npos;
}

bool StructureQuery::Finds(int id, std::string_view location, std::string_view locality,
                           std::string_view municipality, std::string_view province) const {
    return (id_ && *id_ == id) || FoundIn(location) || FoundIn(locality) || FoundIn(municipality) ||
           FoundIn(province);
}

std::vector<std::size_t> FindRows(const CDepotRowList& rows, const StructureQuery& query) {
    std::vector<std::size_t> found;
    if (query.Empty()) {
        return found;
    }
    // The municipalities are few beside the rows: each is looked at once.
    std::vector<signed char> municipality;  // by name's place: -1 not yet looked at, else 0 or 1
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CDepotRow& row = rows[i];
        if (row.comune >= municipality.size()) {
            municipality.resize(row.comune + 1U, -1);
        }
        signed char& named = municipality[row.comune];
        if (named < 0) {
            named = query.FoundIn(rows.ComuneName(row)) ? 1 : 0;
        }
        if (named == 1 || query.Finds(row.id, rows.Text(row, CDepotRowList::Field::Ubicaz),
                                      rows.Text(row, CDepotRowList::Field::Local), {}, row.Provin())) {
            found.push_back(i);
        }
    }
    return found;
}

}  // namespace reg
