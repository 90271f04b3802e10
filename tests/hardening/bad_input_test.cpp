// Files, registries, stores and names that an operator may meet on a live server: every run
// ends with a message that says what is wrong, and changes nothing beyond the lines before the
// fault.

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>

#include <gmock/gmock.h>

#include <fstream>
#include <iterator>

#include "harness.h"
#include "server/password.h"

namespace seedwell::hardening {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr char kFailure[] = "Error importing:";
constexpr char kNoSuchFile[] = "The file selected does not exist. Please select another.";
constexpr char kConfirmation[] =
    "Are you sure you wish to delete the mailbox? All messages for this mailbox will be deleted.";
constexpr char kNotInstalled[] =
    "the mail server is not installed: no \"Data Directory\" value under "
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick";

// What the confirmation adds for the two good lines.
constexpr char kTwoMailboxes[] =
    "\r\n\r\nThe file names 2 mailboxes, in the post offices main and sales.";
// Two good lines, after which each case puts its fault.
constexpr char kGoodLines[] = "main,alice@example.com,pw-alice\r\nsales,bob@example.org,pw-bob\r\n";

std::string Utf16(std::string_view ascii, bool bigEndian) {
    std::string out;
    for (char c : ascii) {
        out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    }
    return out;
}

class BadInput : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        fresh_ = Snapshot();
        const std::string good = File("good.csv", kGoodLines);
        Import(good);
        good_ = Snapshot();
        Delete(good);
        deleted_ = Snapshot();
        Install();
    }

    // The run ended with one failure message, `description` followed by what the run did, after
    // the confirmation of a delete, and the pointer restored.
    static void ExpectFailure(Kind kind, const Outcome& outcome, const std::string& description) {
        const auto failure = StartsWith(kFailure + description + "\r\n\r\n");
        if (kind == Kind::kDelete) {
            EXPECT_THAT(outcome.Texts(), ElementsAre(StartsWith(kConfirmation), failure));
        } else {
            EXPECT_THAT(outcome.Texts(), ElementsAre(failure));
        }
        ASSERT_FALSE(outcome.shown.empty());
        EXPECT_EQ(outcome.shown.back().style, app::kMbOk);
        EXPECT_EQ(outcome.shown.back().title, std::nullopt);
        EXPECT_FALSE(outcome.busy);
    }

    std::string fresh_;    // the server as installed
    std::string good_;     // after importing the two good lines alone
    std::string deleted_;  // after importing them and deleting them again
};

TEST_F(BadInput, FilesThatAreNotTextStopAtTheFaultyLineNamingIt) {
    struct Case {
        const char* what;
        std::string content;
        std::string description;
        bool goodLinesFirst;
    };
    const std::string tenMegabytes(10 * 1024 * 1024, 'x');
    std::string binary =
        "\x7f"
        "ELF\x02\x01\x01";
    binary += std::string(9, '\0') + "\x02\x00\x3e\x00\n\xff\xfe\x01";
    std::vector<Case> cases = {
        {"a binary file", std::string(kGoodLines) + binary,
         "line 3 holds a NUL byte; the file is not 8-bit text", true},
        {"a NUL byte inside a line",
         std::string(kGoodLines) + "main,carol@exa" + '\0' + "mple.com,pw\r\n",
         "line 3 holds a NUL byte; the file is not 8-bit text", true},
        {"UTF-16LE without a byte-order mark", Utf16("main,carol@example.com,pw\r\n", false),
         "line 1 holds a NUL byte; the file is not 8-bit text", false},
        {"UTF-16BE without a byte-order mark", Utf16("main,carol@example.com,pw\r\n", true),
         "line 1 holds a NUL byte; the file is not 8-bit text", false},
        {"a line of 10 MB",
         std::string(kGoodLines) + "main,carol@example.com," + tenMegabytes + "\r\n",
         "line 3 is longer than 1048576 bytes", true},
        {"10 MB without any line end", tenMegabytes, "line 1 is longer than 1048576 bytes", false},
    };
    if (platform::CodePage::System().IsUtf8()) {
        cases.push_back({"bytes that are not UTF-8",
                         std::string(kGoodLines) + "main,carol\xC3\x28@example.com,pw\r\n",
                         "line 3 is not valid " + platform::CodePage::System().Name() + " text",
                         true});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (Kind kind : {Kind::kImport, Kind::kDelete}) {
            Install();
            if (kind == Kind::kDelete) Import(File("good.csv", kGoodLines));
            const Outcome outcome = Run(kind, File("bad.csv", c.content));
            ExpectFailure(kind, outcome, c.description);
            // An import did the good lines before the fault; a delete removed them.
            if (kind == Kind::kImport) {
                EXPECT_EQ(Snapshot(), c.goodLinesFirst ? good_ : fresh_) << "import";
            } else {
                EXPECT_EQ(Snapshot(), c.goodLinesFirst ? deleted_ : good_) << "delete";
            }
        }
    }
}

