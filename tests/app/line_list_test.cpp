#include "app/line_list.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/fakes/recording.h"

namespace seedwell::app {
namespace {

// What a list writes, without its byte-order mark and header.
std::string Rows(const ListedLines& list) {
    fakes::Log log;
    fakes::FakeFileSystem files(log);
    list.Write(*files.OpenForWriting("/list.csv"));
    const std::string header = "\xEF\xBB\xBFline,postoffice,address,what went wrong\r\n";
    const std::string& written = files.files.at("/list.csv");
    EXPECT_EQ(written.substr(0, header.size()), header);
    return written.substr(header.size());
}

TEST(ListedLines, FieldsAreQuotedPrintableAndNeverAFormula) {
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
        ListedLines list;
        list.Add(7, c.postoffice, c.address, c.reason);
        EXPECT_EQ(Rows(list), c.row) << c.row;
    }
}

TEST(ListedLines, KeepsOneRowPerLineAndCountsWhatItDoesNotKeep) {
    ListedLines list;
    list.Add(3, "main", "a@x.com", "first");
    list.Add(3, "main", "a@x.com", "second");
    list.Add(4, std::string(5000, 'p'), "b@x.com", std::string(5000, 'r'));
    EXPECT_EQ(list.Count(), 2);
    const std::string rows = Rows(list);
    EXPECT_EQ(rows.substr(0, 30), "3,main,a@x.com,\"first\r\nsecond\"");
    EXPECT_EQ(rows.find(std::string(1025, 'p')), std::string::npos);
    EXPECT_NE(rows.find(std::string(1024, 'p') + "...,b@x.com," + std::string(4096, 'r') + "..."),
              std::string::npos);

    ListedLines many;
    const long total = static_cast<long>(ListedLines::kMaxKept) + 123'456;
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
TEST(ListedLines, KeepsRowsUpToABoundInBytes) {
    ListedLines list;
    const std::string field(1100, 'f');
    const long total = 40'000;
    for (long line = 1; line <= total; ++line) list.Add(line, field, field, "r");
    const std::string rows = Rows(list);
    EXPECT_LE(rows.size(), ListedLines::kMaxKeptBytes + 200);
    EXPECT_GT(rows.size(), ListedLines::kMaxKeptBytes - 3000);
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
    fakes::FakeFileSystem posix(log), windows(log, '\\');
    EXPECT_EQ(ProposedListPath(posix, "/in/users.csv"), "/in/users-lines.csv");
    EXPECT_EQ(ProposedListPath(posix, "/in/a.b.txt"), "/in/a.b-lines.csv");
    EXPECT_EQ(ProposedListPath(posix, "/in/.hidden"), "/in/.hidden-lines.csv");
    EXPECT_EQ(ProposedListPath(posix, "users"), "users-lines.csv");
    EXPECT_EQ(ProposedListPath(windows, "C:\\in\\users.csv"), "C:\\in\\users-lines.csv");
    EXPECT_EQ(ProposedListPath(windows, "C:/in.d/users"), "C:/in.d/users-lines.csv");
}

}  // namespace
}  // namespace seedwell::app
