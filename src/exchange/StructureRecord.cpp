#include "exchange/StructureRecord.h"

#include <algorithm>
#include <charconv>

#include "db/DbSelect.h"
#include "schema/CensusRow.h"
#include "text/Text.h"

namespace exchange {
namespace {

constexpr std::int32_t kModulus = 1000000000;
constexpr std::size_t kMaxField = 1023;
constexpr std::size_t kMaxText = 63;
constexpr std::size_t kMaxProvince = 15;

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

void AppendField(std::string& line, std::string_view value) {
    line += '\t';
    line += value;
}

// A field holding a number, as text::FormatInt writes it.
void AppendNumber(std::string& line, std::int64_t value) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    line += '\t';
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

std::string FormatRecordLine(const CStructureRecord& r) {
    std::string line;
    line.reserve(256);
    AppendRecordLine(line, r);
    return line;
}

void AppendRecordLine(std::string& line, const CStructureRecord& r) {
    AppendText(line, r.ubicaz);
    line += '\t';
    AppendText(line, r.local);
    AppendNumber(line, r.comune);
    line += '\t';
    AppendText(line, r.provin);
    for (const bool flag : r.flags) {
        AppendField(line, flag ? "1" : "0");
    }
    line += '\t';
    AppendText(line, r.scoPro);
    AppendNumber(line, r.scoSup);
    line += '\t';
    line += TitleChar(r.scoTit);
    line += '\t';
    AppendText(line, r.copPro);
    AppendNumber(line, r.copSup);
    line += '\t';
    line += TitleChar(r.copTit);
    for (const int count : r.counts) {
        AppendNumber(line, count);
    }
}

bool ParseRecordLine(CStructureRecordList& list, std::string_view line) {
    std::array<std::string_view, kRecordFields> fields;
    std::size_t count = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        const std::string_view field =
            line.substr(start, tab == std::string_view::npos ? line.npos : tab - start);
        if (count == kRecordFields || field.size() > kMaxField) {
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
    for (const int text : {0, 1, 11, 14}) {
        if (fields[static_cast<std::size_t>(text)].size() > kMaxText) {
            return false;
        }
    }
    if (fields[3].size() > kMaxProvince) {
        return false;
    }
    const auto textField = [&](int index) {
        const std::string_view f = fields[static_cast<std::size_t>(index)];
        return f.empty() ? std::string(" ") : std::string(f);
    };
    const auto titleField = [&](int index) {
        const std::string_view f = fields[static_cast<std::size_t>(index)];
        return std::string(f.substr(0, 1));
    };
    CStructureRecord r;
    r.ubicaz = textField(0);
    r.local = textField(1);
    r.comune = text::ReadInt(fields[2]);
    r.provin = textField(3);
    for (std::size_t i = 0; i < kFlagCount; ++i) {
        r.flags[i] = !fields[4 + i].empty() && fields[4 + i][0] == '1';
    }
    r.scoPro = textField(11);
    r.scoSup = text::ReadInt64(fields[12]);
    r.scoTit = titleField(13);
    r.copPro = textField(14);
    r.copSup = text::ReadInt64(fields[15]);
    r.copTit = titleField(16);
    for (std::size_t i = 0; i < kCountCount; ++i) {
        r.counts[i] = text::ReadInt(fields[17 + i]);
    }
    list.records.push_back(std::move(r));
    return true;
}

ui::Outcome ForEachStructure(db::CDbConnection& connection,
                             const std::function<void(const CStructureRecord&)>& visit) {
    // What a damaged file gives back may be only part of the census, or not what was stored.
    if (!connection.CheckIntact()) {
        return ui::Outcome::Failed();
    }
    db::CDbSelect s(&connection);
    s.SetColumns("ID, " + census::ColumnList());
    s.SetFrom("depositi");
    s.SetOrderBy("ID");
    // Every row is read into the same record, whose texts keep their storage.
    CStructureRecord r;
    for (int row = s.Execute(); row == 1; row = s.Next()) {
        std::int16_t id = 0;
        (void)s.GetShort(0, id);  // a failure is latched: see Failed() below
        r.id = id;
        schema::ReadStructure(s, 1, r);
        visit(r);
        connection.Port().KeepResponsive();
    }
    return ui::Outcome::DoneIf(!s.Failed());
}

ui::Outcome ReadStructureRecords(db::CDbConnection& connection, std::vector<CStructureRecord>& out) {
    return ForEachStructure(connection, [&out](const CStructureRecord& r) { out.push_back(r); });
}

}  // namespace exchange
