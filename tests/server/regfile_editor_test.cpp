#include "server/regfile.h"

#include <gtest/gtest.h>

#include "base/error.h"

namespace seedwell::server {
namespace {

const platform::CodePage kUtf8("UTF-8");
const platform::CodePage kLatin1("ISO-8859-1");

/// `text` as a Unicode export: UTF-16LE with its byte-order mark.
std::string Unicode(std::string_view text) {
    return "\xFF\xFE" + platform::CodePage("UTF-16LE").FromUtf8(text).value();
}

std::string Raw(std::string_view text) { return std::string(text); }

class RegFileEditorRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(RegFileEditorRoundTrip, WritesBackTheBytesItRead) {
    const auto file = RegFileEditor::Parse(GetParam(), kLatin1);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Serialise(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Files, RegFileEditorRoundTrip,
    ::testing::Values(
        "REGEDIT4", "REGEDIT4\n; note\n\n[HKEY_LOCAL_MACHINE\\S]\n\"V\"=\"x\"\n",
        "  REGEDIT4 \r\n[HKEY_LOCAL_MACHINE\\S]\r\n\"B\"=hex:01,\\\r\n  02\r\n\xFF\x01junk",
        "REGEDIT4\r\n\r\r\n\n\"lone\"=\"\xE9\"",
        Unicode("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\S]\r\n"
                "@=\"\xE2\x82\xAC\"\r\n") +
            std::string("\x00\xD8\n", 3)));

struct SetCase {
    const char* name;
    std::string before;
    std::string after;
};

class RegFileEditorSetString : public ::testing::TestWithParam<SetCase> {};

TEST_P(RegFileEditorSetString, ChangesOnlyTheValueALookupSees) {
    auto file = RegFileEditor::Parse(GetParam().before, kUtf8);
    ASSERT_TRUE(file);
    file->SetString("HKEY_LOCAL_MACHINE\\S", "V", "new");
    EXPECT_EQ(file->Serialise(), GetParam().after);
    EXPECT_EQ(file->Tree().FindValue("HKEY_LOCAL_MACHINE\\S", "v")->data, Raw({"new\0", 4}));
}

INSTANTIATE_TEST_SUITE_P(
    Edits, RegFileEditorSetString,
    ::testing::Values(
        SetCase{"InPlaceWithItsContinuation",
                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"v\"=hex(2):41,\\\n 00\n\"W\"=\"w\"\n",
                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"V\"=\"new\"\n\"W\"=\"w\"\n"},
        SetCase{"TheLastOfTwoSectionsOfTheKey",
                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"V\"=\"a\"\n[HKEY_LOCAL_MACHINE\\S]\n\"V\"="
                "\"b\"\n",
                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"V\"=\"a\"\n[HKEY_LOCAL_MACHINE\\S]\n\"V\"="
                "\"new\"\n"},
        SetCase{"OverALaterDeletion", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"V\"=\"a\"\n\"V\"=-\n",
                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"V\"=\"a\"\n\"V\"=\"new\"\n"},
        SetCase{"AtTheEndWhenAHexListWouldSwallowIt",
                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"B\"=hex:01,\\\n\"V\"=\"a\"\n",
                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"B\"=hex:01,\\\n\"V\"=\"a\"\n\n"
                "[HKEY_LOCAL_MACHINE\\S]\n\"V\"=\"new\"\n"},
        SetCase{"AtTheEndWhenALaterLineDeletesTheKey",
                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"W\"=\"w\"\n[-HKEY_LOCAL_MACHINE\\S]\n",
                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"W\"=\"w\"\n[-HKEY_LOCAL_MACHINE\\S]\n\n"
                "[HKEY_LOCAL_MACHINE\\S]\n\"V\"=\"new\"\n"},
        SetCase{"WithItsKeyAtTheEnd", "REGEDIT4",
                "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\S]\n\"V\"=\"new\"\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RegFileEditor, SetStringRefusesWhatALineCannotHold) {
    auto file = RegFileEditor::Empty(false, kLatin1);
    EXPECT_THROW(file.SetString("HKEY_LOCAL_MACHINE\\S", "V", "a\nb"), Error);
    EXPECT_THROW(file.SetString("HKEY_LOCAL_MACHINE\\S", "V", "\xE2\x82\xAC"), Error);
    EXPECT_EQ(file.Serialise(), "REGEDIT4\r\n");
}

}  // namespace
}  // namespace seedwell::server
