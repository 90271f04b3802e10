#include "platform/codepage.h"

#include <gtest/gtest.h>

#include "base/error.h"

namespace seedwell::platform {
namespace {

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
