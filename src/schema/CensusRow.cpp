#include "schema/CensusRow.h"

#include "text/Text.h"

namespace schema {
namespace {

using census::Column;
using census::ColumnKind;

// Titles are one character wide: a blank there means "no title" and stays.
bool Trimmed(const Column& c) {
    return c.kind == ColumnKind::Text && c.size > 1;
}

}  // namespace

void ReadStructure(db::CDbSelect& s, int first, census::Structure& out) {
    int position = first;
    // Each getter gives 0 or the empty text for a null; a failure is latched in the selection.
    census::VisitColumns(out, [&](const Column& c, auto& member) {
        using Member = std::decay_t<decltype(member)>;
        if constexpr (std::is_same_v<Member, std::string>) {
            (void)s.GetDateOrText(position, member);
            if (Trimmed(c)) {
                text::TrimRightInPlace(member);
            }
        } else if constexpr (std::is_same_v<Member, std::int64_t>) {
            std::int32_t value = 0;
            (void)s.GetLong(position, value);
            member = value;
        } else {
            std::int16_t value = 0;
            (void)s.GetShort(position, value);
            member = static_cast<Member>(value);
            if constexpr (std::is_same_v<Member, bool>) {
                member = value != 0;
            }
        }
        ++position;
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
        } else if constexpr (std::is_same_v<Member, bool>) {
            set = static_cast<bool>(depositi.SetField(c.name, member ? "1" : "0"));
        } else {
            set = static_cast<bool>(
                depositi.SetField(c.name, text::FormatInt(static_cast<std::int64_t>(member))));
        }
    });
    return ui::Outcome::DoneIf(set);
}

}  // namespace schema