TEST_F(BadInput, PathsThatAreNotRegularFilesDoNotExistAndNeverBlock) {
    const std::string fifo = temp / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string link = temp / "link-to-fifo";
    fs::create_symlink(fifo, link);
    const std::string zeroLink = temp / "link-to-zero";
    fs::create_symlink("/dev/zero", zeroLink);
    fs::create_directory(temp / "folder.csv");
    const std::string before = Snapshot();
    for (const std::string& path :
         {fifo, link, zeroLink, std::string("/dev/null"), std::string("/dev/zero"),
          std::string("/dev/urandom"), temp / "folder.csv", temp / "missing.csv"}) {
        SCOPED_TRACE(path);
        for (Kind kind : {Kind::kImport, Kind::kDelete}) {
            const Outcome outcome = Run(kind, path);
            // No confirmation is asked for a file that is not there.
            EXPECT_THAT(outcome.Texts(), ElementsAre(kNoSuchFile));
            EXPECT_EQ(outcome.focused, 1);
            EXPECT_FALSE(outcome.busy);
        }
    }
    EXPECT_EQ(Snapshot(), before);
}

// Answers the first check (that of the import file) truthfully, then changes the file before
// the run opens it.
class ChangedAfterCheck : public platform::StdFileSystem {
  public:
    explicit ChangedAfterCheck(std::function<void(const std::string&)> change)
        : change_(std::move(change)) {}

  protected:
    Kind KindOf(const std::string& path) noexcept override {
        const Kind kind = StdFileSystem::KindOf(path);
        if (!std::exchange(changed_, true)) change_(path);
        return kind;
    }

  private:
    std::function<void(const std::string&)> change_;
    bool changed_ = false;
};

Decorators ChangeAfterCheck(std::function<void(const std::string&)> change) {
    return {[change] { return std::make_unique<ChangedAfterCheck>(change); }, {}, {}};
}

TEST_F(BadInput, AFileChangedBetweenTheCheckAndTheOpenEndsTheRunWithItsReason) {
    struct Case {
        const char* what;
        std::function<void(const std::string&)> change;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"deleted", [](const std::string& path) { fs::remove(path); },
         ": No such file or directory"},
        {"replaced by a FIFO",
         [](const std::string& path) {
             fs::remove(path);
             mkfifo(path.c_str(), 0600);
         },
         " is not a regular file"},
        {"replaced by a folder",
         [](const std::string& path) {
             fs::remove(path);
             fs::create_directory(path);
         },
         " is not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (Kind kind : {Kind::kImport, Kind::kDelete}) {
            const std::string path = File("raced.csv", kGoodLines);
            const Outcome outcome = Run(kind, path, ChangeAfterCheck(c.change));
            // Delete reads the file before its question, so both fail before asking anything.
            ASSERT_EQ(outcome.shown.size(), 1u) << outcome.Joined();
            EXPECT_THAT(outcome.shown.back().text, StartsWith(kFailure));
            EXPECT_THAT(outcome.shown.back().text, HasSubstr("'" + path + "'"));
            EXPECT_THAT(outcome.shown.back().text, HasSubstr(c.reason));
            EXPECT_FALSE(outcome.busy);
            fs::remove_all(path);
        }
    }
    EXPECT_EQ(Snapshot(), fresh_);
}

