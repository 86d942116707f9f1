// What must hold whatever bytes the import reader is given. Shared by the fuzz target and the
// regression tests, so that an input kept from a fuzz run is checked the same way in CI.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/Export.h"
#include "exchange/Import.h"
#include "exchange/StructureRecord.h"
#include "exchange/TextFile.h"
#include "text/Text.h"

namespace exchange_fuzz {

inline constexpr int kWorkingCompany = 12;
inline constexpr std::size_t kMaxText = 63;
inline constexpr std::size_t kMaxProvince = 15;
inline constexpr const char* kTag = "ComunicazioneVelumbra";

// The file written from a list, every line ended by CR LF as the program writes its files.
inline std::string Write(const exchange::CStructureRecordList& list) {
    exchange::CommunicationBody body;
    for (const census::Structure& record : list.records) {
        body.Add(record);
    }
    return exchange::CommunicationFile(kTag, list.company, list.date, body);
}

// The company the second line names, when it has the shape of a company line at all.
inline bool NamedCompany(std::string_view content, int& company) {
    const std::vector<std::string_view> lines = exchange::SplitLines(content);
    if (lines.size() < 2 || lines[1].size() <= 9 || !lines[1].starts_with("<Azienda=")) {
        return false;
    }
    company = text::ReadInt(lines[1].substr(9));
    return true;
}

// The number of records the first line announces.
inline std::int32_t AnnouncedCount(std::string_view content) {
    const std::vector<std::string_view> lines = exchange::SplitLines(content);
    const std::string_view opening = "<ComunicazioneVelumbra>";
    return text::ReadInt(lines.at(0).substr(opening.size()));
}

// A text as the writer puts it in a record line.
inline std::string WrittenText(const std::string& value) {
    std::string out = value;
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    return out;
}

inline std::string WrittenTitle(const std::string& value) {
    return value.empty() || value[0] == '\t' || value[0] == '\r' || value[0] == '\n' ? " "
                                                                                     : value.substr(0, 1);
}

// The record as it reads back once written: what the writer changes, and nothing else.
inline census::Structure Normalised(census::Structure r) {
    r.ubicaz = WrittenText(r.ubicaz);
    r.local = WrittenText(r.local);
    r.provin = WrittenText(r.provin);
    r.scoPro = WrittenText(r.scoPro);
    r.copPro = WrittenText(r.copPro);
    r.scoTit = WrittenTitle(r.scoTit);
    r.copTit = WrittenTitle(r.copTit);
    return r;
}

inline bool SameList(const exchange::CStructureRecordList& a, const exchange::CStructureRecordList& b) {
    return a.company == b.company && a.date == b.date && a.records == b.records;
}

// Empty when every property holds for `content` read for `company`, otherwise what broke.
inline std::string CheckRead(std::string_view content, int company, exchange::FileCheck& result) {
    using exchange::FileCheck;
    exchange::CStructureRecordList list;
    list.company = -1;
    list.date = "stale";
    list.records.resize(2);
    result = exchange::ReadCommunication(content, company, list);
    if (result != FileCheck::Valid) {
        if (list.company != 0 || !list.date.empty() || list.Count() != 0) {
            return "a refused file left something in the list";
        }
        return {};
    }
    if (list.company != company) {
        return "the list does not hold the company it was read for";
    }
    if (list.date.size() != 10) {
        return "the date is not 10 characters";
    }
    const std::int32_t announced = AnnouncedCount(content);
    if (list.Count() != static_cast<std::size_t>(std::max<std::int32_t>(announced, 0))) {
        return "the number of records differs from the announced " + std::to_string(announced);
    }
    for (const census::Structure& r : list.records) {
        if (r.ubicaz.size() > kMaxText || r.local.size() > kMaxText || r.scoPro.size() > kMaxText ||
            r.copPro.size() > kMaxText || r.provin.size() > kMaxProvince || r.scoTit.size() > 1 ||
            r.copTit.size() > 1) {
            return "a record holds a text longer than the reader takes";
        }
    }

    // Written and read back: the same company, date and records, save for what the writer normalises.
    const std::string first = Write(list);
    exchange::CStructureRecordList second;
    if (exchange::ReadCommunication(first, company, second) != FileCheck::Valid) {
        return "the file written from a valid list does not read back valid";
    }
    exchange::CStructureRecordList expected = list;
    std::transform(expected.records.begin(), expected.records.end(), expected.records.begin(), Normalised);
    if (!SameList(second, expected)) {
        return "the file written from a valid list reads back different records";
    }
    // A second round changes nothing at all.
    const std::string secondText = Write(second);
    exchange::CStructureRecordList third;
    if (exchange::ReadCommunication(secondText, company, third) != FileCheck::Valid) {
        return "the rewritten file does not read back valid";
    }
    if (!SameList(second, third)) {
        return "the rewritten file reads back different records";
    }
    if (Write(third) != secondText) {
        return "writing is not stable after one round";
    }
    return {};
}

// Reads `content` for the working company and for the company its second line names.
inline std::string CheckInput(std::string_view content) {
    using exchange::FileCheck;
    FileCheck forWorking = FileCheck::Corrupt;
    if (std::string broken = CheckRead(content, kWorkingCompany, forWorking); !broken.empty()) {
        return "company " + std::to_string(kWorkingCompany) + ": " + broken;
    }
    int named = 0;
    if (!NamedCompany(content, named)) {
        return {};
    }
    FileCheck forNamed = FileCheck::Corrupt;
    if (std::string broken = CheckRead(content, named, forNamed); !broken.empty()) {
        return "company " + std::to_string(named) + ": " + broken;
    }
    if (forNamed == FileCheck::OtherCompany) {
        return "the file is refused as another company's for the very company it names";
    }
    if (forWorking == FileCheck::OtherCompany && named == kWorkingCompany) {
        return "the file is refused as another company's while it names the working company";
    }
    if (forNamed == FileCheck::Valid && named != kWorkingCompany && forWorking != FileCheck::OtherCompany) {
        return "a file valid for the company it names is not refused as another company's";
    }
    if (named == kWorkingCompany && forNamed != forWorking) {
        return "two readings of the same file for the same company disagree";
    }
    return {};
}

}  // namespace exchange_fuzz
