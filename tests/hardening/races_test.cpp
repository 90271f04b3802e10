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

// Answers FolderExists truthfully, then lets the other run do `act` to that folder.
class OtherRunAfterCheck : public ForwardingFileSystem {
  public:
    OtherRunAfterCheck(platform::FileSystem& inner,
                       std::function<void(const std::string&, bool)> act)
        : ForwardingFileSystem(inner), act_(std::move(act)) {}
    bool FolderExists(const std::string& path) override {
        const bool exists = inner_.FolderExists(path);
        act_(path, exists);
        return exists;
    }

  private:
    std::function<void(const std::string&, bool)> act_;
};

Decorators OtherRun(std::function<void(const std::string&, bool)> act) {
    return {[act](platform::FileSystem& inner) {
                return std::make_unique<OtherRunAfterCheck>(inner, act);
            },
            {}};
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
    EXPECT_THAT(outcome.Texts(), ElementsAre("Mailboxes created."));
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
    EXPECT_THAT(outcome.Texts(), ElementsAre(StartsWith("Are you sure"), "Mailboxes deleted."));
    EXPECT_EQ(Snapshot(), complete);
}

TEST_F(Races, AFolderThatCannotBeMadeIsStillReported) {
    // A file where the post-office folder belongs: the check finds no folder and the creation
    // fails, and nothing made it meanwhile.
    File("data/Postoffices/main", "not a folder");
    const Outcome outcome = Import(File("in.csv", kLines));
    ASSERT_EQ(outcome.shown.size(), 2u) << outcome.Joined();
    EXPECT_EQ(outcome.shown[0].text,
              "CreateMailbox:cannot create the folder '" + Root() + "/main': File exists");
    EXPECT_EQ(outcome.shown[1].text, "Mailboxes created.");
}

}  // namespace
}  // namespace seedwell::hardening
