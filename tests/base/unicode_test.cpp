#include "base/unicode.h"
#include "base/unicode_ranges.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <utility>

namespace seedwell::base {
namespace {

using namespace std::string_view_literals;

TEST(IsValidUtf8, AcceptsWellFormedText) {
    for (std::string_view text : std::initializer_list<std::string_view>{
             "", "plain ascii longer than eight bytes", "caf\xC3\xA9", "\xE2\x82\xAC",
             "\xEF\xBB\xBF", "\xF0\x9F\x93\xAB", "\xF4\x8F\xBF\xBF",
             std::string_view("nul\0inside", 10)}) {
        EXPECT_TRUE(IsValidUtf8(text)) << text;
    }
}

TEST(IsValidUtf8, RefusesMalformedText) {
    for (std::string_view text : std::initializer_list<std::string_view>{
             "\xC3",                          // cut short
             "abcdefgh\xE2\x82",              // cut short after the fast path
             "\x80",                          // lone continuation byte
             "\xC0\xAF", "\xC1\xBF",          // overlong two-byte forms
             "\xE0\x80\xAF",                  // overlong three-byte form
             "\xF0\x80\x80\xAF",              // overlong four-byte form
             "\xED\xA0\x80", "\xED\xBF\xBF",  // UTF-16 surrogates
             "\xF4\x90\x80\x80",              // above U+10FFFF
             "\xF5\x80\x80\x80", "\xFF",      // bytes never used
             "caf\xE9",                       // Latin-1, not UTF-8
             "\xC3\x28",                      // continuation missing
         }) {
        EXPECT_FALSE(IsValidUtf8(text)) << ::testing::PrintToString(text);
    }
}

// UTF-8 text and the same text in UTF-16 units, whose bytes are given little end first.
TEST(Utf16, DecodesAndEncodesTheSameText) {
    const std::pair<std::string_view, std::u16string_view> cases[] = {
        {"", u""},
        {std::string_view("a\0\r\n", 4), std::u16string_view(u"a\0\r\n", 4)},
        {"caf\xC3\xA9 \xE2\x82\xAC", u"caf\u00E9 \u20AC"},
        {"\xEF\xBB\xBF\xEF\xBF\xBF", u"\uFEFF\uFFFF"},
        {"\xF0\x9F\x93\xAB", u"\U0001F4EB"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    };
    for (const auto& [utf8, units] : cases) {
        std::string bytes;
        for (char16_t unit : units) bytes += {char(unit & 0xFF), char(unit >> 8)};
        EXPECT_EQ(Utf16ToUtf8(units), utf8);
        EXPECT_EQ(Utf16ToUtf8(bytes, false), utf8);
        EXPECT_EQ(Utf8ToUtf16(utf8, false), bytes);
    }
    EXPECT_EQ(Utf16ToUtf8("\xD8\x3D\xDC\xEB", true), "\xF0\x9F\x93\xAB");
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82\xAC", true), "\x20\xAC");
}

TEST(Utf16, LoneSurrogatesHalfUnitsAndMalformedUtf8AreNoText) {
    for (std::u16string_view units : {u"\xD800"sv, u"a\xDC00"sv, u"\xD83D\x0041"sv}) {
        EXPECT_EQ(Utf16ToUtf8(units), std::nullopt);
    }
    EXPECT_EQ(Utf16ToUtf8(std::string_view("\x00\xDC", 2), false), std::nullopt);
    EXPECT_EQ(Utf16ToUtf8(std::string_view("a\0b", 3), false), std::nullopt);
    EXPECT_EQ(Utf8ToUtf16("caf\xE9", false), std::nullopt);
}

// The tables are generated from the Unicode Character Database; each holds its categories only.
TEST(UnicodeRanges, AreSortedRangesNoTwoOfWhichTouchAndHoldTheirCategories) {
    struct Table {
        const char* name;
        std::span<const CodeRange> ranges;
        std::initializer_list<char32_t> in, out;
    };
    const Table tables[] = {
        {"letters",
         LetterRanges(),
         {U'A', U'z', 0x1C5, 0x2B0, 0x4E2D, 0xD7A3, 0x30000},
         {U'0', U'_', 0x301, 0x660, 0xD7A4, 0x2122}},
        {"marks", MarkRanges(), {0x301, 0x903, 0x20DD, 0xFE0F, 0xE0100}, {U'a', 0x660, 0x200D}},
        {"decimal digits",
         DecimalDigitRanges(),
         {U'0', U'9', 0x660, 0xFF11, 0x1FBF0},
         {U'a', 0xB2, 0x216B}},
        {"escaped",
         EscapedRanges(),
         {0x0, 0x1F, 0x7F, 0x85, 0x9F, 0xAD, 0x200B, 0x200F, 0x2028, 0x2029, 0x202A, 0x202E, 0x2060,
          0x2066, 0x2069, 0xFEFF, 0xE0001, 0xE007F},
         {U' ', U'~', 0xA0, 0x200A, 0x2010, 0x2030, 0xD800, 0xE000, 0x10FFFF}},
    };
    for (const Table& table : tables) {
        SCOPED_TRACE(table.name);
        ASSERT_FALSE(table.ranges.empty());
        for (std::size_t i = 0; i < table.ranges.size(); ++i) {
            EXPECT_LE(table.ranges[i].first, table.ranges[i].last) << i;
            if (i > 0) {
                EXPECT_GT(table.ranges[i].first, table.ranges[i - 1].last + 1) << i;
            }
        }
        for (const char32_t code : table.in) {
            EXPECT_TRUE(InRanges(table.ranges, code)) << std::hex << std::uint32_t(code);
        }
        for (const char32_t code : table.out) {
            EXPECT_FALSE(InRanges(table.ranges, code)) << std::hex << std::uint32_t(code);
        }
    }
}

}  // namespace
}  // namespace seedwell::base
