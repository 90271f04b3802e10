#include "support/import_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/fakes/recording.h"

namespace seedwell::support {
namespace {

enum class Run { kImport, kDelete };

// What a run takes from a line: why it is passed over, and its columns in the list.
struct Taken {
    std::optional<std::string> problem;
    std::string postoffice, address;
};

std::optional<Taken> Take(const platform::FileSystem& files, Run run, const std::string& line) {
    if (run == Run::kImport) {
        const auto taken = TakeImportLine(files, line);
        if (!taken) return std::nullopt;
        return Taken{taken->problem, taken->shownPostoffice, taken->shownAddress};
    }
    const auto taken = TakeDeleteLine(files, line);
    if (!taken) return std::nullopt;
    return Taken{taken->problem, taken->shownPostoffice, taken->shownAddress};
}

class ImportLines : public ::testing::Test {
  protected:
    fakes::Log log;
    fakes::FakeFileSystem files{log};
};

TEST_F(ImportLines, OnlyAnEmptyLineAndAHeaderArePassedOverSilently) {
    for (const char* line :
         {"", "postoffice,emailaddress,password", "PostOffice,EmailAddress,PASSWORD"}) {
        EXPECT_EQ(Take(files, Run::kImport, line), std::nullopt) << line;
        EXPECT_EQ(Take(files, Run::kDelete, line), std::nullopt) << line;
    }
    for (const char* line : {"postoffice,mailbox", "Postoffice,Emailaddress"}) {
        EXPECT_EQ(Take(files, Run::kDelete, line), std::nullopt) << line;
        const auto taken = Take(files, Run::kImport, line);
        ASSERT_TRUE(taken) << line;
        EXPECT_TRUE(taken->problem) << line;
    }
    for (const char* line : {" ", "postoffice,emailaddress,password,", "postoffice;mailbox"}) {
        const auto taken = Take(files, Run::kImport, line);
        ASSERT_TRUE(taken) << line;
        EXPECT_TRUE(taken->problem) << line;
    }
}

TEST_F(ImportLines, AUsableLineKeepsItsFieldsAsTheFileHoldsThem) {
    const auto imported = TakeImportLine(files, "main,j.smith@example.com,pw,extra");
    ASSERT_TRUE(imported);
    EXPECT_EQ(imported->problem, std::nullopt);
    EXPECT_EQ(imported->mailboxName, "j.smith");
    EXPECT_EQ(imported->domain, "example.com");
    EXPECT_EQ(imported->password, "pw");
    EXPECT_EQ(imported->shownAddress, "j.smith@example.com");
    const auto deleted = TakeDeleteLine(files, "sales,ann");
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->problem, std::nullopt);
    EXPECT_EQ(deleted->mailboxName, "ann");
    EXPECT_EQ(deleted->shownPostoffice, "sales");
}

// A line that names no mailbox, or cannot be what the operator meant, is passed over with its
// reason. A field that fails its check and holds a semicolon, a tab, a blank or a vertical bar
// (another export's separator, and perhaps the password after it) is shown nowhere.
struct LineCase {
    Run run;
    std::string line;
    std::string problem;     // empty when the line can be used
    std::string postoffice;  // the columns in the list
    std::string address;
    std::string secret = "pw";                  // shown nowhere
    base::PathRules rules = base::kPosixRules;  // of the file system the folders are made on
};

class Lines : public ImportLines, public ::testing::WithParamInterface<LineCase> {};

// A case is named by its place in its table: its bytes hold pointers that differ between the
// run that lists the tests and the one that runs them.
std::string Numbered(const ::testing::TestParamInfo<LineCase>& info) {
    return std::to_string(info.index);
}

TEST_P(Lines, ArePassedOverWithTheirReasonAndShowNoPassword) {
    const LineCase& c = GetParam();
    const fakes::FakeFileSystem system(log, c.rules);
    const auto taken = Take(system, c.run, c.line);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->problem.value_or(""), c.problem);
    EXPECT_EQ(taken->postoffice, c.postoffice);
    EXPECT_EQ(taken->address, c.address);
    for (const std::string& shown :
         {taken->problem.value_or(""), taken->postoffice, taken->address}) {
        EXPECT_EQ(shown.find(c.secret), std::string::npos) << shown;
    }
}

