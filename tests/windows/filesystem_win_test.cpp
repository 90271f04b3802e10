#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <vector>

#include "base/error.h"
#include "platform/filesystem_std.h"
#include "tests/fakes/error_of.h"
#include "tests/fakes/temp_folder.h"

namespace seedwell::platform {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

using fakes::ErrorOf;
using Outcome = FolderRemoval::Outcome;

fs::path Utf8Path(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

/// Writes `bytes` to the file at the UTF-8 path `path`.
void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

/// The system's file system with its primitives in reach, for what its rules already refuse.
struct Primitives : StdFileSystem {
    using StdFileSystem::FindHeldName;
    using StdFileSystem::OpenForReading;
    using StdFileSystem::WriteAnew;
};

class WindowsFileSystem : public ::testing::Test {
  protected:
    /// `name` inside the temporary folder, joined the Windows way.
    std::string In(std::string_view name) const { return files->BuildPath(root, name); }

    test_support::TempFolder temp;
    std::unique_ptr<FileSystem> files = MakeSystemFileSystem();
    const std::string root = fs::path(temp.Path()).make_preferred().string();
};

TEST_F(WindowsFileSystem, FoldersWithNamesOutsideTheAnsiCodePage) {
    // "Zürich-Почта-€": UTF-8 inside the program, the same characters on disk.
    const std::string name = "Z\xC3\xBCrich-\xD0\x9F\xD0\xBE\xD1\x87\xD1\x82\xD0\xB0-\xE2\x82\xAC";
    const std::string folder = In(name);
    EXPECT_FALSE(files->FolderExists(folder));
    files->CreateFolder(folder);
    EXPECT_TRUE(files->FolderExists(folder));
    EXPECT_FALSE(files->FileExists(folder));
    EXPECT_TRUE(fs::is_directory(fs::path(temp.Path()) / Utf8Path(name)));
    const auto entry = fs::directory_iterator(temp.Path())->path().filename().u8string();
    EXPECT_EQ(std::string(entry.begin(), entry.end()), name);

    const std::string inbox = files->BuildPath(folder, "inbox");
    files->CreateFolder(inbox);
    EXPECT_THAT(ErrorOf([&] { files->CreateFolder(inbox); }),
                StartsWith("cannot create the folder '" + inbox + "': "));
    const std::string message = files->BuildPath(inbox, "m\xC3\xA9ssage.eml");
    WriteBytes(message, "x\r\ny");
    EXPECT_TRUE(files->FileExists(message));
    EXPECT_FALSE(files->FolderExists(message));
    auto stream = files->OpenFile(message);
    char bytes[8] = {};
    EXPECT_EQ(std::string(bytes, stream->Read(bytes, sizeof bytes)), "x\r\ny");
    stream.reset();

    EXPECT_EQ(files->RemoveFolderBelow(root, {name}, false).outcome, Outcome::kRemoved);
    EXPECT_FALSE(files->FolderExists(folder));
    EXPECT_FALSE(fs::exists(fs::path(temp.Path()) / Utf8Path(name)));
}

TEST_F(WindowsFileSystem, ReadOnlyFilesStayUnlessForced) {
    const std::string box = In("box");
    files->CreateFolder(box);
    files->CreateFolder(files->BuildPath(box, "inbox"));
    const std::string locked = files->BuildPath(box, "inbox\\locked.eml");
    WriteBytes(locked, "x");
    const auto wide = Utf8Path(locked).wstring();
    ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
    const FolderRemoval refused = files->RemoveFolderBelow(root, {"box"}, false);
    EXPECT_EQ(refused.outcome, Outcome::kInUse);
    EXPECT_EQ(refused.detail,
              "cannot delete '" + locked + "' in the folder '" + box + "': it is read-only");
    EXPECT_TRUE(files->FileExists(locked));
    EXPECT_EQ(files->RemoveFolderBelow(root, {"box"}, true).outcome, Outcome::kRemoved);
    EXPECT_FALSE(files->FolderExists(box));
}

// A file another process holds open without sharing its deletion is found before anything
// goes: the whole tree stays.
TEST_F(WindowsFileSystem, AFileHeldOpenLeavesTheWholeTree) {
    const std::string box = In("box");
    files->CreateFolder(box);
    files->CreateFolder(files->BuildPath(box, "inbox"));
    const std::string other = files->BuildPath(box, "a.eml");
    WriteBytes(other, "x");
    const std::string held = files->BuildPath(box, "inbox\\held.eml");
    WriteBytes(held, "x");
    const HANDLE handle = CreateFileW(Utf8Path(held).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    const FolderRemoval refused = files->RemoveFolderBelow(root, {"box"}, true);
    CloseHandle(handle);
    EXPECT_EQ(refused.outcome, Outcome::kInUse);
    EXPECT_THAT(refused.detail,
                StartsWith("cannot delete '" + held + "' in the folder '" + box + "': "));
    EXPECT_TRUE(files->FileExists(held));
    EXPECT_TRUE(files->FileExists(other));
    EXPECT_EQ(files->RemoveFolderBelow(root, {"box"}, true).outcome, Outcome::kRemoved);
    EXPECT_FALSE(files->FolderExists(box));

    EXPECT_EQ(files->RemoveFolderBelow(root, {"missing"}, true).outcome, Outcome::kMissing);
    const std::string file = In("file.txt");
    WriteBytes(file, "x");
    EXPECT_EQ(files->RemoveFolderBelow(root, {"file.txt"}, true).outcome, Outcome::kMissing);
    EXPECT_TRUE(files->FileExists(file));
}

/// The 8.3 short name of the existing entry `path`, or empty text when it has none of its own.
std::string ShortNameOf(const std::string& path) {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetShortPathNameW(Utf8Path(path).c_str(), buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    const std::string name = fs::path(std::wstring(buffer, length)).filename().string();
    return name == fs::path(path).filename().string() ? std::string() : name;
}

// Windows finds "Kim" where "kim" was made, and so does Wine over its case-sensitive folders:
// the name is read from the folder's own listing.
TEST_F(WindowsFileSystem, HeldNameIsTheEntrysOwnLetters) {
    files->CreateFolder(In("kim"));
    WriteBytes(In("notes.txt"), "x");
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"kim", "kim"},
        {"Kim", "kim"},
        {"Notes.TXT", "notes.txt"},
        {"missing", std::nullopt},
        {"kim.", std::nullopt},  // Windows would read it as "kim"
    };
    for (const auto& [name, held] : cases) {
        EXPECT_EQ(files->HeldName(root, name), held) << name;
    }
    // A wildcard in the name looked up would match other names.
    EXPECT_EQ(Primitives().FindHeldName(root, "k*"), std::nullopt);
    EXPECT_EQ(files->HeldName(In("notes.txt"), "x"), std::nullopt);
    // A short name opens the entry of its long name.
    files->CreateFolder(In("kimberley-and-more"));
    const std::string shortName = ShortNameOf(In("kimberley-and-more"));
    if (shortName.empty()) GTEST_SKIP() << "no short names here";
    EXPECT_EQ(files->HeldName(root, shortName), "kimberley-and-more");
}

// Removing "Kim" where "kim" is held would take kim's mail: any level held in other letters, or
// by its short name, ends the removal before anything goes, and says every level as it is held.
TEST_F(WindowsFileSystem, ALevelInOtherLettersRemovesNothing) {
    for (const char* folder :
         {"main", "main\\mailroot", "main\\mailroot\\kim", "main\\mailroot\\kimberley-and-more"}) {
        files->CreateFolder(In(folder));
    }
    const std::string keep = In("main\\mailroot\\kim\\keep.eml");
    WriteBytes(keep, "x");
    std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"main", "mailroot", "Kim"}, "main\\mailroot\\kim"},
        {{"Main", "MAILROOT", "kim"}, "main\\mailroot\\kim"},
    };
    if (const std::string shortName = ShortNameOf(In("main\\mailroot\\kimberley-and-more"));
        !shortName.empty()) {
        cases.push_back({{"main", "mailroot", shortName}, "main\\mailroot\\kimberley-and-more"});
    }
    for (const auto& [levels, held] : cases) {
        const FolderRemoval removal = files->RemoveFolderBelow(root, levels, true);
        EXPECT_EQ(removal.outcome, Outcome::kOtherLetters) << levels.back();
        EXPECT_EQ(removal.detail, held);
    }
    EXPECT_TRUE(files->FileExists(keep));
    EXPECT_TRUE(files->FolderExists(In("main\\mailroot\\kimberley-and-more")));
    // The fixed mailroot level names no mailbox: in other letters it is the same folder.
    EXPECT_EQ(files->RemoveFolderBelow(root, {"main", "MailRoot", "kim"}, true, {true, false, true})
                  .outcome,
              Outcome::kRemoved);
    EXPECT_FALSE(files->FolderExists(In("main\\mailroot\\kim")));
}

