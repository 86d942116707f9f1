#include <gtest/gtest.h>

#include <limits>

#include "exchange/Export.h"
#include "exchange/StructureRecord.h"
#include "ui/ScriptedPort.h"

namespace {

using exchange::AddLineChecksum;
using exchange::ComputeLineChecksum;

TEST(Checksum, SignedBytesWithoutTabsAndLineFeeds) {
    EXPECT_EQ(ComputeLineChecksum("abc"), 294);
    EXPECT_EQ(ComputeLineChecksum("Localit\xE0"), 680);
    EXPECT_EQ(ComputeLineChecksum("Localit"), 712);
    EXPECT_EQ(ComputeLineChecksum("a\tb\nc"), 294);
    EXPECT_EQ(ComputeLineChecksum("\r"), 13);
    EXPECT_EQ(ComputeLineChecksum("<Azienda=12>"), 982);
    EXPECT_EQ(ComputeLineChecksum("<Data=06/12/2026>"), 1058);
    // The running sum keeps the sign of a negative total (remainder truncated toward zero).
    EXPECT_EQ(AddLineChecksum(0, "\xFF\xFF"), -2);
    EXPECT_EQ(AddLineChecksum(999999999, "\x02"), 1);
    EXPECT_EQ(AddLineChecksum(-999999999, "\xFE"), -1);
}

TEST(CommunicationFile, AnEmptyCensusHasFourLines) {
    EXPECT_EQ(exchange::CommunicationFile("VariazioniVelumbra", 12, "06/12/2026", {}),
              "<VariazioniVelumbra>0\r\n<Azienda=12>\r\n<Data=06/12/2026>\r\n</VariazioniVelumbra>2040\r\n");
}

census::Structure Sample() {
    census::Structure r;
    r.ubicaz = "VIA ROMA 1";
    r.local = "Localit\xE0";
    r.comune = 57;
    r.provin = "FI";
    r.flags[0] = true;  // deposito
    r.flags[5] = true;  // agenzia
    r.scoPro = "";
    r.scoSup = 0;
    r.scoTit = " ";
    r.copPro = "ACME";
    r.copSup = -5;
    r.copTit = "B";
    for (std::size_t i = 0; i < r.counts.size(); ++i) {
        r.counts[i] = static_cast<int>(i);
    }
    return r;
}

TEST(RecordLine, FieldsInTheirOrder) {
    const std::string line = exchange::FormatRecordLine(Sample());
    std::string expected = "VIA ROMA 1\tLocalit\xE0\t57\tFI\t1\t0\t0\t0\t0\t1\t0\t\t0\t \tACME\t-5\tB";
    for (int i = 0; i < 36; ++i) {
        expected += "\t" + std::to_string(i);
    }
    EXPECT_EQ(line, expected);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 52);
}

TEST(RecordLine, BreaksAndTabsInTextsBecomeBlanksAndMissingTitlesBlanks) {
    census::Structure r = Sample();
    r.ubicaz = "VIA\tROMA\r\n1";
    r.scoTit = "";
    const std::string line = exchange::FormatRecordLine(r);
    EXPECT_TRUE(line.starts_with("VIA ROMA  1\t"));
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 52);
    exchange::CStructureRecordList list;
    ASSERT_TRUE(exchange::ParseRecordLine(list, line));
    EXPECT_EQ(list.records[0].scoTit, " ");
}

