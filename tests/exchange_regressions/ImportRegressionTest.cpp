// Every input kept from the import fuzzer is read without harm and gives the answer its name states:
// valid_*, corrupt_* or other_* (for company 12). Each folder must hold such inputs: an empty one, or a
// file named otherwise, fails rather than being skipped.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ImportProperties.h"
#include "exchange/Import.h"

namespace {

using exchange::FileCheck;

bool NamedForItsAnswer(const std::string& name) {
    return name.starts_with("valid_") || name.starts_with("corrupt_") || name.starts_with("other_");
}

// Every file of the folder but its README; none when the folder is missing.
std::vector<std::string> FileNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name != "README.md") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> InputNames(const std::filesystem::path& folder) {
    std::vector<std::string> names = FileNames(folder);
    std::erase_if(names, [](const std::string& name) { return !NamedForItsAnswer(name); });
    return names;
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

FileCheck ExpectedFor(const std::string& name) {
    if (name.starts_with("valid_")) {
        return FileCheck::Valid;
    }
    return name.starts_with("other_") ? FileCheck::OtherCompany : FileCheck::Corrupt;
}

std::string TestName(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

void CheckKeptInput(const std::filesystem::path& path) {
    ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
    const std::string content = ReadBytes(path);
    exchange::CStructureRecordList list;
    EXPECT_EQ(exchange::ReadCommunication(content, exchange_fuzz::kWorkingCompany, list),
              ExpectedFor(path.filename().string()));
    EXPECT_EQ(exchange_fuzz::CheckInput(content), "");
}

class SeedCorpus : public testing::TestWithParam<std::string> {};

TEST_P(SeedCorpus, ReadsAsItsNameSays) {
    CheckKeptInput(std::filesystem::path(VELUMBRA_FUZZ_CORPUS) / GetParam());
}

INSTANTIATE_TEST_SUITE_P(Import, SeedCorpus, testing::ValuesIn(InputNames(VELUMBRA_FUZZ_CORPUS)), TestName);

class KeptInputs : public testing::TestWithParam<std::string> {};

TEST_P(KeptInputs, ReadsAsItsNameSays) {
    CheckKeptInput(std::filesystem::path(VELUMBRA_KEPT_INPUTS) / GetParam());
}

// No GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST: with no input in the folder, GoogleTest reports the
// suite as failed.
INSTANTIATE_TEST_SUITE_P(Import, KeptInputs, testing::ValuesIn(InputNames(VELUMBRA_KEPT_INPUTS)), TestName);

// An input copied into a folder under the name the fuzzer gave it would never be read: every file is
// named for its answer, and each folder holds inputs of every answer.
TEST(KeptInputFolders, HoldInputsNamedForEveryAnswer) {
    for (const std::filesystem::path folder : {VELUMBRA_FUZZ_CORPUS, VELUMBRA_KEPT_INPUTS}) {
        SCOPED_TRACE(folder.string());
        const std::vector<std::string> names = FileNames(folder);
        for (const std::string& name : names) {
            EXPECT_TRUE(NamedForItsAnswer(name)) << name << " is not named for the answer it must give";
        }
        for (const char* answer : {"valid_", "corrupt_", "other_"}) {
            EXPECT_TRUE(std::any_of(names.begin(), names.end(),
                                    [&](const std::string& name) { return name.starts_with(answer); }))
                << "no input named " << answer << "...";
        }
    }
}

// The seeds the fuzzer starts from must stay meaningful: the empty census and the three-record file
// are there, and read as they were written.
TEST(SeedCorpusContent, HoldsTheEmptyAndTheThreeRecordCensus) {
    const std::filesystem::path corpus = VELUMBRA_FUZZ_CORPUS;
    exchange::CStructureRecordList list;
    ASSERT_EQ(exchange::ReadCommunication(ReadBytes(corpus / "valid_empty_census"), 12, list),
              FileCheck::Valid);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.date, "15/03/2024");

    ASSERT_EQ(exchange::ReadCommunication(ReadBytes(corpus / "valid_three_records"), 12, list),
              FileCheck::Valid);
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.records[0].ubicaz, "Via Roma 1");
    EXPECT_EQ(list.records[0].comune, 58091);
    EXPECT_EQ(list.records[1].scoTit, "");
    EXPECT_EQ(list.records[2].ubicaz, "Localit\xE0 Le Fornaci");
    EXPECT_EQ(list.records[2].scoSup, 2147483647);
    EXPECT_EQ(list.records[2].copSup, -2147483647 - 1);
    EXPECT_EQ(list.records[2].counts[35], 32767);

    ASSERT_EQ(exchange::ReadCommunication(ReadBytes(corpus / "other_company_34"), 34, list),
              FileCheck::Valid);
    EXPECT_EQ(list.Count(), 3u);
}

