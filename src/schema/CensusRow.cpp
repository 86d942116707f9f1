#include "schema/CensusRow.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <variant>

#include "text/Text.h"

namespace schema {
namespace {

using census::Column;
using census::ColumnKind;

// Titles are one character wide: a blank there means "no title" and stays.
bool Trimmed(const Column& c) {
    return c.kind == ColumnKind::Text && c.size > 1;
}

// The number SetStructureFields gives the column holding a flag, a count or a surface.
template <typename Member>
std::int64_t FieldNumber(const Member& member) {
    if constexpr (std::is_same_v<Member, bool>) {
        return member ? 1 : 0;
    } else {
        return static_cast<std::int64_t>(member);
    }
}

constexpr const char* kDepositi = "depositi";

// The first field of that name, regardless of case, as the cursor finds fields.
std::size_t PositionOf(const std::vector<engine::FieldDef>& fields, std::string_view name) {
    const std::string wanted = text::LowerAscii(name);
    const auto found = std::find_if(fields.begin(), fields.end(), [&](const engine::FieldDef& f) {
        return text::LowerAscii(f.name) == wanted;
    });
    return static_cast<std::size_t>(found - fields.begin());
}

}  // namespace

const std::array<ColumnReading, census::kRecordFields>& ColumnReadings() {
    static const auto readings = [] {
        std::array<ColumnReading, census::kRecordFields> r{};
        for (std::size_t i = 0; i < r.size(); ++i) {
            const Column& c = census::Columns()[i];
            if (std::holds_alternative<std::string census::Structure::*>(c.member)) {
                r[i] = Trimmed(c) ? ColumnReading::TrimmedText : ColumnReading::Text;
            } else if (std::holds_alternative<std::int64_t census::Structure::*>(c.member)) {
                r[i] = ColumnReading::Long;
            } else {
                r[i] = ColumnReading::Short;
            }
        }
        return r;
    }();
    return readings;
}

void ReadStructure(db::CDbSelect& s, int first, census::Structure& out) {
    // Each getter gives 0 or the empty text for a null; a failure, a value of another kind among
    // them, is latched in the selection.
    ReadStructureFields(s, first, [&](std::size_t i, auto value) {
        std::visit(
            [&](const auto& member) {
                using Member = std::decay_t<decltype(member)>;
                if constexpr (std::is_same_v<decltype(value), std::string_view>) {
                    if constexpr (std::is_same_v<Member, std::string census::Structure::*>) {
                        (out.*member).assign(value.data(), value.size());
                    }
                } else if constexpr (std::is_same_v<Member, census::FlagAt>) {
                    out.flags[member.index] = value != 0;
                } else if constexpr (std::is_same_v<Member, census::CountAt>) {
                    out.counts[member.index] = static_cast<int>(value);
                } else if constexpr (!std::is_same_v<Member, std::string census::Structure::*>) {
                    out.*member = static_cast<std::decay_t<decltype(out.*member)>>(value);
                }
            },
            census::Columns()[i].member);
    });
}

ui::Outcome ReadStructure(db::CDbTable& depositi, census::Structure& out) {
    std::string value;
    if (!depositi.GetField("ID", value)) {
        return ui::Outcome::Failed();
    }
    out.id = text::ReadInt(value);
    bool read = true;
    census::VisitColumns(out, [&](const Column& c, auto& member) {
        using Member = std::decay_t<decltype(member)>;
        if (!read || !(read = static_cast<bool>(depositi.GetField(c.name, value)))) {
            return;
        }
        if constexpr (std::is_same_v<Member, std::string>) {
            member = Trimmed(c) ? text::TrimRight(value) : value;
        } else if constexpr (std::is_same_v<Member, bool>) {
            member = !value.empty() && value != "0";
        } else if constexpr (std::is_same_v<Member, std::int64_t>) {
            member = text::ReadInt64(value);
        } else {
            member = text::ReadInt(value);
        }
    });
    return ui::Outcome::DoneIf(read);
}

ui::Outcome SetStructureFields(db::CDbTable& depositi, const census::Structure& s) {
    bool set = true;
    census::VisitColumns(s, [&](const Column& c, const auto& member) {
        using Member = std::decay_t<decltype(member)>;
        if (!set) {
            return;
        }
        if constexpr (std::is_same_v<Member, std::string>) {
            set = static_cast<bool>(depositi.SetField(c.name, member));
        } else {
            set = static_cast<bool>(depositi.SetNumber(c.name, FieldNumber(member)));
        }
    });
    return ui::Outcome::DoneIf(set);
}

StructureColumns::StructureColumns(std::vector<engine::FieldDef> fields)
    : fields_(std::move(fields)), id_(PositionOf(fields_, "ID")) {
    for (std::size_t i = 0; i < census::kRecordFields; ++i) {
        positions_[i] = PositionOf(fields_, census::Columns()[i].name);
    }
}

std::optional<db::FieldRefusal> StructureColumns::Refusal(const census::Structure& s) const {
    // Which fields the row gives a value (an empty text stores null); the identifier always has one.
    std::vector<bool> given(fields_.size() + 1, false);
    given[id_] = true;
    std::optional<db::FieldRefusal> refusal;
    std::size_t column = 0;
    census::VisitColumns(s, [&](const Column& c, const auto& member) {
        const std::size_t at = positions_[column++];
        if (refusal || at == fields_.size()) {
            return;
        }
        using Member = std::decay_t<decltype(member)>;
        if constexpr (std::is_same_v<Member, std::string>) {
            given[at] = !member.empty();
            refusal = db::SetFieldRefusal(kDepositi, c.name, fields_[at], member);
        } else {
            given[at] = true;
            refusal = db::SetNumberRefusal(kDepositi, c.name, fields_[at], FieldNumber(member));
        }
    });
    // Once every field took its value, the engine refuses the row for the first required one null.
    for (std::size_t i = 0; i < fields_.size() && !refusal; ++i) {
        if (!given[i]) {
            refusal = db::RequiredRefusal(kDepositi, fields_[i]);
        }
    }
    return refusal;
}

bool IdentifierFits(ui::Port& port, int id) {
    if (id >= 0 && id <= census::kMaxStructureId) {
        return true;
    }
    port.ShowMessage(text::Utf8ToCp1252Lossy("Impossibile registrare la struttura: l'identificativo ") +
                         text::FormatInt(id) +
                         text::Utf8ToCp1252Lossy(" supera il massimo consentito (32767)."),
                     ui::kProgramCaption, ui::Icon::Stop);
    return false;
}

}  // namespace schema
