#include "platform/registry_win.h"

#include <windows.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "support/settings.h"

namespace seedwell::platform {
namespace {

constexpr const char* kTestRoot = "SOFTWARE\\SeedwellTest";

/// A key of its own under HKEY_LOCAL_MACHINE\SOFTWARE\SeedwellTest for each test, written with
/// the registry functions directly and removed with everything in it at the end.
class RegistryTest : public ::testing::Test {
  protected:
    RegistryTest() {
        path_ = std::string(kTestRoot) + "\\" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    ~RegistryTest() override {
        if (key_) RegCloseKey(key_);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTestRoot);  // only once it is empty
    }

    void Set(const char* name, DWORD type, std::string_view bytes) {
        ASSERT_EQ(RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 DWORD(bytes.size())),
                  ERROR_SUCCESS);
    }
    void SetWide(const wchar_t* name, DWORD type, std::wstring_view text) {
        ASSERT_EQ(RegSetValueExW(key_, name, 0, type, reinterpret_cast<const BYTE*>(text.data()),
                                 DWORD(text.size() * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    /// Stores `text` exactly, without the terminating NUL that RegSetValueEx may add.
    void SetRaw(const wchar_t* name, DWORD type, std::wstring_view text) {
        using SetValueKey = LONG(NTAPI*)(HANDLE, UNICODE_STRING*, ULONG, ULONG, void*, ULONG);
        const auto set = reinterpret_cast<SetValueKey>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetValueKey")));
        ASSERT_NE(set, nullptr);
        std::wstring valueName(name);
        UNICODE_STRING unicodeName{USHORT(valueName.size() * sizeof(wchar_t)),
                                   USHORT(valueName.size() * sizeof(wchar_t)), valueName.data()};
        ASSERT_EQ(set(key_, &unicodeName, 0, type, const_cast<wchar_t*>(text.data()),
                      ULONG(text.size() * sizeof(wchar_t))),
                  0);
    }
    std::string Read(const std::string& name) {
        return support::ReadRegistryValue(registry_, path_, name);
    }

    std::string path_;
    HKEY key_ = nullptr;
    WinRegistry registry_;
};

TEST_F(RegistryTest, EveryValueTypeReadsByTheLookupRules) {
    Set("Data Directory", REG_SZ, {"D:\\Mail\\\0", 9});
    Set("Empty", REG_SZ, {"\0", 1});
    SetRaw(L"NoNul", REG_SZ, L"D:\\Mail");
    Set("Expand", REG_EXPAND_SZ, {"%SystemRoot%\\Mail\0", 18});
    Set("Multi", REG_MULTI_SZ, {"a\0b\0\0", 5});
    Set("Binary", REG_BINARY, "ABC");
    Set("Five", REG_DWORD, {"\x05\0\0\0", 4});
    Set("All", REG_DWORD, "\xFF\xFF\xFF\xFF");
    Set("Top", REG_DWORD, {"\0\0\0\x80", 4});

    EXPECT_EQ(Read("Data Directory"), "D:\\Mail\\");
    EXPECT_EQ(Read("data directory"), "D:\\Mail\\");
    EXPECT_EQ(Read("Empty"), "");
    EXPECT_EQ(Read("NoNul"), "D:\\Mai");
    EXPECT_EQ(Read("Expand"), "%SystemRoot%\\Mail");
    EXPECT_EQ(Read("Multi"), std::string("a\0b\0", 4));
    EXPECT_EQ(Read("Binary"), "AB");
    EXPECT_EQ(Read("Five"), "5");
    EXPECT_EQ(Read("All"), "-1");
    EXPECT_EQ(Read("Top"), "-2147483648");
}

TEST_F(RegistryTest, KeysHandOutTypeAndRawBytes) {
    Set("Data Directory", REG_SZ, {"D:\\Mail\0", 8});
    Set("Binary", REG_BINARY, {"\0\x01\xFF", 3});
    Set("Nothing", REG_BINARY, "");
    auto key = registry_.OpenKey(path_, kKeyRead);
    ASSERT_NE(key, nullptr);
    auto value = key->QueryValue("Data Directory");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, kRegSz);
    EXPECT_EQ(value->data, std::string("D:\\Mail\0", 8));
    value = key->QueryValue("Binary");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, kRegBinary);
    EXPECT_EQ(value->data, std::string("\0\x01\xFF", 3));
    value = key->QueryValue("Nothing");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->data, "");
    EXPECT_EQ(key->QueryValue("Missing"), std::nullopt);
}

TEST_F(RegistryTest, MissingKeyOrValueGivesEmptyText) {
    EXPECT_EQ(Read("Missing"), "");
    EXPECT_EQ(support::ReadRegistryValue(registry_, path_ + "\\Nowhere", "Data Directory"), "");
    EXPECT_EQ(support::ReadRegistryValue(registry_, "SOFTWARE\\SeedwellTest\\None", "x"), "");
    EXPECT_EQ(registry_.OpenKey(path_ + "\\Nowhere", kKeyRead), nullptr);
}

TEST_F(RegistryTest, ANulInAKeyPathOpensNothingRatherThanAShorterPath) {
    Set("Data Directory", REG_SZ, {"D:\\Mail\0", 8});
    EXPECT_NE(registry_.OpenKey(path_, kKeyRead), nullptr);
    EXPECT_EQ(registry_.OpenKey(path_ + std::string("\0\\Other", 7), kKeyRead), nullptr);
    EXPECT_EQ(Read(std::string("Data Directory\0x", 16)), "");
}

TEST_F(RegistryTest, TextIsConvertedFromTheAnsiCodePage) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs the ANSI code page 1252";
    Set("Latin", REG_SZ, {"D:\\Caf\xE9\0", 8});
    EXPECT_EQ(Read("Latin"), "D:\\Caf\xC3\xA9");
    SetWide(L"R\x00E9pertoire", REG_SZ, {L"D:\\Z\x00FCrich\0", 10});
    EXPECT_EQ(Read("R\xC3\xA9pertoire"),
              "D:\\Z\xC3\xBC"
              "rich");
}

TEST_F(RegistryTest, TextOutsideTheAnsiCodePageIsUnreadableNotMangled) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs the ANSI code page 1252";
    // The ANSI functions would give "D:\?????" or a look-alike: another folder altogether.
    SetWide(L"Cyrillic", REG_SZ, {L"D:\\\x041F\x043E\x0447\x0442\x0430\0", 9});
    SetWide(L"Macron", REG_SZ, {L"D:\\\x0100\0", 5});
    SetWide(L"Multi", REG_MULTI_SZ, {L"ok\0\x0100\0\0", 7});
    EXPECT_EQ(Read("Cyrillic"), "");
    EXPECT_EQ(Read("Macron"), "");
    EXPECT_EQ(Read("Multi"), "");
    auto key = registry_.OpenKey(path_, kKeyRead);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->QueryValue("Cyrillic"), std::nullopt);
    EXPECT_EQ(key->QueryValue("\xD0\x9F"), std::nullopt);  // a name the code page cannot hold
}

