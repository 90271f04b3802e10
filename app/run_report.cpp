#include "app/run_report.h"

#include "app/screen.h"
#include "base/printable.h"
#include "support/import_line.h"

namespace seedwell::app {
namespace {

constexpr std::size_t kListedPostoffices = 5;
constexpr std::string_view kFailurePrefix = "Error importing:";
constexpr std::string_view kReportedBefore = "The lines reported before it: ";
constexpr std::string_view kSaveQuestion =
    "Save the list of these lines, with what went wrong on each?";

// What differs between the ends of the two runs.
struct RunTexts {
    std::string_view name;        // "Import", in "Import stopped after line ..."
    std::string_view done;        // the end when no line was reported
    std::string_view doneExcept;  // the end when lines were, up to their list
    std::string_view advice;      // what follows the list
    std::string_view lineForm;    // what a line must read
};

constexpr RunTexts kImportTexts{
    "Import", "Mailboxes created.",
    "Mailboxes created, except for the lines reported: ", ". Correct them and run the file again.",
    "postoffice,emailaddress,password"};
constexpr RunTexts kDeleteTexts{"Delete", "Mailboxes deleted.",
                                "Mailboxes deleted, except for the lines reported: ", ".",
                                "postoffice,emailaddress or postoffice,mailbox"};

// "1 mailbox was created", "2,562 mailboxes were created" or "No mailbox was created".
std::string Counted(long count, std::string_view done) {
    if (count == 0) return "No mailbox was " + std::string(done);
    if (count == 1) return "1 mailbox was " + std::string(done);
    return Grouped(count) + " mailboxes were " + std::string(done);
}

// "Lines 2 and 4 named no existing mailbox.", or empty text when there are none.
std::string MissingText(const LineNumbers& missing) {
    if (missing.Count() == 0) return "";
    return std::string(missing.Count() == 1 ? "Line " : "Lines ") + missing.Text() +
           " named no existing mailbox.";
}

// `first` and `second` as one text, a blank between them when both are there.
std::string Joined(std::string first, const std::string& second) {
    if (!first.empty() && !second.empty()) first += ' ';
    return first + second;
}

}  // namespace

void LineNumbers::Add(long line) {
    ++count_;
    if (shown_.size() < kShown) shown_.push_back(std::to_string(line));
}

std::string LineNumbers::Text() const {
    return JoinList(shown_, count_ - static_cast<long>(shown_.size()));
}

std::string JoinList(const std::vector<std::string>& items, long unlisted) {
    std::string list;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) list += (i + 1 == items.size() && unlisted == 0) ? " and " : ", ";
        list += items[i];
    }
    if (unlisted > 0) list += ", and " + Grouped(unlisted) + " more";
    return list;
}

bool OffersList(const RunReport& report) {
    const auto shown = static_cast<long>(LineNumbers::kShown);
    return report.unboxed || report.reported.Count() > shown || report.missing.Count() > shown;
}

std::string CountSentence(const RunReport& report) {
    if (report.kind == RunKind::kDelete) {
        std::string text = Counted(report.deleted, "deleted");
        if (report.inUse == 1) text += "; 1 was in use and was kept";
        if (report.inUse > 1) text += "; " + Grouped(report.inUse) + " were in use and were kept";
        return text + ".";
    }
    std::string text = Counted(report.created, "created");
    if (report.existing == 1) {
        text +=
            "; 1 line named a mailbox that already existed, and its password was left as it "
            "was";
    } else if (report.existing > 1) {
        text += "; " + Grouped(report.existing) +
                " lines named mailboxes that already existed, and their passwords were left as "
                "they were";
    }
    text += ".";
    if (report.completed == 1) text += " Missing folders were made again for 1 mailbox.";
    if (report.completed > 1) {
        text += " Missing folders were made again for " + Grouped(report.completed) + " mailboxes.";
    }
    return text;
}

EndMessage EndOf(const RunReport& report) {
    const RunTexts& texts = report.kind == RunKind::kImport ? kImportTexts : kDeleteTexts;
    const bool anyReported = report.reported.Count() > 0;
    const std::string missing = MissingText(report.missing);
    EndMessage end{"", anyReported ? kMbOkExclamation : kMbOkInformation, "Done"};
    bool counted = true;
    if (report.end == RunReport::End::kFailed) {
        std::string before;
        if (anyReported) before = std::string(kReportedBefore) + report.reported.Text() + ".";
        before = Joined(before, missing);
        end.text = std::string(kFailurePrefix) + report.failure;
        if (!before.empty()) end.text += "\r\n" + before;
        end.style = kMbOk;
        end.title = std::nullopt;
    } else if (report.end == RunReport::End::kStopped) {
        const std::string n = Grouped(report.stoppedAfter);
        end.text = std::string(texts.name) + " stopped after line " + n + " of " +
                   Grouped(report.total) + ". The lines up to " + n + " are done";
        if (anyReported) end.text += ", except for the lines reported: " + report.reported.Text();
        end.text += "; run the file again to do the rest.";
        end.title = "Stopped";
    } else if (!report.anyNamed) {
        end.text = "No line of the file names a mailbox: each line must read " +
                   std::string(texts.lineForm) + ".";
        if (anyReported) end.text += " The lines reported: " + report.reported.Text() + ".";
        end.style = kMbOkExclamation;
        counted = false;
    } else if (!anyReported) {
        end.text = Joined(std::string(texts.done), missing);
    } else {
        end.text = Joined(
            std::string(texts.doneExcept) + report.reported.Text() + std::string(texts.advice),
            missing);
    }
    if (counted) end.text += "\r\n\r\n" + CountSentence(report);
    if (OffersList(report)) {
        end.text += "\r\n\r\n" + std::string(kSaveQuestion);
        end.style = kMbYesNoExclamation;
    }
    return end;
}

void DeleteSummary::Add(const std::string& line) {
    const auto taken = support::TakeDeleteLine(files_, line);
    if (!taken || taken->problem) return;
    ++mailboxes_;
    if (postoffices_.insert(taken->postoffice).second && shown_.size() < kListedPostoffices) {
        shown_.push_back(base::Printable(taken->postoffice));
    }
}

std::string DeleteSummary::Text() const {
    if (mailboxes_ == 0) return "The file names no mailbox.";
    const long unlisted = static_cast<long>(postoffices_.size() - shown_.size());
    return "The file names " + Grouped(mailboxes_) + (mailboxes_ == 1 ? " mailbox" : " mailboxes") +
           ", in the post office" + (postoffices_.size() == 1 ? " " : "s ") +
           JoinList(shown_, unlisted) + ".";
}

std::string TimeLeft(std::chrono::seconds left) {
    using std::chrono::seconds;
    if (left < seconds(60)) return "less than a minute left";
    const long minutes = static_cast<long>((left.count() + 30) / 60);
    if (minutes == 1) return "about a minute left";
    if (minutes < 60) return "about " + std::to_string(minutes) + " minutes left";
    const long hours = static_cast<long>((left.count() + 1800) / 3600);
    if (hours == 1) return "about an hour left";
    return "about " + Grouped(hours) + " hours left";
}

std::string ProgressText(long line, long total, std::optional<std::chrono::seconds> left) {
    std::string text = "Line " + Grouped(line) + " of " + Grouped(total);
    if (left) text += " (" + TimeLeft(*left) + ")";
    return text;
}

}  // namespace seedwell::app
