// What the end of a run says it did, against what the stand-in server's records then hold.

#include <sched.h>
#include <sys/mount.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "harness.h"
#include "server/password.h"
#include "server/store.h"

namespace seedwell::hardening {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

class Counts : public ServerTest {
  protected:
    long Mailboxes() const {
        server::Store store(StorePath());
        return static_cast<long>(store.List(server::sql::kListMailboxes).size());
    }
    static std::string End(const Outcome& outcome) {
        return outcome.shown.empty() ? "" : outcome.shown.back().text;
    }
};

// New mailboxes, existing ones (one of them without its folder), a line reported, and a second
// line for a mailbox the first one made; then the same file again.
TEST_F(Counts, AMixedImportAndItsRerun) {
    Import(File("first.csv",
                "main,alice@example.com,pw1\r\nmain,bob@example.com,pw2\r\n"
                "sales,carol@example.org,pw3\r\n"));
    fs::remove_all(Root() + "/main/mailroot/bob");
    const std::string mixed = File("mixed.csv",
                                   "main,alice@example.com,new\r\nmain,bob@example.com,new\r\n"
                                   "main,dave@example.com,pw4\r\nmain,erin@example.com,\r\n"
                                   "main,dave@example.com,again\r\n");
    EXPECT_EQ(End(Import(mixed)),
              "Mailboxes created, except for the lines reported: 4. Correct them and run the file "
              "again.\r\n\r\n1 mailbox was created; 3 lines named mailboxes that already existed, "
              "and their passwords were left as they were. Missing folders were made again for 1 "
              "mailbox.");
    EXPECT_EQ(Mailboxes(), 4);
    EXPECT_TRUE(server::PasswordMatches("pw1", Hash("alice@main")));
    EXPECT_TRUE(server::PasswordMatches("pw4", Hash("dave@main")));
    EXPECT_TRUE(fs::is_directory(Root() + "/main/mailroot/bob/inbox"));

    EXPECT_EQ(End(Import(mixed)),
              "Mailboxes created, except for the lines reported: 4. Correct them and run the file "
              "again.\r\n\r\nNo mailbox was created; 4 lines named mailboxes that already "
              "existed, and their passwords were left as they were.");
    EXPECT_EQ(Mailboxes(), 4);
}

// A Stop counts what was done up to the line it stopped after; a failure, what was done before.
TEST_F(Counts, AStoppedAndAFailedImport) {
    std::string lines;
    for (int i = 1; i <= 10; ++i) lines += "main,u" + std::to_string(i) + "@example.com,pw\r\n";
    Decorators stop;
    stop.screen = [](fakes::FakeScreen& screen) {
        screen.clock.step = std::chrono::milliseconds(300);
        screen.progress.stopAtPump = 4;
    };
    const Outcome stopped = Import(File("ten.csv", lines), stop);
    EXPECT_THAT(End(stopped), StartsWith("Import stopped after line 4 of 10."));
    EXPECT_THAT(End(stopped), ::testing::EndsWith("\r\n\r\n4 mailboxes were created."));
    EXPECT_EQ(Mailboxes(), 4);

    Install();
    const Outcome failed = Import(File("failing.csv",
                                       "main,a@example.com,pw\r\nmain,b@example.com,pw\r\n"
                                       "nosuch,c@new.example,pw\r\nmain,d@example.com,pw\r\n"));
    EXPECT_THAT(End(failed), StartsWith("Error importing:line 3: "));
    EXPECT_THAT(End(failed), ::testing::EndsWith("\r\n\r\n2 mailboxes were created."));
    EXPECT_EQ(Mailboxes(), 2);
}

// A mailbox whose tree holds another file system is in use and kept whole; the others go.
TEST_F(Counts, ADeleteWithOneMailboxInUse) {
    const std::string path = File("three.csv",
                                  "main,alice@example.com,pw\r\nmain,bob@example.com,pw\r\n"
                                  "sales,carol@example.org,pw\r\n");
    Import(path);
    const ChildResult child = InChild([&] {
        const std::string inbox = Root() + "/main/mailroot/alice/inbox";
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", inbox.c_str(), "tmpfs", 0, "size=64k") != 0) {
            _exit(kChildSkipped);
        }
        const Outcome outcome = Delete(path);
        umount(inbox.c_str());
        return End(outcome) + "|" + std::to_string(Mailboxes());
    });
    if (child.exitCode == kChildSkipped) GTEST_SKIP() << "cannot mount a file system here";
    ASSERT_EQ(child.exitCode, 0) << child.output;
    EXPECT_EQ(child.output,
              "Mailboxes deleted, except for the lines reported: 1.\r\n\r\n2 mailboxes were "
              "deleted; 1 was in use and was kept.|1");
}

}  // namespace
}  // namespace seedwell::hardening
