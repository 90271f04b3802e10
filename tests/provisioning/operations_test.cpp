#include "provisioning/operations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording.h"

namespace seedwell::provisioning {
namespace {

using fakes::Filter;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Operations : public ::testing::Test, protected fakes::FakePlatform {
  protected:
    Operations() { SetDataDirectory("/srv/mail"); }

    void SetDataDirectory(const std::string& directory) {
        registry.SetString("SOFTWARE\\Tarnwick\\Tarnwick", "Data Directory", directory);
    }

    std::vector<std::string> Objects() const { return Filter(log, "create"); }

    // What the operations answered went wrong, in order, as a run would show it.
    void Report(const std::optional<std::string>& failure) {
        if (failure) shown.push_back(*failure);
    }
    void Report(const MailboxWork& work) {
        outcome = work.outcome;
        Report(work.failure);
    }
    void Report(const MailboxDeletion& deletion) {
        deleted = deletion.outcome;
        Report(deletion.failure);
    }

    Services services{objects, files, registry, platform::CodePage::System()};
    std::vector<std::string> shown;
    MailboxWork::Outcome outcome = MailboxWork::Outcome::kDone;
    MailboxDeletion::Outcome deleted = MailboxDeletion::Outcome::kDeleted;
    const platform::Value rights = std::string("USER");
};

TEST_F(Operations, DomainExistsSendsLookupValuesAndWritesBackTheOwner) {
    objects.Answer("TWAOSM.Domain.GetDomain", 1);
    objects.reads["TWAOSM.Domain.AccountName"] = "sales";
    std::string postoffice = "main";
    EXPECT_TRUE(DomainExists(services, "example.com", postoffice));
    EXPECT_EQ(postoffice, "sales");
    EXPECT_THAT(log, ElementsAre("create TWAOSM.Domain", "set TWAOSM.Domain.AccountName string ''",
                                 "set TWAOSM.Domain.DomainName string 'example.com'",
                                 "set TWAOSM.Domain.DomainRedirectionHosts string ''",
                                 "set TWAOSM.Domain.DomainRedirectionStatus i16 -1",
                                 "set TWAOSM.Domain.Status i16 -1", "call TWAOSM.Domain.GetDomain",
                                 "get TWAOSM.Domain.AccountName", "release TWAOSM.Domain"));
}

TEST_F(Operations, MissingDomainLeavesThePostOfficeAlone) {
    std::string postoffice = "main";
    EXPECT_FALSE(DomainExists(services, "example.com", postoffice));
    EXPECT_EQ(postoffice, "main");
    EXPECT_THAT(Filter(log, "get"), IsEmpty());
}

TEST_F(Operations, CreationsAndLookupsSendTheirPropertiesInOrderWithTheirKinds) {
    CreateDomain(services, "example.com", "main");
    EXPECT_TRUE(!MailboxExists(services, "jsmith", "main"));
    EXPECT_FALSE(AddressMapExists(services, "jsmith@example.com", "main"));
    CreateAddressMap(services, "SF", "jsmith@example.com", "main", "jsmith");
    EXPECT_THAT(
        Filter(log, "set"),
        ElementsAre("set TWAOSM.Domain.AccountName string 'main'",
                    "set TWAOSM.Domain.DomainName string 'example.com'",
                    "set TWAOSM.Domain.DomainRedirectionHosts string ''",
                    "set TWAOSM.Domain.DomainRedirectionStatus i16 0",
                    "set TWAOSM.Domain.Status i16 1", "set TWAOPO.Mailbox.Postoffice string 'main'",
                    "set TWAOPO.Mailbox.Mailbox string 'jsmith'", "set TWAOPO.Mailbox.Limit i16 -1",
                    "set TWAOPO.Mailbox.RedirectAddress string ''",
                    "set TWAOPO.Mailbox.RedirectStatus i16 -1", "set TWAOPO.Mailbox.Status i16 -1",
                    "set TWAOAM.AddressMap.Account string ''",
                    "set TWAOAM.AddressMap.DestinationAddress string ''",
                    "set TWAOAM.AddressMap.Scope string ''",
                    "set TWAOAM.AddressMap.SourceAddress string '[SMTP:jsmith@example.com]'",
                    "set TWAOAM.AddressMap.Account string 'main'",
                    "set TWAOAM.AddressMap.DestinationAddress string '[SF:main/jsmith]'",
                    "set TWAOAM.AddressMap.Scope string ''",
                    "set TWAOAM.AddressMap.SourceAddress string '[SMTP:jsmith@example.com]'"));
    EXPECT_THAT(Filter(log, "call"),
                ElementsAre("call TWAOSM.Domain.AddDomain", "call TWAOPO.Mailbox.GetMailbox",
                            "call TWAOAM.AddressMap.GetAddressMap",
                            "call TWAOAM.AddressMap.AddAddressMap"));
    EXPECT_EQ(objects.live, 0);
}

TEST_F(Operations, LookupFailuresReachTheCallerAndReleaseTheObject) {
    objects.Fail("TWAOPO.Mailbox.GetMailbox", "the record store is locked");
    EXPECT_THROW(MailboxExists(services, "jsmith", "main"), Error);
    EXPECT_EQ(objects.live, 0);
    EXPECT_EQ(log.back(), "release TWAOPO.Mailbox");
}

TEST_F(Operations, CreateMailboxMakesLoginObjectFirstThenRecordLoginAndFolderTree) {
    files.folders = {"/srv/mail/Postoffices"};
    Report(
        CreateMailbox(services, "main", "jsmith", "secret", -1, "/srv/mail/Postoffices", rights));
    EXPECT_THAT(Objects(), ElementsAre("create TWAOAU.Login", "create TWAOPO.Mailbox"));
    EXPECT_THAT(
        Filter(log, "set"),
        ElementsAre(
            "set TWAOPO.Mailbox.Postoffice string 'main'",
            "set TWAOPO.Mailbox.Mailbox string 'jsmith'", "set TWAOPO.Mailbox.Limit i32 -1",
            "set TWAOPO.Mailbox.RedirectAddress string ''",
            "set TWAOPO.Mailbox.RedirectStatus i16 0", "set TWAOPO.Mailbox.Status i16 1",
            "set TWAOAU.Login.Account string 'main'", "set TWAOAU.Login.Description string ''",
            "set TWAOAU.Login.Password string 'secret'", "set TWAOAU.Login.Rights string 'USER'",
            "set TWAOAU.Login.Status i16 1", "set TWAOAU.Login.UserName string 'jsmith@main'"));
    EXPECT_THAT(
        Filter(log, "mkdir"),
        ElementsAre("mkdir /srv/mail/Postoffices/main", "mkdir /srv/mail/Postoffices/main/mailroot",
                    "mkdir /srv/mail/Postoffices/main/mailroot/jsmith",
                    "mkdir /srv/mail/Postoffices/main/mailroot/jsmith/inbox"));
    EXPECT_THAT(shown, IsEmpty());
    EXPECT_EQ(objects.live, 0);
}

TEST_F(Operations, CreateMailboxMakesOnlyTheMissingFolders) {
    files.folders = {"/r", "/r/main"};
    Report(CreateMailbox(services, "main", "jsmith", "pw", -1, "/r", rights));
    EXPECT_THAT(Filter(log, "mkdir"),
                ElementsAre("mkdir /r/main/mailroot", "mkdir /r/main/mailroot/jsmith",
                            "mkdir /r/main/mailroot/jsmith/inbox"));
    log.clear();
    Report(CreateMailbox(services, "main", "jsmith", "pw", -1, "/r", rights));
    EXPECT_THAT(Filter(log, "mkdir"), IsEmpty());
}

TEST_F(Operations, RootEndingInSeparatorGivesTwoSeparatorsAndWindowsPathsUseBackslash) {
    fakes::FakeFileSystem windows(log, base::kWindowsRules);
    Services onWindows{objects, windows, registry, platform::CodePage::System()};
    windows.folders = {"D:\\Mail\\", "D:\\Mail\\\\main"};
    Report(CreateMailbox(onWindows, "main", "sales", "pw", -1, "D:\\Mail\\", rights));
    EXPECT_THAT(
        Filter(log, "mkdir"),
        ElementsAre("mkdir D:\\Mail\\\\main\\mailroot", "mkdir D:\\Mail\\\\main\\mailroot\\sales",
                    "mkdir D:\\Mail\\\\main\\mailroot\\sales\\inbox"));
    EXPECT_THAT(shown, IsEmpty());
}

TEST_F(Operations, AddMailboxAnsweringZeroIsNoFailure) {
    files.folders = {"/r"};
    objects.Answer("TWAOPO.Mailbox.AddMailbox", 0);
    Report(CreateMailbox(services, "main", "jsmith", "pw", -1, "/r", rights));
    EXPECT_THAT(Filter(log, "call"),
                ElementsAre("call TWAOPO.Mailbox.AddMailbox", "call TWAOAU.Login.AddLogin"));
    EXPECT_EQ(Filter(log, "mkdir").size(), 4u);
    EXPECT_THAT(shown, IsEmpty());
}

// A root that has gone is no failure of the line but the end of the run: the run tells it.
TEST_F(Operations, RootThatHasGoneIsAnsweredAsSuch) {
    Report(CreateMailbox(services, "main", "jsmith", "pw", -1, "/nowhere", rights));
    EXPECT_EQ(outcome, MailboxWork::Outcome::kRootMissing);
    EXPECT_THAT(shown, IsEmpty());
    files.files["/file"] = "";
    Report(CompleteMailbox(services, "main", "jsmith", "/file"));
    EXPECT_EQ(outcome, MailboxWork::Outcome::kRootNotFolder);
    EXPECT_TRUE(files.folders.empty());
    EXPECT_EQ(objects.live, 0);
}

TEST_F(Operations, LoginObjectThatCannotBeMadeCreatesNothingAtAll) {
    objects.failCreate["TWAOAU.Login"] = "cannot create object 'TWAOAU.Login'";
    Report(CreateMailbox(services, "main", "jsmith", "pw", -1, "/r", rights));
    EXPECT_THAT(Objects(), ElementsAre("create-failed TWAOAU.Login"));
    EXPECT_THAT(Filter(log, "call"), IsEmpty());
    EXPECT_THAT(Filter(log, "mkdir"), IsEmpty());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "CreateMailbox:cannot create object 'TWAOAU.Login'");
}

// A record left without its login would be found by every later run and never given one.
TEST_F(Operations, FailingLoginTakesTheRecordWithIt) {
    files.folders = {"/r"};
    objects.Fail("TWAOAU.Login.AddLogin", "the login store is full");
    Report(CreateMailbox(services, "main", "jsmith", "pw", -1, "/r", rights));
    EXPECT_THAT(Filter(log, "call"),
                ElementsAre("call TWAOPO.Mailbox.AddMailbox", "call TWAOAU.Login.AddLogin",
                            "call TWAOPO.Mailbox.RemoveMailbox"));
    EXPECT_THAT(Filter(log, "mkdir"), IsEmpty());
    EXPECT_EQ(outcome, MailboxWork::Outcome::kNotMade);
    EXPECT_THAT(shown, ElementsAre("CreateMailbox:the login store is full; the mailbox was not "
                                   "made"));

    shown.clear();
    objects.Fail("TWAOPO.Mailbox.RemoveMailbox", "the record store is locked");
    Report(CreateMailbox(services, "main", "jsmith", "pw", -1, "/r", rights));
    EXPECT_EQ(outcome, MailboxWork::Outcome::kLeftWithoutLogin);
    EXPECT_THAT(shown, ElementsAre("CreateMailbox:the login store is full; the mailbox was not "
                                   "made, but its record could not be removed again (the record "
                                   "store is locked), so the mailbox 'jsmith' of the post office "
                                   "'main' is left without a login: delete it, then run the line "
                                   "again"));
    EXPECT_EQ(objects.live, 0);
}

TEST_F(Operations, CreateMailboxRefusesNamesThatAreNotOneFolder) {
    files.folders = {"/r"};
    for (std::string bad : std::vector<std::string>{
             "..", ".", "a/b", "a\\b", std::string("a\x01", 2), std::string(300, 'x')}) {
        log.clear();
        shown.clear();
        Report(CreateMailbox(services, "main", bad, "pw", -1, "/r", rights));
        Report(CreateMailbox(services, bad, "jsmith", "pw", -1, "/r", rights));
        EXPECT_THAT(Objects(), IsEmpty()) << bad;
        EXPECT_THAT(Filter(log, "mkdir"), IsEmpty()) << bad;
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_THAT(shown[0], ::testing::StartsWith("CreateMailbox:the mailbox name"));
        EXPECT_THAT(shown[1], ::testing::StartsWith("CreateMailbox:the post office name"));
    }
    EXPECT_EQ(shown[0].find('\x01'), std::string::npos);
}

TEST_F(Operations, RootThatIsEmptyOrRelativeKeepsTheRecordButMakesNoFolder) {
    for (const char* root : {"", "Postoffices", "./mail"}) {
        log.clear();
        shown.clear();
        Report(CreateMailbox(services, "main", "jsmith", "pw", -1, root, rights));
        EXPECT_THAT(Filter(log, "call"),
                    ElementsAre("call TWAOPO.Mailbox.AddMailbox", "call TWAOAU.Login.AddLogin"));
        EXPECT_THAT(Filter(log, "exists"), IsEmpty()) << root;
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_THAT(shown[0], ::testing::HasSubstr("the post-office root"));
    }
}

TEST_F(Operations, CompleteMailboxMakesMissingFoldersOnlyAndNeverTouchesTheLogin) {
    files.folders = {"/r", "/r/main", "/r/main/mailroot"};
    Report(CompleteMailbox(services, "main", "jsmith", "/r"));
    EXPECT_THAT(Objects(), IsEmpty());
    EXPECT_THAT(Filter(log, "mkdir"), ElementsAre("mkdir /r/main/mailroot/jsmith",
                                                  "mkdir /r/main/mailroot/jsmith/inbox"));
    files.failCreate = {"/r/main/mailroot/ann"};
    Report(CompleteMailbox(services, "main", "ann", "/r"));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_THAT(shown[0], ::testing::StartsWith(
                              "CreateMailbox:cannot create the folder '/r/main/mailroot/ann'"));
}

const std::string kMailFolder = "/srv/mail/Postoffices/main/mailroot/jsmith";

// The mailbox's folder, with a message in its inbox, beside another mailbox's.
class Removal : public Operations {
  protected:
    Removal() {
        objects.Answer("TWAOPO.Mailbox.RemoveMailbox", 1);
        files.AddFolder(kInbox);
        files.files[kMessage] = "mail";
        files.AddFolder(kOther);
    }
    static constexpr const char* kMailroot = "/srv/mail/Postoffices/main/mailroot";
    inline static const std::string kFolder = kMailFolder;
    inline static const std::string kInbox = kMailFolder + "/inbox";
    inline static const std::string kMessage = kMailFolder + "/inbox/1.msg";
    static constexpr const char* kOther = "/srv/mail/Postoffices/main/mailroot/other";
};

TEST_F(Removal, RemovesFolderThenAddressMapLoginAndLastTheRecord) {
    Report(DeleteMailbox(services, "main", "jsmith"));
    EXPECT_THAT(Filter(log, "rmdir"), ElementsAre(std::string("rmdir ") + kFolder));
    EXPECT_THAT(files.Children(kMailroot), ElementsAre(kOther));
    EXPECT_THAT(files.files, IsEmpty());
    EXPECT_THAT(Filter(log, "call"),
                ElementsAre("call TWAOAM.AddressMap.RemoveAddressMap",
                            "call TWAOAU.Login.RemoveLogin", "call TWAOPO.Mailbox.RemoveMailbox"));
    EXPECT_THAT(
        Filter(log, "set"),
        ElementsAre(
            "set TWAOAM.AddressMap.Account string 'main'",
            "set TWAOAM.AddressMap.DestinationAddress string '[SF:main/jsmith]'",
            "set TWAOAM.AddressMap.Scope string ''",
            "set TWAOAM.AddressMap.SourceAddress string ''",
            "set TWAOAU.Login.Account string 'main'", "set TWAOAU.Login.Password string ''",
            "set TWAOAU.Login.Status i16 -1", "set TWAOAU.Login.UserName string 'jsmith@main'",
            "set TWAOAU.Login.Description string ''", "set TWAOPO.Mailbox.Postoffice string 'main'",
            "set TWAOPO.Mailbox.Mailbox string 'jsmith'", "set TWAOPO.Mailbox.Limit i16 0",
            "set TWAOPO.Mailbox.RedirectAddress string ''",
            "set TWAOPO.Mailbox.RedirectStatus i16 0", "set TWAOPO.Mailbox.Size i16 0"));
    EXPECT_THAT(shown, IsEmpty());
    EXPECT_EQ(objects.live, 0);
}

TEST_F(Removal, AbsentFolderIsNoFailure) {
    files.Erase(kFolder);
    Report(DeleteMailbox(services, "main", "jsmith"));
    EXPECT_EQ(Filter(log, "call").size(), 3u);
    EXPECT_THAT(shown, IsEmpty());
}

// What the tree holds decides, through the removal itself, what is reported and whether the
// records go.
struct TreeCase {
    std::function<void(fakes::MemoryTree&)> arrange;
    std::string message;  // empty: the mailbox was deleted
    MailboxDeletion::Outcome outcome;
    std::string folder = kMailFolder;  // as the tree holds it
};

class RemovalOf : public Removal, public ::testing::WithParamInterface<TreeCase> {};

TEST_P(RemovalOf, TheTreeDecidesWhatIsReportedAndWhetherTheRecordsGo) {
    const TreeCase& c = GetParam();
    c.arrange(files);
    std::vector<std::string> outside;  // what lies outside the mailbox's folder
    for (const std::string& path : files.folders) {
        if (!path.starts_with(c.folder)) outside.push_back(path);
    }
    for (const auto& [path, target] : files.links) {
        if (!path.starts_with(c.folder)) outside.push_back(path);
    }
    Report(DeleteMailbox(services, "main", "jsmith"));
    EXPECT_EQ(deleted, c.outcome);
    for (const std::string& path : outside) EXPECT_TRUE(files.Holds(path)) << path;
    if (c.message.empty()) {
        EXPECT_THAT(shown, IsEmpty());
        EXPECT_FALSE(files.Holds(c.folder));
        EXPECT_EQ(Filter(log, "call").size(), 3u);
        return;
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], c.message);
    EXPECT_THAT(Objects(), IsEmpty());
}

