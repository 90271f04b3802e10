// A run that dies part way, after any one of its changes, is completed by running the same file
// again: the server then holds exactly what one uninterrupted run makes.

#include <gmock/gmock.h>

#include "harness.h"
#include "server/password.h"

namespace seedwell::hardening {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

constexpr int kKilled = 9;

// Four mailboxes: one whose domain another post office owns, one with a new domain, and a
// line repeated.
constexpr char kLines[] =
    "main,alice@example.com,pw-alice\r\n"
    "sales,bob@example.org,pw-bob\r\n"
    "sales,carol@example.com,pw-carol\r\n"
    "main,dave@example.net,pw-dave\r\n"
    "main,alice@example.com,pw-alice\r\n";

// Ends the process, as a kill would, right after the run's k-th change: a record added or
// removed, a folder made or removed. A folder removal may also end half done, with the inbox
// gone and the mailbox folder still there.
class Stopper {
  public:
    explicit Stopper(int k) : countdown_(k) {}

    void Step(const std::function<void()>& halfDone = {}) {
        if (--countdown_ != 0) return;
        if (halfDone) halfDone();
        _exit(kKilled);
    }

    Decorators Watch() {
        Decorators decorators;
        decorators.objects = [this](platform::ObjectFactory& inner) {
            return std::make_unique<WatchingFactory>(
                inner, nullptr, [this](std::string_view method) {
                    if (method.starts_with("Add") || method.starts_with("Remove")) Step();
                });
        };
        decorators.files = [this] { return std::make_unique<Files>(*this); };
        return decorators;
    }

  private:
    class Files : public platform::StdFileSystem {
      public:
        explicit Files(Stopper& stopper) : stopper_(stopper) {}

      protected:
        void MakeFolder(const std::string& path) override {
            StdFileSystem::MakeFolder(path);
            stopper_.Step();
        }
        platform::FolderRemoval RemoveTree(const std::string& base,
                                           const std::vector<std::string>& levels,
                                           const std::vector<bool>& lettersMatter,
                                           const std::string& top, bool force) override {
            stopper_.Step([&] { fs::remove_all(top + "/inbox"); });
            platform::FolderRemoval removal =
                StdFileSystem::RemoveTree(base, levels, lettersMatter, top, force);
            stopper_.Step();
            return removal;
        }

      private:
        Stopper& stopper_;
    };

    int countdown_;
};

class Interrupted : public ServerTest {
  protected:
    // Runs `kind` in a child that dies after its k-th change. False when the run ended before
    // making k changes.
    bool StopAfter(Kind kind, const std::string& path, int k) {
        const ChildResult child = InChild([&] {
            Stopper stopper(k);
            Run(kind, path, stopper.Watch());
            return std::string("finished");
        });
        EXPECT_TRUE(child.exitCode == kKilled || child.output == "finished")
            << "exit " << child.exitCode << " signal " << child.signal << ": " << child.output;
        return child.exitCode == kKilled;
    }

    // The server as `complete` holds it, except that a run stopped between adding a mailbox
    // and its login leaves that one login missing: a re-run does not add the login of a mailbox
    // that exists. Every login there has the file's password.
    void ExpectCompleteButForOneLoginAtMost(const std::string& complete) {
        std::string expected = complete;
        int missing = 0;
        for (const char* user : {"alice@main", "bob@sales", "carol@main", "dave@main"}) {
            const std::string name(user);
            if (Hash(user).empty()) {
                ++missing;
                const std::size_t row = expected.find(name + "\t");
                expected.erase(row, expected.find('\n', row) + 1 - row);
                continue;
            }
            EXPECT_TRUE(server::PasswordMatches("pw-" + name.substr(0, name.find('@')), Hash(user)))
                << user;
        }
        EXPECT_LE(missing, 1);
        EXPECT_EQ(Snapshot(), expected);
    }
};

TEST_F(Interrupted, AnImportStoppedAfterAnyChangeIsCompletedByRunningItAgain) {
    const std::string path = File("in.csv", kLines);
    ASSERT_THAT(Import(path).Texts(), ElementsAre(StartsWith("Mailboxes created.\r\n\r\n")));
    const std::string complete = Snapshot();

    int k = 1;
    for (;; ++k) {
        SCOPED_TRACE("stopped after change " + std::to_string(k));
        Install();
        if (!StopAfter(Kind::kImport, path, k)) break;
        EXPECT_THAT(Import(path).Texts(), ElementsAre(StartsWith("Mailboxes created.\r\n\r\n")));
        ExpectCompleteButForOneLoginAtMost(complete);
        if (HasFailure()) break;
    }
    // Three domains, four mailboxes with a login, eight folders of their own, four post-office
    // folders, four address maps.
    EXPECT_EQ(k, 3 + 4 * 2 + 8 + 4 + 4 + 1);
}

TEST_F(Interrupted, ADeleteStoppedAfterAnyChangeIsCompletedByRunningItAgain) {
    const std::string path = File("in.csv", kLines);
    Import(path);
    const std::string imported = Snapshot();
    ASSERT_THAT(Delete(path).Texts(), ElementsAre(::testing::StartsWith("Are you sure"),
                                                  ::testing::StartsWith("Mailboxes deleted.")));
    const std::string complete = Snapshot();
    ASSERT_NE(complete, imported);

    int k = 1;
    for (;; ++k) {
        SCOPED_TRACE("stopped after change " + std::to_string(k));
        Install();
        Import(path);
        if (!StopAfter(Kind::kDelete, path, k)) break;
        EXPECT_THAT(Delete(path).Texts(), ElementsAre(::testing::StartsWith("Are you sure"),
                                                      ::testing::StartsWith("Mailboxes deleted.")));
        EXPECT_EQ(Snapshot(), complete);
        if (HasFailure()) break;
    }
    // Per mailbox the line names in its own post office (carol is in main): the folder half and
    // wholly removed, then three records.
    EXPECT_EQ(k, 3 * 5 + 1);
}

}  // namespace
}  // namespace seedwell::hardening