TEST(RecordLine, ReadingBackAndItsLimits) {
    exchange::CStructureRecordList list;
    ASSERT_TRUE(exchange::ParseRecordLine(list, exchange::FormatRecordLine(Sample())));
    census::Structure expected = Sample();
    expected.scoPro = " ";  // an empty text field is read as one blank
    EXPECT_EQ(list.records[0], expected);

    std::string line = exchange::FormatRecordLine(Sample());
    EXPECT_FALSE(exchange::ParseRecordLine(list, line + "\t0"));                      // 54 fields
    EXPECT_FALSE(exchange::ParseRecordLine(list, line.substr(0, line.rfind('\t'))));  // 52 fields
    EXPECT_FALSE(exchange::ParseRecordLine(list, ""));
    EXPECT_EQ(list.Count(), 1u);

    // Letters in a flag field mean "not set"; numbers read as the C library does.
    std::string odd = line;
    odd.replace(odd.find("\t1\t0\t0"), 6, "\tS\t1x\t0");
    odd.replace(odd.find("\t57\t"), 4, "\t 42abc\t");
    ASSERT_TRUE(exchange::ParseRecordLine(list, odd));
    EXPECT_FALSE(list.records[1].flags[0]);
    EXPECT_TRUE(list.records[1].flags[1]);
    EXPECT_EQ(list.records[1].comune, 42);

    // Fields longer than the reader takes make the line unreadable.
    census::Structure longText = Sample();
    longText.ubicaz = std::string(63, 'x');
    EXPECT_TRUE(exchange::ParseRecordLine(list, exchange::FormatRecordLine(longText)));
    longText.ubicaz = std::string(64, 'x');
    EXPECT_FALSE(exchange::ParseRecordLine(list, exchange::FormatRecordLine(longText)));
    longText = Sample();
    longText.provin = std::string(16, 'F');
    EXPECT_FALSE(exchange::ParseRecordLine(list, exchange::FormatRecordLine(longText)));
    std::string longCount = line + std::string(1024, '7');
    EXPECT_FALSE(exchange::ParseRecordLine(list, longCount));
}

// Held compactly, every structure comes back as it was put in, whatever its numbers and its bytes, and
// one read back into a record leaves nothing of the one read before.
TEST(StructureRecords, GiveBackEachStructureAsItWasAdded) {
    census::Structure wide = Sample();
    wide.id = 32767;
    wide.ubicaz = std::string("VIA\0\xFF\t", 6) + std::string(300, 'x');
    wide.scoSup = std::numeric_limits<std::int64_t>::max();
    wide.copSup = std::numeric_limits<std::int64_t>::min();
    wide.counts[0] = std::numeric_limits<int>::min();
    wide.counts[35] = std::numeric_limits<int>::max();
    wide.comune = -1;
    census::Structure empty;
    empty.ubicaz = empty.local = empty.provin = empty.scoTit = "";
    const std::vector<census::Structure> added{wide, empty, Sample()};
    const exchange::StructureRecords records(added);
    ASSERT_EQ(records.size(), added.size());
    census::Structure read;
    for (std::size_t i = 0; i < added.size(); ++i) {
        records.Get(i, read);
        EXPECT_EQ(read, added[i]) << i;
    }
}

TEST(GenerationDate, ShapesAndCalendar) {
    ui::ScriptedPort port;
    const auto check = [&](std::string date) {
        const bool ok = exchange::CheckGenerationDate(port, date);
        return ok ? date : std::string("illegale");
    };
    EXPECT_EQ(check("06/12/2026"), "06/12/2026");
    EXPECT_EQ(check("06/12/26"), "06/12/2026");
    EXPECT_EQ(check("06.12-2026"), "06/12/2026");
    EXPECT_EQ(check("29/02/2028"), "29/02/2028");
    EXPECT_TRUE(port.messages.empty());
    for (const char* illegal : {"6/12/2026", "31/04/2026", "29/02/2027", "06_12_2026", "", "06/13/2026",
                                "aa/bb/cccc", "06/12/2026 "}) {
        EXPECT_EQ(check(illegal), "illegale") << illegal;
    }
    EXPECT_EQ(port.messages.size(), 8u);
    EXPECT_EQ(port.LastMessage().text,
              "ATTENZIONE: la data di generazione \xE8 espressa in un formato illegale.\n\n"
              "Le date devono essere espresse nella forma GG/MM/AAAA.\n\n");
    EXPECT_EQ(port.LastMessage().icon, ui::Icon::Stop);
    std::string unchanged = "6/12/2026";
    EXPECT_FALSE(exchange::CheckGenerationDate(port, unchanged));
    EXPECT_EQ(unchanged, "6/12/2026");
}

}  // namespace
