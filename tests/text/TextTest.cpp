#include <gtest/gtest.h>

#include <climits>

#include "text/Text.h"

namespace {

TEST(Cp1252, EveryByteRoundTripsThroughUtf8) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::string utf8 = text::Cp1252ToUtf8(byte);
        const auto back = text::Utf8ToCp1252(utf8);
        ASSERT_TRUE(back.has_value()) << "byte " << b;
        EXPECT_EQ(*back, byte) << "byte " << b;
    }
}

TEST(Cp1252, KnownCharactersAndUndefinedBytes) {
    EXPECT_EQ(text::Cp1252ToUtf8("\x80"), "\u20AC");
    EXPECT_EQ(text::Cp1252ToUtf8("Localit\xE0"), "Località");
    EXPECT_EQ(text::Cp1252ToUtf8("\x9F"), "\u0178");
    // The five undefined bytes stand for the C1 controls of the same value.
    for (const char32_t cp : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
        EXPECT_EQ(text::Cp1252ToCodePoint(static_cast<unsigned char>(cp)), cp);
        EXPECT_EQ(text::CodePointToCp1252(cp), static_cast<unsigned char>(cp));
    }
    EXPECT_EQ(*text::Utf8ToCp1252("Pian di Scò €"), "Pian di Sc\xF2 \x80");
}

TEST(Cp1252, UnrepresentableAndMalformedTextIsRefused) {
    EXPECT_FALSE(text::Utf8ToCp1252("Łódź").has_value());
    EXPECT_FALSE(
        text::Utf8ToCp1252("\u0080").has_value());         // C1 control with a Windows-1252 meaning elsewhere
    EXPECT_FALSE(text::Utf8ToCp1252("\xC3").has_value());  // truncated sequence
    EXPECT_FALSE(text::Utf8ToCp1252("\xC0\xA0").has_value());  // overlong
    EXPECT_TRUE(text::Utf8ToCp1252("PERGINE VALDARNO àèìòù ÀÈÌÒÙ").has_value());
    EXPECT_EQ(text::Utf8ToCp1252Lossy("a€ł"), "a\x80?");
}

TEST(TrimRight, RemovesSpacesOnly) {
    EXPECT_EQ(text::TrimRight("ABC   "), "ABC");
    EXPECT_EQ(text::TrimRight("ABC\t "), "ABC\t");
    EXPECT_EQ(text::TrimRight("   "), "");
    EXPECT_EQ(text::TrimRight("  A B "), "  A B");
}

TEST(ReadInt, BehavesLikeTheCLibrary) {
    EXPECT_EQ(text::ReadInt("  42abc"), 42);
    EXPECT_EQ(text::ReadInt("\t-17"), -17);
    EXPECT_EQ(text::ReadInt("+8"), 8);
    EXPECT_EQ(text::ReadInt("abc"), 0);
    EXPECT_EQ(text::ReadInt(""), 0);
    EXPECT_EQ(text::ReadInt("- 5"), 0);
    EXPECT_EQ(text::ReadInt("0012"), 12);
    EXPECT_EQ(text::ReadInt("2147483647"), INT32_MAX);
    EXPECT_EQ(text::ReadInt("-2147483648"), INT32_MIN);
    // Overflow clamps instead of wrapping.
    EXPECT_EQ(text::ReadInt("2147483648"), INT32_MAX);
    EXPECT_EQ(text::ReadInt("-99999999999999999999"), INT32_MIN);
    EXPECT_EQ(text::ReadInt64("99999999999999999999"), INT64_MAX);
}

TEST(Format, PrintfForms) {
    EXPECT_EQ(text::FormatInt(-12), "-12");
    EXPECT_EQ(text::FormatIntZeroPadded(12, 4), "0012");
    EXPECT_EQ(text::FormatIntZeroPadded(-5, 4), "-005");
    EXPECT_EQ(text::FormatIntZeroPadded(123456, 4), "123456");
    EXPECT_EQ(text::FormatDate(7, 3, 2010), "07/03/2010");
    EXPECT_EQ(text::FormatDate(1, 1, 800), "01/01/0800");
}

}  // namespace
