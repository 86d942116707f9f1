#include <gtest/gtest.h>

#include "engine/Value.h"

namespace {

using engine::FieldType;
using engine::Value;
using engine::ValueFromText;

Value Parse(FieldType type, std::string_view text, int size = 0) {
    auto v = ValueFromText(type, size, "f", text);
    EXPECT_TRUE(v.ok()) << text << ": " << v.description();
    return v.ok() ? *v : Value();
}

std::string Refusal(FieldType type, std::string_view text, int size = 0) {
    auto v = ValueFromText(type, size, "campo", text);
    EXPECT_FALSE(v.ok()) << text;
    return v.description();
}

TEST(ValueFromText, IntegersAreRangeCheckedPerType) {
    EXPECT_EQ(Parse(FieldType::Integer, "32767"), Value::Integer(32767));
    EXPECT_EQ(Parse(FieldType::Integer, " -32768 "), Value::Integer(-32768));
    EXPECT_EQ(Parse(FieldType::Byte, "255"), Value::Byte(255));
    EXPECT_EQ(Parse(FieldType::Long, "2147483647"), Value::Long(2147483647));
    EXPECT_EQ(Parse(FieldType::Long, "2,5"), Value::Long(2));  // rounded half to even
    EXPECT_EQ(Parse(FieldType::Long, "3.5"), Value::Long(4));
    EXPECT_EQ(
        Refusal(FieldType::Integer, "32768"),
        "Il valore <32768> \xE8 fuori dall'intervallo consentito per il campo 'campo' (da -32768 a 32767).");
    Refusal(FieldType::Byte, "-1");
    Refusal(FieldType::Long, "2147483648");
    EXPECT_EQ(Refusal(FieldType::Integer, "12a"),
              "Il valore <12a> non \xE8 un numero valido per il campo 'campo'.");
    Refusal(FieldType::Integer, "");
    Refusal(FieldType::Integer, "1e3");
}

TEST(ValueFromText, BooleansFromNumbersAndWords) {
    for (const char* yes : {"1", "-1", "5", "True", "vero", "S\xEC", "yes", "ON"}) {
        EXPECT_EQ(Parse(FieldType::Boolean, yes), Value::Boolean(true)) << yes;
    }
    for (const char* no : {"0", "false", "Falso", "No", "off"}) {
        EXPECT_EQ(Parse(FieldType::Boolean, no), Value::Boolean(false)) << no;
    }
    Refusal(FieldType::Boolean, "forse");
    EXPECT_EQ(Value::Boolean(true).AsInt(), -1);
}

TEST(ValueFromText, RealsAndCurrencyTakeEitherSeparator) {
    EXPECT_EQ(Parse(FieldType::Double, "1234,5"), Value::Double(1234.5));
    EXPECT_EQ(Parse(FieldType::Double, "-1234.5"), Value::Double(-1234.5));
    EXPECT_EQ(Parse(FieldType::Double, "1,5e3"), Value::Double(1500));
    EXPECT_EQ(Parse(FieldType::Single, "0,25"), Value::Single(0.25f));
    EXPECT_EQ(Parse(FieldType::Currency, "-0,25"), Value::CurrencyScaled(-2500));
    EXPECT_EQ(Parse(FieldType::Currency, "1234.56789"), Value::CurrencyScaled(12345679));
    Refusal(FieldType::Double, "1,2,3");
    Refusal(FieldType::Currency, "1e3");
    Refusal(FieldType::Double, "abc");
}

// Currency is read digit by digit into ten-thousandths: no binary fraction rounds a digit away, and
// the range is the whole of the 64-bit integer that holds it.
TEST(ValueFromText, CurrencyIsReadExactlyOverItsWholeRange) {
    const auto scaled = [](std::string_view text) { return Parse(FieldType::Currency, text).AsInt(); };
    EXPECT_EQ(scaled("123456789012345.6789"), 1234567890123456789);
    EXPECT_EQ(scaled("123456789012345,6789"), 1234567890123456789);
    EXPECT_EQ(scaled("922337203685477.5807"), INT64_MAX);
    EXPECT_EQ(scaled(" -922337203685477,5808 "), INT64_MIN);
    EXPECT_EQ(scaled("+000000000000000000000000000001"), 10000);
    EXPECT_EQ(scaled("-0"), 0);
    EXPECT_EQ(scaled("7"), 70000);
    EXPECT_EQ(scaled("7."), 70000);
    EXPECT_EQ(scaled(",5"), 5000);
    EXPECT_EQ(scaled("-.0001"), -1);
    EXPECT_EQ(Parse(FieldType::Currency, "1").kind(), Value::Kind::Currency);

    // A fifth decimal and beyond: half to even on the fourth, whatever follows counting.
    EXPECT_EQ(scaled("0.00015"), 2);
    EXPECT_EQ(scaled("0.00025"), 2);
    EXPECT_EQ(scaled("0.00035"), 4);
    EXPECT_EQ(scaled("0.000250000000000000000001"), 3);
    EXPECT_EQ(scaled("0.000249999999999999999999"), 2);
    EXPECT_EQ(scaled("-0.00025"), -2);
    EXPECT_EQ(scaled("-0.00035"), -4);
    EXPECT_EQ(scaled("-0.00005"), 0);
    EXPECT_EQ(scaled("0.99995"), 10000);
    EXPECT_EQ(scaled("922337203685477.58074999"), INT64_MAX);
    EXPECT_EQ(scaled("-922337203685477.58084999"), INT64_MIN);
    EXPECT_EQ(scaled("-922337203685477.58085"), INT64_MIN);  // the tie goes to the even limit

    const std::string range = "(da -922337203685477,5808 a 922337203685477,5807).";
    EXPECT_EQ(Refusal(FieldType::Currency, "922337203685477.5808"),
              "Il valore <922337203685477.5808> \xE8 fuori dall'intervallo consentito per il campo 'campo' " +
                  range);
    for (const char* beyond :
         {"-922337203685477.5809", "922337203685477.58075", "-922337203685477.580851", "922337203685478",
          "9223372036854775808", "-9223372036854775808", "99999999999999999999999999999999999999999"}) {
        EXPECT_TRUE(Refusal(FieldType::Currency, beyond).ends_with(range)) << beyond;
    }
    for (const char* notANumber :
         {"", " ", "+", "-", ".", ",", "1,2,3", "1.2.3", "1e3", "1 000", "0x10", "12a", "--1", "1-",
          "\xA0"
          "1"}) {
        EXPECT_TRUE(Refusal(FieldType::Currency, notANumber)
                        .ends_with("non \xE8 un numero valido per il campo 'campo'."))
            << notANumber;
    }
}

TEST(ValueFromText, DatesAreReadDayFirst) {
    EXPECT_EQ(Parse(FieldType::Date, "07/03/2010").AsDate(), (engine::DateTime{2010, 3, 7, 0, 0, 0}));
    EXPECT_EQ(Parse(FieldType::Date, "7-3-2010 14:05").AsDate(), (engine::DateTime{2010, 3, 7, 14, 5, 0}));
    EXPECT_EQ(Parse(FieldType::Date, "29.02.2028 23:59:59").AsDate(),
              (engine::DateTime{2028, 2, 29, 23, 59, 59}));
    EXPECT_EQ(Parse(FieldType::Date, "01/01/1600").AsDate().year, 1600);
    EXPECT_EQ(Parse(FieldType::Date, "31/12/2400").AsDate().year, 2400);
    EXPECT_EQ(Parse(FieldType::Date, "2026-12-06").AsDate(), (engine::DateTime{2026, 12, 6, 0, 0, 0}));
    EXPECT_EQ(Refusal(FieldType::Date, "00/00/0000"),
              "Il valore <00/00/0000> non \xE8 una data valida per il campo 'campo' (attesa nella forma "
              "GG/MM/AAAA).");
    Refusal(FieldType::Date, "31/04/2026");
    Refusal(FieldType::Date, "29/02/2027");
    Refusal(FieldType::Date, "12/13/2026");
    Refusal(FieldType::Date, "06.12-2026");
    Refusal(FieldType::Date, "06/12/2026 25:00");
}

TEST(ValueFromText, TextsAreLimitedToTheFieldSize) {
    EXPECT_EQ(Parse(FieldType::Text, "AR", 2), Value::Text("AR"));
    EXPECT_EQ(Refusal(FieldType::Text, "ARE", 2),
              "Il testo <ARE> \xE8 troppo lungo per il campo 'campo': sono ammessi al massimo 2 caratteri.");
    EXPECT_EQ(Parse(FieldType::Memo, std::string(5000, 'x')).AsBytes().size(), 5000u);
}

}  // namespace