const std::string kInUse =
    "The jsmith mailbox is in use and cannot be deleted. Disable the \r\nmailbox to make sure it "
    "can't be used. You will also need to wait until the current user disconnects.";

INSTANTIATE_TEST_SUITE_P(
    Trees, RemovalOf,
    ::testing::Values(
        // A message held open: found by the check, before anything goes.
        TreeCase{[](fakes::MemoryTree& tree) {
                     tree.answers[kMailFolder + "/inbox/1.msg Look"] = {
                         {base::TreeStep::kFailed, "it is in use"}};
                 },
                 kInUse + "\r\n\r\nWhat stopped it: cannot delete '" + kMailFolder +
                     "/inbox/1.msg' in the folder '" + kMailFolder + "': it is in use.",
                 MailboxDeletion::Outcome::kInUse},
        // The inbox cannot go once its message has gone.
        TreeCase{[](fakes::MemoryTree& tree) {
                     tree.answers[kMailFolder + "/inbox Delete"] = {
                         {base::TreeStep::kFailed, "Input/output error"}};
                 },
                 kInUse +
                     " Some of its files were already removed.\r\n\r\nWhat stopped it: "
                     "cannot delete '" +
                     kMailFolder + "/inbox' in the folder '" + kMailFolder +
                     "': Input/output error.",
                 MailboxDeletion::Outcome::kInUse},
        TreeCase{[](fakes::MemoryTree& tree) {
                     tree.Erase("/srv/mail/Postoffices/main/mailroot");
                     tree.links["/srv/mail/Postoffices/main/mailroot"] = "/elsewhere";
                     tree.AddFolder("/elsewhere/jsmith");
                 },
                 "The jsmith mailbox was not deleted: main/mailroot is a link.",
                 MailboxDeletion::Outcome::kKept},
        TreeCase{[](fakes::MemoryTree& tree) {
                     tree.Erase("/srv/mail/Postoffices/main");
                     tree.links["/srv/mail/Postoffices/main"] = "/elsewhere";
                     tree.AddFolder("/elsewhere/mailroot/jsmith");
                 },
                 "The jsmith mailbox was not deleted: main is a link.",
                 MailboxDeletion::Outcome::kKept},
        TreeCase{[](fakes::MemoryTree& tree) {
                     tree.Erase(kMailFolder);
                     tree.AddFolder("/srv/mail/Postoffices/main/mailroot/JSmith/inbox");
                     tree.caseless.insert("/srv/mail/Postoffices/main/mailroot");
                 },
                 "The jsmith mailbox was not deleted: its folder main/mailroot/JSmith is named in "
                 "other letters and may be another mailbox's.",
                 MailboxDeletion::Outcome::kKept},
        // "mailroot" is the program's own folder in any letters.
        TreeCase{[](fakes::MemoryTree& tree) {
                     tree.Erase("/srv/mail/Postoffices/main/mailroot");
                     tree.AddFolder("/srv/mail/Postoffices/main/MailRoot/jsmith/inbox");
                     tree.caseless.insert("/srv/mail/Postoffices/main");
                 },
                 "", MailboxDeletion::Outcome::kDeleted,
                 "/srv/mail/Postoffices/main/MailRoot/jsmith"},
        // A link inside the tree goes as a link; what it leads to stays.
        TreeCase{[](fakes::MemoryTree& tree) {
                     tree.AddFolder("/elsewhere");
                     tree.links[kMailFolder + "/inbox/out"] = "/elsewhere";
                 },
                 "", MailboxDeletion::Outcome::kDeleted},
        // The inbox goes away half-way, removed by another hand.
        TreeCase{[](fakes::MemoryTree& tree) {
                     tree.answers[kMailFolder + "/inbox Open"] = {base::TreeStep::kGone};
                 },
                 "", MailboxDeletion::Outcome::kDeleted}),
    [](const ::testing::TestParamInfo<TreeCase>& info) { return std::to_string(info.index); });

