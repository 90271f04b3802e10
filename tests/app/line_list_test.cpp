#include "app/line_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/fakes/fake_screen.h"
#include "tests/fakes/recording.h"

namespace seedwell::app {
namespace {

// What a list writes, without its byte-order mark and header.
std::string Rows(const ListOfLines& list) {
    fakes::Log log;
    fakes::FakeFileSystem files(log);
    files.WriteFile("/list.csv", [&list](platform::ByteSink& sink) { list.Write(sink); });
    const std::string header = "\xEF\xBB\xBFline,postoffice,address,what went wrong\r\n";
    const std::string& written = files.files.at("/list.csv");
    EXPECT_EQ(written.substr(0, header.size()), header);
    return written.substr(header.size());
}

TEST(ListOfLines, FieldsAreQuotedPrintableAndNeverAFormula) {
    const struct {
        std::string postoffice, address, reason, row;
    } cases[] = {
        {"main", "a@x.com", "why", "7,main,a@x.com,why\r\n"},
        {"ma,in", "\"a\"@x.com", "one\r\ntwo",
         "7,\"ma,in\",\"\"\"a\"\"@x.com\",\"one\r\ntwo\"\r\n"},
        {"m\x01n", "a\tb", "", "7,m\\x01n,a\\x09b,\r\n"},
        {"=1+1", "@SUM(A1)", "-2", "7,'=1+1,'@SUM(A1),'-2\r\n"},
        {"+main", "", "", "7,'+main,,\r\n"},
    };
    for (const auto& c : cases) {
        ListOfLines list;
        list.Add(7, c.postoffice, c.address, c.reason);
        EXPECT_EQ(Rows(list), c.row) << c.row;
    }
}

TEST(ListOfLines, KeepsOneRowPerLineAndCountsWhatItDoesNotKeep) {
    ListOfLines list;
    list.Add(3, "main", "a@x.com", "first");
    list.Add(3, "main", "a@x.com", "second");
    list.Add(4, std::string(5000, 'p'), "b@x.com", std::string(5000, 'r'));
    EXPECT_EQ(list.Count(), 2);
    const std::string rows = Rows(list);
    EXPECT_EQ(rows.substr(0, 30), "3,main,a@x.com,\"first\r\nsecond\"");
    EXPECT_EQ(rows.find(std::string(1025, 'p')), std::string::npos);
    EXPECT_NE(rows.find(std::string(1024, 'p') + "...,b@x.com," + std::string(4096, 'r') + "..."),
              std::string::npos);

    ListOfLines many;
    const long total = static_cast<long>(ListOfLines::kMaxKept) + 123'456;
    for (long line = 1; line <= total; ++line) many.Add(line, "", "", "r");
    EXPECT_EQ(many.Count(), total);
    const std::string all = Rows(many);
    EXPECT_NE(all.find("100000,,,r\r\n,,,\"\xE2\x80\xA6"
                       "and 123,456 more lines were listed; "
                       "correct these and run the file again to see the rest.\"\r\n"),
              std::string::npos);
}

// Rows of long fields are kept up to a number of bytes, not only of rows, and the first
// lines are the ones kept.
TEST(ListOfLines, KeepsRowsUpToABoundInBytes) {
    ListOfLines list;
    const std::string field(1100, 'f');
    const long total = 40'000;
    for (long line = 1; line <= total; ++line) list.Add(line, field, field, "r");
    const std::string rows = Rows(list);
    EXPECT_LE(rows.size(), ListOfLines::kMaxKeptBytes + 200);
    EXPECT_GT(rows.size(), ListOfLines::kMaxKeptBytes - 3000);
    const std::size_t kept = std::count(rows.begin(), rows.end(), '\n') - 1;
    EXPECT_EQ(rows.substr(0, 2), "1,");
    EXPECT_NE(rows.find("\xE2\x80\xA6"
                        "and " +
                        Grouped(total - static_cast<long>(kept)) + " more lines were listed"),
              std::string::npos);
}

TEST(Grouped, PutsACommaBetweenThousands) {
    const std::pair<long, const char*> cases[] = {
        {0, "0"}, {999, "999"}, {1000, "1,000"}, {999990, "999,990"}, {-1234567, "-1,234,567"}};
    for (const auto& [number, text] : cases) EXPECT_EQ(Grouped(number), text);
}

TEST(ProposedListPath, IsTheImportFilesNameWithoutItsExtensionInItsFolder) {
    fakes::Log log;
    fakes::FakeFileSystem posix(log), windows(log, base::kWindowsRules);
    EXPECT_EQ(ProposedListPath(posix, "/in/users.csv"), "/in/users-lines.csv");
    EXPECT_EQ(ProposedListPath(posix, "/in/a.b.txt"), "/in/a.b-lines.csv");
    EXPECT_EQ(ProposedListPath(posix, "/in/.hidden"), "/in/.hidden-lines.csv");
    EXPECT_EQ(ProposedListPath(posix, "users"), "users-lines.csv");
    EXPECT_EQ(ProposedListPath(windows, "C:\\in\\users.csv"), "C:\\in\\users-lines.csv");
    EXPECT_EQ(ProposedListPath(windows, "C:/in.d/users"), "C:/in.d/users-lines.csv");
}

// The end that offers the list, with an import file holding passwords beside where it goes.
class OfferedList : public ::testing::Test {
  protected:
    OfferedList() {
        files.files = {{"/in/users.csv", "main,a@example.com,secret\r\n"},
                       {"/out/list.csv", "the old list"}};
        list.Add(1, "main", "a@example.com", "why");
    }
    void Offer() {
        OfferList(files, messages, save, "/in/users.csv", list,
                  "The end.\r\n\r\nSave the list of these lines, with what went wrong on each?",
                  "Done");
    }
    std::vector<std::string> Boxes() const { return fakes::Filter(log, "box "); }