/// A 64-bit and a 32-bit program see two views of HKEY_LOCAL_MACHINE\SOFTWARE on 64-bit Windows.
/// The tests write the mail server's key straight into one view (the KEY_WOW64_* flags) and read
/// it through the lookup, which names no view. They leave alone a machine that has the key.
class RegistryViewTest : public ::testing::Test {
  protected:
    static constexpr const char* kVendorKey = "SOFTWARE\\Tarnwick";
    static constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    static constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

    void SetUp() override {
        BOOL wow64 = FALSE;
        if (sizeof(void*) == 4 && !(IsWow64Process(GetCurrentProcess(), &wow64) && wow64))
            GTEST_SKIP() << "32-bit Windows has one registry view";
        for (REGSAM view : {kOwnView, kOtherView}) {
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_READ | view, &key) ==
                ERROR_SUCCESS) {
                RegCloseKey(key);
                GTEST_SKIP() << "HKEY_LOCAL_MACHINE\\" << kVendorKey << " exists on this machine";
            }
        }
        touched_ = true;
    }
    void TearDown() override {
        if (!touched_) return;
        for (REGSAM view : {kOwnView, kOtherView}) {
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, std::string(support::kServerKeyPath).c_str(), view,
                            0);
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, view, 0);
        }
    }

    void SetDataDirectory(REGSAM view, std::string_view directory) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, std::string(support::kServerKeyPath).c_str(),
                                  0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const std::string data(directory);
        const LONG status =
            RegSetValueExA(key, std::string(support::kDataDirectoryValueName).c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(data.c_str()), DWORD(data.size() + 1));
        RegCloseKey(key);
        ASSERT_EQ(status, ERROR_SUCCESS);
    }

    bool touched_ = false;
    WinRegistry registry_;
};

TEST_F(RegistryViewTest, EachProgramReadsTheDataDirectoryOfItsOwnViewOnly) {
    SetDataDirectory(kOtherView, "D:\\OtherView");
    EXPECT_EQ(support::GetDataDirectory(registry_), "")
        << "a value in the other view only must read as no server installed";
    SetDataDirectory(kOwnView, "D:\\OwnView");
    EXPECT_EQ(support::GetDataDirectory(registry_), "D:\\OwnView");
}

}  // namespace
}  // namespace seedwell::platform
