#include "app/runs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tests/fakes/fake_screen.h"
#include "tests/fakes/fake_window.h"
#include "tests/fakes/recording.h"

namespace seedwell::app {
namespace {

using fakes::Filter;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::IsEmpty;
using ::testing::StartsWith;

// A small in-memory server behind the recording object factory.
class Runs : public ::testing::Test, protected fakes::FakeRunPlatform {
  protected:
    Runs() {
        registry.SetString("SOFTWARE\\Tarnwick\\Tarnwick", "Data Directory", "/srv/mail");
        files.folders = {"/srv/mail/Postoffices"};
        objects.methods["TWAOSM.Domain.GetDomain"] = [this](const fakes::FakeObject& o) {
            auto it = domains.find(o.Text("DomainName"));
            if (it == domains.end()) return 0;
            objects.reads["TWAOSM.Domain.AccountName"] = it->second;
            return 1;
        };
        objects.methods["TWAOSM.Domain.AddDomain"] = [this](const fakes::FakeObject& o) {
            return int(domains.emplace(o.Text("DomainName"), o.Text("AccountName")).second);
        };
        objects.methods["TWAOPO.Mailbox.GetMailbox"] = [this](const fakes::FakeObject& o) {
            return int(mailboxes.count(o.Text("Postoffice") + "/" + o.Text("Mailbox")));
        };
        objects.methods["TWAOPO.Mailbox.AddMailbox"] = [this](const fakes::FakeObject& o) {
            return int(mailboxes.insert(o.Text("Postoffice") + "/" + o.Text("Mailbox")).second);
        };
        objects.methods["TWAOPO.Mailbox.RemoveMailbox"] = [this](const fakes::FakeObject& o) {
            return int(mailboxes.erase(o.Text("Postoffice") + "/" + o.Text("Mailbox")));
        };
        objects.methods["TWAOAU.Login.AddLogin"] = [this](const fakes::FakeObject& o) {
            return int(logins.emplace(o.Text("UserName"), o.Text("Password")).second);
        };
        objects.methods["TWAOAU.Login.RemoveLogin"] = [this](const fakes::FakeObject& o) {
            return int(logins.erase(o.Text("UserName")));
        };
        objects.methods["TWAOAM.AddressMap.GetAddressMap"] = [this](const fakes::FakeObject& o) {
            return int(maps.count(o.Text("SourceAddress")));
        };
        objects.methods["TWAOAM.AddressMap.AddAddressMap"] = [this](const fakes::FakeObject& o) {
            return int(maps.emplace(o.Text("SourceAddress"), o.Text("DestinationAddress")).second);
        };
        objects.methods["TWAOAM.AddressMap.RemoveAddressMap"] = [this](const fakes::FakeObject& o) {
            int removed = 0;
            for (auto it = maps.begin(); it != maps.end();) {
                if (it->second == o.Text("DestinationAddress")) {
                    it = maps.erase(it);
                    ++removed;
                } else {
                    ++it;
                }
            }
            return removed;
        };
    }

    void Import(const std::string& content) {
        files.files["/in.csv"] = content;
        RunImport(window, services, RunScreen());
    }
    void Delete(const std::string& content) {
        files.files["/in.csv"] = content;
        RunDelete(window, services, RunScreen());
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& shown : messages.shown) out.push_back(shown.text);
        return out;
    }
    // The pointer changes and boxes in order, without the object and folder calls.
    std::vector<std::string> Screen() const {
        std::vector<std::string> out;
        for (const auto& line : log) {
            if (line.rfind("pointer", 0) == 0 || line.rfind("box", 0) == 0 ||
                line.rfind("focus", 0) == 0 || line.rfind("open", 0) == 0) {
                out.push_back(line);
            }
        }
        return out;
    }

    fakes::FakeWindow window{log, "/in.csv", "/srv/mail/Postoffices"};
    provisioning::Services services = MakeServices();