    fakes::Log log;
    fakes::FakeFileSystem files{log};
    fakes::FakeMessageBox messages{log};
    fakes::FakeSaveDialog save{log};
    ListOfLines list;
    const std::string question =
        "box 52 Done The end.\r\n\r\nSave the list of these lines, with what went wrong on each?";
};

// The list holds no passwords: over the import file, by its own path or by a link to it, it
// would lose them. Refused, and the question asked again.
TEST_F(OfferedList, RefusesTheImportFileByAnyPathAndAsksAgain) {
    files.links = {{"/in/link.csv", "/in/users.csv"}};
    save.answers = {"/in/users.csv", "/in/link.csv", "/out/list.csv"};
    Offer();
    const std::string refusal =
        "box 48 - The list cannot be saved over the import file. Choose another name.";
    EXPECT_THAT(Boxes(), ::testing::ElementsAre(question, refusal, question, refusal, question));
    EXPECT_THAT(fakes::Filter(log, "write"), ::testing::ElementsAre("write /out/list.csv"));
    EXPECT_EQ(files.files.at("/in/users.csv"), "main,a@example.com,secret\r\n");
    EXPECT_NE(files.files.at("/out/list.csv").find("1,main,a@example.com,why"), std::string::npos);
}

// A disk that fills part way through the list: told, and asked again; the file it was to
// replace keeps its content, a new name is not made, nothing is left behind.
TEST_F(OfferedList, AFullDiskLeavesEveryFileAsItWasAndAsksAgain) {
    const auto before = files.files;
    files.spaceLeft = 10;
    save.answers = {"/out/list.csv", "/out/new.csv"};
    messages.answers = {kAnswerYes, kAnswerOk, kAnswerYes, kAnswerOk, kAnswerNo};
    Offer();
    const auto full = [](const std::string& path) {
        return "box 0 - The list could not be saved: cannot write the file '" + path +
               "': No space left on device";
    };
    EXPECT_THAT(Boxes(), ::testing::ElementsAre(question, full("/out/list.csv"), question,
                                                full("/out/new.csv"), question));
    EXPECT_EQ(files.files, before);
}

}  // namespace
}  // namespace seedwell::app