TEST_F(BadInput, AFileMadeUnreadableBetweenTheCheckAndTheOpenEndsTheRunWithItsReason) {
    const std::string path = File("unreadable.csv", kGoodLines);
    const bool asNobody = CanBecomeNobody();
    if (asNobody) {
        // As root a mode of 000 does not stop reading; the user nobody owns the file instead.
        fs::permissions(temp.Path(), fs::perms(0755));
        GiveToNobody(path);
    }
    const ChildResult child = InChild(
        [&] {
            const Outcome outcome = Import(path, ChangeAfterCheck([](const std::string& p) {
                                               fs::permissions(p, fs::perms::none);
                                           }));
            return outcome.Joined() + (outcome.busy ? "busy" : "");
        },
        asNobody);
    if (child.exitCode == kChildSkipped) GTEST_SKIP() << child.output;
    ASSERT_EQ(child.exitCode, 0) << child.output;
    EXPECT_EQ(child.output, "[" + std::string(kFailure) + "cannot open the file '" + path +
                                "': Permission denied] ");
    EXPECT_EQ(Snapshot(), fresh_);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(BadInput, ARegistryFileThatCannotBeReadMeansTheServerIsNotInstalled) {
    const std::string original = ReadFile(registryFile);
    ASSERT_THAT(original, StartsWith("REGEDIT4"));
    std::string asVersion5 = original;
    asVersion5.replace(0, 8, "Windows Registry Editor Version 5.00");
    struct Case {
        std::string what;
        std::string bytes;
    };
    std::vector<Case> cases = {
        {"empty", ""},
        {"binary", std::string("\x00\x01\xFF\xFE\x80garbage\x00", 13)},
        {"no header", original.substr(original.find('['))},
        {"the value under another key",
         "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n\"Data Directory\"=\"" +
             dataDir + "\"\r\n"},
        {"UTF-16LE without its byte-order mark", Utf16(asVersion5, false)},
        {"UTF-16BE with a byte-order mark", "\xFE\xFF" + Utf16(asVersion5, true)},
        {"larger than 16 MiB", original + std::string(17 * 1024 * 1024, ';')},
    };
    // Cut short at every byte: either the value is all there or it is not read at all.
    for (std::size_t length = 0; length < original.size(); ++length) {
        cases.push_back(
            {"cut after " + std::to_string(length) + " bytes", original.substr(0, length)});
    }
    const std::string version5 = "\xFF\xFE" + Utf16(asVersion5, false);
    for (std::size_t length = 0; length < version5.size(); length += 1) {
        cases.push_back(
            {"UTF-16 cut after " + std::to_string(length) + " bytes", version5.substr(0, length)});
    }
    const std::string importFile = File("good.csv", kGoodLines);
    int notInstalled = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        File("registry.reg", c.bytes);
        for (Kind kind : {Kind::kImport, Kind::kDelete}) {
            const Outcome outcome = Run(kind, importFile);
            const std::string last = outcome.shown.empty() ? "" : outcome.shown.back().text;
            if (last.starts_with("Mailboxes created.") || last.starts_with("Mailboxes deleted.")) {
                // The value was there whole: the run did its work; start again from scratch.
                ASSERT_EQ(outcome.shown.size(), kind == Kind::kDelete ? 2u : 1u);
                File("registry.reg", original);
                EXPECT_EQ(Snapshot(), kind == Kind::kImport ? good_ : fresh_);
                Install();
                File("registry.reg", c.bytes);
                continue;
            }
            ++notInstalled;
            EXPECT_EQ(last, kFailure + std::string("line 1: ") + kNotInstalled + "\r\n\r\n" +
                                (kind == Kind::kImport ? "No mailbox was created."
                                                       : "No mailbox was deleted."));
            EXPECT_FALSE(outcome.busy);
        }
    }
    File("registry.reg", original);
    EXPECT_EQ(Snapshot(), fresh_);
    EXPECT_GT(notInstalled, 0);

    // A FIFO in place of the registry file must not block either.
    fs::remove(registryFile);
    ASSERT_EQ(mkfifo(registryFile.c_str(), 0600), 0);
    const Outcome outcome = Import(importFile);
    EXPECT_THAT(outcome.Texts(), ElementsAre(kFailure + std::string("line 1: ") + kNotInstalled +
                                             "\r\n\r\nNo mailbox was created."));
}