    std::map<std::string, std::string> domains{{"example.com", "main"}, {"example.org", "sales"}};
    std::set<std::string> mailboxes;
    std::map<std::string, std::string> logins;
    std::map<std::string, std::string> maps;
};

// A run in which no line reached a lookup is no success: the end says what a line must read.
TEST_F(Runs, FileNamingNoMailboxEndsWithWhatALineMustRead) {
    Import("");
    EXPECT_THAT(Screen(),
                ElementsAre("pointer hourglass", "open /in.csv", "open /in.csv", "pointer default",
                            "box 48 Done No line of the file names a mailbox: each line "
                            "must read postoffice,emailaddress,password."));
    messages.shown.clear();
    Delete("\nmain;a@example.com\nmain\ta@example.com\n");
    EXPECT_THAT(Texts(),
                ElementsAre(EndsWith("\r\n\r\nThe file names no mailbox."),
                            "Line 2 was passed over: it holds no comma but semicolons: the fields "
                            "must be separated by commas; nothing was deleted for it.",
                            "Line 3 was passed over: it holds no comma but tabs: the fields must "
                            "be separated by commas; nothing was deleted for it.",
                            "No line of the file names a mailbox: each line must read "
                            "postoffice,emailaddress or postoffice,mailbox. The lines reported: 2 "
                            "and 3."));
    EXPECT_EQ(messages.shown.back().style, app::kMbOkExclamation);
    EXPECT_THAT(Filter(log, "create"), IsEmpty());
}

// Delete's question says what the file names, before any lookup; its end, which lines named
// no existing mailbox.
TEST_F(Runs, DeleteSaysWhatItRemovesAndWhichLinesNamedNothing) {
    std::string file;
    for (int i = 1; i <= 14; ++i)
        file += "p" + std::to_string(i % 7) + ",m" + std::to_string(i) + "\n";
    file += "p1,bad@x@example.com\n";
    mailboxes = {"p1/m1"};
    Delete(file);
    EXPECT_THAT(Filter(log, "call"), ::testing::Contains(StartsWith("call TWAOPO.Mailbox.Get")));
    EXPECT_THAT(Texts(), ElementsAre(EndsWith("\r\n\r\nThe file names 14 mailboxes, in the post "
                                              "offices p1, p2, p3, p4, p5, and 2 more."),
                                     StartsWith("Line 15 was passed over: the address "
                                                "'bad@x@example.com' is not a valid e-mail "
                                                "address: it holds two @ signs"),
                                     "Mailboxes deleted, except for the lines reported: 15. Lines "
                                     "2, 3, 4, 5, 6, 7, 8, 9, 10, 11, and 3 more named no "
                                     "existing mailbox.\r\n\r\n1 mailbox was deleted.\r\n\r\n"
                                     "Save the list of these lines, with what went wrong on "
                                     "each?"));
    EXPECT_THAT(mailboxes, IsEmpty());
    messages.shown.clear();
    mailboxes = {"main/a"};
    Delete("main,a\nmain,b\n");
    EXPECT_THAT(Texts(),
                ElementsAre(EndsWith("The file names 2 mailboxes, in the post office main."),
                            "Mailboxes deleted. Line 2 named no existing mailbox.\r\n\r\n1 "
                            "mailbox was deleted."));
}

// Where folder names ignore letter case, a new mailbox whose folder exists in other letters
// belongs to another mailbox: the line makes nothing, not even its missing domain.
TEST_F(Runs, ImportPassesOverAMailboxThatWouldShareAnotherOnesFolder) {
    files.folders.insert("/srv/mail/Postoffices/main");
    files.folders.insert("/srv/mail/Postoffices/main/mailroot");
    files.folders.insert("/srv/mail/Postoffices/main/mailroot/kim");
    files.caseless = {"/srv/mail/Postoffices", "/srv/mail/Postoffices/main/mailroot"};
    Import("main,Kim@new.example,pw\n");
    EXPECT_THAT(Texts(), ElementsAre("Line 1 was passed over: the mailbox Kim would share the "
                                     "folder of the mailbox kim: folder names ignore letter case "
                                     "here; nothing was created for it.",
                                     StartsWith("Mailboxes created, except for the lines reported: "
                                                "1.")));
    EXPECT_THAT(Filter(log, "call TWAOSM.Domain.Add"), IsEmpty());
    EXPECT_THAT(Filter(log, "call TWAOPO.Mailbox.Add"), IsEmpty());
    files.Erase("/srv/mail/Postoffices/main");
    files.folders.insert("/srv/mail/Postoffices/Main");
    messages.shown.clear();
    Import("main,kim@example.com,pw\n");
    EXPECT_THAT(Texts().front(), ::testing::HasSubstr("the post office main would share the folder "
                                                      "of the post office Main"));
}

TEST_F(Runs, ImportCreatesWhatIsMissingAndARerunCreatesNothing) {
    const std::string file =
        "main,jsmith@example.com,secret\r\n"
        "main,ann@example.net,pass,word\n"
        "main,bob@example.org,pw";
    Import(file);
    EXPECT_EQ(domains.at("example.net"), "main");
    EXPECT_EQ(mailboxes, (std::set<std::string>{"main/jsmith", "main/ann", "sales/bob"}));
    EXPECT_EQ(logins.at("ann@main"), "pass");
    EXPECT_EQ(logins.at("bob@sales"), "pw");
    EXPECT_EQ(maps.at("[SMTP:bob@example.org]"), "[SF:sales/bob]");
    EXPECT_TRUE(files.folders.count("/srv/mail/Postoffices/sales/mailroot/bob/inbox"));
    EXPECT_THAT(Texts(), ElementsAre("Mailboxes created.\r\n\r\n3 mailboxes were created."));

    log.clear();
    messages.shown.clear();
    Import(file);
    EXPECT_THAT(Texts(), ElementsAre("Mailboxes created.\r\n\r\nNo mailbox was created; 3 lines "
                                     "named mailboxes that already existed, and their passwords "
                                     "were left as they were."));
    for (const auto& call : Filter(log, "call")) {
        EXPECT_THAT(call, ::testing::AnyOf(StartsWith("call TWAOSM.Domain.Get"),
                                           StartsWith("call TWAOPO.Mailbox.Get"),
                                           StartsWith("call TWAOAM.AddressMap.Get")));
    }
    EXPECT_THAT(Filter(log, "mkdir"), IsEmpty());
}

TEST_F(Runs, MailboxWithoutAddressMapAndTheReverse) {
    mailboxes = {"main/jsmith"};
    maps = {{"[SMTP:ann@example.com]", "[SF:main/elsewhere]"}};
    Import("main,jsmith@example.com,pw\nmain,ann@example.com,pw\n");
    EXPECT_THAT(Filter(log, "call TWAOPO.Mailbox.Add"),
                ElementsAre("call TWAOPO.Mailbox.AddMailbox"));
    EXPECT_THAT(Filter(log, "call TWAOAM.AddressMap.Add"),
                ElementsAre("call TWAOAM.AddressMap.AddAddressMap"));
    EXPECT_EQ(maps.at("[SMTP:jsmith@example.com]"), "[SF:main/jsmith]");
    EXPECT_EQ(maps.at("[SMTP:ann@example.com]"), "[SF:main/elsewhere]");
}

TEST_F(Runs, ExistingMailboxGetsItsMissingFoldersButNoLogin) {
    mailboxes = {"main/jsmith"};
    Import("main,jsmith@example.com,new\n");
    EXPECT_THAT(Filter(log, "create TWAOAU.Login"), IsEmpty());
    EXPECT_TRUE(logins.empty());
    EXPECT_TRUE(files.folders.count("/srv/mail/Postoffices/main/mailroot/jsmith/inbox"));
    EXPECT_THAT(Texts(), ElementsAre("Mailboxes created.\r\n\r\nNo mailbox was created; 1 line "
                                     "named a mailbox that already existed, and its password was "
                                     "left as it was. Missing folders were made again for 1 "
                                     "mailbox."));
}

TEST_F(Runs, FailureAtLineThreeStopsTheRunAndNamesTheLine) {
    objects.methods["TWAOSM.Domain.AddDomain"] = [](const fakes::FakeObject& o) -> int {
        if (o.Text("AccountName") == "mian") throw Error("the post office 'mian' does not exist");
        return 1;
    };
    Import(
        "main,a@one.com,pw\nmain,b@two.com,pw\nmian,c@three.com,pw\nmain,d@four.com,pw\n"
        "main,e@five.com,pw\n");
    EXPECT_EQ(mailboxes, (std::set<std::string>{"main/a", "main/b"}));
    EXPECT_THAT(Screen(), ElementsAre("pointer hourglass", "open /in.csv", "open /in.csv",
                                      "box 0 - Error importing:line 3: the post office 'mian' does "
                                      "not exist\r\n\r\n2 mailboxes were created.",
                                      "pointer default"));
    EXPECT_THAT(Filter(log, "set TWAOSM.Domain.DomainName string 'four.com'"), IsEmpty());
    EXPECT_EQ(objects.live, 0);
}

// A failure before any line, even one without a description, ends either run in its handler:
// never silently, never as done.
TEST_F(Runs, FailureOutsideTheLinesEndsTheRunInItsHandler) {
    class UnreadableBox : public fakes::FakeWindow {
      public:
        using fakes::FakeWindow::FakeWindow;
        std::string FileText() override { throw Error(""); }
    };
    UnreadableBox unreadable(log);
    RunImport(unreadable, services, RunScreen());
    RunDelete(unreadable, services, RunScreen());
    const std::string failure =
        "box 0 - Error importing:an unexpected failure without a description";
    EXPECT_THAT(Screen(), ElementsAre("pointer hourglass", failure, "pointer default",
                                      "pointer hourglass", failure, "pointer default"));
}

TEST_F(Runs, CreateMailboxFailureIsReportedAndTheAddressMapStillMade) {
    files.failCreate = {"/srv/mail/Postoffices/main"};
    Import("main,jsmith@example.com,pw\nmain,ann@example.com,pw\n");
    EXPECT_THAT(Texts(),
                ElementsAre(StartsWith("CreateMailbox:cannot create the folder "
                                       "'/srv/mail/Postoffices/main'"),
                            StartsWith("CreateMailbox:"),
                            "Mailboxes created, except for the lines reported: 1 and 2. Correct "
                            "them and run the file again.\r\n\r\nNo mailbox was created."));
    EXPECT_EQ(maps.size(), 2u);
}

// A line whose login cannot be added goes no further: no mailbox record is left behind, and no
// address map leads to a mailbox that is not there.
TEST_F(Runs, ALoginThatCannotBeAddedEndsItsLine) {
    objects.Fail("TWAOAU.Login.AddLogin", "the password is too long");
    Import("main,jsmith@example.com,pw\n");
    EXPECT_THAT(Texts(), ElementsAre("CreateMailbox:the password is too long; the mailbox was not "
                                     "made",
                                     StartsWith("Mailboxes created, except for the lines "
                                                "reported: 1.")));
    EXPECT_THAT(mailboxes, IsEmpty());
    EXPECT_THAT(maps, IsEmpty());
}

// The root gone during a run ends it at the first line whose folders cannot be made; the lines
// after it are left for the rerun.
TEST_F(Runs, ARootThatGoesAwayEndsTheRun) {
    for (const bool becomesFile : {false, true}) {
        messages.shown.clear();
        mailboxes.clear();
        maps.clear();
        files.folders = {"/srv/mail/Postoffices"};
        files.files.erase("/srv/mail/Postoffices");
        objects.methods["TWAOAU.Login.AddLogin"] = [&](const fakes::FakeObject& o) {
            if (o.Text("UserName") == "b@main") {
                files.folders.clear();
                if (becomesFile) files.files["/srv/mail/Postoffices"] = "";
            }
            return 1;
        };
        Import("main,a@example.com,\nmain,b@example.com,pw\nmain,c@example.com,pw\n");
        EXPECT_THAT(Texts(), ElementsAre(StartsWith("Line 1 was passed over"),
                                         becomesFile ? "Error importing:The root post office "
                                                       "directory is no longer a folder.\r\n"
                                                       "The lines reported before it: 1.\r\n\r\n"
                                                       "No mailbox was created."
                                                     : "Error importing:The root post office "
                                                       "directory no longer exists.\r\n"
                                                       "The lines reported before it: 1.\r\n\r\n"
                                                       "No mailbox was created."));
        EXPECT_EQ(mailboxes, std::set<std::string>{"main/b"});
        EXPECT_THAT(maps, IsEmpty());
        EXPECT_EQ(log.back(), "pointer default");
    }
}

// A failure that ends the run names the lines reported before it, and offers their list when
// it cannot show them all.
TEST_F(Runs, AFailureEndNamesTheLinesReportedBeforeIt) {
    objects.methods["TWAOSM.Domain.AddDomain"] = [](const fakes::FakeObject&) -> int {
        throw Error("the post office 'nosuch' does not exist");
    };
    std::string file;
    for (int i = 1; i <= 8; ++i) file += "main,u" + std::to_string(i) + "@example.com,\n";
    file += "nosuch,x@new.example,pw\nmain,z@example.com,pw\n";
    save.answers = {"/lists/in.csv"};
    Import(file);
    EXPECT_EQ(Texts().size(), 6u);
    EXPECT_EQ(Texts().back(),
              "Error importing:line 9: the post office 'nosuch' does not exist\r\n"
              "The lines reported before it: 1, 2, 3, 4, 5, 6, 7 and 8.\r\n\r\n"
              "No mailbox was created.\r\n\r\nSave the list of these lines, with what went wrong "
              "on each?");
    EXPECT_EQ(messages.shown.back().style, kMbYesNoExclamation);
    EXPECT_EQ(messages.shown.back().title, std::nullopt);
    EXPECT_NE(files.files.at("/lists/in.csv").find("\r\n8,main,u8@example.com,"),
              std::string::npos);
    EXPECT_EQ(mailboxes.count("main/z"), 0u);
}

TEST_F(Runs, FileBoxChecksRestoreThePointerBeforeTheBoxAndFocusTheFileBox) {
    window.file = "   ";
    RunImport(window, services, RunScreen());
    EXPECT_THAT(Screen(),
                ElementsAre("pointer hourglass", "pointer default",
                            "box 16 Error Need to select a file to import.", "focus txtFile"));
    log.clear();
    window.file = " /in.csv";  // used exactly as typed
    files.files["/in.csv"] = "";
    RunDelete(window, services, RunScreen());
    EXPECT_THAT(Screen(), ElementsAre("pointer hourglass", "pointer default",
                                      "box 16 Error The file selected does not exist. Please "
                                      "select another.",
                                      "focus txtFile"));
    log.clear();
    window.file = "";
    RunDelete(window, services, RunScreen());
    EXPECT_THAT(Texts().back(), "Need to select a file that contains the mailboxes to delete.");
    EXPECT_EQ(files.opened, 0);
}

TEST_F(Runs, ImportPassesOverEmptyAndUnsafeNamesBeforeAnyLookup) {
    Import(
        "\npostoffice,emailaddress,password\nmain,nodomain,pw\n,x@example.com,pw\n"
        "..,x@example.com,pw\nmain,../../etc@example.com,pw\nmain,ok@example.com,pw\n");
    EXPECT_EQ(mailboxes, std::set<std::string>{"main/ok"});
    EXPECT_EQ(Filter(log, "create TWAOSM.Domain").size(), 1u);
    EXPECT_THAT(Texts(),
                ElementsAre("Line 3 was passed over: the address 'nodomain' is not a valid e-mail "
                            "address: it holds no @ sign; nothing was created for it.",
                            "Line 4 was passed over: the post office is empty; nothing was "
                            "created for it.",
                            "Line 5 was passed over: the post office name '..' cannot be a folder "
                            "name; nothing was created for it.",
                            "Line 6 was passed over: the mailbox name '../../etc' holds a folder "
                            "separator; nothing was created for it.",
                            StartsWith("Mailboxes created, except for the lines reported: 3, 4, 5 "
                                       "and 6.")));
    EXPECT_EQ(messages.shown[0].style, app::kMbOk);
    EXPECT_EQ(messages.shown[0].title, std::nullopt);
}

// A line that cannot be what the operator meant (support/import_line.h tells which) is passed
// over before any lookup; the Delete run uses no password.
struct UnusableLine {
    std::string line;
    std::string mailbox;        // post office/mailbox of the line
    std::string importProblem;  // after "Line 1 was passed over: "
    std::string deleteProblem;  // empty when the Delete run can use the line
};

class UnusableLines : public Runs, public ::testing::WithParamInterface<UnusableLine> {};

TEST_P(UnusableLines, ArePassedOverBeforeAnyLookup) {
    const UnusableLine& c = GetParam();
    Import(c.line + "\r\n");
    EXPECT_THAT(Texts(), ElementsAre("Line 1 was passed over: " + c.importProblem +
                                         "; nothing was created for it.",
                                     EndsWith("The lines reported: 1.")));
    EXPECT_THAT(Filter(log, "create"), IsEmpty());

    mailboxes = {c.mailbox};
    messages.shown.clear();
    Delete(c.line + "\r\n");
    if (c.deleteProblem.empty()) {
        EXPECT_THAT(mailboxes, IsEmpty());
        return;
    }
    EXPECT_THAT(Texts(), ElementsAre(EndsWith("The file names no mailbox."),
                                     "Line 1 was passed over: " + c.deleteProblem +
                                         "; nothing was deleted for it.",
                                     EndsWith("The lines reported: 1.")));
    EXPECT_EQ(mailboxes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnusableLines,
    ::testing::Values(UnusableLine{"main,a@example.com,p\x01w", "main/a",
                                   "the password holds a control character", ""},
                      UnusableLine{"ma\xE2\x80\xAEin,c@example.com,pw", "ma\xE2\x80\xAEin/c",
                                   "the post office name 'ma\\u{202E}in' holds a control or "
                                   "format character",
                                   "the post office name 'ma\\u{202E}in' holds a control or "
                                   "format character"},
                      UnusableLine{"main;d@example.com;pw", "main/d",
                                   "it holds no comma but semicolons: the fields must be "
                                   "separated by commas",
                                   "it holds no comma but semicolons: the fields must be "
                                   "separated by commas"},
                      UnusableLine{"main, e@example.com, pw", "main/ e",
                                   "the address begins with a blank",
                                   "the address begins with a blank"}),
    [](const ::testing::TestParamInfo<UnusableLine>& info) { return std::to_string(info.index); });

TEST_F(Runs, InvalidTextEndsTheRunNamingTheLine) {
    if (!platform::CodePage::System().IsUtf8()) GTEST_SKIP() << "needs a UTF-8 code page";
    Import("main,a@example.com,pw\nmain,b\xff@example.com,pw\n");
    EXPECT_EQ(mailboxes, std::set<std::string>{"main/a"});
    EXPECT_THAT(Texts(), ElementsAre("Error importing:line 2 is not valid UTF-8 text\r\n\r\n1 "
                                     "mailbox was created."));
}

TEST_F(Runs, DeclinedConfirmationRemovesNothing) {
    mailboxes = {"main/jsmith"};
    messages.answers = {app::kAnswerNo};
    Delete("main,jsmith@example.com\n");
    // One pass over the file counts its lines and sums up what it names.
    EXPECT_THAT(Screen(), ElementsAre("pointer hourglass", "open /in.csv",
                                      "box 20 Delete Are you sure you wish to delete the mailbox? "
                                      "All messages for this mailbox will be deleted.\r\n\r\nThe "
                                      "file names 1 mailbox, in the post office main.",
                                      "pointer default"));
    EXPECT_THAT(Filter(log, "call"), IsEmpty());
    EXPECT_EQ(mailboxes.size(), 1u);
}

TEST_F(Runs, DeleteRemovesListedMailboxesOfTheLinesOwnPostOffice) {
    mailboxes = {"main/jsmith", "main/ann", "sales/bob"};
    logins = {{"jsmith@main", ""}, {"ann@main", ""}, {"bob@sales", ""}};
    maps = {{"[SMTP:jsmith@example.com]", "[SF:main/jsmith]"},
            {"[SMTP:js@example.net]", "[SF:main/jsmith]"},
            {"[SMTP:bob@example.org]", "[SF:sales/bob]"}};
    files.AddFolder("/srv/mail/Postoffices/main/mailroot/jsmith");
    Delete(
        "main,jsmith@example.com,pw\nmain,jsmith@example.net\nmain,bob@example.org\n"
        "main,ann\nmain,nobody@example.com\n");
    EXPECT_EQ(mailboxes, std::set<std::string>{"sales/bob"});
    EXPECT_EQ(logins.size(), 1u);
    EXPECT_EQ(maps.size(), 1u);
    EXPECT_FALSE(files.folders.count("/srv/mail/Postoffices/main/mailroot/jsmith"));
    EXPECT_THAT(Filter(log, "call TWAOPO.Mailbox.Remove").size(), 2u);
    EXPECT_THAT(Texts(), ElementsAre(StartsWith("Are you sure"),
                                     "Mailboxes deleted. Lines 2, 3 and 5 named no existing "
                                     "mailbox.\r\n\r\n2 mailboxes were deleted."));
}

TEST_F(Runs, DeleteReportsInUseAndGoesOn) {
    mailboxes = {"main/a", "main/b"};
    files.AddFolder("/srv/mail/Postoffices/main/mailroot/a");
    files.answers["/srv/mail/Postoffices/main/mailroot/a TopBlocker"] = {
        {base::TreeStep::kFailed, "Device or resource busy"}};
    Delete("main,a@example.com\nmain,b@example.com\n");
    EXPECT_EQ(mailboxes, std::set<std::string>{"main/a"});
    EXPECT_THAT(Texts(),
                ElementsAre(StartsWith("Are you sure"), StartsWith("The a mailbox is in use"),
                            "Mailboxes deleted, except for the lines reported: 1.\r\n\r\n1 "
                            "mailbox was deleted; 1 was in use and was kept."));
    EXPECT_EQ(messages.shown.back().style, app::kMbOkExclamation);
}

TEST_F(Runs, DeleteRefusesUnsafeNamesAndReportsLookupFailuresWithTheLine) {
    mailboxes = {"main/x"};
    objects.methods["TWAOPO.Mailbox.GetMailbox"] = [](const fakes::FakeObject& o) -> int {
        if (o.Text("Mailbox") == "boom") throw Error("the record store is locked");
        return 0;
    };
    Delete("main,..@example.com\nmain,\nmain,boom@example.com\nmain,x@example.com\n");
    EXPECT_THAT(Texts(), ElementsAre(StartsWith("Are you sure"),
                                     "Line 1 was passed over: the mailbox name '..' cannot be a "
                                     "folder name; nothing was deleted for it.",
                                     "Line 2 was passed over: the mailbox name is empty; nothing "
                                     "was deleted for it.",
                                     "Error importing:line 3: the record store is locked\r\n"
                                     "The lines reported before it: 1 and 2.\r\n\r\nNo mailbox "
                                     "was deleted."));
    EXPECT_EQ(log.back(), "pointer default");
}

// Lines "main,u<i>@example.com,<password>" from 1 to `count`; the lines in `unset` have none.
std::string Lines(int count, const std::set<int>& unset = {}) {
    std::string file;
    for (int i = 1; i <= count; ++i) {
        file += "main,u" + std::to_string(i) + "@example.com," +
                (unset.count(i) ? "" : "pw" + std::to_string(i)) + "\n";
    }
    return file;
}

TEST_F(Runs, ReportedLinesShowFiveBoxesAtMostAndAreListedAtTheEnd) {
    struct Case {
        int reported;
        const char* end;
    };
    const Case cases[] = {
        {0, "Mailboxes created.\r\n\r\n1 mailbox was created."},
        {1,
         "Mailboxes created, except for the lines reported: 1. Correct them and run the file "
         "again.\r\n\r\n1 mailbox was created."},
        {5,
         "Mailboxes created, except for the lines reported: 1, 2, 3, 4 and 5. Correct them "
         "and run the file again.\r\n\r\n1 mailbox was created."},
        {6,
         "Mailboxes created, except for the lines reported: 1, 2, 3, 4, 5 and 6. Correct them "
         "and run the file again.\r\n\r\n1 mailbox was created.\r\n\r\nSave the list of these "
         "lines, with what went wrong on each?"},
        {1000,
         "Mailboxes created, except for the lines reported: 1, 2, 3, 4, 5, 6, 7, 8, 9, "
         "10, and 990 more. Correct them and run the file again.\r\n\r\n1 mailbox was "
         "created.\r\n\r\nSave the list of these lines, with what went wrong on each?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reported);
        messages.shown.clear();
        std::set<int> unset;
        for (int i = 1; i <= c.reported; ++i) unset.insert(i);
        Import(Lines(c.reported + 1, unset));
        const auto boxes = std::min(c.reported, 5);
        ASSERT_EQ(messages.shown.size(), std::size_t(boxes + 1));
        EXPECT_EQ(messages.shown[0].text,
                  c.reported ? "Line 1 was passed over: the password is empty; nothing was "
                               "created for it."
                             : c.end);
        if (boxes == 5) {
            EXPECT_THAT(messages.shown[4].text,
                        ::testing::EndsWith("for it.\r\nFurther problems in this run will be "
                                            "listed at its end."));
        }
        EXPECT_EQ(messages.shown.back().text, c.end);
        EXPECT_EQ(messages.shown.back().style, c.reported > 5 ? app::kMbYesNoExclamation
                                               : c.reported   ? app::kMbOkExclamation
                                                              : app::kMbOkInformation);
        EXPECT_EQ(messages.shown.back().title, "Done");
    }
    EXPECT_EQ(mailboxes,
              (std::set<std::string>{"main/u1", "main/u2", "main/u6", "main/u7", "main/u1001"}));
}

TEST_F(Runs, DeleteListsLinesInUseOrFailedAndIgnoresThePassword) {
    mailboxes = {"main/u1", "main/u2", "main/u3"};
    files.AddFolder("/srv/mail/Postoffices/main/mailroot/u2");
    files.files["/srv/mail/Postoffices/main/mailroot/u2/inbox.msg"] = "";
    files.answers["/srv/mail/Postoffices/main/mailroot/u2/inbox.msg Look"] = {
        {base::TreeStep::kFailed, "it is in use"}};
    objects.Fail("TWAOAU.Login.RemoveLogin", "the login store is locked");
    Delete(Lines(3, {1}));
    EXPECT_THAT(Texts().back(),
                "Mailboxes deleted, except for the lines reported: 1, 2 and "
                "3.\r\n\r\nNo mailbox was deleted; 1 was in use and was kept.");
    EXPECT_EQ(Filter(log, "call TWAOAM.AddressMap.Remove").size(), 2u);
}

// A root that is no full path, or no existing folder (a typo), is refused before the file is
// read: otherwise every line would make its records and fail on its folders.
TEST_F(Runs, ImportRefusesARootThatIsNotAnExistingFolderBeforeReadingTheFile) {
    files.files["/srv/mail/notes"] = "";
    const std::pair<const char*, const char*> cases[] = {
        {"", "must be a full path."},
        {"Postoffices", "must be a full path."},
        {"./mail", "must be a full path."},
        {"/srv/mail/Postofices", "does not exist."},
        {"/srv/mail/notes", "is not a folder."},
    };
    for (const auto& [root, refusal] : cases) {
        log.clear();
        window.root = root;
        Import(Lines(1));
        EXPECT_THAT(Screen(), ElementsAre("pointer hourglass", "pointer default",
                                          "box 16 Error The root post office directory " +
                                              std::string(refusal),
                                          "focus txtRoot"));
    }
    EXPECT_EQ(files.opened, 0);
    EXPECT_THAT(Filter(log, "create"), IsEmpty());
}

// When the end cannot show every reported line with its reason, it offers the whole list: Yes
// writes it where the save dialog says, a failed save is told and the question asked again, No
// or a cancel writes nothing.
TEST_F(Runs, AnEndThatCannotShowEveryLineOffersToSaveTheList) {
    std::string file;
    for (int i = 1; i <= 8; ++i) file += "main,u" + std::to_string(i) + "@example.com,\n";
    file += "main;bob@example.com;secret\n=cmd,\"x\"@example.com,pw\n";
    files.failWrite = {{"/full/list.csv", "No space left on device"}};
    messages.answers = {kAnswerOk, kAnswerOk,  kAnswerOk, kAnswerOk,
                        kAnswerOk, kAnswerYes, kAnswerOk, kAnswerYes};
    save.answers = {"/full/list.csv", "/lists/in.csv"};
    Import(file);
    EXPECT_THAT(Filter(log, "save"), ElementsAre("save Save the list of lines /in-lines.csv",
                                                 "save Save the list of lines /in-lines.csv"));
    EXPECT_THAT(Texts().end()[-3], EndsWith("\r\n\r\nSave the list of these lines, with what "
                                            "went wrong on each?"));
    EXPECT_EQ(Texts().end()[-2],
              "The list could not be saved: cannot write the file '/full/list.csv': No space left "
              "on device");
    EXPECT_EQ(messages.shown.back().style, kMbYesNoExclamation);
    EXPECT_EQ(messages.shown.back().title, "Done");
    const std::string& written = files.files.at("/lists/in.csv");
    EXPECT_EQ(written.find("secret"), std::string::npos);
    EXPECT_EQ(
        written,
        "\xEF\xBB\xBFline,postoffice,address,what went wrong\r\n"
        "1,main,u1@example.com,Line 1 was passed over: the password is empty; nothing was "
        "created for it.\r\n"
        "2,main,u2@example.com,Line 2 was passed over: the password is empty; nothing was "
        "created for it.\r\n"
        "3,main,u3@example.com,Line 3 was passed over: the password is empty; nothing was "
        "created for it.\r\n"
        "4,main,u4@example.com,Line 4 was passed over: the password is empty; nothing was "
        "created for it.\r\n"
        "5,main,u5@example.com,Line 5 was passed over: the password is empty; nothing was "
        "created for it.\r\n"
        "6,main,u6@example.com,Line 6 was passed over: the password is empty; nothing was "
        "created for it.\r\n"
        "7,main,u7@example.com,Line 7 was passed over: the password is empty; nothing was "
        "created for it.\r\n"
        "8,main,u8@example.com,Line 8 was passed over: the password is empty; nothing was "
        "created for it.\r\n"
        "9,,,Line 9 was passed over: it holds no comma but semicolons: the fields must be "
        "separated by commas; nothing was created for it.\r\n"
        "10,'=cmd,\"\"\"x\"\"@example.com\",\"Line 10 was passed over: the address "
        "'\"\"x\"\"@example.com' holds a double quote: the fields must not be quoted; nothing "
        "was created for it.\"\r\n");

    for (const std::optional<std::string>& cancel : {std::optional<std::string>()}) {
        log.clear();
        messages.answers = {kAnswerOk, kAnswerOk, kAnswerOk, kAnswerOk, kAnswerOk, kAnswerNo};
        Import(file);
        messages.answers = {kAnswerOk, kAnswerOk, kAnswerOk, kAnswerOk, kAnswerOk, kAnswerYes};
        save.answers = {cancel};
        Import(file);
        EXPECT_THAT(Filter(log, "save"), ElementsAre("save Save the list of lines /in-lines.csv"));
        EXPECT_THAT(Filter(log, "write"), IsEmpty());
    }
}

// A line whose separators are mixed may hold its password in a field that fails its check:
// such a field is shown in no box and no column of the list.
TEST_F(Runs, LinesMixingSeparatorsShowTheirPasswordsNowhere) {
    save.answers = {"/lists/in.csv"};
    Import(
        "main,bob@example.com;Hunter2\nmain,carl@example.com Hunter3\n"
        "main,dave@example.com\tHunter4\nmain;fay@example.com;Hunter6,x@y.z\n"
        "main,j@@example.com,pw\nmain,bob,pw\nmain,ok@example.com,pw\n");
    EXPECT_EQ(mailboxes, std::set<std::string>{"main/ok"});
    const std::string invalid = "the address is not a valid e-mail address: the character ";
    const std::string nothing = "; nothing was created for it.\r\n";
    EXPECT_EQ(files.files.at("/lists/in.csv"),
              "\xEF\xBB\xBFline,postoffice,address,what went wrong\r\n"
              "1,main,,Line 1 was passed over: " +
                  invalid + "';' is not allowed in the domain" + nothing +
                  "2,main,,Line 2 was passed over: " + invalid +
                  "' ' is not allowed in the domain" + nothing +
                  "3,main,,Line 3 was passed over: the domain holds a control or format "
                  "character" +
                  nothing +
                  "4,,x@y.z,Line 4 was passed over: the post office holds a semicolon: the "
                  "fields must be separated by commas" +
                  nothing +
                  "5,main,j@@example.com,Line 5 was passed over: the address 'j@@example.com' is "
                  "not a valid e-mail address: it holds two @ signs" +
                  nothing +
                  "6,main,bob,Line 6 was passed over: the address 'bob' is not a valid e-mail "
                  "address: it holds no @ sign" +
                  nothing);
    mailboxes = {"main/eve"};
    Delete("main;eve@example.com;Hunter5;Smith, Eve\n");
    EXPECT_THAT(Texts().end()[-2], StartsWith("Line 1 was passed over: the post office holds a "
                                              "semicolon: the fields must be separated by commas"));
    for (const std::string& text : Texts()) EXPECT_EQ(text.find("Hunter"), std::string::npos);
    EXPECT_EQ(mailboxes.size(), 1u);
}

// Delete lists every line that named no existing mailbox, with its fields.
TEST_F(Runs, DeleteListsEveryLineThatNamedNoMailbox) {
    save.answers = {"/lists/gone.csv"};
    Delete(Lines(12));
    EXPECT_THAT(Texts().back(), StartsWith("Mailboxes deleted. Lines 1, 2, 3, 4, 5, 6, 7, 8, 9, "
                                           "10, and 2 more named no existing mailbox."));
    std::string expected = "\xEF\xBB\xBFline,postoffice,address,what went wrong\r\n";
    for (int i = 1; i <= 12; ++i) {
        expected += std::to_string(i) + ",main,u" + std::to_string(i) +
                    "@example.com,The line named no existing mailbox.\r\n";
    }
    EXPECT_EQ(files.files.at("/lists/gone.csv"), expected);
}

TEST_F(Runs, ProgressOpensAfterOneSecondAndIsDrawnTenTimesASecondAtMost) {
    struct Case {
        int stepMs, lines;
        const char* firstDrawn;
        std::size_t drawn;
    };
    const Case cases[] = {{0, 3, nullptr, 0},
                          {250, 2, nullptr, 0},
                          {250, 5, "progress line 4", 2},
                          {40, 50, "progress line 27", 8}};  // every 120 ms from 1.08 s
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stepMs);
        log.clear();
        clock.step = std::chrono::milliseconds(c.stepMs);
        Import(Lines(c.lines));
        const auto drawn = Filter(log, "progress line");
        ASSERT_EQ(drawn.size(), c.drawn);
        if (c.firstDrawn) {
            EXPECT_EQ(drawn.front(), c.firstDrawn);
            EXPECT_THAT(
                Filter(log, "progress open"),
                ElementsAre("progress open Importing mailboxes " + std::to_string(c.lines)));
        }
        EXPECT_FALSE(progress.open);
    }
}

TEST_F(Runs, StopEndsTheRunAfterTheCurrentLine) {
    const std::pair<std::set<int>, std::string> cases[] = {
        {{},
         "box 64 Stopped Import stopped after line 4 of 10. The lines up to 4 are done; run "
         "the file again to do the rest.\r\n\r\n4 mailboxes were created."},
        {{2},
         "box 48 Stopped Import stopped after line 4 of 10. The lines up to 4 are done, "
         "except for the lines reported: 2; run the file again to do the rest.\r\n\r\n3 "
         "mailboxes were created."},
        {{0},
         "box 64 Stopped Delete stopped after line 4 of 10. The lines up to 4 are done; run "
         "the file again to do the rest.\r\n\r\n4 mailboxes were deleted."},
    };
    for (const auto& [unset, end] : cases) {
        const bool import = !unset.count(0);
        mailboxes.clear();
        for (int i = 1; i <= 10 && !import; ++i) mailboxes.insert("main/u" + std::to_string(i));
        clock.step = std::chrono::milliseconds(300);
        progress.stopAtPump = 4;
        import ? Import(Lines(10, unset)) : Delete(Lines(10));
        EXPECT_EQ(mailboxes.size(), import ? 4u - unset.size() : 6u);
        EXPECT_EQ(Screen().back(), end);
        EXPECT_EQ(Screen().end()[-2], "pointer default");
    }
}

// From its fifth second on, the progress tells the time left at the pace so far, renewed once a
// second at most; counts are written with thousands separators.
TEST_F(Runs, ProgressTellsTheTimeLeftFromTheFifthSecond) {
    clock.step = std::chrono::milliseconds(100);  // one line each tenth of a second
    Import(Lines(1500));
    ASSERT_FALSE(progress.texts.empty());
    EXPECT_EQ(progress.texts.front(), "Line 10 of 1,500");
    EXPECT_EQ(progress.texts[39], "Line 49 of 1,500");
    EXPECT_EQ(progress.texts[40], "Line 50 of 1,500 (about 2 minutes left)");
    EXPECT_EQ(progress.texts[790], "Line 800 of 1,500 (about a minute left)");
    EXPECT_EQ(progress.texts.back(), "Line 1,500 of 1,500 (less than a minute left)");
}

}  // namespace
}  // namespace seedwell::app
