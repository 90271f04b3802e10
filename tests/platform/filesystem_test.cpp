#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/filesystem_std.h"
#include "tests/fakes/error_of.h"
#include "tests/platform/temp_folder.h"

namespace seedwell::platform {
namespace {

namespace fs = std::filesystem;
using test_support::TempFolder;

using fakes::ErrorOf;

TEST(BuildPath, JoinsWithOneSeparator) {
    const StdFileSystem posix('/');
    EXPECT_EQ(posix.BuildPath("/srv/mail", "Postoffices"), "/srv/mail/Postoffices");
    EXPECT_EQ(posix.BuildPath("/srv/mail/", "Postoffices"), "/srv/mail/Postoffices");
    EXPECT_EQ(posix.BuildPath("/srv/mail//", "x"), "/srv/mail//x");
    EXPECT_EQ(posix.BuildPath("", "Postoffices"), "Postoffices");
    EXPECT_EQ(posix.BuildPath("/", "x"), "/x");
    const StdFileSystem windows('\\');
    EXPECT_EQ(windows.BuildPath("D:\\Mail", "Postoffices"), "D:\\Mail\\Postoffices");
    EXPECT_EQ(windows.BuildPath("D:\\Mail\\", "Postoffices"), "D:\\Mail\\Postoffices");
    EXPECT_EQ(windows.BuildPath("D:/Mail", "x"), "D:/Mail\\x");
}

class FileSystemTest : public ::testing::Test {
  protected:
    TempFolder temp;
    std::unique_ptr<FileSystem> files = MakeSystemFileSystem();
};

TEST_F(FileSystemTest, ExistenceTellsFilesFromFolders) {
    const std::string file = temp.Write("list.txt", "a,b,c\n");
    fs::create_symlink(file, temp / "link-to-file");
    fs::create_symlink(temp / "missing", temp / "dangling");
    EXPECT_EQ(files->Separator(), '/');
    EXPECT_TRUE(files->FileExists(file));
    EXPECT_TRUE(files->FileExists(temp / "link-to-file"));
    EXPECT_FALSE(files->FileExists(temp / "dangling"));
    EXPECT_FALSE(files->FileExists(temp.Path()));
    EXPECT_FALSE(files->FileExists(""));
    EXPECT_FALSE(files->FileExists(file + std::string(1, '\0') + "x"));
    EXPECT_TRUE(files->FolderExists(temp.Path()));
    EXPECT_FALSE(files->FolderExists(file));
    EXPECT_FALSE(files->FolderExists(temp / "missing"));
}

TEST_F(FileSystemTest, CreateFolderMakesOneLevelAndNamesThePathOnFailure) {
    files->CreateFolder(temp / "po");
    EXPECT_TRUE(fs::is_directory(temp / "po"));
    const std::string deep = temp / "nope/inner";
    EXPECT_EQ(ErrorOf([&] { files->CreateFolder(deep); }),
              "cannot create the folder '" + deep + "': No such file or directory");
    EXPECT_EQ(ErrorOf([&] { files->CreateFolder(temp / "po"); }),
              "cannot create the folder '" + (temp / "po") + "': File exists");
    EXPECT_NE(ErrorOf([&] { files->CreateFolder(std::string("a\0b", 3)); }).find("NUL"),
              std::string::npos);
}

TEST_F(FileSystemTest, RemovalForcedTakesReadOnlyEntriesUnforcedRemovesNothing) {
    const std::string box = temp / "box";
    fs::create_directories(box + "/inbox/sub");
    temp.Write("box/inbox/sub/msg.eml", "x");
    temp.Write("box/readonly.txt", "x");
    chmod((box + "/readonly.txt").c_str(), 0444);
    chmod((box + "/inbox/sub").c_str(), 0500);
    chmod((box + "/inbox").c_str(), 0555);
    const FolderRemoval refused = files->RemoveFolderBelow(temp.Path(), {"box"}, false);
    EXPECT_EQ(refused.outcome, FolderRemoval::Outcome::kInUse);
    EXPECT_EQ(refused.detail, "cannot delete '" + box + "/readonly.txt' in the folder '" + box +
                                  "': it is read-only");
    EXPECT_TRUE(fs::exists(box + "/inbox/sub/msg.eml"));
    EXPECT_EQ(files->RemoveFolderBelow(temp.Path(), {"box"}, true).outcome,
              FolderRemoval::Outcome::kRemoved);
    EXPECT_FALSE(fs::exists(box));
}

TEST_F(FileSystemTest, RemovalTakesLinksAsLinksAndFollowsOnlyTheBase) {
    const std::string outside = temp / "outside";
    fs::create_directories(outside);
    temp.Write("outside/keep.txt", "x");
    chmod(outside.c_str(), 0555);
    fs::create_directories(temp / "real/po/box");
    fs::create_directory_symlink(temp / "real", temp / "base");
    const std::string box = temp / "real/po/box";
    fs::create_directory_symlink(outside, box + "/to-folder");
    fs::create_symlink(outside + "/keep.txt", box + "/to-file");
    EXPECT_EQ(files->RemoveFolderBelow(temp / "base", {"po", "box"}, true).outcome,
              FolderRemoval::Outcome::kRemoved);
    EXPECT_FALSE(fs::exists(box));
    EXPECT_TRUE(fs::exists(temp / "real/po"));
    EXPECT_TRUE(fs::exists(outside + "/keep.txt"));
    EXPECT_EQ(fs::status(outside).permissions() & fs::perms::all, fs::perms(0555));
}

// A link at any level below the base, or in its place by the time it is opened, stops the
// removal before anything goes; what lies where the link points survives.
TEST_F(FileSystemTest, ALinkAtAnyLevelRemovesNothing) {
    using Outcome = FolderRemoval::Outcome;
    const std::string outside = temp / "outside";
    fs::create_directories(outside + "/mailroot/box");
    temp.Write("outside/mailroot/box/keep.eml", "x");
    const std::vector<std::string> levels = {"po", "mailroot", "box"};
    const std::pair<std::string, std::string> cases[] = {
        {"po", outside},
        {"po/mailroot", outside + "/mailroot"},
        {"po/mailroot/box", outside + "/mailroot/box"},
    };
    for (const auto& [link, target] : cases) {
        SCOPED_TRACE(link);
        fs::remove_all(temp / "po");
        fs::create_directories(temp / "po/mailroot/box");
        fs::remove_all(temp / link);
        fs::create_directory_symlink(target, temp / link);
        const FolderRemoval removal = files->RemoveFolderBelow(temp.Path(), levels, true);
        EXPECT_EQ(removal.outcome, Outcome::kLink);
        EXPECT_EQ(removal.detail, link);
        EXPECT_TRUE(fs::is_symlink(temp / link));
        EXPECT_TRUE(fs::exists(outside + "/mailroot/box/keep.eml"));
    }
    fs::remove_all(temp / "po");
    EXPECT_EQ(files->RemoveFolderBelow(temp.Path(), levels, true).outcome, Outcome::kMissing);
    fs::create_directories(temp / "po/mailroot");
    temp.Write("po/mailroot/box", "not a folder");
    EXPECT_EQ(files->RemoveFolderBelow(temp.Path(), levels, true).outcome, Outcome::kMissing);
    EXPECT_EQ(files->RemoveFolderBelow(temp / "missing", levels, true).outcome, Outcome::kMissing);
    EXPECT_TRUE(fs::exists(temp / "po/mailroot/box"));
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {}, {"po", ""}, {"po", ".."}, {"po/mailroot"}, {std::string("a\0b", 3)}}) {
        EXPECT_THROW(files->RemoveFolderBelow(temp.Path(), bad, true), Error);
    }
}