// The kept inputs that read valid give the texts byte for byte: NUL, 0xFF and a CR inside a line are
// kept as they are, and a negative count reads no record.
TEST(KeptInputContent, TextsAreTakenByteForByte) {
    const std::filesystem::path kept = VELUMBRA_KEPT_INPUTS;
    exchange::CStructureRecordList list;
    ASSERT_EQ(exchange::ReadCommunication(ReadBytes(kept / "valid_nul_and_ff_in_texts"), 12, list),
              FileCheck::Valid);
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.records[0].ubicaz, std::string("Via\0Roma\0\xFF", 10) + "1");
    EXPECT_EQ(list.records[0].local, std::string("\xFF\xFF\0", 3));
    EXPECT_EQ(list.records[1].ubicaz, std::string(1, '\0'));
    EXPECT_EQ(list.records[1].local, "\xFF");

    ASSERT_EQ(exchange::ReadCommunication(ReadBytes(kept / "valid_cr_inside_text"), 12, list),
              FileCheck::Valid);
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.records[0].ubicaz, "Via\rRoma 1");
    EXPECT_EQ(list.records[0].local, "Deposito\r");

    ASSERT_EQ(exchange::ReadCommunication(ReadBytes(kept / "valid_count_negative"), 12, list),
              FileCheck::Valid);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.date, "15/03/2024");

    ASSERT_EQ(exchange::ReadCommunication(ReadBytes(kept / "valid_date_with_dashes"), 12, list),
              FileCheck::Valid);
    EXPECT_EQ(list.date, "2024-03-15");
    EXPECT_EQ(list.Count(), 3u);
}

// A company line of some 16.8 million bytes of 0x80 sums below the range of a 32-bit integer. A line's
// sum is reckoned in signed 32-bit arithmetic that wraps around, as the observatory's own does; the
// reader used to overflow there (undefined behaviour, caught by the sanitizers). Kept as
// fuzz/crashes/company_line_sum_overflow.gz too.
TEST(ImportChecksum, CompanyLineSummingBeyond32Bits) {
    const std::string companyLine = "<Azienda=12" + std::string(16777232, '\x80') + ">";
    const std::string dateLine = "<Data=15/03/2024>";
    const auto lineSum = [](const std::string& line) {
        std::int64_t sum = 0;
        for (const char c : line) {
            sum += static_cast<signed char>(c);
        }
        return sum;
    };
    const std::int64_t wide = lineSum(companyLine);
    ASSERT_LT(wide, INT32_MIN);
    const std::int32_t wrapped = static_cast<std::int32_t>(static_cast<std::uint32_t>(wide));
    const std::int64_t checksum = (wrapped % 1000000000 + lineSum(dateLine)) % 1000000000;
    const auto file = [&](std::int64_t closing) {
        return "<ComunicazioneVelumbra>0\r\n" + companyLine + "\r\n" + dateLine +
               "\r\n</ComunicazioneVelumbra>" + std::to_string(closing) + "\r\n";
    };
    exchange::CStructureRecordList list;
    EXPECT_EQ(exchange::ReadCommunication(file(checksum), 12, list), FileCheck::Valid);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(exchange::ReadCommunication(file(checksum + 1), 12, list), FileCheck::Corrupt);
}

}  // namespace