const std::string kCommas = ": the fields must be separated by commas";
const std::string kInvalid = "the address is not a valid e-mail address: the character ";

INSTANTIATE_TEST_SUITE_P(
    MixedSeparators, Lines,
    ::testing::Values(
        LineCase{Run::kImport, "main,bob@example.com;Hunter2",
                 kInvalid + "';' is not allowed in the domain", "main", "", "Hunter2"},
        LineCase{Run::kImport, "main,carl@example.com Hunter3",
                 kInvalid + "' ' is not allowed in the domain", "main", "", "Hunter3"},
        LineCase{Run::kImport, "main,dave@example.com\tHunter4",
                 "the domain holds a control or format character", "main", "", "Hunter4"},
        LineCase{Run::kImport, "main;fay@example.com;Hunter6,x@y.z",
                 "the post office holds a semicolon" + kCommas, "", "x@y.z", "Hunter6"},
        LineCase{Run::kDelete, "main;eve@example.com;Hunter5;Smith, Eve",
                 "the post office holds a semicolon" + kCommas, "", "", "Hunter5"},
        LineCase{Run::kImport, "main|gil@example.com|Hunter7,x@y.z",
                 "the post office holds a vertical bar" + kCommas, "", "x@y.z", "Hunter7"},
        LineCase{Run::kImport, "main;a|b,x@y.z",
                 "the post office holds a semicolon and a vertical bar" + kCommas, "", "x@y.z"},
        LineCase{Run::kImport, "main|gil@example.com|Hunter7",
                 "it holds no comma but vertical bars" + kCommas, "", "", "Hunter7"},
        LineCase{Run::kDelete, "main bob@example.com Hunter8",
                 "it holds no comma but blanks" + kCommas, "", "", "Hunter8"},
        LineCase{Run::kImport, "main;a@x.com\tpw|x",
                 "it holds no comma but semicolons, tabs and vertical bars" + kCommas, "", ""},
        LineCase{Run::kImport, "main,bob@example.com|Hunter9",
                 kInvalid + "'|' is not allowed in the domain", "main", "", "Hunter9"},
        LineCase{Run::kImport, "main,bob;Hunter10@example.com",
                 kInvalid + "';' is not allowed before the @", "main", "", "Hunter10"},
        LineCase{Run::kImport, "main,bob@example.com ,Hunter11", "the address ends with a blank",
                 "main", "", "Hunter11"},
        LineCase{Run::kImport, "main, carol@example.com, secret", "the address begins with a blank",
                 "main", "", "secret"},
        LineCase{Run::kImport, "main\t,bob@example.com,pw", "the post office ends with a blank", "",
                 "bob@example.com"},
        LineCase{Run::kImport, "main\tfay@example.com\tHunter12,x@y.z,pw",
                 "the post office name holds a control or format character", "", "x@y.z",
                 "Hunter12"},
        LineCase{Run::kImport, "main,\"bob@example.com;Hunter13\",pw",
                 "the address holds a double quote: the fields must not be quoted", "main", "",
                 "Hunter13"},
        LineCase{Run::kDelete, "main,bob Hunter14", "", "main", "bob Hunter14", "\t"},
        // A password may hold anything but a comma.
        LineCase{Run::kImport, "main,bob@example.com,pw;x y|z", "", "main", "bob@example.com",
                 "\t"}),
    Numbered);

