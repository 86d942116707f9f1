#include "exchange/Comparison.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>
#include <type_traits>
#include <variant>

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

// "VIA ROMA 1 - Località (comune 12 FI)".
std::string Place(const Fields& f) {
    return std::string(f[0]) + " - " + std::string(f[1]) + " (comune " + std::string(f[2]) + " " +
           std::string(f[3]) + ")";
}

std::string Quoted(std::string_view value) {
    return "\"" + std::string(value) + "\"";
}

// A character of a text as the record line writes it: TAB, CR and LF as blanks.
char Written(char c) {
    return c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
}

// The length of a text as the compared line holds it: without the blanks that end it once written.
std::size_t ComparedLength(std::string_view text) {
    std::size_t n = text.size();
    while (n > 0 && Written(text[n - 1]) == ' ') {
        --n;
    }
    return n;
}

bool TextsAlike(std::string_view a, std::string_view b) {
    const std::size_t n = ComparedLength(a);
    if (n != ComparedLength(b)) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (Written(a[i]) != Written(b[i])) {
            return false;
        }
    }
    return true;
}

// Whether the fields `from` to `to` (excluded) of two structures read alike in their compared lines.
bool FieldsAlike(const census::Structure& a, const census::Structure& b, std::size_t from, std::size_t to) {
    const auto& columns = census::Columns();
    for (std::size_t i = from; i < to; ++i) {
        const census::Column& c = columns[i];
        const bool alike = std::visit(
            [&](const auto& member) {
                using Member = std::decay_t<decltype(member)>;
                if constexpr (std::is_same_v<Member, census::FlagAt>) {
                    return a.flags[member.index] == b.flags[member.index];
                } else if constexpr (std::is_same_v<Member, census::CountAt>) {
                    return a.counts[member.index] == b.counts[member.index];
                } else if constexpr (std::is_same_v<Member, std::string census::Structure::*>) {
                    if (census::IsTitle(c)) {
                        return Written(census::TitleChar(a.*member)) == Written(census::TitleChar(b.*member));
                    }
                    return TextsAlike(a.*member, b.*member);
                } else {
                    return a.*member == b.*member;
                }
            },
            c.member);
        if (!alike) {
            return false;
        }
    }
    return true;
}

// Where a structure stands, hashed as its compared line reads it.
std::size_t PlaceHash(const census::Structure& r) {
    std::uint64_t h = 1469598103934665603ull;
    const auto add = [&h](char c) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    };
    for (const std::string* text : {&r.ubicaz, &r.local, &r.provin}) {
        const std::size_t n = ComparedLength(*text);
        for (std::size_t i = 0; i < n; ++i) {
            add(Written((*text)[i]));
        }
        add('\t');
    }
    for (int shift = 0; shift < 32; shift += 8) {
        add(static_cast<char>(static_cast<unsigned>(r.comune) >> shift));
    }
    return static_cast<std::size_t>(h ^ (h >> 29));
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

CensusComparer::CensusComparer(const StructureRecords& file)
    : file_(file), next_(file.size(), kNone), taken_(file.size(), false) {
    std::size_t slots = 16;
    while (slots < 2 * file.size()) {
        slots *= 2;
    }
    first_.assign(slots, kNone);
    unpaired_.assign(slots, kNone);
    hashes_.assign(slots, 0);
    std::vector<std::uint32_t> last(slots, kNone);  // the place's last record so far
    census::Structure record;
    for (std::size_t i = 0; i < file.size(); ++i) {
        file.Get(i, record);
        const std::size_t hash = PlaceHash(record);
        const std::size_t slot = SlotOf(record, hash);
        const auto index = static_cast<std::uint32_t>(i);
        if (first_[slot] == kNone) {
            first_[slot] = unpaired_[slot] = index;
            hashes_[slot] = hash;
        } else {
            next_[last[slot]] = index;
        }
        last[slot] = index;
    }
}

std::size_t CensusComparer::SlotOf(const census::Structure& record, std::size_t hash) {
    const std::size_t mask = first_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        if (first_[slot] == kNone) {
            return slot;
        }
        if (hashes_[slot] == hash) {
            file_.Get(first_[slot], incoming_);
            if (FieldsAlike(incoming_, record, 0, kPlaceFields)) {
                return slot;
            }
        }
    }
}

void CensusComparer::Add(const census::Structure& stored) {
    const std::size_t slot = SlotOf(stored, PlaceHash(stored));
    const std::string id = "ID=" + text::FormatInt(stored.id) + " ";
    const std::uint32_t index = unpaired_[slot];
    if (index == kNone) {
        ++result_.gone;
        goneLines_.push_back("eliminata " + id + Place(Split(ComparedLine(stored))));
        return;
    }
    unpaired_[slot] = next_[index];
    taken_[index] = true;
    if (index != first_[slot]) {  // the place's first is read already
        file_.Get(index, incoming_);
    }
    const census::Structure& incoming = incoming_;
    if (FieldsAlike(stored, incoming, kPlaceFields, kRecordFields)) {
        ++result_.unchanged;
        return;
    }
    const std::string storedLine = ComparedLine(stored), incomingLine = ComparedLine(incoming);
    const Fields before = Split(storedLine);
    const Fields after = Split(incomingLine);
    std::string line = "modificata " + id + Place(before);
    const char* separator = ": ";
    const auto& columns = census::Columns();
    for (std::size_t i = kPlaceFields; i < kRecordFields; ++i) {
        if (before[i] != after[i]) {
            line += separator + std::string(columns[i].name) + " " + Quoted(before[i]) + " -> " +
                    Quoted(after[i]);
            separator = "; ";
        }
    }
    ++result_.changed;
    result_.lines.push_back(std::move(line));
}

CensusComparison CensusComparer::Take() {
    CensusComparison result = std::move(result_);
    for (std::size_t i = 0; i < file_.size(); ++i) {
        if (!taken_[i]) {
            ++result.added;
            file_.Get(i, incoming_);
            result.lines.push_back("nuova " + Place(Split(ComparedLine(incoming_))));
        }
    }
    result.lines.insert(result.lines.end(), std::make_move_iterator(goneLines_.begin()),
                        std::make_move_iterator(goneLines_.end()));
    goneLines_.clear();
    return result;
}

CensusComparison CompareCensus(const std::vector<census::Structure>& census,
                               const std::vector<census::Structure>& file) {
    const StructureRecords records(file);
    CensusComparer comparer(records);
    for (const census::Structure& structure : census) {
        comparer.Add(structure);
    }
    return comparer.Take();
}

}  // namespace exchange
