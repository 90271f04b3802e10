// Faults of the machine under a run: a store that another process keeps locked, a disk that
// fills up. The run ends with a message that says so, and once the fault is gone running the
// same file again completes the work.

#include <sched.h>
#include <sys/mount.h>

#include <gmock/gmock.h>

#include "harness.h"
#include "server/sqlite.h"

namespace seedwell::hardening {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string Lines(int count) {
    std::string content;
    for (int i = 0; i < count; ++i) {
        content += std::string(i % 2 ? "sales" : "main") + ",user" + std::to_string(i) + "@d" +
                   std::to_string(i % 3) + ".example,pw" + std::to_string(i) + "\r\n";
    }
    return content;
}

using Faults = ServerTest;

TEST_F(Faults, AStoreLockedByAnotherProcessEndsTheRunSayingSo) {
    const std::string path = File("in.csv", Lines(3));
    Import(path);
    const std::string complete = Snapshot();
    Install();

    // The other process takes the write lock and keeps it until told to let go.
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        close(ready[0]);
        close(release[1]);
        try {
            server::Database db(StorePath(), server::Database::Mode::kOpenExisting, 0);
            db.Execute("BEGIN EXCLUSIVE", "lock the store");
            [[maybe_unused]] ssize_t sent = write(ready[1], "x", 1);
            char byte;
            [[maybe_unused]] ssize_t got = read(release[0], &byte, 1);
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1) << "the other process could not lock the store";

    const Outcome outcome = Import(path);
    close(release[1]);
    int status = 0;
    waitpid(holder, &status, 0);
    EXPECT_THAT(outcome.Texts(),
                ElementsAre("Error importing:line 1: the record store '" + StorePath() +
                            "' is locked by another process\r\n\r\nNo mailbox was created."));
    EXPECT_FALSE(outcome.busy);

    EXPECT_THAT(Import(path).Texts(),
                ElementsAre("Mailboxes created.\r\n\r\n3 mailboxes were created."));
    EXPECT_EQ(Snapshot(), complete);
}

TEST_F(Faults, AFullDiskEndsTheRunAndARerunWithSpaceCompletesIt) {
    const std::string path = File("in.csv", Lines(200));
    Import(path);
    const std::string complete = Snapshot();

    const ChildResult child = InChild([&] {
        // A small file system of its own under the data directory, seen by this process alone.
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", dataDir.c_str(), "tmpfs", 0, "size=192k") != 0) {
            _exit(kChildSkipped);
        }
        Install();
        std::string report = Import(path).Joined() + "|";
        if (mount("tmpfs", dataDir.c_str(), "tmpfs", MS_REMOUNT, "size=64m") != 0) {
            return std::string("cannot make room: ") + std::strerror(errno);
        }
        report += Import(path).Joined() + "|";
        return report + Snapshot();
    });
    if (child.exitCode == kChildSkipped) GTEST_SKIP() << "cannot mount a small file system here";
    ASSERT_EQ(child.exitCode, 0) << child.output;
    const std::string first = child.output.substr(0, child.output.find('|'));
    const std::string rest = child.output.substr(first.size() + 1);
    const std::string second = rest.substr(0, rest.find('|'));
    // Each line that meets the full disk is reported naming the store and what is wrong with it,
    // and leaves nothing half-made; the rerun completes them all.
    EXPECT_THAT(first, HasSubstr("Mailboxes created, except for the lines reported: "));
    EXPECT_THAT(first, HasSubstr("disk is full"));
    EXPECT_THAT(first, HasSubstr(StorePath()));
    EXPECT_THAT(second, StartsWith("[Mailboxes created.\r\n\r\n197 mailboxes were created; 3 lines "
                                   "named mailboxes that already existed"));
    EXPECT_EQ(rest.substr(second.size() + 1), complete);
}

}  // namespace
}  // namespace seedwell::hardening
