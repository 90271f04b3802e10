#include "server/regfile.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "base/error.h"
#include "tests/fakes/temp_folder.h"

namespace seedwell::platform {

bool operator==(const RegistryValue& a, const RegistryValue& b) {
    return a.type == b.type && a.data == b.data;
}
void PrintTo(const RegistryValue& value, std::ostream* out) {
    *out << "type " << value.type << ": " << ::testing::PrintToString(value.data);
}

}  // namespace seedwell::platform

namespace seedwell::server {
namespace {

using namespace platform;

const CodePage kUtf8("UTF-8");
const CodePage kLatin1("ISO-8859-1");
constexpr std::string_view kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick";

/// `text` as a Unicode export: UTF-16LE with its byte-order mark.
std::string Unicode(std::string_view text) {
    return "\xFF\xFE" + CodePage("UTF-16LE").FromUtf8(text).value();
}

std::optional<RegistryValue> Lookup(std::string_view file, std::string_view name,
                                    const CodePage& codePage = kUtf8, std::string_view key = kKey) {
    const auto tree = ParseRegFile(file, codePage);
    if (!tree) return std::nullopt;
    return tree->FindValue(key, name);
}

std::string Raw(std::string_view text) { return std::string(text); }

TEST(RegFile, ReadsEveryValueFormOfARegedit4File) {
    const std::string file =
        "REGEDIT4\r\n\r\n"
        "; a comment\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\r\n"
        "\"Data Directory\"=\"D:\\\\Mail\\\\\"\r\n"
        "\"Quoted\"=\"say \\\"hi\\\"\"\r\n"
        "\"Empty\"=\"\"\r\n"
        "@=\"default\"\r\n"
        "\"Five\"=dword:00000005\r\n"
        "\"Big\"=DWORD:ffffffff\r\n"
        "\"Bin\"=hex:01,ff,\\\r\n"
        "    00\r\n"
        "\"NoNul\"=hex(1):44,3a\r\n"
        "\"Expand\"=hex(2):25,54,25,00\r\n"
        "\"Multi\"=hex(7):61,00,62,00,00\r\n"
        "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n"
        "\"Nothing\"=hex:\r\n";
    auto value = [&](std::string_view name) { return Lookup(file, name); };
    EXPECT_EQ(value("Data Directory"), (RegistryValue{kRegSz, Raw({"D:\\Mail\\\0", 9})}));
    EXPECT_EQ(value("data directory"), value("Data Directory"));
    EXPECT_EQ(value("Quoted")->data, Raw({"say \"hi\"\0", 9}));
    EXPECT_EQ(value("Empty"), (RegistryValue{kRegSz, Raw({"\0", 1})}));
    EXPECT_EQ(value("")->data, Raw({"default\0", 8}));
    EXPECT_EQ(value("Five"), (RegistryValue{kRegDword, Raw({"\x05\0\0\0", 4})}));
    EXPECT_EQ(value("Big")->data, "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(value("Bin"), (RegistryValue{kRegBinary, Raw({"\x01\xFF\0", 3})}));
    EXPECT_EQ(value("NoNul"), (RegistryValue{kRegSz, "D:"}));
    EXPECT_EQ(value("Expand"), (RegistryValue{kRegExpandSz, Raw({"%T%\0", 4})}));
    EXPECT_EQ(value("Multi"), (RegistryValue{kRegMultiSz, Raw({"a\0b\0\0", 5})}));
    EXPECT_EQ(value("Qword")->type, 11u);
    EXPECT_EQ(value("Nothing"), (RegistryValue{kRegBinary, ""}));
    EXPECT_EQ(value("Missing"), std::nullopt);
}

TEST(RegFile, ReadsAUnicodeExportAndConvertsItsStringsToTheCodePage) {
    const std::string file = Unicode(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\r\n"
        "\"Data Directory\"=\"D:\\\\Caf\xC3\xA9\"\r\n"
        "\"Euro\"=\"\xE2\x82\xAC\"\r\n"
        "\"Expand\"=hex(2):25,00,54,00,25,00,e9,00,00,00\r\n"
        "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,\\\r\n"
        "  00,00\r\n"
        "\"Odd\"=hex(2):25,00,54\r\n"
        "\"Bin\"=hex:e9,00\n");
    EXPECT_EQ(Lookup(file, "Data Directory", kLatin1)->data, Raw({"D:\\Caf\xE9\0", 8}));
    EXPECT_EQ(Lookup(file, "Data Directory", kUtf8)->data, Raw({"D:\\Caf\xC3\xA9\0", 9}));
    EXPECT_EQ(Lookup(file, "Euro", kLatin1), std::nullopt);  // not representable: unreadable
    EXPECT_EQ(Lookup(file, "Expand", kLatin1)->data, Raw({"%T%\xE9\0", 5}));
    EXPECT_EQ(Lookup(file, "Multi", kLatin1)->data, Raw({"a\0b\0\0", 5}));
    EXPECT_EQ(Lookup(file, "Odd", kLatin1), std::nullopt);
    EXPECT_EQ(Lookup(file, "Bin", kLatin1)->data, Raw({"\xE9\0", 2}));
}

TEST(RegFile, KeysMatchIgnoringCaseAndExistAboveTheirSubkeys) {
    const auto tree = ParseRegFile(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\tarnwick\\TARNWICK]\n\"A\"=\"1\"\n", kUtf8);
    ASSERT_TRUE(tree);
    EXPECT_NE(tree->FindKey(kKey), nullptr);
    EXPECT_NE(tree->FindKey("hkey_local_machine\\software"), nullptr);
    EXPECT_TRUE(tree->FindKey("HKEY_LOCAL_MACHINE\\SOFTWARE")->values.empty());
    EXPECT_EQ(tree->FindKey("HKEY_LOCAL_MACHINE\\SOFT"), nullptr);
    EXPECT_EQ(tree->FindKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick\\Deeper"), nullptr);
}

TEST(RegFile, LaterLinesDeleteAndReplace) {
    const std::string file =
        "REGEDIT4\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\n"
        "\"Data Directory\"=\"old\"\n\"Gone\"=\"x\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Sub]\n\"V\"=\"x\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNWICK\\TARNWICK]\n"
        "\"DATA DIRECTORY\"=\"new\"\n\"Gone\"=-\n"
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n"
        "\"Stray\"=\"after a deletion\"\n";
    const auto tree = ParseRegFile(file, kUtf8);
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->FindValue(kKey, "Data Directory")->data, Raw({"new\0", 4}));
    EXPECT_EQ(tree->FindValue(kKey, "Gone"), std::nullopt);
    EXPECT_EQ(tree->FindValue(kKey, "Stray"), std::nullopt);
    EXPECT_EQ(tree->FindKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Sub"), nullptr);
    EXPECT_EQ(tree->FindKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other"), nullptr);
}

TEST(RegFile, MalformedLinesAreSkippedAndTheRestStillCounts) {
    const std::string file =
        "REGEDIT4\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\n"
        "\"Unclosed\"=\"D:\\\\Mail\n"
        "\"BadEscape\"=\"D:\\Mail\"\n"
        "\"Trailing\"=\"x\" junk\n"
        "\"BadHex\"=hex:1,2g\n"
        "\"TrailingComma\"=hex:01,\n"
        "\"LongDword\"=dword:123456789\n"
        "\"NoEquals\" \"x\"\n"
        "garbage line\n"
        "\"Caf\xE9\"=\"latin-1 byte in a UTF-8 file\"\n"
        "\"Good\"=\"yes\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\Broken]\n"
        "\"Data Directory\"=\"must not land in the key above\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Unterminated\n"
        "\"Cut\"=hex:01,02,\\\n";
    const auto tree = ParseRegFile(file, kUtf8);
    ASSERT_TRUE(tree);
    const RegFileKey* key = tree->FindKey(kKey);
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->values.size(), 1u);
    EXPECT_EQ(key->values.begin()->first, "good");
}

TEST(RegFile, OnlyKnownHeadersMakeARegistryFile) {
    const std::string body = "\n[HKEY_LOCAL_MACHINE\\S]\n\"V\"=\"x\"\n";
    EXPECT_TRUE(ParseRegFile("REGEDIT4" + body, kUtf8));
    EXPECT_TRUE(ParseRegFile("Windows Registry Editor Version 5.00" + body, kUtf8));
    EXPECT_TRUE(ParseRegFile("\xEF\xBB\xBFREGEDIT4" + body, kUtf8));
    EXPECT_FALSE(ParseRegFile("", kUtf8));
    EXPECT_FALSE(ParseRegFile("REGEDIT5" + body, kUtf8));
    EXPECT_FALSE(ParseRegFile(body, kUtf8));
    EXPECT_FALSE(ParseRegFile(Unicode("REGEDIT4" + body), kUtf8));
    EXPECT_FALSE(ParseRegFile("\xFF\xFE", kUtf8));
    EXPECT_FALSE(ParseRegFile("\xFF\xFEW", kUtf8));
    EXPECT_FALSE(ParseRegFile(std::string(kMaxRegFileSize + 1, '\n'), kUtf8));
}

TEST(RegFile, AUnicodeLineWithALoneSurrogateIsSkipped) {
    std::string file =
        Unicode("Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\S]\r\n");
    file += Unicode("\"A\"=\"x").substr(2) + std::string("\x00\xD8", 2) +
            Unicode("\"\r\n\"B\"=\"ok\"\r\n").substr(2);
    const auto tree = ParseRegFile(file, kUtf8);
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->FindValue("HKEY_LOCAL_MACHINE\\S", "A"), std::nullopt);
    EXPECT_EQ(tree->FindValue("HKEY_LOCAL_MACHINE\\S", "B")->data, Raw({"ok\0", 3}));
}

TEST(RegFile, ManyLinesAndDeepKeysStayCheap) {
    std::string deep = "REGEDIT4\n[HKEY_LOCAL_MACHINE";
    for (int i = 0; i < 200000; ++i) deep += "\\k";
    deep += "]\n";
    EXPECT_TRUE(ParseRegFile(deep + std::string(1 << 20, '\n'), kUtf8));
    EXPECT_NE(ParseRegFile(deep, kUtf8)->FindKey("HKEY_LOCAL_MACHINE\\K\\k\\K"), nullptr);
}

TEST(RegFileRegistry, ReadWholeFileRefusesMoreThanTheLimit) {
    test_support::TempFolder temp;
    const std::string path = temp.Write("ten", "0123456789");
    const auto files = MakeSystemFileSystem();
    EXPECT_EQ(ReadWholeFile(*files, path, 10), "0123456789");
    EXPECT_THROW(ReadWholeFile(*files, path, 9), Error);
}

TEST(RegFileRegistry, ReadsTheFileAtEveryOpen) {
    test_support::TempFolder temp;
    const std::string path = temp / "registry.reg";
    const auto files = MakeSystemFileSystem();
    RegFileRegistry registry(*files, path, kUtf8);
    EXPECT_THROW(registry.OpenKey("SOFTWARE", kKeyRead), Error);  // no file

    temp.Write("registry.reg",
               "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\n\"V\"=\"one\"\n"
               "[HKEY_CURRENT_USER\\Elsewhere]\n");
    auto key = registry.OpenKey("software\\tarnwick\\tarnwick", kKeyRead);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->QueryValue("v")->data, Raw({"one\0", 4}));
    EXPECT_EQ(key->QueryValue("W"), std::nullopt);
    EXPECT_EQ(registry.OpenKey("Elsewhere", kKeyRead), nullptr);
    EXPECT_NE(registry.OpenKey("", kKeyQueryValue), nullptr);

    temp.Write("registry.reg",
               "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick]\n\"V\"=\"two\"\n");
    EXPECT_EQ(key->QueryValue("V")->data, Raw({"one\0", 4}));
    EXPECT_EQ(registry.OpenKey("SOFTWARE\\Tarnwick\\Tarnwick", kKeyRead)->QueryValue("V")->data,
              Raw({"two\0", 4}));

    temp.Write("registry.reg", "not a registry file\n");
    EXPECT_THROW(registry.OpenKey("SOFTWARE", kKeyRead), Error);
#ifndef _WIN32  // FIFOs are POSIX
    ASSERT_EQ(mkfifo((temp / "fifo.reg").c_str(), 0600), 0);
    EXPECT_THROW(RegFileRegistry(*files, temp / "fifo.reg", kUtf8).OpenKey("SOFTWARE", kKeyRead),
                 Error);
#endif
}

}  // namespace
}  // namespace seedwell::server
