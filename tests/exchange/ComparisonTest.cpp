#include <gtest/gtest.h>

#include <functional>

#include "exchange/Comparison.h"
#include "support/Census.h"

namespace {

using exchange::CompareCensus;
using testing_support::Census;

// The census as read back: identifiers given, texts without trailing blanks.
std::vector<census::Structure> Stored(std::vector<census::Structure> records) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].id = static_cast<int>(i);
    }
    return records;
}

// A structure at a place of its own.
census::Structure At(const std::string& ubicaz, int seed = 0) {
    census::Structure r = Census::ValidRecord(seed);
    r.ubicaz = ubicaz;
    r.copPro = "";
    return r;
}

// The line a structure is compared by: the export's record line, each field without trailing blanks,
// blanks inside a field kept.
TEST(ComparisonTest, TheComparedLineDropsOnlyTheBlanksThatEndAField) {
    auto r = At("  VIA  ROMA 1  ", 1);
    r.local = "A B   ";
    r.provin = "FI ";
    r.scoPro = "   ";
    r.scoTit = " ";
    const std::string line = exchange::ComparedLine(r);
    EXPECT_TRUE(line.starts_with("  VIA  ROMA 1\tA B\t2\tFI\t")) << line;
    EXPECT_EQ(line,
              "  VIA  ROMA 1\tA B\t2\tFI\t0\t1\t0\t0\t0\t0\t0\t\t101\t\t\t0\t\t"
              "1\t3\t0\t2\t4\t1\t3\t0\t2\t4\t1\t3\t0\t2\t4\t1\t3\t0\t2\t4\t1\t3\t0\t2\t4\t1\t3\t0\t2\t4\t1\t3"
              "\t0\t2\t4\t1");
}

TEST(ComparisonTest, StructuresArePairedByWhereTheyStand) {
    const auto a = At("VIA ROMA 1", 1), b = At("VIA ROMA 2", 2), c = At("VIA ROMA 3", 3);
    // The same census in another order, renumbered: nothing changed.
    auto same = CompareCensus(Stored({a, b, c}), {c, a, b});
    EXPECT_EQ(same.Summary(), "invariate 3, modificate 0, nuove 0, eliminate 0");
    EXPECT_TRUE(same.lines.empty());
    EXPECT_EQ(same.Text(), same.Summary());

    // Trailing blanks of the file's texts count for nothing, nor does an empty owner read as a blank.
    auto padded = a;
    padded.ubicaz += "   ";
    padded.local += " ";
    padded.provin += " ";
    padded.copPro = " ";
    EXPECT_EQ(CompareCensus(Stored({a}), {padded}).Summary(),
              "invariate 1, modificate 0, nuove 0, eliminate 0");

    // A structure moved to another street, municipality or province is another structure: the old one
    // is gone and a new one comes. A renamed locality is no different.
    for (const auto& change : std::vector<std::function<void(census::Structure&)>>{
             [](census::Structure& r) { r.ubicaz = "VIA NUOVA 9"; },
             [](census::Structure& r) { r.local = "Altrove"; }, [](census::Structure& r) { r.comune += 1; },
             [](census::Structure& r) { r.provin = "SI"; },
             [](census::Structure& r) { r.ubicaz = "via roma 2"; }}) {
        auto moved = b;
        change(moved);
        const auto result = CompareCensus(Stored({a, b, c}), {a, moved, c});
        EXPECT_EQ(result.Summary(), "invariate 2, modificate 0, nuove 1, eliminate 1");
        ASSERT_EQ(result.lines.size(), 2u);
        EXPECT_TRUE(result.lines[0].starts_with("nuova ")) << result.lines[0];
        EXPECT_TRUE(result.lines[1].starts_with("eliminata ID=1 VIA ROMA 2 - ")) << result.lines[1];
    }

    // Everything else changes a structure in its place.
    auto changed = c;
    changed.scoSup = 999;
    changed.flags[6] = !changed.flags[6];
    const auto result = CompareCensus(Stored({a, b, c}), {a, b, changed});
    EXPECT_EQ(result.Summary(), "invariate 2, modificate 1, nuove 0, eliminate 0");
    ASSERT_EQ(result.lines.size(), 1u);
    EXPECT_TRUE(result.lines[0].starts_with("modificata ID=2 VIA ROMA 3 - ")) << result.lines[0];
}

