// "Trova": the structures a text finds — by the identifier, when the text is a number, and by a part
// of the location, the locality, the municipality's name or the province, whatever the case and the
// accents ("citta" finds "CITTÀ").
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "register/StructureList.h"

namespace reg {

class StructureQuery {
  public:
    // `text` is Windows-1252; its blanks at either end do not count.
    explicit StructureQuery(std::string_view text);

    // Nothing to look for: the text was empty.
    bool Empty() const { return folded_.empty(); }
    // Whether a text holds what is looked for.
    bool FoundIn(std::string_view text) const;
    // Whether a structure is found: its identifier, or one of its texts (Windows-1252).
    bool Finds(int id, std::string_view location, std::string_view locality, std::string_view municipality,
               std::string_view province) const;

  private:
    std::string folded_;
    std::optional<int> id_;
    mutable std::string scratch_;  // a text folded, its room used again
};

// The rows of the list the query finds, deleted ones too, in the list's order.
std::vector<std::size_t> FindRows(const CDepotRowList& rows, const StructureQuery& query);

}  // namespace reg
