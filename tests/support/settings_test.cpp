#include "support/settings.h"

#include <gtest/gtest.h>

#include "server/regfile.h"
#include "tests/fakes/fake_registry.h"
#include "tests/fakes/temp_folder.h"

namespace seedwell::support {
namespace {

using namespace seedwell::platform;

const platform::CodePage kUtf8("UTF-8");
const platform::CodePage kLatin1("ISO-8859-1");

TEST(RegistryValueToText, FollowsTheLookupRules) {
    auto text = [](std::uint32_t type, std::string_view data,
                   const platform::CodePage& codePage = kUtf8) {
        return RegistryValueToText(RegistryValue{type, std::string(data)}, codePage);
    };
    using namespace platform;
    EXPECT_EQ(text(kRegSz, {"D:\\Mail\0", 8}), "D:\\Mail");
    EXPECT_EQ(text(kRegSz, {"\0", 1}), "");
    EXPECT_EQ(text(kRegSz, ""), "");
    EXPECT_EQ(text(kRegSz, "D:\\Mail"), "D:\\Mai");  // stored without its NUL
    EXPECT_EQ(text(kRegExpandSz, {"%ROOT%\\x\0", 9}), "%ROOT%\\x");
    EXPECT_EQ(text(kRegMultiSz, {"a\0b\0\0", 5}), std::string("a\0b\0", 4));
    EXPECT_EQ(text(kRegBinary, "ABC"), "AB");
    EXPECT_EQ(text(kRegNone, ""), "");
    EXPECT_EQ(text(kRegSz, {"caf\xE9\0", 5}), "");  // not UTF-8: nothing, not a guess
    EXPECT_EQ(text(kRegSz, {"caf\xE9\0", 5}, kLatin1), "caf\xC3\xA9");
    EXPECT_EQ(text(kRegDword, {"\x05\0\0\0", 4}), "5");
    EXPECT_EQ(text(kRegDword, "\xFF\xFF\xFF\xFF"), "-1");
    EXPECT_EQ(text(kRegDword, {"\0\0\0\x80", 4}), "-2147483648");
    EXPECT_EQ(text(kRegDword, {"\xFF\x7F\0\0", 4}), "32767");
    EXPECT_EQ(text(kRegDword, ""), "0");
    EXPECT_EQ(text(kRegDword, {"\x05\0\0\0\0\0\0\0", 8}), "");  // does not fit in 32 bits
}

TEST(ReadRegistryValue, AsksForReadAccessOnly) {
    fakes::FakeRegistry registry;
    registry.SetString("SOFTWARE\\Tarnwick\\Tarnwick", "Data Directory", "D:\\Mail");
    registry.RefuseRights(0x2 | 0x4 | 0x20);  // what an operator without administrator rights lacks
    EXPECT_EQ(GetDataDirectory(registry, kUtf8), "D:\\Mail");
    ASSERT_EQ(registry.Opens().size(), 1u);
    EXPECT_EQ(registry.Opens()[0].keyPath, "SOFTWARE\\Tarnwick\\Tarnwick");
    EXPECT_EQ(registry.Opens()[0].access, platform::kKeyRead);
    EXPECT_EQ(registry.Queries(), std::vector<std::string>{"Data Directory"});
}

TEST(ReadRegistryValue, AnythingMissingGivesEmptyText) {
    fakes::FakeRegistry registry;
    EXPECT_EQ(GetDataDirectory(registry, kUtf8), "");
    registry.AddKey("SOFTWARE\\Tarnwick\\Tarnwick");
    EXPECT_EQ(GetDataDirectory(registry, kUtf8), "");
    registry.SetDword("SOFTWARE\\Tarnwick\\Tarnwick", "Port", 25);
    EXPECT_EQ(ReadRegistryValue(registry, "SOFTWARE\\Tarnwick\\Tarnwick", "Port", kUtf8), "25");
    registry.RefuseRights(platform::kKeyQueryValue);
    EXPECT_EQ(ReadRegistryValue(registry, "SOFTWARE\\Tarnwick\\Tarnwick", "Port", kUtf8), "");
}

/// Writes a registry file and reads values from it the way the program does.
class RegistryFileTest : public ::testing::Test {
  protected:
    void Write(std::string_view bytes) { temp.Write("registry.reg", bytes); }
    void WriteUnicode(std::string_view text) {
        Write("\xFF\xFE" + platform::CodePage("UTF-16LE").FromUtf8(text).value());
    }
    std::string Value(std::string_view name) {
        return ReadRegistryValue(registry, std::string(kServerKeyPath), std::string(name), kUtf8);
    }

