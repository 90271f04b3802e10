#include "app/runs.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

#include "app/line_list.h"
#include "app/run_report.h"
#include "base/error.h"
#include "base/printable.h"
#include "provisioning/operations.h"
#include "support/import_file.h"
#include "support/import_line.h"

namespace seedwell::app {
namespace {

using provisioning::Services;
using support::DeleteLine;
using support::ImportLine;
using support::TakeDeleteLine;
using support::TakeImportLine;

constexpr std::string_view kNoSuchFile = "The file selected does not exist. Please select another.";
constexpr std::string_view kFailurePrefix = "Error importing:";
constexpr std::string_view kRootNotFull = "The root post office directory must be a full path.";
constexpr std::string_view kRootMissing = "The root post office directory does not exist.";
constexpr std::string_view kRootNotFolder = "The root post office directory is not a folder.";
constexpr std::string_view kRootGone = "The root post office directory no longer exists.";
constexpr std::string_view kRootNoLongerFolder =
    "The root post office directory is no longer a folder.";
constexpr std::string_view kNoExistingMailbox = "The line named no existing mailbox.";
constexpr std::string_view kFurtherProblems =
    "Further problems in this run will be listed at its end.";
constexpr std::string_view kDeleteQuestion =
    "Are you sure you wish to delete the mailbox? All messages for this mailbox will be deleted.";

constexpr int kMaxReportBoxes = 5;
constexpr auto kProgressAfter = std::chrono::seconds(1);
constexpr auto kPumpEvery = std::chrono::milliseconds(100);
constexpr auto kEstimateAfter = std::chrono::seconds(5);
constexpr auto kEstimateEvery = std::chrono::seconds(1);

bool OnlySpaces(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

// A failure that ends the run whatever line it met, told as it stands rather than as the
// failure of that line.
class RunEnded : public Error {
  public:
    using Error::Error;
};

// The messages about single lines, from the run itself and from the operations it calls, each
// in a box without an icon. The first five show, the fifth saying that more will follow at the
// end; the rest are only counted. Every line with a message goes into the run's report, with
// the message and its fields for the operator to save; so does every line of a Delete that named
// no existing mailbox.
class LineBoxes {
  public:
    LineBoxes(MessageBox& screen, RunReport& report) : screen_(screen), report_(report) {}

    // The line now handled; its fields are unknown until SetFields.
    void SetLine(long line) {
        line_ = line;
        postoffice_.clear();
        address_.clear();
    }
    // The post-office and address fields of the line now handled, as the list may show them.
    void SetFields(std::string_view postoffice, std::string_view address) {
        postoffice_ = postoffice;
        address_ = address;
    }
    // The line now handled names a mailbox: it reached a lookup.
    void Named() { report_.anyNamed = true; }
    // The line now handled named no existing mailbox.
    void MissingMailbox() {
        report_.missing.Add(line_);
        report_.list.Add(line_, postoffice_, address_, kNoExistingMailbox);
    }

    void Show(std::string_view text) {
        if (line_ != lastReported_) {
            lastReported_ = line_;
            report_.reported.Add(line_);
        }
        report_.list.Add(line_, postoffice_, address_, text);
        if (boxes_ >= kMaxReportBoxes) {
            report_.unboxed = true;
            return;
        }
        if (++boxes_ < kMaxReportBoxes) {
            screen_.Show(text, kMbOk, std::nullopt);
        } else {
            screen_.Show(std::string(text) + "\r\n" + std::string(kFurtherProblems), kMbOk,
                         std::nullopt);
        }
    }
    // Shows what an operation answered went wrong, if anything.
    void ShowAny(const std::optional<std::string>& failure) {
        if (failure) Show(*failure);
    }

  private:
    MessageBox& screen_;
    RunReport& report_;
    long line_ = 0;
    long lastReported_ = -1;
    std::string postoffice_, address_;
    int boxes_ = 0;
};

// The two checks of the file box. On a failure the pointer is restored, the message shown and
// the focus put back into the file box; answers the path to use, exactly as typed.
std::optional<std::string> CheckFileBox(RunWindow& window, const Services& services,
                                        const Screen& screen, std::string_view emptyMessage) {
    auto refuse = [&](std::string_view message) {
        screen.pointer.Restore();
        screen.messages.Show(message, kMbOkCritical, "Error");
        window.FocusFile();
        return std::nullopt;
    };
    if (OnlySpaces(window.FileText())) return refuse(emptyMessage);
    std::string path = window.FileText();
    if (!services.files.FileExists(path)) return refuse(kNoSuchFile);
    return path;
}

void PassOver(LineBoxes& boxes, long lineNumber, const std::string& problem,
              std::string_view consequence) {
    boxes.Show("Line " + std::to_string(lineNumber) + " was passed over: " + problem + "; " +
               std::string(consequence));
}

// Ends the run when a folder could not be made because the root has gone: every line after it
// would fail alike, after making records whose folders cannot be made.
void EndIfRootGone(const provisioning::MailboxWork& work) {
    using Outcome = provisioning::MailboxWork::Outcome;
    if (work.outcome == Outcome::kRootMissing) throw RunEnded(std::string(kRootGone));
    if (work.outcome == Outcome::kRootNotFolder) throw RunEnded(std::string(kRootNoLongerFolder));
}

// When the progress shows and how often it is drawn: after the run's first second, and then at
// most every tenth of a second, which is also how often the window's events are let through.
// From the fifth second on it tells the time left at the pace so far, anew every second.
class Pacer {
  public:
    Pacer(const Screen& screen, std::string_view title, long total)
        : progress_(screen.progress),
          clock_(screen.clock),
          title_(title),
          total_(total),
          start_(clock_.Now()),
          lastPump_(start_) {}

    // Answers true when the operator asked to stop after `line`.
    bool AfterLine(long line) {
        const auto now = clock_.Now();
        if (now - lastPump_ < kPumpEvery) return false;
        lastPump_ = now;
        if (!open_ && now - start_ >= kProgressAfter) {
            open_ = true;
            try {
                progress_.Open(title_, total_);
                shown_ = true;
            } catch (const std::exception&) {
                // The run goes on without its progress window.
            }
        }
        if (shown_) {
            const auto elapsed = now - start_;
            if (elapsed >= kEstimateAfter && line > 0 && now - lastEstimate_ >= kEstimateEvery) {
                lastEstimate_ = now;
                const double perLine = std::chrono::duration<double>(elapsed).count() / line;
                left_ = std::chrono::seconds(
                    std::llround(perLine * static_cast<double>(std::max(0L, total_ - line))));
            }
            progress_.Update(line, ProgressText(line, total_, left_));
        }
        return progress_.Pump();
    }

  private:
    Progress& progress_;
    const Clock& clock_;
    std::string_view title_;
    long total_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastPump_;
    std::chrono::steady_clock::time_point lastEstimate_{};
    std::optional<std::chrono::seconds> left_;
    bool open_ = false;
    bool shown_ = false;
};

// The end of the run that `report` tells, offering the list of lines when it cannot show them
// all.
void ShowEnd(const Services& services, const Screen& screen, const std::string& path,
             const RunReport& report) {
    const EndMessage end = EndOf(report);
    if (!OffersList(report)) {
        screen.messages.Show(end.text, end.style, end.title);
        return;
    }
    OfferList(services.files, screen.messages, screen.save, path, report.list, end.text, end.title);
}

// Reads the file a line at a time, in the encoding its survey found, and hands every line to
// `handleLine`, until the end of the file or the operator's Stop; a failure of a line names it.
void ReadLines(const Services& services, const Screen& screen, const std::string& path,
               const support::FileSurvey& survey, std::string_view progressTitle, RunReport& report,
               LineBoxes& boxes, const std::function<void(const std::string&, long)>& handleLine) {
    report.total = survey.lines;
    support::ImportFile file(services.files, path, services.codePage, survey.encoding);
    Pacer pacer(screen, progressTitle, survey.lines);
    while (!file.AtEndOfStream()) {
        std::string line = file.ReadLine();
        const long lineNumber = file.LineNumber();
        boxes.SetLine(lineNumber);
        try {
            handleLine(line, lineNumber);
        } catch (const RunEnded&) {
            throw;
        } catch (const std::exception& error) {
            throw Error("line " + std::to_string(lineNumber) + ": " + error.what());
        }
        if (pacer.AfterLine(lineNumber) && !file.AtEndOfStream()) {
            report.end = RunReport::End::kStopped;
            report.stoppedAfter = lineNumber;
            break;
        }
    }
    file.Close();
}

// The run's handler: sets the hourglass and runs `run`, which makes the run's report once it
// begins to read the file, and names the file. The end of a run with a report is told from it:
// at the end of the file or a Stop once the pointer is restored, after a failure before.
// A failure before any report ends the run with "Error importing:" and its description alone.
// Only a failure to show the end goes on to the caller.
void WithRunHandler(const Services& services, const Screen& screen,
                    const std::function<void(std::optional<RunReport>&, std::string&)>& run) {
    std::optional<RunReport> report;
    std::string path;
    std::string failure;
    try {
        screen.pointer.SetHourglass();
        run(report, path);
        if (!report) return;
        screen.progress.Close();
        screen.pointer.Restore();
        ShowEnd(services, screen, path, *report);
        return;
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        // told below, as a failure without a description
    }
    if (failure.empty()) failure = "an unexpected failure without a description";
    screen.progress.Close();
    if (report) {
        report->end = RunReport::End::kFailed;
        report->failure = failure;
        ShowEnd(services, screen, path, *report);
    } else {
        screen.messages.Show(std::string(kFailurePrefix) + failure, kMbOk, std::nullopt);
    }
    screen.pointer.Restore();
}

}  // namespace

void RunImport(RunWindow& window, const Services& services, const Screen& screen) {
    WithRunHandler(services, screen, [&](std::optional<RunReport>& report, std::string& runPath) {
        auto path = CheckFileBox(window, services, screen, "Need to select a file to import.");
        if (!path) return;
        const std::string root = window.RootText();
        if (provisioning::CheckRoot(services.files, root) != provisioning::RootCheck::kFull) {
            screen.pointer.Restore();
            screen.messages.Show(kRootNotFull, kMbOkCritical, "Error");
            window.FocusRoot();
            return;
        }
        if (!services.files.FolderExists(root)) {
            screen.pointer.Restore();
            screen.messages.Show(services.files.PathExists(root) ? kRootNotFolder : kRootMissing,
                                 kMbOkCritical, "Error");
            window.FocusRoot();
            return;
        }
        const support::FileSurvey survey =
            support::SurveyImportFile(services.files, *path, services.codePage);
        runPath = *path;
        RunReport& done = report.emplace();
        done.kind = RunKind::kImport;
        LineBoxes boxes(screen.messages, done);
        const platform::Value rights = std::string("USER");
        constexpr std::string_view kNothingCreated = "nothing was created for it.";

        ReadLines(
            services, screen, *path, survey, "Importing mailboxes", done, boxes,
            [&](const std::string& line, long lineNumber) {
                std::optional<ImportLine> taken = TakeImportLine(services.files, line);
                if (!taken) return;
                boxes.SetFields(taken->shownPostoffice, taken->shownAddress);
                if (taken->problem) {
                    PassOver(boxes, lineNumber, *taken->problem, kNothingCreated);
                    return;
                }
                boxes.Named();
                std::string& postoffice = taken->postoffice;
                const std::string& mailboxName = taken->mailboxName;
                // The mailbox is looked up before a missing domain is added, so that a
                // line passed over below leaves nothing made.
                const bool domainExists =
                    provisioning::DomainExists(services, taken->domain, postoffice);
                const bool mailboxExists =
                    provisioning::MailboxExists(services, mailboxName, postoffice);
                if (!mailboxExists) {
                    if (auto shared =
                            provisioning::SharedFolder(services, root, postoffice, mailboxName)) {
                        PassOver(boxes, lineNumber, *shared, kNothingCreated);
                        return;
                    }
                }
                if (!domainExists) {
                    provisioning::CreateDomain(services, taken->domain, postoffice);
                }
                const provisioning::MailboxWork work =
                    mailboxExists
                        ? provisioning::CompleteMailbox(services, postoffice, mailboxName, root)
                        : provisioning::CreateMailbox(services, postoffice, mailboxName,
                                                      taken->password, -1, root, rights);
                EndIfRootGone(work);
                boxes.ShowAny(work.failure);
                const bool whole = work.outcome == provisioning::MailboxWork::Outcome::kDone;
                if (mailboxExists) {
                    ++done.existing;
                    if (whole && work.madeFolders) ++done.completed;
                } else if (whole) {
                    ++done.created;
                }
                if (!work.LineGoesOn()) return;
                if (!provisioning::AddressMapExists(services, taken->address, postoffice)) {
                    provisioning::CreateAddressMap(services,
                                                   std::string(provisioning::kStoreAndForward),
                                                   taken->address, postoffice, mailboxName);
                }
            });
    });
}

void RunDelete(RunWindow& window, const Services& services, const Screen& screen) {
    WithRunHandler(services, screen, [&](std::optional<RunReport>& report, std::string& runPath) {
        auto path = CheckFileBox(window, services, screen,
                                 "Need to select a file that contains the mailboxes to delete.");
        if (!path) return;
        // One pass counts the lines, decides their encoding and sums up what they name; where
        // the encoding is decided only at the end, both of its readings are summed up.
        DeleteSummary asUtf8(services.files), asCodePage(services.files);
        const support::FileSurvey survey =
            support::SurveyImportFile(services.files, *path, services.codePage,
                                      [&](const std::string& text, support::Reading reading) {
                                          if (reading != support::Reading::kAsCodePage)
                                              asUtf8.Add(text);
                                          if (reading != support::Reading::kAsUtf8)
                                              asCodePage.Add(text);
                                      });
        const DeleteSummary& summary =
            survey.encoding == support::FileEncoding::kCodePage ? asCodePage : asUtf8;
        int answer = screen.messages.Show(
            std::string(kDeleteQuestion) + "\r\n\r\n" + summary.Text(), kMbYesNoCritical, "Delete");
        if (answer != kAnswerYes) {
            screen.pointer.Restore();
            return;
        }
        runPath = *path;
        RunReport& done = report.emplace();
        done.kind = RunKind::kDelete;
        LineBoxes boxes(screen.messages, done);

        ReadLines(
            services, screen, *path, survey, "Deleting mailboxes", done, boxes,
            [&](const std::string& line, long lineNumber) {
                const std::optional<DeleteLine> taken = TakeDeleteLine(services.files, line);
                if (!taken) return;
                boxes.SetFields(taken->shownPostoffice, taken->shownAddress);
                if (taken->problem) {
                    PassOver(boxes, lineNumber, *taken->problem, "nothing was deleted for it.");
                    return;
                }
                boxes.Named();
                if (!provisioning::MailboxExists(services, taken->mailboxName, taken->postoffice)) {
                    boxes.MissingMailbox();
                    return;
                }
                const provisioning::MailboxDeletion deletion =
                    provisioning::DeleteMailbox(services, taken->postoffice, taken->mailboxName);
                boxes.ShowAny(deletion.failure);
                using Outcome = provisioning::MailboxDeletion::Outcome;
                if (deletion.outcome == Outcome::kDeleted) ++done.deleted;
                if (deletion.outcome == Outcome::kInUse) ++done.inUse;
            });
    });
}

}  // namespace seedwell::app
