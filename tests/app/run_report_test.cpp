#include "app/run_report.h"

#include <gtest/gtest.h>

#include "app/screen.h"

namespace seedwell::app {
namespace {

// A report of `kind` with the lines `reported` reported and `missing` naming no mailbox.
RunReport Report(RunKind kind, long reported = 0, long missing = 0) {
    RunReport report;
    report.kind = kind;
    report.total = 40;
    report.anyNamed = true;
    for (long line = 1; line <= reported; ++line) report.reported.Add(line);
    for (long line = 21; line < 21 + missing; ++line) report.missing.Add(line);
    return report;
}

struct EndCase {
    const char* what;
    RunReport report;
    std::string text;
    BoxStyle style;
    std::optional<std::string> title;
};

TEST(EndOf, TellsTheEndAndWhatTheRunDid) {
    RunReport mixed = Report(RunKind::kImport);
    mixed.created = 3;
    mixed.existing = 3;
    mixed.completed = 1;
    RunReport one = Report(RunKind::kImport, 2);
    one.created = 1;
    one.existing = 1;
    RunReport many = Report(RunKind::kImport);
    many.created = 2562;
    many.existing = 188;
    many.completed = 3;
    RunReport deleted = Report(RunKind::kDelete, 1, 1);
    deleted.deleted = 2;
    deleted.inUse = 1;
    RunReport inUse = Report(RunKind::kDelete, 3);
    inUse.inUse = 3;
    RunReport stopped = Report(RunKind::kImport, 1);
    stopped.end = RunReport::End::kStopped;
    stopped.stoppedAfter = 1200;
    stopped.total = 100'000;
    stopped.created = 1199;
    RunReport failed = Report(RunKind::kDelete, 2, 1);
    failed.end = RunReport::End::kFailed;
    failed.failure = "line 9: the record store is locked";
    RunReport unboxed = Report(RunKind::kImport, 3);
    unboxed.unboxed = true;
    RunReport longList = Report(RunKind::kDelete, 0, 12);
    RunReport nothing = Report(RunKind::kImport, 2);
    nothing.anyNamed = false;

    const EndCase cases[] = {
        {"a mixed import", mixed,
         "Mailboxes created.\r\n\r\n3 mailboxes were created; 3 lines named mailboxes that "
         "already existed, and their passwords were left as they were. Missing folders were made "
         "again for 1 mailbox.",
         kMbOkInformation, "Done"},
        {"one of each", one,
         "Mailboxes created, except for the lines reported: 1 and 2. Correct them and run the "
         "file again.\r\n\r\n1 mailbox was created; 1 line named a mailbox that already "
         "existed, and its password was left as it was.",
         kMbOkExclamation, "Done"},
        {"counts from a thousand on", many,
         "Mailboxes created.\r\n\r\n2,562 mailboxes were created; 188 lines named mailboxes "
         "that already existed, and their passwords were left as they were. Missing folders "
         "were made again for 3 mailboxes.",
         kMbOkInformation, "Done"},
        {"nothing created", Report(RunKind::kImport, 1),
         "Mailboxes created, except for the lines reported: 1. Correct them and run the file "
         "again.\r\n\r\nNo mailbox was created.",
         kMbOkExclamation, "Done"},
        {"a delete with one in use", deleted,
         "Mailboxes deleted, except for the lines reported: 1. Line 21 named no existing "
         "mailbox.\r\n\r\n2 mailboxes were deleted; 1 was in use and was kept.",
         kMbOkExclamation, "Done"},
        {"all in use", inUse,
         "Mailboxes deleted, except for the lines reported: 1, 2 and 3.\r\n\r\nNo mailbox was "
         "deleted; 3 were in use and were kept.",
         kMbOkExclamation, "Done"},
        {"stopped", stopped,
         "Import stopped after line 1,200 of 100,000. The lines up to 1,200 are done, except for "
         "the lines reported: 1; run the file again to do the rest.\r\n\r\n1,199 mailboxes "
         "were created.",
         kMbOkExclamation, "Stopped"},
        {"failed", failed,
         "Error importing:line 9: the record store is locked\r\nThe lines reported before it: 1 "
         "and 2. Line 21 named no existing mailbox.\r\n\r\nNo mailbox was deleted.",
         kMbOk, std::nullopt},
        {"more reports than boxes", unboxed,
         "Mailboxes created, except for the lines reported: 1, 2 and 3. Correct them and run the "
         "file again.\r\n\r\nNo mailbox was created.\r\n\r\nSave the list of these lines, "
         "with what went wrong on each?",
         kMbYesNoExclamation, "Done"},
        {"a list that stops at and N more", longList,
         "Mailboxes deleted. Lines 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, and 2 more named no "
         "existing mailbox.\r\n\r\nNo mailbox was deleted.\r\n\r\nSave the list of these "
         "lines, with what went wrong on each?",
         kMbYesNoExclamation, "Done"},
        {"no line names a mailbox", nothing,
         "No line of the file names a mailbox: each line must read "
         "postoffice,emailaddress,password. The lines reported: 1 and 2.",
         kMbOkExclamation, "Done"},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.what);
        const EndMessage end = EndOf(c.report);
        EXPECT_EQ(end.text, c.text);
        EXPECT_EQ(end.style, c.style);
        EXPECT_EQ(end.title, c.title);
    }
}

TEST(ProgressText, TellsTheLineAndTheTimeLeftWhenKnown) {
    EXPECT_EQ(ProgressText(2562, 100'000, std::nullopt), "Line 2,562 of 100,000");
    EXPECT_EQ(ProgressText(50, 1500, std::chrono::seconds(120)),
              "Line 50 of 1,500 (about 2 minutes left)");
}

TEST(TimeLeft, IsRoundedToTheMinuteOrTheHour) {
    const std::pair<long, const char*> cases[] = {
        {0, "less than a minute left"},
        {59, "less than a minute left"},
        {60, "about a minute left"},
        {89, "about a minute left"},
        {90, "about 2 minutes left"},
        {2400, "about 40 minutes left"},
        {3569, "about 59 minutes left"},
        {3570, "about an hour left"},
        {5399, "about an hour left"},
        {5400, "about 2 hours left"},
        {36'000'000, "about 10,000 hours left"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(TimeLeft(std::chrono::seconds(seconds)), text) << seconds;
    }
}

}  // namespace
}  // namespace seedwell::app
