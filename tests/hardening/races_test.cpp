// Another run of the same file at the same time (a second operator, a second window) makes or
// removes a folder between this run's check and its own change: neither run may report a
// failure for it or leave the mailbox half done.

#include <gmock/gmock.h>

#include "harness.h"

namespace seedwell::hardening {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

constexpr char kLines[] =
    "main,alice@example.com,pw-alice\r\n"
    "sales,bob@example.org,pw-bob\r\n";

// Answers a check for a folder truthfully, then lets the other run do `act` to that folder
// (`act(path, exists)`); lets it act on a mailbox folder just before its removal too.
class OtherRunAfterCheck : public platform::StdFileSystem {
  public:
    explicit OtherRunAfterCheck(std::function<void(const std::string&, bool)> act)
        : act_(std::move(act)) {}

  protected:
    Kind KindOf(const std::string& path) noexcept override {
        const Kind kind = StdFileSystem::KindOf(path);
        if (kind != Kind::kFile) act_(path, kind == Kind::kFolder);
        return kind;
    }
    platform::FolderRemoval RemoveTree(const std::string& base,
                                       const std::vector<std::string>& levels,
                                       const std::vector<bool>& lettersMatter,
                                       const std::string& top, bool force) override {
        act_(top, fs::is_directory(fs::symlink_status(top)));
        return StdFileSystem::RemoveTree(base, levels, lettersMatter, top, force);
    }

  private:
    std::function<void(const std::string&, bool)> act_;
};

Decorators OtherRun(std::function<void(const std::string&, bool)> act) {
    return {[act] { return std::make_unique<OtherRunAfterCheck>(act); }, {}, {}};
}

using Races = ServerTest;

TEST_F(Races, AFolderMadeByAnotherRunAfterTheCheckIsNoFailure) {
    const std::string path = File("in.csv", kLines);
    Import(path);
    const std::string complete = Snapshot();
    Install();
    const Outcome outcome = Import(path, OtherRun([](const std::string& folder, bool exists) {
                                       if (!exists) fs::create_directory(folder);
                                   }));
    EXPECT_THAT(outcome.Texts(),
                ElementsAre("Mailboxes created.\r\n\r\n2 mailboxes were created."));
    EXPECT_EQ(Snapshot(), complete);
}

TEST_F(Races, AMailboxFolderRemovedByAnotherRunAfterTheCheckIsNotInUse) {
    const std::string path = File("in.csv", kLines);
    Import(path);
    Delete(path);
    const std::string complete = Snapshot();
    Install();
    Import(path);
    const Outcome outcome = Delete(path, OtherRun([](const std::string& folder, bool exists) {
                                       if (exists) fs::remove_all(folder);
                                   }));
    EXPECT_THAT(outcome.Texts(),
                ElementsAre(StartsWith("Are you sure"),
                            "Mailboxes deleted.\r\n\r\n2 mailboxes were deleted."));
    EXPECT_EQ(Snapshot(), complete);
}

TEST_F(Races, TwoImportsOfTheSameFileAtOnceMakeEverythingOnceWithoutAMessage) {
    std::string content;
    for (int i = 0; i < 300; ++i) {
        content += std::string(i % 2 ? "sales" : "main") + ",user" + std::to_string(i) + "@d" +
                   std::to_string(i % 5) + ".example,pw" + std::to_string(i) + "\r\n";
    }
    const std::string path = File("in.csv", content);
    Import(path);
    const std::string complete = Snapshot();
    Install();

    // Both start together once the second has been forked.
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    std::vector<ChildResult> results(2);
    const pid_t other = fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        close(go[1]);
        char byte;
        [[maybe_unused]] ssize_t got = read(go[0], &byte, 1);
        const std::string texts = Import(path).Joined();
        _exit(texts.starts_with("[Mailboxes created.\r\n\r\n") ? 0 : 1);
    }
    close(go[0]);
    results[0] = InChild([&] {
        [[maybe_unused]] ssize_t sent = write(go[1], "x", 1);  // the other run starts now
        return Import(path).Joined();
    });
    close(go[1]);
    int status = 0;
    waitpid(other, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other run showed a message";
    // How the 300 mailboxes fall to the two runs varies; each run makes or finds each of them.
    EXPECT_THAT(results[0].output, StartsWith("[Mailboxes created.\r\n\r\n"));
    EXPECT_EQ(Snapshot(), complete);
}

TEST_F(Races, ADomainAddedByAnotherRunAfterTheLookupEndsTheRunAndARerunFilesTheMailboxThere) {
    const std::string path = File("in.csv", "main,alice@example.net,pw\r\n");
    Decorators otherRun;
    otherRun.objects = [&](platform::ObjectFactory& inner) {
        return std::make_unique<WatchingFactory>(
            inner,
            [&](std::string_view method) {
                if (method != "AddDomain") return;
                server::Store store(StorePath());
                store.AddDomain({"example.net", "sales", "", 0, 1});
            },
            nullptr);
    };
    EXPECT_THAT(Import(path, otherRun).Texts(),
                ElementsAre("Error importing:line 1: cannot add the domain 'example.net': it "
                            "exists already, owned by the post office 'sales'\r\n\r\nNo mailbox "
                            "was created."));
    EXPECT_THAT(Import(path).Texts(),
                ElementsAre("Mailboxes created.\r\n\r\n1 mailbox was created."));
    server::Store store(StorePath());
    EXPECT_FALSE(store.GetMailbox("main", "alice"));
    EXPECT_TRUE(store.GetMailbox("sales", "alice"));
    EXPECT_EQ(store.GetAddressMap("[SMTP:alice@example.net]")->destination, "[SF:sales/alice]");
}

TEST_F(Races, AFolderThatCannotBeMadeIsStillReported) {
    // A file where the post-office folder belongs: the check finds no folder and the creation
    // fails, and nothing made it meanwhile.
    File("data/Postoffices/main", "not a folder");
    const Outcome outcome = Import(File("in.csv", kLines));
    ASSERT_EQ(outcome.shown.size(), 2u) << outcome.Joined();
    EXPECT_EQ(outcome.shown[0].text,
              "CreateMailbox:cannot create the folder '" + Root() + "/main': File exists");
    EXPECT_EQ(outcome.shown[1].text,
              "Mailboxes created, except for the lines reported: 1. Correct them and run the file "
              "again.\r\n\r\n1 mailbox was created.");
}

}  // namespace
}  // namespace seedwell::hardening