TEST_F(Removal, FailuresAfterTheFolderShowTheirDescriptionAloneAndLeaveTheRecord) {
    objects.Fail("TWAOAM.AddressMap.RemoveAddressMap", "the record store is read-only");
    Report(DeleteMailbox(services, "main", "jsmith"));
    EXPECT_THAT(Objects(), ElementsAre("create TWAOAM.AddressMap"));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "the record store is read-only");
    EXPECT_EQ(deleted, MailboxDeletion::Outcome::kKept);

    log.clear();
    shown.clear();
    objects.Answer("TWAOAM.AddressMap.RemoveAddressMap", 1);
    objects.Fail("TWAOAU.Login.RemoveLogin", "logins locked");
    Report(DeleteMailbox(services, "main", "jsmith"));
    // The mailbox record stays, so the next run finds the mailbox and finishes its removal.
    EXPECT_THAT(Objects(), ElementsAre("create TWAOAM.AddressMap", "create TWAOAU.Login"));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "logins locked");
    EXPECT_EQ(objects.live, 0);
}

TEST_F(Removal, RefusesNamesThatWouldWidenTheRemoval) {
    for (std::string bad :
         std::vector<std::string>{"", "..", ".", "../main", "a/b", "a\\b", std::string("a\nb")}) {
        log.clear();
        shown.clear();
        Report(DeleteMailbox(services, "main", bad));
        Report(DeleteMailbox(services, bad, "jsmith"));
        EXPECT_THAT(Filter(log, "rmdir"), IsEmpty()) << bad;
        EXPECT_THAT(Filter(log, "exists"), IsEmpty()) << bad;
        EXPECT_THAT(Objects(), IsEmpty()) << bad;
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_THAT(shown[0], ::testing::HasSubstr("nothing was deleted"));
    }
    EXPECT_TRUE(files.Holds(kMessage));
}

TEST_F(Removal, WithoutADataDirectoryFromTheTopNothingIsRemoved) {
    for (const char* directory : {"", "srv/mail", "."}) {
        log.clear();
        shown.clear();
        SetDataDirectory(directory);
        Report(DeleteMailbox(services, "main", "jsmith"));
        EXPECT_THAT(Filter(log, "rmdir"), IsEmpty()) << directory;
        EXPECT_THAT(Objects(), IsEmpty());
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_THAT(shown[0], ::testing::HasSubstr("data directory"));
        EXPECT_THAT(shown[0], ::testing::EndsWith("nothing was deleted"));
    }
}

}  // namespace
}  // namespace seedwell::provisioning
