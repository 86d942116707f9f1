#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "db/TextForms.h"
#include "engine/Value.h"

namespace {

using db::ValueToText;
using db::ValueToTextWithBlob;
using engine::Value;

TEST(TextForms, Numbers) {
    EXPECT_EQ(ValueToText(Value::Integer(-12)), "-12");
    EXPECT_EQ(ValueToText(Value::Long(40213)), "40213");
    EXPECT_EQ(ValueToText(Value::Byte(255)), "255");
    EXPECT_EQ(ValueToText(Value::Boolean(true)), "1");
    EXPECT_EQ(ValueToText(Value::Boolean(false)), "0");
    EXPECT_EQ(ValueToText(Value::Double(1234.5)), "000000000001234,5000");
    EXPECT_EQ(ValueToText(Value::Double(-1234.5)), "-00000000001234,5000");
    EXPECT_EQ(ValueToText(Value::Single(3.5f)), "");
}

TEST(TextForms, CurrencyHasSignFifteenDigitsAndFourDecimals) {
    EXPECT_EQ(ValueToText(Value::CurrencyScaled(12345600)), "+000000000001234,5600");
    EXPECT_EQ(ValueToText(Value::CurrencyScaled(-2500)), "-000000000000000,2500");
    EXPECT_EQ(ValueToText(Value::CurrencyScaled(0)), "+000000000000000,0000");
    EXPECT_EQ(ValueToText(Value::CurrencyScaled(INT64_MIN)), "-922337203685477,5808");
    EXPECT_EQ(ValueToText(Value::CurrencyScaled(INT64_MAX)), "+922337203685477,5807");
    EXPECT_EQ(ValueToText(Value::CurrencyScaled(-1)), "-000000000000000,0001");
    EXPECT_EQ(ValueToText(Value::CurrencyScaled(1234567890123456789)), "+123456789012345,6789");
}

// A currency text given for a field reads back as the same amount, to the last decimal and at both limits.
TEST(TextForms, CurrencyReadsBackWhatWasGiven) {
    for (const auto& [given, shown] : std::initializer_list<std::pair<const char*, const char*>>{
             {"922337203685477,5807", "+922337203685477,5807"},
             {"-922337203685477.5808", "-922337203685477,5808"},
             {"123456789012345.6789", "+123456789012345,6789"},
             {"0.00015", "+000000000000000,0002"},
             {"-0,00035", "-000000000000000,0004"}}) {
        const auto value = engine::ValueFromText(engine::FieldType::Currency, 0, "importo", given);
        ASSERT_TRUE(value.ok()) << given;
        EXPECT_EQ(ValueToText(*value), shown) << given;
    }
}

TEST(TextForms, DatesAndTheirSentinels) {
    EXPECT_EQ(ValueToText(Value::Date({2010, 3, 7})), "07/03/2010");
    EXPECT_EQ(ValueToText(Value::Date({1601, 1, 1})), "01/01/1601");
    EXPECT_EQ(ValueToText(Value::Date({1600, 12, 31})), "00/00/0000");
    EXPECT_EQ(ValueToText(Value::Date({2399, 12, 31})), "31/12/2399");
    EXPECT_EQ(ValueToText(Value::Date({2400, 1, 1})), "99/99/9999");
    EXPECT_EQ(ValueToText(Value::Date({})), "00/00/0000");  // unreadable
}

TEST(TextForms, TextsBlobsAndNulls) {
    EXPECT_EQ(ValueToText(Value::Text("ABC   ")), "ABC   ");
    EXPECT_EQ(ValueToTextWithBlob(Value::Text("ABC   ")), "ABC");
    EXPECT_EQ(ValueToTextWithBlob(Value::Text("   ")), " ");  // a text of blanks keeps its first
    EXPECT_EQ(ValueToTextWithBlob(Value::Text("")), "");
    EXPECT_EQ(ValueToText(Value::LongBinary(std::string(2048, 'x'))), "");
    EXPECT_EQ(ValueToTextWithBlob(Value::LongBinary(std::string(2048, 'x'))), "BLOB [2048 bytes]");
    EXPECT_EQ(ValueToText(Value::Null()), "");
    EXPECT_EQ(ValueToText(Value()), "");
}

}  // namespace
