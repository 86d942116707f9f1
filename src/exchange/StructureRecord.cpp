#include "exchange/StructureRecord.h"

#include <algorithm>
#include <charconv>

#include "db/DbSelect.h"
#include "schema/CensusRow.h"
#include "text/Text.h"

namespace exchange {
namespace {

constexpr std::int32_t kModulus = 1000000000;

void AppendText(std::string& line, const std::string& value) {
    const auto replaced = [](char c) { return c == '\t' || c == '\r' || c == '\n'; };
    if (std::none_of(value.begin(), value.end(), replaced)) {  // the usual case: copied whole
        line += value;
        return;
    }
    for (const char c : value) {
        line += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
    }
}

// A number, as text::FormatInt writes it.
void AppendNumber(std::string& line, std::int64_t value) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    line.append(digits, static_cast<std::size_t>(end - digits));
}

// The first character of a title; a missing one is written as a blank, and so is one that would
// break the layout.
char TitleChar(const std::string& title) {
    const char c = census::TitleChar(title);
    return c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
}

}  // namespace

std::int32_t ComputeLineChecksum(std::string_view line) {
    // Signed 32-bit arithmetic that wraps around on lines of many megabytes, as the observatory's
    // own reckoning does, without undefined behaviour.
    std::uint32_t sum = 0;
    for (const char c : line) {
        if (c != '\t' && c != '\n') {
            sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
        }
    }
    return static_cast<std::int32_t>(sum);
}

std::int32_t AddLineChecksum(std::int32_t previous, std::string_view line) {
    return AddChecksum(previous, ComputeLineChecksum(line));
}

std::int32_t AddChecksum(std::int32_t previous, std::int32_t lineChecksum) {
    return static_cast<std::int32_t>((static_cast<std::int64_t>(previous) + lineChecksum) % kModulus);
}

std::string FormatRecordLine(const census::Structure& r) {
    std::string line;
    line.reserve(256);
    AppendRecordLine(line, r);
    return line;
}

void AppendRecordLine(std::string& line, const census::Structure& r) {
    bool first = true;
    census::VisitColumns(r, [&](const census::Column& c, const auto& member) {
        using Member = std::decay_t<decltype(member)>;
        if (!first) {
            line += '\t';
        }
        first = false;
        if constexpr (std::is_same_v<Member, std::string>) {
            if (census::IsTitle(c)) {
                line += TitleChar(member);
            } else {
                AppendText(line, member);
            }
        } else if constexpr (std::is_same_v<Member, bool>) {
            line += member ? '1' : '0';
        } else {
            AppendNumber(line, member);
        }
    });
}

void CommunicationBody::Add(const census::Structure& record) {
    const std::size_t start = lines.size();
    AppendRecordLine(lines, record);
    lineChecksums.push_back(ComputeLineChecksum(std::string_view(lines).substr(start)));
    lines += "\r\n";
}

bool ParseRecord(std::string_view line, census::Structure& r) {
    std::array<std::string_view, kRecordFields> fields;
    std::size_t count = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        const std::string_view field =
            line.substr(start, tab == std::string_view::npos ? line.npos : tab - start);
        if (count == kRecordFields || field.size() > census::kMaxRecordField) {
            return false;
        }
        fields[count++] = field;
        if (tab == std::string_view::npos) {
            break;
        }
        start = tab + 1;
    }
    if (count != kRecordFields) {
        return false;
    }
    r.id = -1;
    bool taken = true;
    const std::string_view* field = fields.data();
    census::VisitColumns(r, [&](const census::Column& c, auto& member) {
        using Member = std::decay_t<decltype(member)>;
        const std::string_view f = *field++;
        taken = taken && f.size() <= c.readLimit;
        if constexpr (std::is_same_v<Member, std::string>) {
            // A title is its first character; an empty text reads as a blank.
            if (census::IsTitle(c)) {
                member.assign(f.substr(0, 1));
            } else if (f.empty()) {
                member.assign(1, ' ');
            } else {
                member.assign(f);
            }
        } else if constexpr (std::is_same_v<Member, bool>) {
            member = !f.empty() && f[0] == '1';
        } else if constexpr (std::is_same_v<Member, std::int64_t>) {
            member = text::ReadInt64(f);
        } else {
            member = text::ReadInt(f);
        }
    });
    return taken;
}

bool ParseRecordLine(CStructureRecordList& list, std::string_view line) {
    census::Structure r;
    if (!ParseRecord(line, r)) {
        return false;
    }
    list.records.push_back(std::move(r));
    return true;
}

