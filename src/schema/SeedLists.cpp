#include "schema/SeedLists.h"

#include <string_view>

#include "text/Text.h"

extern const std::string_view k_regazi_seed;
extern const std::string_view k_regcom_seed;

namespace schema {
namespace {

// Lines of "code<TAB>name" in UTF-8.
std::vector<SeedEntry> Parse(std::string_view data) {
    std::vector<SeedEntry> entries;
    while (!data.empty()) {
        const std::size_t end = data.find('\n');
        std::string_view line = data.substr(0, end);
        data.remove_prefix(end == std::string_view::npos ? data.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) {
            continue;
        }
        entries.push_back(
            {text::ReadInt(line.substr(0, tab)), text::Utf8ToCp1252Lossy(line.substr(tab + 1))});
    }
    return entries;
}

}  // namespace

const std::vector<SeedEntry>& RegaziSeed() {
    static const std::vector<SeedEntry> entries = Parse(k_regazi_seed);
    return entries;
}

const std::vector<SeedEntry>& RegcomSeed() {
    static const std::vector<SeedEntry> entries = Parse(k_regcom_seed);
    return entries;
}

}  // namespace schema
