#include "exchange/Rules.h"

#include <algorithm>
#include <string>

#include "text/Text.h"

namespace exchange {
namespace {

bool IsProvince(const std::string& p) {
    static const char* const kProvinces[] = {"AR", "FI", "PT", "PO", "LU", "MS", "PI", "LI", "GR", "SI"};
    return std::any_of(std::begin(kProvinces), std::end(kProvinces),
                       [&](const char* code) { return p == code; });
}

bool StartsWithSpace(const std::string& s) {
    return !s.empty() && s[0] == ' ';
}
bool IsTitle(const std::string& t) {
    return !t.empty() && (t[0] == 'A' || t[0] == 'B' || t[0] == 'C');
}

void CheckArea(const census::Structure& s, const std::string& owner, std::int64_t surface,
               const std::string& title, bool uncovered, CValidationErrorList& errors) {
    // The group is given when any of its three values is: an empty title counts as given.
    const bool given = !owner.empty() || surface != 0 || title.empty() || title[0] != ' ';
    if (!given) {
        return;
    }
    const char* kind = uncovered ? "scoperte" : "coperte";
    const auto add = [&](const std::string& utf8) {
        errors.push_back({s.id, s.ubicaz, text::Utf8ToCp1252Lossy(utf8)});
    };
    if (owner.empty()) {
        add(std::string("Manca proprietà aree ") + kind);
    }
    if (StartsWithSpace(owner)) {
        add(std::string("Proprietà aree ") + kind + " mal allineata (spazi in testa)");
    }
    if (surface == 0) {
        add(std::string("Manca superficie aree ") + kind);
    }
    if (!IsTitle(title)) {
        add(std::string("Manca titolo di possesso aree ") + kind);
    }
}

}  // namespace

void CheckStructure(const census::Structure& s, CValidationErrorList& errors) {
    const auto add = [&](const char* utf8) {
        errors.push_back({s.id, s.ubicaz, text::Utf8ToCp1252Lossy(utf8)});
    };
    if (s.ubicaz.empty()) {
        add("Manca ubicazione");
    }
    if (StartsWithSpace(s.ubicaz)) {
        add("Ubicazione mal allineata (spazi in testa)");
    }
    if (s.local.empty()) {
        add("Manca località");
    }
    if (StartsWithSpace(s.local)) {
        add("Località mal allineata (spazi in testa)");
    }
    if (s.comune == 0) {
        add("Manca il comune");
    }
    if (!IsProvince(s.provin)) {
        add("Manca la provincia");
    }
    if (std::none_of(s.flags.begin(), s.flags.end(), [](bool flag) { return flag; })) {
        add("Non è indicata neppure una attività");
    }
    CheckArea(s, s.scoPro, s.scoSup, s.scoTit, true, errors);
    CheckArea(s, s.copPro, s.copSup, s.copTit, false, errors);
}

std::size_t StructuresWithErrors(const CValidationErrorList& errors) {
    // The failures of one structure follow one another.
    std::size_t structures = 0;
    for (std::size_t i = 0; i < errors.size(); ++i) {
        structures += i == 0 || errors[i].id != errors[i - 1].id ? 1 : 0;
    }
    return structures;
}

}  // namespace exchange