INSTANTIATE_TEST_SUITE_P(
    NamingNoMailbox, Lines,
    ::testing::Values(
        LineCase{Run::kImport, "main,j@@example.com,pw",
                 "the address 'j@@example.com' is not a valid e-mail address: it holds two @ "
                 "signs",
                 "main", "j@@example.com"},
        LineCase{Run::kImport, "main,@x f@example.com,pw",
                 "the address is not a valid e-mail address: it holds two @ signs", "main", ""},
        LineCase{Run::kDelete, "main,@x",
                 "the address '@x' is not a valid e-mail address: the part before the @ is "
                 "empty",
                 "main", "@x"},
        LineCase{Run::kImport, "main,bob,pw",
                 "the address 'bob' is not a valid e-mail address: it holds no @ sign", "main",
                 "bob"},
        LineCase{Run::kImport, "main,bob@,pw",
                 "the address 'bob@' is not a valid e-mail address: the domain is empty", "main",
                 "bob@"},
        LineCase{Run::kImport, ",x@example.com,pw", "the post office is empty", "",
                 "x@example.com"},
        LineCase{Run::kDelete, ",,", "the post office is empty", "", ""},
        LineCase{Run::kImport, "main,,pw", "the address is empty", "main", ""},
        LineCase{Run::kImport, "main", "the address is empty", "main", ""},
        LineCase{Run::kDelete, "main,", "the mailbox name is empty", "main", ""},
        LineCase{Run::kImport, "main,a@example.com,", "the password is empty", "main",
                 "a@example.com"}),
    Numbered);

// The checks that the runs used to make on the fields, now made here.
INSTANTIATE_TEST_SUITE_P(
    UnusableFields, Lines,
    ::testing::Values(
        LineCase{Run::kImport, "main,a@example.com,p\x01w",
                 "the password holds a control character", "main", "a@example.com", "p\x01w"},
        LineCase{Run::kImport, "main,a@example.com,p\xC2\x85w",
                 "the password holds a control character", "main", "a@example.com", "p\xC2\x85w"},
        LineCase{Run::kImport, "main,a@example.com,p\xE2\x80\x8Dw", "", "main", "a@example.com",
                 "p\xE2\x80\x8Dw"},
        LineCase{Run::kImport, "main,b@exa\x1Bmple.com,pw",
                 "the domain 'exa\\x1Bmple.com' holds a control or format character", "main",
                 "b@exa\x1Bmple.com"},
        LineCase{Run::kDelete, "main,b@exa\x1Bmple.com",
                 "the address 'b@exa\\x1Bmple.com' holds a control or format character", "main",
                 "b@exa\x1Bmple.com"},
        LineCase{Run::kImport, "ma\xC2\x85in,c@example.com,pw",
                 "the post office name 'ma\\x85in' holds a control or format character",
                 "ma\xC2\x85in", "c@example.com"},
        LineCase{Run::kDelete, "ma\xE2\x80\xAEin,c@example.com",
                 "the post office name 'ma\\u{202E}in' holds a control or format character",
                 "ma\xE2\x80\xAEin", "c@example.com"},
        LineCase{Run::kImport, "main,nul@example.com,pw",
                 "the mailbox name 'nul' is a device on Windows", "main", "nul@example.com", "pw",
                 base::kWindowsRules},
        LineCase{Run::kImport, "main,f@ example.com,pw", "the domain begins with a blank", "main",
                 ""},
        LineCase{Run::kDelete, "main,f@ example.com", kInvalid + "' ' is not allowed in the domain",
                 "main", ""},
        LineCase{Run::kImport, "\"main\",g@example.com,pw",
                 "the post office '\"main\"' holds a double quote: the fields must not be quoted",
                 "\"main\"", "g@example.com"},
        LineCase{Run::kImport, "main,h@example.com,\"pw\"",
                 "the password begins with a double quote: the fields must not be quoted", "main",
                 "h@example.com"},
        LineCase{Run::kDelete, "main,h@example.com,\"pw\"", "", "main", "h@example.com"},
        LineCase{Run::kImport, "..,x@example.com,pw",
                 "the post office name '..' cannot be a folder name", "..", "x@example.com"},
        LineCase{Run::kImport, "main,../../etc@example.com,pw",
                 "the mailbox name '../../etc' holds a folder separator", "main",
                 "../../etc@example.com"}),
    Numbered);

// Windows refuses a vertical bar in a folder name: its description leaves the name out too.
TEST(ImportLine, AFolderNameThatTheFileSystemRefusesIsShownByItsRulesAlone) {
    fakes::Log log;
    fakes::FakeFileSystem windows(log, base::kWindowsRules);
    const auto taken = TakeImportLine(windows, "main,a|Hunter2@example.com,pw");
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->problem,
              "the mailbox name holds a character that Windows does not allow in names");
    EXPECT_EQ(taken->shownAddress, "");
}

}  // namespace
}  // namespace seedwell::support