TEST_F(WindowsFileSystem, OnlyRegularFilesAreOpened) {
    EXPECT_EQ(ErrorOf([&] { files->OpenFile(root); }), "'" + root + "' is not a regular file");
    const std::string missing = In("missing.txt");
    const std::string failure = ErrorOf([&] { files->OpenFile(missing); });
    EXPECT_THAT(failure, StartsWith("cannot open the file '" + missing + "': "));
    EXPECT_GT(failure.size(), ("cannot open the file '" + missing + "': ").size());
    // A device would make reading wait or never end.
    EXPECT_EQ(ErrorOf([&] { Primitives().OpenForReading("NUL"); }), "'NUL' is not a regular file");
    EXPECT_THAT(ErrorOf([&] { Primitives().OpenForReading("caf\xE9.txt"); }),
                HasSubstr("not valid UTF-8"));
}

/// The names in `folder`, to see what a write left there.
std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Utf8Path(folder))) {
        const auto name = entry.path().filename().u8string();
        names.emplace(name.begin(), name.end());
    }
    return names;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(Utf8Path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file there is replaced (ReplaceFileW), a new name made (MoveFileExW); a folder or a device is
// refused, and a write that fails part way leaves the file as it was and nothing new.
TEST_F(WindowsFileSystem, WriteFileReplacesInOneStep) {
    const std::string list = In("l\xC3\xAFst.csv");
    WriteBytes(list, "an older and longer list");
    const auto writing = [](std::string_view bytes) {
        return [bytes](ByteSink& sink) { sink.Write(bytes); };
    };
    files->WriteFile(list, writing("a,b\r\n"));
    files->WriteFile(In("new.csv"), writing("c\r\n"));
    EXPECT_EQ(ReadAll(list), "a,b\r\n");
    EXPECT_EQ(ReadAll(In("new.csv")), "c\r\n");
    for (const std::string& path : {list, In("other.csv")}) {
        EXPECT_EQ(ErrorOf([&] {
                      files->WriteFile(path, [](ByteSink& sink) {
                          sink.Write("half");
                          throw Error("the list ran out");
                      });
                  }),
                  "the list ran out");
    }
    EXPECT_EQ(ReadAll(list), "a,b\r\n");
    EXPECT_EQ(ErrorOf([&] { files->WriteFile(root, writing("x")); }),
              "'" + root + "' is not a regular file");
    EXPECT_EQ(ErrorOf([&] { Primitives().WriteAnew("NUL", writing("x")); }),
              "'NUL' is not a regular file");
    EXPECT_THAT(ErrorOf([&] { files->WriteFile(In("missing\\list.csv"), writing("x")); }),
                StartsWith("cannot write the file '" + In("missing\\list.csv") + "': "));
    EXPECT_EQ(Entries(root), (std::set<std::string>{"l\xC3\xAFst.csv", "new.csv"}));
}

TEST_F(WindowsFileSystem, SameFileIsTheVolumeAndFileIndex) {
    const std::string a = In("a.csv");
    const std::string b = In("b.csv");
    WriteBytes(a, "x");
    WriteBytes(b, "x");
    ASSERT_TRUE(CreateHardLinkW(Utf8Path(In("hard.csv")).c_str(), Utf8Path(a).c_str(), nullptr));
    const struct {
        std::string first, second;
        bool same;
    } cases[] = {
        {a, a, true},
        {a, In("A.CSV"), true},
        {a, root + "\\.\\a.csv", true},
        {a, fs::path(Utf8Path(a)).generic_string(), true},
        {a, In("hard.csv"), true},
        {root, root + "\\", true},
        {a, b, false},
        {a, In("missing.csv"), false},
        {a, "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(files->SameFile(c.first, c.second), c.same) << c.first << " " << c.second;
    }
}

TEST_F(WindowsFileSystem, NamesThatWindowsWouldReadAsAnotherNameAreRefused) {
    // Windows drops a final dot or blank, so "jsmith." would be the folder of "jsmith".
    const std::string jsmith = In("jsmith");
    files->CreateFolder(jsmith);
    temp.Write("jsmith/keep.eml", "x");
    for (const std::string bad : {"jsmith.", "jsmith ", "jsmith. .", "nul", "NUL.txt", "com1",
                                  "a:b", "a*", "a?", "a|b", "a<b", "a\"b"}) {
        const std::string path = In(bad);
        EXPECT_FALSE(files->FolderExists(path)) << bad;
        EXPECT_FALSE(files->FileExists(path)) << bad;
        EXPECT_THAT(ErrorOf([&] { files->RemoveFolderBelow(root, {bad}, true); }),
                    StartsWith("cannot delete the folder '" + path + "': the name '" + bad + "'"))
            << bad;
        EXPECT_THAT(ErrorOf([&] { files->CreateFolder(path); }),
                    StartsWith("cannot create the folder '" + path + "': the name '"))
            << bad;
        EXPECT_THAT(ErrorOf([&] { files->OpenFile(path); }),
                    StartsWith("cannot open the file '" + path + "': the name '"))
            << bad;
        EXPECT_THAT(ErrorOf([&] { files->WriteFile(path, [](ByteSink&) {}); }),
                    StartsWith("cannot write the file '" + path + "': the name '"))
            << bad;
    }
    EXPECT_TRUE(files->FileExists(files->BuildPath(jsmith, "keep.eml")));
    // Ordinary names, drive letters, doubled separators and dots inside names are fine.
    EXPECT_TRUE(files->FolderExists(root + "\\\\jsmith"));
    EXPECT_TRUE(files->FolderExists(root + "\\.\\jsmith"));
    files->CreateFolder(In("j.smith"));
    files->CreateFolder(In("console"));
    files->CreateFolder(In("com10"));
    EXPECT_TRUE(files->FolderExists(In("j.smith")));
}

}  // namespace
}  // namespace seedwell::platform