// The census's texts are compared as an export writes them: a TAB or a line break in a stored text is a
// blank there, and the blanks it ends with count for nothing, at the place and elsewhere.
TEST(ComparisonTest, TextsAreComparedAsTheExportWritesThem) {
    auto stored = At("VIA\tROMA\r1\n", 1);
    stored.copPro = "DITTA\r\n";
    stored.scoTit = "\t";
    auto file = At("VIA ROMA 1", 1);
    file.copPro = "DITTA";
    file.scoTit = " ";
    EXPECT_EQ(CompareCensus(Stored({stored}), {file}).Summary(),
              "invariate 1, modificate 0, nuove 0, eliminate 0");
    file.copPro = "DITTA.";
    const auto changed = CompareCensus(Stored({stored}), {file});
    ASSERT_EQ(changed.lines.size(), 1u);
    EXPECT_EQ(changed.lines[0].substr(changed.lines[0].find(": ")), ": cop_pro \"DITTA\" -> \"DITTA.\"");
    file.copPro = "DITTA";
    file.ubicaz = "VIA  ROMA 1";
    EXPECT_EQ(CompareCensus(Stored({stored}), {file}).Summary(),
              "invariate 0, modificate 0, nuove 1, eliminate 1");
}

TEST(ComparisonTest, SeveralStructuresAtOnePlaceArePairedInOrder) {
    auto first = At("PIAZZA STAZIONE", 1), second = first, third = first;
    second.scoSup = 200;
    third.scoSup = 300;
    // The census's first at the place goes with the file's first, and so on: the file's second and
    // third are swapped, so both are changed.
    auto swapped = CompareCensus(Stored({first, second, third}), {first, third, second});
    EXPECT_EQ(swapped.Summary(), "invariate 1, modificate 2, nuove 0, eliminate 0");
    ASSERT_EQ(swapped.lines.size(), 2u);
    EXPECT_TRUE(swapped.lines[0].starts_with("modificata ID=1 ")) << swapped.lines[0];
    EXPECT_TRUE(swapped.lines[0].ends_with(": sco_sup \"200\" -> \"300\"")) << swapped.lines[0];
    EXPECT_TRUE(swapped.lines[1].ends_with(": sco_sup \"300\" -> \"200\"")) << swapped.lines[1];

    // A place duplicated in the file: the one more is new; one fewer: the census's last there is gone.
    EXPECT_EQ(CompareCensus(Stored({first, second}), {first, second, second}).Summary(),
              "invariate 2, modificate 0, nuove 1, eliminate 0");
    const auto fewer = CompareCensus(Stored({first, second, third}), {first, second});
    EXPECT_EQ(fewer.Summary(), "invariate 2, modificate 0, nuove 0, eliminate 1");
    ASSERT_EQ(fewer.lines.size(), 1u);
    EXPECT_TRUE(fewer.lines[0].starts_with("eliminata ID=2 PIAZZA STAZIONE - ")) << fewer.lines[0];
}

// The lines of a small census, word for word: changed ones with every field that differs, then the
// new ones in file order, then the gone ones in identifier order; the summary first in the text.
TEST(ComparisonTest, TheLinesNameTheFieldsAndTheirValues) {
    auto kept = At("VIA ROMA 1", 1);
    kept.local = "Localit\xE0";
    kept.comune = 12;
    kept.provin = "PI";
    auto changed = kept;
    changed.scoTit = "B";
    changed.copPro = "COMUNE DI PISA";
    changed.counts[35] = 40;
    auto gone = At("VIA VECCHIA 3", 3);
    gone.local = "Badia";
    gone.comune = 8;
    gone.provin = "FI";
    auto added = At("VIA NUOVA 2", 2);
    added.local = "Pont\xE0";
    added.comune = 7;
    added.provin = "PO";
    auto stored = Stored({gone, kept});
    const auto result = CompareCensus(stored, {added, changed});
    EXPECT_EQ(
        result.Text(),
        "invariate 0, modificate 1, nuove 1, eliminate 1\n"
        "modificata ID=1 VIA ROMA 1 - Localit\xE0 (comune 12 PI): sco_tit \"A\" -> \"B\"; cop_pro \"\" -> "
        "\"COMUNE DI PISA\"; urb_c_r \"" +
            std::to_string(kept.counts[35]) +
            "\" -> \"40\"\n"
            "nuova VIA NUOVA 2 - Pont\xE0 (comune 7 PO)\n"
            "eliminata ID=0 VIA VECCHIA 3 - Badia (comune 8 FI)");
    EXPECT_EQ(CompareCensus(std::vector<census::Structure>{}, {}).Text(),
              "invariate 0, modificate 0, nuove 0, eliminate 0");
}

}  // namespace
