#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "base/error.h"
#include "platform/filesystem_std.h"
#include "tests/fakes/error_of.h"
#include "tests/fakes/temp_folder.h"

namespace seedwell::platform {
namespace {

namespace fs = std::filesystem;
using test_support::TempFolder;

using fakes::ErrorOf;

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

using Outcome = FolderRemoval::Outcome;

/// Every file below `folder`, for checking that none went.
std::vector<std::string> FilesBelow(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_directory()) found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

/// Runs `body` on another thread over and over until destroyed.
class Meddler {
  public:
    explicit Meddler(std::function<void()> body)
        : thread_([this, body = std::move(body)] {
              while (!stop_) {
                  body();
                  ++rounds_;
              }
          }) {}
    ~Meddler() {
        stop_ = true;
        thread_.join();
    }
    long Rounds() const { return rounds_; }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<long> rounds_{0};
    std::thread thread_;
};

// Someone who can write inside the tree exchanges a folder with a link to a folder outside, over
// and over, while the removal runs: inside the mailbox, and at a level above it.
TEST_F(FileSystemTest, FoldersSwappedForLinksDuringTheRemovalNeverLeadOutside) {
    const std::string outside = temp / "outside";
    fs::create_directories(outside + "/mailroot/box/inbox");
    for (int i = 0; i < 20; ++i) {
        temp.Write("outside/keep" + std::to_string(i), "x");
        temp.Write("outside/mailroot/box/inbox/keep" + std::to_string(i), "x");
    }
    const std::vector<std::string> canaries = FilesBelow(outside);
    const struct {
        std::string folder, link, target;
    } cases[] = {
        {"po/mailroot/box/inbox", "po/mailroot/box/decoy", outside},
        {"po/mailroot", "po/decoy", outside + "/mailroot"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        long swaps = 0;
        for (int round = 0; round < 150; ++round) {
            fs::remove_all(temp / "po");
            fs::create_directories(temp / "po/mailroot/box/inbox");
            for (int i = 0; i < 20; ++i)
                temp.Write("po/mailroot/box/inbox/m" + std::to_string(i), "x");
            fs::create_directory_symlink(c.target, temp / c.link);
            const std::string a = temp / c.folder, b = temp / c.link;
            Meddler swapper(
                [&] { renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE); });
            files->RemoveFolderBelow(temp.Path(), {"po", "mailroot", "box"}, true);
            swaps += swapper.Rounds();
            ASSERT_EQ(FilesBelow(outside), canaries) << "round " << round;
        }
        EXPECT_GT(swaps, 1000);
    }
}

// Files made by someone else while the removal runs: the folder they land in cannot go, and the
// outcome says that part of the tree was removed.
TEST_F(FileSystemTest, ATreeThatChangesAfterTheCheckIsReportedPartlyRemoved) {
    int partly = 0;
    for (int round = 0; round < 50 && partly == 0; ++round) {
        fs::remove_all(temp / "box");
        fs::create_directories(temp / "box/inbox");
        for (int i = 0; i < 50; ++i) temp.Write("box/inbox/m" + std::to_string(i), "x");
        const int inbox = open((temp / "box/inbox").c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(inbox, 0);
        int made = 0;
        FolderRemoval removal;
        {
            Meddler writer([&] {
                const int fd = openat(inbox, ("new" + std::to_string(made++)).c_str(),
                                      O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
                if (fd >= 0) close(fd);
            });
            removal = files->RemoveFolderBelow(temp.Path(), {"box"}, true);
        }
        close(inbox);
        ASSERT_NE(removal.outcome, Outcome::kInUse) << removal.detail;
        if (removal.outcome == Outcome::kPartlyRemoved) {
            ++partly;
            EXPECT_EQ(removal.detail, "cannot delete '" + (temp / "box/inbox") +
                                          "' in the folder '" + (temp / "box") +
                                          "': Directory not empty");
        }
    }
    EXPECT_EQ(partly, 1);
}

// What cannot be removed anywhere in the tree is found before the first entry goes.
TEST_F(FileSystemTest, ATreeThatCannotBeRemovedWholeIsLeftWhole) {
    fs::create_directories(temp / "box/inbox/deep");
    temp.Write("box/inbox/deep/msg.eml", "x");
    temp.Write("box/a.eml", "x");
    const std::vector<std::string> before = FilesBelow(temp / "box");
    const struct {
        std::string path;
        int flag;
        std::string reason;
    } cases[] = {
        {"box/inbox/deep/msg.eml", FS_IMMUTABLE_FL, "it is immutable"},
        {"box/inbox/deep", FS_APPEND_FL, "it is append-only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        const int fd = open((temp / c.path).c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        int flags = 0;
        if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 ||
            (flags |= c.flag, ioctl(fd, FS_IOC_SETFLAGS, &flags)) != 0) {
            close(fd);
            GTEST_SKIP() << "cannot set file flags here: " << std::strerror(errno);
        }
        const FolderRemoval removal = files->RemoveFolderBelow(temp.Path(), {"box"}, true);
        flags &= ~c.flag;
        ioctl(fd, FS_IOC_SETFLAGS, &flags);
        close(fd);
        EXPECT_EQ(removal.outcome, Outcome::kInUse);
        EXPECT_EQ(removal.detail, "cannot delete '" + (temp / c.path) + "' in the folder '" +
                                      (temp / "box") + "': " + c.reason);
        EXPECT_EQ(FilesBelow(temp / "box"), before);
    }
}

// A folder mounted inside the tree is not the mailbox's to remove, even by bind mount from the
// same file system.
TEST_F(FileSystemTest, AFolderMountedInsideTheTreeIsLeftWithTheTree) {
    fs::create_directories(temp / "outside");
    temp.Write("outside/keep.eml", "x");
    fs::create_directories(temp / "box/inbox/mnt");
    temp.Write("box/inbox/a.eml", "x");
    const std::string mountPoint = temp / "box/inbox/mnt";
    if (mount((temp / "outside").c_str(), mountPoint.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
    }
    const FolderRemoval removal = files->RemoveFolderBelow(temp.Path(), {"box"}, true);
    umount2(mountPoint.c_str(), MNT_DETACH);
    EXPECT_EQ(removal.outcome, Outcome::kInUse);
    EXPECT_EQ(removal.detail, "cannot delete '" + mountPoint + "' in the folder '" +
                                  (temp / "box") + "': another file system is mounted there");
    EXPECT_TRUE(fs::exists(temp / "outside/keep.eml"));
    EXPECT_TRUE(fs::exists(temp / "box/inbox/a.eml"));
}

// The user nobody owns the mailbox, but not everything in it: another user's folder, and
// another user's file in a folder with the sticky bit.
TEST_F(FileSystemTest, AnotherUsersEntriesMakeTheTreeInUseForAnUnprivilegedRemoval) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as the user nobody";
    chmod(temp.Path().c_str(), 0755);
    const struct {
        std::string folder;
        mode_t mode;
        std::string reason;
    } cases[] = {
        {"mr/box/inbox/theirs", 0755,
         "cannot delete '" + (temp / "mr/box/inbox/theirs") + "' in the folder '" +
             (temp / "mr/box") + "': Permission denied"},
        {"mr/box/inbox/sticky", 01777,
         "cannot delete '" + (temp / "mr/box/inbox/sticky/m.eml") + "' in the folder '" +
             (temp / "mr/box") +
             "': it belongs to another user in a folder with the "
             "sticky bit"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        fs::remove_all(temp / "mr");
        fs::create_directories(temp / c.folder);
        temp.Write("mr/box/inbox/ours.eml", "x");
        for (const auto& entry : fs::recursive_directory_iterator(temp / "mr")) {
            ASSERT_EQ(lchown(entry.path().c_str(), 65534, 65534), 0);
        }
        ASSERT_EQ(chown((temp / "mr").c_str(), 65534, 65534), 0);
        ASSERT_EQ(chown((temp / c.folder).c_str(), 0, 0), 0);
        chmod((temp / c.folder).c_str(), c.mode);
        temp.Write(c.folder + "/m.eml", "x");
        const std::vector<std::string> before = FilesBelow(temp / "mr/box");
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        if (fork() == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(77);
            const FolderRemoval removal =
                files->RemoveFolderBelow(temp.Path(), {"mr", "box"}, true);
            _exit(write(out[1], removal.detail.data(), removal.detail.size()) < 0
                      ? 78
                      : int(removal.outcome));
        }
        close(out[1]);
        char detail[512] = {};
        if (read(out[0], detail, sizeof detail - 1) < 0) detail[0] = '\0';
        close(out[0]);
        int status = 0;
        wait(&status);
        if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot become the user nobody";
        EXPECT_EQ(WEXITSTATUS(status), int(Outcome::kInUse));
        EXPECT_EQ(detail, c.reason);
        EXPECT_EQ(FilesBelow(temp / "mr/box"), before);
    }
}

// On a folder that tells letter case apart every name is held as it is asked, and only the
// entry of that very name answers. A name without ASCII letters to try in the other case, and a
// file with a second link in other letters, make the folder's entries be read.
TEST_F(FileSystemTest, HeldNameIsTheNameAskedWhereLetterCaseTellsNamesApart) {
    fs::create_directories(temp / "kim");
    fs::create_directories(temp / "Kim");
    const std::string omega = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1";  // Ωμέγα
    fs::create_directories(temp / omega);
    fs::create_hard_link(temp.Write("note", "x"), temp / "NOTE");
    fs::create_symlink(temp / "missing", temp / "dangling");
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"kim", "kim"},
        {"Kim", "Kim"},
        {"KIM", std::nullopt},
        {omega, omega},
        {"note", "note"},
        {"NOTE", "NOTE"},
        {"dangling", "dangling"},  // named, not followed
        {"missing", std::nullopt},
        {"", std::nullopt},
        {"..", std::nullopt},
    };
    for (const auto& [name, held] : cases) {
        EXPECT_EQ(files->HeldName(temp.Path(), name), held) << name;
    }
    EXPECT_EQ(files->HeldName(temp / "note", "x"), std::nullopt);
    EXPECT_EQ(files->HeldName(temp / "missing", "x"), std::nullopt);
    fs::create_symlink(temp / "loop", temp / "loop");
    EXPECT_EQ(
        ErrorOf([&] { files->HeldName(temp / "loop", "x"); }),
        "cannot read the folder '" + (temp / "loop") + "': Too many levels of symbolic links");
}

// Two mailboxes whose names differ only in letter case have two folders there: removing one
// leaves the other.
TEST_F(FileSystemTest, FoldersInOtherLettersAreOtherFoldersWhereLetterCaseTellsNamesApart) {
    fs::create_directories(temp / "main/mailroot/kim");
    fs::create_directories(temp / "main/mailroot/Kim");
    temp.Write("main/mailroot/kim/keep.eml", "x");
    EXPECT_EQ(files->RemoveFolderBelow(temp.Path(), {"main", "mailroot", "Kim"}, true).outcome,
              Outcome::kRemoved);
    EXPECT_FALSE(fs::exists(temp / "main/mailroot/Kim"));
    EXPECT_EQ(files->RemoveFolderBelow(temp.Path(), {"Main", "mailroot", "kim"}, true).outcome,
              Outcome::kMissing);
    EXPECT_TRUE(fs::exists(temp / "main/mailroot/kim/keep.eml"));
}

/// A folder that ignores letter case and keeps its entries' inode numbers: an NTFS image mounted
/// by lowntfs-3g with ignore_case, which lists every name in small letters. Problem() is not
/// empty when it cannot be made here (it needs root, FUSE and ntfs-3g).
class CaseBlindFolder {
  public:
    explicit CaseBlindFolder(const TempFolder& temp) : path_(temp / "ntfs") {
        const std::string image = temp / "ntfs.img", tools = "PATH=\"$PATH:/usr/sbin:/sbin\" ";
        fs::create_directory(path_);
        test_support::WriteBytes(image, "");
        fs::resize_file(image, 8 << 20);
        mounted_ =
            geteuid() == 0 && access("/dev/fuse", R_OK | W_OK) == 0 &&
            std::system((tools + "mkntfs -F -Q -q " + image + " >/dev/null 2>&1").c_str()) == 0 &&
            std::system(
                (tools + "lowntfs-3g -o ignore_case " + image + " " + path_ + " >/dev/null 2>&1")
                    .c_str()) == 0;
        if (!mounted_) problem_ = "cannot mount an NTFS image: needs root, FUSE and ntfs-3g";
    }
    ~CaseBlindFolder() {
        if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    }
    CaseBlindFolder(const CaseBlindFolder&) = delete;
    CaseBlindFolder& operator=(const CaseBlindFolder&) = delete;

    const std::string& Problem() const { return problem_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

  private:
    std::string path_, problem_;
    bool mounted_ = false;
};

class CaseBlindFileSystemTest : public FileSystemTest {
  protected:
    void SetUp() override {
        if (!blind.Problem().empty()) GTEST_SKIP() << blind.Problem();
    }
    CaseBlindFolder blind{temp};
};

TEST_F(CaseBlindFileSystemTest, HeldNameIsTheEntrysOwnLetters) {
    fs::create_directories(blind / "main/mailroot/kim");
    test_support::WriteBytes(blind / "main/notes.txt", "x");
    fs::create_directories(blind / "main/\xCF\x89");  // ω
    const struct {
        std::string dir, name;
        std::optional<std::string> held;
    } cases[] = {
        {"main/mailroot", "kim", "kim"},
        {"main/mailroot", "Kim", "kim"},
        {"", "MAIN", "main"},
        {"main", "Notes.TXT", "notes.txt"},
        {"main", "\xCE\xA9", "\xCF\x89"},  // Ω, no ASCII letter to try
        {"main/mailroot", "kimberley", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(files->HeldName(blind / c.dir, c.name), c.held) << c.dir << " " << c.name;
    }
    // A folder mounted there is listed with the inode below it, and is still found by its name.
    fs::create_directories(blind / "main/mnt");
    if (mount(temp.Path().c_str(), (blind / "main/mnt").c_str(), nullptr, MS_BIND, nullptr) != 0) {
        GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
    }
    EXPECT_EQ(files->HeldName(blind / "main", "MNT"), "mnt");
    umount2((blind / "main/mnt").c_str(), MNT_DETACH);
}

// Removing "Kim" where "kim" is held would take kim's mail: any level held in other letters ends
// the removal before anything goes, and says every level as it is held.
TEST_F(CaseBlindFileSystemTest, ALevelInOtherLettersRemovesNothing) {
    fs::create_directories(blind / "main/mailroot/kim/inbox");
    test_support::WriteBytes(blind / "main/mailroot/kim/inbox/keep.eml", "x");
    for (const std::vector<std::string>& levels :
         std::vector<std::vector<std::string>>{{"main", "mailroot", "Kim"},
                                               {"Main", "mailroot", "kim"},
                                               {"main", "MailRoot", "KIM"}}) {
        SCOPED_TRACE(levels[0] + "/" + levels[1] + "/" + levels[2]);
        const FolderRemoval removal = files->RemoveFolderBelow(blind / "", levels, true);
        EXPECT_EQ(removal.outcome, Outcome::kOtherLetters);
        EXPECT_EQ(removal.detail, "main/mailroot/kim");
        EXPECT_TRUE(fs::exists(blind / "main/mailroot/kim/inbox/keep.eml"));
    }
    // The fixed mailroot level names no mailbox: in other letters it is the same folder.
    EXPECT_EQ(
        files->RemoveFolderBelow(blind / "", {"main", "MailRoot", "kim"}, true, {true, false, true})
            .outcome,
        Outcome::kRemoved);
    EXPECT_FALSE(fs::exists(blind / "main/mailroot/kim"));
}

TEST_F(FileSystemTest, OpenFileReadsOnlyRegularFiles) {
    auto file = files->OpenFile(temp.Write("list.txt", "a\r\nb"));
    char bytes[8] = {};
    EXPECT_EQ(std::string(bytes, file->Read(bytes, sizeof bytes)), "a\r\nb");
    EXPECT_EQ(file->Read(bytes, sizeof bytes), 0u);

    EXPECT_EQ(ErrorOf([&] { files->OpenFile(temp.Path()); }),
              "'" + temp.Path() + "' is not a regular file");
    const std::string missing = temp / "missing.txt";
    EXPECT_EQ(ErrorOf([&] { files->OpenFile(missing); }),
              "cannot open the file '" + missing + "': No such file or directory");
    // A FIFO without a writer would block an ordinary open forever.
    const std::string fifo = temp / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ErrorOf([&] { files->OpenFile(fifo); }), "'" + fifo + "' is not a regular file");
}

// The names in `folder`, to see what a write left there.
std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

// Writes `bytes` in pieces of 4 KiB, as the list of lines is written.
std::function<void(ByteSink&)> Writing(const std::string& bytes) {
    return [bytes](ByteSink& sink) {
        for (std::size_t at = 0; at < bytes.size(); at += 4096) {
            sink.Write(std::string_view(bytes).substr(at, 4096));
        }
    };
}

// The list of lines is written only where the operator says, and only over a regular file, which
// is replaced whole in one step and keeps who may read it; a folder, a FIFO or a missing folder
// is refused with the reason. Nothing else is left in the folder.
TEST_F(FileSystemTest, WriteFileReplacesOnlyRegularFilesWhole) {
    const std::string list = temp.Write("list.csv", "an older and longer list");
    ASSERT_EQ(chmod(list.c_str(), 0640), 0);
    struct stat before {
    }, after{};
    ASSERT_EQ(stat(list.c_str(), &before), 0);
    files->WriteFile(list, Writing("a,b\r\n"));
    EXPECT_EQ(test_support::ReadBytes(list), "a,b\r\n");
    ASSERT_EQ(stat(list.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "rewritten in place";
    EXPECT_EQ(after.st_mode & 0777, 0640u);
    const mode_t mask = umask(022);
    umask(mask);
    files->WriteFile(temp / "new.csv", Writing("c\r\n"));
    EXPECT_EQ(test_support::ReadBytes(temp / "new.csv"), "c\r\n");
    ASSERT_EQ(stat((temp / "new.csv").c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 0777, 0666 & ~mask);

    const std::string fifo = temp / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(temp / "folder");
    fs::create_symlink(temp / "folder", temp / "to-folder");
    const std::pair<std::string, std::string> refused[] = {
        {fifo, "'" + fifo + "' is not a regular file"},
        {temp / "folder", "'" + (temp / "folder") + "' is not a regular file"},
        {temp / "to-folder", "'" + (temp / "to-folder") + "' is not a regular file"},
        {temp / "missing/list.csv",
         "cannot write the file '" + (temp / "missing/list.csv") + "': No such file or directory"},
        {list + "/x", "cannot write the file '" + list + "/x': Not a directory"},
    };
    for (const auto& [path, failure] : refused) {
        EXPECT_EQ(ErrorOf([&] { files->WriteFile(path, Writing("x")); }), failure);
    }
    EXPECT_EQ(Entries(temp.Path()),
              (std::set<std::string>{"fifo", "folder", "list.csv", "new.csv", "to-folder"}));
    EXPECT_TRUE(Entries(temp / "folder").empty());
}

// A write that fails part way leaves what was there as it was, and nothing new.
TEST_F(FileSystemTest, WriteFileThatFailsLeavesTheFolderAsItWas) {
    const std::string list = temp.Write("list.csv", "the old list");
    for (const std::string& path : {list, temp / "new.csv"}) {
        EXPECT_EQ(ErrorOf([&] {
                      files->WriteFile(path, [](ByteSink& sink) {
                          sink.Write("the first half");
                          throw Error("the list ran out");
                      });
                  }),
                  "the list ran out");
        EXPECT_EQ(test_support::ReadBytes(list), "the old list");
        EXPECT_EQ(Entries(temp.Path()), std::set<std::string>{"list.csv"});
    }
}

// A link stays a link, through a chain of relative links too: the file it finally leads to is
// replaced, and a link that leads nowhere yet makes the file it names.
TEST_F(FileSystemTest, WriteFileThroughALinkReplacesTheFileItLeadsTo) {
    fs::create_directory(temp / "real");
    const std::string target = temp.Write("real/list.csv", "the old list");
    fs::create_symlink("real/list.csv", temp / "hop");
    fs::create_symlink("hop", temp / "link.csv");
    fs::create_symlink("real/made.csv", temp / "dangling.csv");
    files->WriteFile(temp / "link.csv", Writing("new"));
    files->WriteFile(temp / "dangling.csv", Writing("made"));
    EXPECT_EQ(test_support::ReadBytes(target), "new");
    EXPECT_EQ(test_support::ReadBytes(temp / "real/made.csv"), "made");
    for (const char* link : {"hop", "link.csv", "dangling.csv"}) {
        EXPECT_TRUE(fs::is_symlink(temp / link)) << link;
    }
    EXPECT_EQ(Entries(temp / "real"), (std::set<std::string>{"list.csv", "made.csv"}));
    EXPECT_EQ(Entries(temp.Path()),
              (std::set<std::string>{"dangling.csv", "hop", "link.csv", "real"}));
}

// A disk that fills while the list is written: the file it was to replace keeps its content, a
// new name is not made, and the new file is gone.
TEST_F(FileSystemTest, WriteFileOnAFullDiskLeavesTheOldFile) {
    const std::string disk = temp / "disk";
    fs::create_directory(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    struct Unmount {
        std::string at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount{disk};
    const std::string old(8192, 'o');
    const std::string list = disk + "/list.csv";
    test_support::WriteBytes(list, old);
    // Filled, then 16 KiB freed: less than the list needs.
    const std::string filler = disk + "/filler";
    const int fd = open(filler.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    off_t size = 0;
    for (ssize_t put; (put = write(fd, block.data(), block.size())) > 0;) size += put;
    ASSERT_EQ(errno, ENOSPC);
    ASSERT_EQ(ftruncate(fd, std::max<off_t>(0, size - 16384)), 0);
    close(fd);
    for (const std::string& path : {list, disk + "/new.csv"}) {
        EXPECT_EQ(ErrorOf([&] { files->WriteFile(path, Writing(std::string(65536, 'n'))); }),
                  "cannot write the file '" + path + "': No space left on device");
        EXPECT_EQ(test_support::ReadBytes(list), old);
        EXPECT_EQ(Entries(disk), (std::set<std::string>{"filler", "list.csv"}));
    }
}

TEST_F(FileSystemTest, SameFileFollowsLinksAndKnowsHardLinks) {
    const std::string a = temp.Write("a.csv", "x");
    const std::string b = temp.Write("b.csv", "x");
    ASSERT_EQ(link(a.c_str(), (temp / "hard").c_str()), 0);
    fs::create_symlink("a.csv", temp / "soft");
    const std::string missing = temp / "missing";
    const struct {
        std::string first, second;
        bool same;
    } cases[] = {
        {a, a, true},
        {a, temp.Path() + "/./a.csv", true},
        {a, temp / "hard", true},
        {temp / "soft", a, true},
        {temp / "soft", temp / "hard", true},
        {temp.Path(), temp / ".", true},
        {a, b, false},
        {a, missing, false},
        {missing, missing, false},
        {a, "", false},
        {a, a + std::string(1, '\0') + "x", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(files->SameFile(c.first, c.second), c.same) << c.first << " " << c.second;
    }
}

}  // namespace
}  // namespace seedwell::platform