TEST_F(FileSystemTest, OpenTextFileReadsOnlyRegularFiles) {
    auto stream = files->OpenTextFile(temp.Write("list.txt", "a\r\nb"));
    EXPECT_EQ(stream->ReadLine(), "a");
    EXPECT_EQ(stream->ReadLine(), "b");
    EXPECT_TRUE(stream->AtEndOfStream());

    EXPECT_EQ(ErrorOf([&] { files->OpenTextFile(temp.Path()); }),
              "'" + temp.Path() + "' is not a regular file");
    const std::string missing = temp / "missing.txt";
    EXPECT_EQ(ErrorOf([&] { files->OpenTextFile(missing); }),
              "cannot open the file '" + missing + "': No such file or directory");
    // A FIFO without a writer would block an ordinary open forever.
    const std::string fifo = temp / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ErrorOf([&] { files->OpenTextFile(fifo); }), "'" + fifo + "' is not a regular file");
}

TEST_F(FileSystemTest, ReadWholeFileRefusesMoreThanTheLimit) {
    const std::string path = temp.Write("ten", "0123456789");
    EXPECT_EQ(ReadWholeFile(path, 10), "0123456789");
    EXPECT_THROW(ReadWholeFile(path, 9), Error);
}

}  // namespace
}  // namespace seedwell::platform