StructureRecords::StructureRecords(const std::vector<census::Structure>& records) {
    for (const census::Structure& r : records) {
        Add(r);
    }
}

namespace {

// Whole numbers in as few bytes as they need: seven bits a byte, the low ones first, negative ones
// folded onto the odd numbers.
void AppendWhole(std::string& bytes, std::int64_t value) {
    std::uint64_t folded = (static_cast<std::uint64_t>(value) << 1) ^ (value < 0 ? ~std::uint64_t{0} : 0);
    while (folded >= 0x80) {
        bytes += static_cast<char>(static_cast<unsigned char>(folded | 0x80));
        folded >>= 7;
    }
    bytes += static_cast<char>(static_cast<unsigned char>(folded));
}

std::int64_t ReadWhole(const char*& at) {
    std::uint64_t folded = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*at++);
        folded |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if (byte < 0x80) {
            break;
        }
    }
    return static_cast<std::int64_t>((folded >> 1) ^ (~(folded & 1) + 1));
}

}  // namespace

void StructureRecords::Add(const census::Structure& r) {
    starts_.push_back(bytes_.size());
    AppendWhole(bytes_, r.id);
    census::VisitColumns(r, [&](const census::Column&, const auto& member) {
        using Member = std::decay_t<decltype(member)>;
        if constexpr (std::is_same_v<Member, std::string>) {
            AppendWhole(bytes_, static_cast<std::int64_t>(member.size()));
            bytes_ += member;
        } else {
            AppendWhole(bytes_, static_cast<std::int64_t>(member));
        }
    });
}

void StructureRecords::Get(std::size_t index, census::Structure& r) const {
    const char* at = bytes_.data() + starts_[index];
    r.id = static_cast<int>(ReadWhole(at));
    census::VisitColumns(r, [&](const census::Column&, auto& member) {
        using Member = std::decay_t<decltype(member)>;
        if constexpr (std::is_same_v<Member, std::string>) {
            const auto size = static_cast<std::size_t>(ReadWhole(at));
            member.assign(at, size);
            at += size;
        } else if constexpr (std::is_same_v<Member, bool>) {
            member = ReadWhole(at) != 0;
        } else {
            member = static_cast<Member>(ReadWhole(at));
        }
    });
}

ui::Outcome ForEachStructure(db::CDbConnection& connection,
                             const std::function<void(const census::Structure&)>& visit) {
    return ForEachStructure(connection, visit, [&connection] { return connection.CheckIntact(); });
}

ui::Outcome ForEachStructure(db::CDbConnection& connection,
                             const std::function<void(const census::Structure&)>& visit,
                             const std::function<ui::Outcome()>& intact) {
    // What a damaged file gives back may be only part of the census, or not what was stored.
    if (!intact()) {
        return ui::Outcome::Failed();
    }
    db::CDbSelect s(&connection);
    s.SetColumns("ID, " + census::ColumnList());
    s.SetFrom("depositi");
    s.SetOrderBy("ID");
    // Every row is read into the same record, whose texts keep their storage.
    census::Structure r;
    for (int row = s.Execute(); row == 1; row = s.Next()) {
        std::int16_t id = 0;
        s.CheckFieldRead(s.GetShort(0, id), 0, "ID");  // a failure is latched: see Failed() below
        r.id = id;
        schema::ReadStructure(s, 1, r);
        visit(r);
        connection.Port().KeepResponsive();
    }
    return ui::Outcome::DoneIf(!s.Failed());
}

ui::Outcome ReadStructureRecords(db::CDbConnection& connection, std::vector<census::Structure>& out) {
    return ForEachStructure(connection, [&out](const census::Structure& r) { out.push_back(r); });
}

std::optional<MunicipalityNames> ReadMunicipalityNames(db::CDbConnection& connection) {
    MunicipalityNames names;
    db::CDbSelect s(&connection);
    s.SetColumns("codice, denom");
    s.SetFrom("regcom");
    for (int row = s.Execute(); row == 1; row = s.Next()) {
        std::int16_t code = 0;
        std::string name;
        s.CheckFieldRead(s.GetShort(0, code), 0, "codice");  // a failure is latched: see Failed() below
        s.CheckFieldRead(s.GetDateOrText(1, name), 1, "denom");
        names[code] = text::TrimRight(name);
    }
    if (s.Failed()) {
        return std::nullopt;
    }
    return names;
}

const std::string& MunicipalityName(const MunicipalityNames& names, int code) {
    static const std::string missing = "*** Inesistente ***";
    const auto found = names.find(code);
    return found == names.end() ? missing : found->second;
}

}  // namespace exchange
