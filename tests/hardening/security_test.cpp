// What a run leaves readable by others: the store stays owner-only, passwords appear in no
// message, description, listing or file in clear, and folders follow the process's umask.

#include <fcntl.h>

#include <gmock/gmock.h>

#include <fstream>
#include <iterator>

#include "harness.h"
#include "server/password.h"

namespace seedwell::hardening {
namespace {

using ::testing::Contains;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Sets the process's umask for the life of the object.
class Umask {
  public:
    explicit Umask(mode_t mask) : old_(umask(mask)) {}
    ~Umask() { umask(old_); }

  private:
    mode_t old_;
};

// Runs twao with `args` against the registry file; its exit code and everything it printed.
std::pair<int, std::string> Twao(const std::string& registryFile,
                                 const std::vector<std::string>& args,
                                 const std::string& input = {}) {
    int out[2], in[2];
    if (pipe(out) != 0 || pipe(in) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(in[1]);
        close(out[0]);
        std::vector<std::string> all = {TWAO_PATH, "--registry", registryFile};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& arg : all) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    if (!input.empty()) {
        [[maybe_unused]] ssize_t written = write(in[1], input.data(), input.size());
    }
    close(in[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

using Security = ServerTest;

TEST_F(Security, TheStoreAndItsJournalFilesStayOwnerOnlyWhateverTheUmask) {
    EXPECT_EQ(Mode(StorePath()), 0600u) << "after install";

    // The journal files exist while a connection is open: look at them during the run.
    Umask open(0);
    std::set<unsigned> journalModes;
    Decorators watch;
    watch.objects = [&](platform::ObjectFactory& inner) {
        return std::make_unique<WatchingFactory>(inner, nullptr, [&](std::string_view) {
            for (const char* suffix : {"-wal", "-shm"}) {
                if (fs::exists(StorePath() + suffix)) {
                    journalModes.insert(Mode(StorePath() + suffix));
                }
            }
        });
    };
    const std::string path = File("in.csv", "main,alice@example.com,pw\r\n");
    EXPECT_THAT(Import(path, watch).Texts(),
                ElementsAre("Mailboxes created.\r\n\r\n1 mailbox was created."));
    EXPECT_EQ(journalModes, std::set<unsigned>{0600u});
    EXPECT_EQ(Mode(StorePath()), 0600u) << "after a run";

    // A run killed part way leaves its journal files behind: they too are owner-only.
    const ChildResult child = InChild([&] {
        Decorators die;
        die.objects = [](platform::ObjectFactory& inner) {
            return std::make_unique<WatchingFactory>(inner, nullptr, [](std::string_view method) {
                if (method == "AddMailbox") _exit(9);
            });
        };
        Import(File("more.csv", "main,bob@example.com,pw\r\n"), die);
        return std::string("finished");
    });
    ASSERT_EQ(child.exitCode, 9) << child.output;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        ASSERT_TRUE(fs::exists(StorePath() + suffix)) << suffix;
        EXPECT_EQ(Mode(StorePath() + suffix), 0600u) << suffix;
    }
}

TEST_F(Security, NoPasswordReachesAMessageTheStoreOrTwao) {
    const std::string tooLong = "long-" + std::string(600, 'L');
    // Passwords that fail to be stored, beside ones that are stored.
    const std::vector<std::string> passwords = {"Zq8!alice-secret", "Zq8!bob-secret", tooLong,
                                                "Zq8!dave secret;x"};
    std::string content = "main,alice@example.com," + passwords[0] + "\r\n" +
                          "main,carol@example.com," + passwords[2] + "\r\n" +
                          "sales,dave@example.org," + passwords[3] + "\r\n" +
                          "nosuch,bob@nowhere.example," + passwords[1] + "\r\n";
    const std::string path = File("in.csv", content);
    Outcome outcome = Import(path);
    // Carol's login fails on her password; bob's post office does not exist.
    ASSERT_EQ(outcome.shown.size(), 2u) << outcome.Joined();
    EXPECT_EQ(outcome.shown[0].text,
              "CreateMailbox:cannot add the login 'carol@main': cannot store the password: it is "
              "longer than 511 bytes; the mailbox was not made");
    EXPECT_THAT(outcome.shown[1].text, StartsWith("Error importing:line 4: "));
    std::vector<std::string> texts = outcome.Texts();

    // Again without the line that stops the run, twice: carol's line is reported each time, as
    // no record of hers was left for a rerun to find.
    content.erase(content.find("nosuch"));
    for (int i = 0; i < 2; ++i) {
        outcome = Import(File("in.csv", content));
        EXPECT_THAT(outcome.shown.back().text,
                    StartsWith("Mailboxes created, except for the lines reported: 2."));
        for (const auto& text : outcome.Texts()) texts.push_back(text);
    }
    outcome = Delete(File("in.csv", content));
    for (const auto& text : outcome.Texts()) texts.push_back(text);

    const auto listing = [&](const char* what) {
        const auto [code, text] = Twao(registryFile, {"list", what});
        EXPECT_EQ(code, 0) << text;
        return text;
    };
    std::vector<std::string> printed;
    Import(File("in.csv", content));
    for (const char* what : {"postoffices", "domains", "mailboxes", "logins", "addressmaps"}) {
        printed.push_back(listing(what));
    }
    for (const auto& password : passwords) {
        // A wrong guess prints nothing of it either, nor of the stored one.
        printed.push_back(
            Twao(registryFile, {"login", "check", "alice@main", password + "x"}).second);
        printed.push_back(
            Twao(registryFile, {"login", "check", "alice@main", "-"}, password).second);
    }
    EXPECT_EQ(Twao(registryFile, {"login", "check", "alice@main", passwords[0]}).first, 0);

    const std::string stored = ReadFile(StorePath()) + ReadFile(StorePath() + "-wal");
    for (const auto& password : passwords) {
        SCOPED_TRACE(password.substr(0, 20));
        const std::string part = password.substr(0, 12);
        EXPECT_THAT(texts, Each(Not(HasSubstr(part))));
        EXPECT_THAT(printed, Each(Not(HasSubstr(part))));
        EXPECT_EQ(stored.find(part), std::string::npos);
    }
}

TEST_F(Security, APasswordTooLongToHashIsSaidToBeSo) {
    const std::string longest(511, 'p');
    const std::string path = File("in.csv", "main,alice@example.com," + longest + "\r\n" +
                                                "main,bob@example.com," + longest + "q\r\n");
    EXPECT_THAT(Import(path).Texts(),
                ElementsAre("CreateMailbox:cannot add the login 'bob@main': cannot store the "
                            "password: it is longer than 511 bytes; the mailbox was not made",
                            "Mailboxes created, except for the lines reported: 2. Correct them "
                            "and run the file again.\r\n\r\n1 mailbox was created."));
    EXPECT_TRUE(server::PasswordMatches(longest, Hash("alice@main")));
    EXPECT_EQ(Hash("bob@main"), "");
    // Nothing of bob's mailbox is left, so the corrected line makes all of it.
    EXPECT_THAT(Import(File("in.csv", "main,bob@example.com," + longest + "\r\n")).Texts(),
                ElementsAre("Mailboxes created.\r\n\r\n1 mailbox was created."));
    EXPECT_TRUE(server::PasswordMatches(longest, Hash("bob@main")));
}

TEST_F(Security, ADeleteRemovesNothingThroughSymbolicLinks) {
    const std::string path = File("in.csv",
                                  "main,alice@example.com,pw\r\n"
                                  "main,bob@example.com,pw\r\n"
                                  "sales,carol@example.org,pw\r\n");
    Import(path);
    // Outside the post-office root: a folder with a file, which links inside alice's folder
    // point to; bob's whole mailbox folder replaced by a link to it; and the sales post
    // office's mailroot replaced by a link to a copy holding a folder named carol.
    const std::string outside = temp / "outside";
    fs::create_directories(outside + "/keep");
    File("outside/keep/mail.txt", "keep me");
    fs::create_directories(outside + "/mailroot/carol/inbox");
    File("outside/mailroot/carol/inbox/mail.txt", "keep me");
    const std::string alice = Root() + "/main/mailroot/alice";
    fs::create_directory_symlink(outside, alice + "/inbox/link-to-folder");
    fs::create_symlink(outside + "/keep/mail.txt", alice + "/link-to-file");
    File("data/Postoffices/main/mailroot/alice/inbox/read-only.txt", "x");
    fs::permissions(alice + "/inbox/read-only.txt", fs::perms::owner_read);
    const std::string bob = Root() + "/main/mailroot/bob";
    fs::remove_all(bob);
    fs::create_directory_symlink(outside, bob);
    const std::string salesRoot = Root() + "/sales/mailroot";
    fs::remove_all(salesRoot);
    fs::create_directory_symlink(outside + "/mailroot", salesRoot);

    const Outcome outcome = Delete(path);
    EXPECT_THAT(outcome.Texts(),
                ElementsAre(StartsWith("Are you sure"),
                            "The bob mailbox was not deleted: main/mailroot/bob is a link.",
                            "The carol mailbox was not deleted: sales/mailroot is a link.",
                            "Mailboxes deleted, except for the lines reported: 2 and "
                            "3.\r\n\r\n1 mailbox was deleted."));
    EXPECT_FALSE(fs::exists(fs::symlink_status(alice)));
    EXPECT_TRUE(fs::is_symlink(bob));
    EXPECT_EQ(ReadFile(outside + "/keep/mail.txt"), "keep me");
    EXPECT_EQ(ReadFile(outside + "/mailroot/carol/inbox/mail.txt"), "keep me");
    EXPECT_EQ(Hash("alice@main"), "");
    EXPECT_NE(Hash("bob@main"), "");
    EXPECT_NE(Hash("carol@sales"), "");
}

TEST_F(Security, FoldersMadeByARunFollowTheUmask) {
    const std::string path = File("in.csv",
                                  "main,alice@example.com,pw\r\n"
                                  "sales,bob@example.org,pw\r\n");
    for (mode_t mask : {mode_t(027), mode_t(077), mode_t(022)}) {
        SCOPED_TRACE(mask);
        Install();
        {
            Umask set(mask);
            EXPECT_THAT(Import(path).Texts(),
                        ElementsAre("Mailboxes created.\r\n\r\n2 mailboxes were created."));
        }
        const std::vector<std::string> made = {
            "main",  "main/mailroot",  "main/mailroot/alice", "main/mailroot/alice/inbox",
            "sales", "sales/mailroot", "sales/mailroot/bob",  "sales/mailroot/bob/inbox"};
        for (const auto& folder : made) {
            EXPECT_EQ(Mode(Root() + "/" + folder), 0777u & ~unsigned(mask)) << folder;
        }
    }
}

}  // namespace
}  // namespace seedwell::hardening
