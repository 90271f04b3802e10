#include <windows.h>

#include <gtest/gtest.h>

#include "base/error.h"
#include "platform/codepage.h"

namespace seedwell::platform {
namespace {

TEST(WindowsCodePage, SystemIsTheAnsiCodePage) {
    const CodePage& system = CodePage::System();
    if (GetACP() == CP_UTF8) {
        EXPECT_EQ(system.Name(), "UTF-8");
        EXPECT_TRUE(system.IsUtf8());
    } else {
        EXPECT_EQ(system.Name(), "CP" + std::to_string(GetACP()));
    }
    if (GetACP() == 1252) {
        EXPECT_EQ(system.ToUtf8("Caf\xE9 \x80"), "Caf\xC3\xA9 \xE2\x82\xAC");
    }
}

TEST(WindowsCodePage, NamesAndNumbersMeanTheSamePage) {
    for (const char* name : {"1252", "CP1252", "cp1252", "windows-1252", "WINDOWS_1252"}) {
        const CodePage page(name);
        EXPECT_EQ(page.Name(), name);
        EXPECT_FALSE(page.IsUtf8());
        EXPECT_EQ(page.ToUtf8("\x80"), "\xE2\x82\xAC") << name;
    }
    EXPECT_TRUE(CodePage("utf8").IsUtf8());
    EXPECT_TRUE(CodePage("65001").IsUtf8());
    for (const char* name : {"CP99999", "CP", "windows-", "ISO-8859-12", "", "UTF-16"}) {
        EXPECT_THROW(CodePage{name}, Error) << name;
    }
    EXPECT_THROW(CodePage(std::string("1252\0x", 6)), Error);
}

TEST(WindowsCodePage, BytesThatCp1252LeavesUndefinedAreRefusedBothWays) {
    const CodePage cp1252("CP1252");
    for (const char* undefined : {"\x81", "\x8D", "\x8F", "\x90", "\x9D", "ok\x81"}) {
        EXPECT_EQ(cp1252.ToUtf8(undefined), std::nullopt) << undefined;
    }
    EXPECT_EQ(cp1252.FromUtf8("\xC2\x81"), std::nullopt);      // U+0081
    EXPECT_EQ(cp1252.FromUtf8("\xEE\x80\x80"), std::nullopt);  // U+E000
    // All other bytes are text, and come back as the same byte.
    for (int byte = 1; byte < 256; ++byte) {
        if (byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D) continue;
        const std::string one(1, char(byte));
        const auto utf8 = cp1252.ToUtf8(one);
        ASSERT_TRUE(utf8) << byte;
        EXPECT_EQ(cp1252.FromUtf8(*utf8), one) << byte;
    }
    // In Latin-1 the same byte is a control character, and valid.
    EXPECT_EQ(CodePage("ISO-8859-1").ToUtf8("\x81"), "\xC2\x81");
}

TEST(WindowsCodePage, CharactersOutsideThePageAreRefusedNotApproximated) {
    const CodePage cp1252("CP1252");
    EXPECT_EQ(cp1252.FromUtf8("\xC4\x80"), std::nullopt);      // A with macron, no "A"
    EXPECT_EQ(cp1252.FromUtf8("D:\\\xD0\x9F"), std::nullopt);  // Cyrillic, no "?"
    EXPECT_EQ(cp1252.FromUtf8("\xE2\x88\x9E"), std::nullopt);  // infinity, no "8"
    EXPECT_EQ(cp1252.FromUtf8("caf\xE9"), std::nullopt);       // not UTF-8 at all
    EXPECT_EQ(cp1252.FromUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(cp1252.FromUtf8(""), "");
}

TEST(WindowsCodePage, MultiByteAndUtf16Pages) {
    const CodePage japanese("932");
    EXPECT_EQ(japanese.ToUtf8("\x82\xA0"), "\xE3\x81\x82");
    EXPECT_EQ(japanese.FromUtf8("\xE3\x81\x82"), "\x82\xA0");
    EXPECT_EQ(japanese.ToUtf8("ab\x82"), std::nullopt);  // cut after a lead byte

    const CodePage utf16("UTF-16LE");
    EXPECT_EQ(utf16.FromUtf8("a\xE2\x82\xAC"), std::string("a\0\xAC\x20", 4));
    EXPECT_EQ(utf16.ToUtf8(std::string("a\0\xAC\x20", 4)), "a\xE2\x82\xAC");
    EXPECT_EQ(utf16.ToUtf8(std::string("a\0b", 3)), std::nullopt);      // odd length
    EXPECT_EQ(utf16.ToUtf8(std::string("\x00\xD8", 2)), std::nullopt);  // lone surrogate
}

}  // namespace
}  // namespace seedwell::platform
