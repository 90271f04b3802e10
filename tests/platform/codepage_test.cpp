#include "platform/codepage.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace seedwell::platform {
namespace {

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

TEST(CodePage, Utf8PassesValidBytesAndRefusesInvalidOnes) {
    const CodePage utf8("utf-8");
    EXPECT_TRUE(utf8.IsUtf8());
    EXPECT_EQ(utf8.ToUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(utf8.ToUtf8("caf\xE9"), std::nullopt);
    EXPECT_EQ(utf8.FromUtf8("\xED\xA0\x80"), std::nullopt);
}

TEST(CodePage, Latin1ConvertsBothWays) {
    const CodePage latin1("ISO-8859-1");
    EXPECT_FALSE(latin1.IsUtf8());
    EXPECT_EQ(latin1.ToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(latin1.FromUtf8("caf\xC3\xA9"), "caf\xE9");
    EXPECT_EQ(latin1.ToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(latin1.ToUtf8(""), "");
    // The euro sign has no place in Latin-1: refused, never replaced or dropped.
    EXPECT_EQ(latin1.FromUtf8("\xE2\x82\xAC"), std::nullopt);
    EXPECT_EQ(latin1.FromUtf8("caf\xE9"), std::nullopt);
}

TEST(CodePage, UndefinedBytesOfTheCodePageAreRefused) {
    const CodePage cp1252("CP1252");
    EXPECT_EQ(cp1252.ToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(cp1252.ToUtf8("\x81"), std::nullopt);
}

TEST(CodePage, RepeatedUseAfterAFailureStaysCorrect) {
    const CodePage latin1("ISO-8859-1");
    const CodePage cp1252("CP1252");
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(latin1.FromUtf8("x\xE2\x82\xAC"), std::nullopt);
        EXPECT_EQ(latin1.FromUtf8("\xC3\xA9t\xC3\xA9"), "\xE9t\xE9");
        EXPECT_EQ(cp1252.ToUtf8("\x81"), std::nullopt);
        EXPECT_EQ(cp1252.ToUtf8("\x80\xE9"), "\xE2\x82\xAC\xC3\xA9");
    }
    const std::string longText(100000, '\xE9');
    EXPECT_EQ(latin1.ToUtf8(longText)->size(), 2 * longText.size());
}

TEST(CodePage, UnknownNameIsAnError) {
    try {
        CodePage("NO-SUCH-CODE-PAGE");
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find("'NO-SUCH-CODE-PAGE'"), std::string::npos);
    }
}

TEST(CodePage, SystemCodePageIsUsable) {
    const CodePage& system = CodePage::System();
    EXPECT_FALSE(system.Name().empty());
    EXPECT_EQ(system.ToUtf8("Postoffices"), "Postoffices");
    EXPECT_EQ(&system, &CodePage::System());
}

}  // namespace
}  // namespace seedwell::platform