TEST_F(BadInput, AStoreThatIsNotARecordStoreIsNamedAndLeftAsItIs) {
    const std::string store = StorePath();
    const std::string storeBytes = ReadFile(store);
    const std::string importFile = File("good.csv", kGoodLines);
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"garbage", [&] { File("data/Config/server.db", std::string(8192, '\x5a')); },
         "file is not a database"},
        {"only its header", [&] { File("data/Config/server.db", storeBytes.substr(0, 100)); }, ""},
        {"empty", [&] { File("data/Config/server.db", ""); }, "no such table"},
        {"a folder", [&] { fs::create_directory(store); }, "is not a file"},
        {"missing", [] {}, "does not exist; install the server with 'twao install'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (Kind kind : {Kind::kImport, Kind::kDelete}) {
            fs::remove(store);
            c.make();
            const std::string before = fs::is_regular_file(store) ? ReadFile(store) : "";
            const std::vector<std::string> foldersBefore = Folders();
            const Outcome outcome = Run(kind, importFile);
            ASSERT_FALSE(outcome.shown.empty());
            const std::string last = outcome.shown.back().text;
            EXPECT_THAT(last, StartsWith(kFailure + std::string("line 1: ")));
            EXPECT_THAT(last, HasSubstr("'" + store + "'"));
            EXPECT_THAT(last, HasSubstr(c.reason));
            EXPECT_FALSE(outcome.busy);
            EXPECT_EQ(fs::is_regular_file(store) ? ReadFile(store) : "", before);
            EXPECT_EQ(Folders(), foldersBefore);
            fs::remove_all(store);
        }
    }
}

TEST_F(BadInput, AReadOnlyStoreIsReportedAsSuch) {
    if (!CanBecomeNobody()) {
        GTEST_SKIP() << "needs root to hand the store to the user nobody";
    }
    fs::permissions(temp.Path(), fs::perms(0755));
    const std::string importFile = File("good.csv", kGoodLines);
    GiveToNobody(dataDir);
    GiveToNobody(importFile);
    ASSERT_EQ(chmod(StorePath().c_str(), 0400), 0);
    const ChildResult child = InChild(
        [&] {
            const std::string imported = Import(importFile).Joined();
            return imported + "| " + Delete(importFile).Joined();
        },
        true);
    if (child.exitCode == kChildSkipped) GTEST_SKIP() << child.output;
    ASSERT_EQ(child.exitCode, 0) << child.output;
    const std::string readOnly =
        "the record store '" + StorePath() + "' is read-only, so its records cannot be changed";
    EXPECT_EQ(child.output, "[" + std::string(kFailure) + "line 1: " + readOnly +
                                "\r\n\r\nNo mailbox was created.] | [" + kConfirmation +
                                kTwoMailboxes +
                                "] [Mailboxes deleted. Lines 1 and 2 named no existing "
                                "mailbox.\r\n\r\nNo mailbox was deleted.] ");
    ASSERT_EQ(chmod(StorePath().c_str(), 0600), 0);
    GiveTo(dataDir, 0);  // root refuses a store that is nobody's
    EXPECT_EQ(Snapshot(), fresh_);
}