    test_support::TempFolder temp;
    std::unique_ptr<platform::FileSystem> files = platform::MakeSystemFileSystem();
    server::RegFileRegistry registry{*files, temp / "registry.reg", kUtf8};
};

constexpr const char* kValues =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\r\n"
    "; the server's settings\r\n"
    "\"Data Directory\"=\"D:\\\\Mail\\\\\"\r\n"
    "\"Empty\"=\"\"\r\n"
    "\"Five\"=dword:00000005\r\n"
    "\"All\"=dword:ffffffff\r\n"
    "\"Bin\"=hex:41,42,\\\r\n"
    "  43\r\n"
    "\"Multi\"=hex(7):61,00,62,00,00\r\n";

TEST_F(RegistryFileTest, EveryValueTypeInARegedit4File) {
    Write(std::string("REGEDIT4\r\n\r\n") + kValues +
          "\"NoNul\"=hex(1):44,3a,5c\r\n\"Expand\"=hex(2):25,54,25,00\r\n");
    EXPECT_EQ(GetDataDirectory(registry, kUtf8), "D:\\Mail\\");
    EXPECT_EQ(Value("Empty"), "");
    EXPECT_EQ(Value("Five"), "5");
    EXPECT_EQ(Value("All"), "-1");
    EXPECT_EQ(Value("Bin"), "AB");
    EXPECT_EQ(Value("Multi"), std::string("a\0b\0", 4));
    EXPECT_EQ(Value("NoNul"), "D:");
    EXPECT_EQ(Value("Expand"), "%T%");
    EXPECT_EQ(Value("Missing"), "");
    EXPECT_EQ(ReadRegistryValue(registry, "SOFTWARE\\Missing", "Data Directory", kUtf8), "");
}

TEST_F(RegistryFileTest, EveryValueTypeInAUnicodeExport) {
    WriteUnicode(std::string("Windows Registry Editor Version 5.00\r\n\r\n") + kValues +
                 "\"NoNul\"=hex(1):44,00,3a,00,5c,00\r\n"
                 "\"Expand\"=hex(2):25,00,54,00,25,00,00,00\r\n"
                 "\"Wide\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n");
    EXPECT_EQ(GetDataDirectory(registry, kUtf8), "D:\\Mail\\");
    EXPECT_EQ(Value("Empty"), "");
    EXPECT_EQ(Value("Five"), "5");
    EXPECT_EQ(Value("All"), "-1");
    EXPECT_EQ(Value("Bin"), "AB");
    EXPECT_EQ(Value("NoNul"), "D:");
    EXPECT_EQ(Value("Expand"), "%T%");
    EXPECT_EQ(Value("Wide"), std::string("a\0b\0", 4));
}

TEST_F(RegistryFileTest, UnusableFilesGiveEmptyText) {
    EXPECT_EQ(GetDataDirectory(registry, kUtf8), "");  // no file at all
    const std::string whole =
        "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\r\n"
        "\"Data Directory\"=\"D:\\\\Mail\"\r\n";
    Write(whole.substr(0, whole.size() - 4));  // cut inside the value
    EXPECT_EQ(GetDataDirectory(registry, kUtf8), "");
    Write("REGEDIT4\r\n\"Data Directory\"=\"D:\\\\Mail\"\r\n");  // no key line
    EXPECT_EQ(GetDataDirectory(registry, kUtf8), "");
    Write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\r\n\"Data Directory\"=\"x\"\r\n");
    EXPECT_EQ(GetDataDirectory(registry, kUtf8), "");  // no header
    Write(whole);
    EXPECT_EQ(GetDataDirectory(registry, kUtf8), "D:\\Mail");
}

}  // namespace
}  // namespace seedwell::support