TEST_F(BadInput, ADataDirectoryOnAReadOnlyFileSystemChangesNothing) {
    Import(File("good.csv", kGoodLines));
    const std::string imported = Snapshot();
    const std::string more = File("more.csv", "main,carol@example.net,pw-carol\r\n");
    const std::string both =
        File("both.csv", std::string(kGoodLines) + "main,carol@example.net,x\r\n");
    const ChildResult child = InChild([&] {
        // A mount of its own, seen by this process alone.
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(dataDir.c_str(), dataDir.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
            mount(nullptr, dataDir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
                0) {
            _exit(kChildSkipped);
        }
        const std::string imported = Import(more).Joined();
        return imported + "| " + Delete(both).Joined();
    });
    if (child.exitCode == kChildSkipped) {
        GTEST_SKIP() << "cannot mount the data directory read-only here";
    }
    ASSERT_EQ(child.exitCode, 0) << child.output;
    const std::string failure = std::string(kFailure) +
                                "line 1: cannot set up the connection in the record store '" +
                                StorePath() + "': unable to open database file";
    EXPECT_EQ(child.output, "[" + failure + "\r\n\r\nNo mailbox was created.] | [" + kConfirmation +
                                "\r\n\r\nThe file names 3 mailboxes, in the post offices main "
                                "and sales.] [" +
                                failure + "\r\n\r\nNo mailbox was deleted.] ");
    EXPECT_EQ(Snapshot(), imported);
}

TEST_F(BadInput, NamesThatCannotBeOneFolderArePassedOverAndNothingIsMadeOrRemovedForThem) {
    const std::string longName(300, 'n');
    const std::vector<std::string> badLines = {
        "..,x@example.com,pw",
        "main,..@example.com,pw",
        ".,x@example.com,pw",
        "main,.@example.com,pw",
        "main/../sales,x@example.com,pw",
        "main,../../../escape@example.com,pw",
        "main,a/b@example.com,pw",
        "main,a\\b@example.com,pw",
        "..\\..,x@example.com,pw",
        "main,tab\there@example.com,pw",
        std::string("main,bell\x07@example.com,pw"),
        std::string("main,del\x7f@example.com,pw"),
        "main,c1\xC2\x85@example.com,pw",
        "main,esc@exa\x1Bmple.com,pw",
        "main," + longName + "@example.com,pw",
        longName + ",x@example.com,pw",
    };
    // Five at a time: a run shows no more than five line reports as boxes.
    for (std::size_t first = 0; first < badLines.size(); first += 5) {
        const std::vector<std::string> chunk(
            badLines.begin() + first, badLines.begin() + std::min(first + 5, badLines.size()));
        std::string content = kGoodLines;
        std::string reported;
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            content += chunk[i] + "\n";
            if (i > 0) reported += i + 1 == chunk.size() ? " and " : ", ";
            reported += std::to_string(i + 3);
        }
        const std::string path = File("names.csv", content);

        Outcome outcome = Import(path);
        ASSERT_EQ(outcome.shown.size(), chunk.size() + 1) << outcome.Joined();
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            SCOPED_TRACE(chunk[i]);
            EXPECT_THAT(outcome.shown[i].text,
                        StartsWith("Line " + std::to_string(i + 3) + " was passed over: "));
            EXPECT_THAT(outcome.shown[i].text, HasSubstr("nothing was created for it."));
            EXPECT_EQ(outcome.shown[i].text.find(longName), std::string::npos);
        }
        EXPECT_EQ(outcome.shown.back().text,
                  "Mailboxes created, except for the lines reported: " + reported +
                      ". Correct them and run the file again.\r\n\r\n2 mailboxes were created.");
        EXPECT_EQ(Snapshot(), good_);

        // Deleting the same lines passes over the bad ones and removes only the good ones; the
        // folders that "..", "." and the separators would reach are all still there.
        outcome = Delete(path);
        ASSERT_EQ(outcome.shown.size(), chunk.size() + 2) << outcome.Joined();
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            EXPECT_THAT(outcome.shown[i + 1].text, HasSubstr("nothing was deleted for it."));
        }
        EXPECT_EQ(outcome.shown.back().text, "Mailboxes deleted, except for the lines reported: " +
                                                 reported + ".\r\n\r\n2 mailboxes were deleted.");
        const std::string afterDelete = Snapshot();
        Install();
        Import(path);
        Delete(File("good.csv", kGoodLines));
        EXPECT_EQ(afterDelete, Snapshot());
        Install();
    }
}

TEST_F(BadInput, TheSameAddressTwiceIsCreatedOnceWithoutAMessage) {
    const std::string path = File("twice.csv",
                                  "main,alice@example.com,first\r\n"
                                  "sales,alice@example.com,second\r\n"
                                  "main,alice@example.com,third\r\n"
                                  "main,alice@example.com,pw-alice\r\n"
                                  "sales,bob@example.org,pw-bob\r\n"
                                  "sales,bob@example.org,pw-bob\r\n");
    const Outcome outcome = Import(path);
    EXPECT_THAT(outcome.Texts(),
                ElementsAre("Mailboxes created.\r\n\r\n2 mailboxes were created; 4 lines named "
                            "mailboxes that already existed, and their passwords were left as "
                            "they were."));
    // The first line's password stays; the rest is what the two good lines make.
    EXPECT_TRUE(server::PasswordMatches("first", Hash("alice@main")));
    EXPECT_EQ(Snapshot(), good_);
}

}  // namespace
}  // namespace seedwell::hardening
