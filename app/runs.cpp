#include "app/runs.h"

#include <chrono>
#include <exception>
#include <functional>
#include <optional>
#include <unordered_set>
#include <vector>

#include "platform/error.h"
#include "platform/printable.h"
#include "provisioning/operations.h"
#include "support/fields.h"
#include "support/import_file.h"
#include "support/line_checks.h"

namespace seedwell::app {
namespace {

using provisioning::Services;
using support::GetField;

constexpr std::string_view kNoSuchFile = "The file selected does not exist. Please select another.";
constexpr std::string_view kFailurePrefix = "Error importing:";
constexpr std::string_view kRootNotFull = "The root post office directory must be a full path.";
constexpr std::string_view kFurtherProblems =
    "Further problems in this run will be listed at its end.";

constexpr int kMaxReportBoxes = 5;
constexpr std::size_t kListedLines = 10;
constexpr auto kProgressAfter = std::chrono::seconds(1);
constexpr auto kPumpEvery = std::chrono::milliseconds(100);

// What differs between the end messages of the two runs.
struct RunTexts {
    std::string_view progressTitle;  // "Importing mailboxes"
    std::string_view name;           // "Import", in "Import stopped after line ..."
    std::string_view done;           // the end when no line was reported
    std::string_view doneExcept;     // the end when lines were, up to their list
    std::string_view advice;         // what follows the list
    std::string_view lineForm;       // what a line must read
};

constexpr RunTexts kImportTexts{"Importing mailboxes",
                                "Import",
                                "Mailboxes created.",
                                "Mailboxes created, except for the lines reported: ",
                                ". Correct them and run the file again.",
                                "postoffice,emailaddress,password"};
constexpr RunTexts kDeleteTexts{"Deleting mailboxes",
                                "Delete",
                                "Mailboxes deleted.",
                                "Mailboxes deleted, except for the lines reported: ",
                                ".",
                                "postoffice,emailaddress or postoffice,mailbox"};
constexpr std::string_view kDeleteQuestion =
    "Are you sure you wish to delete the mailbox? All messages for this mailbox will be deleted.";
constexpr std::size_t kListedPostoffices = 5;

bool OnlySpaces(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

// "a", "a and b", "a, b and c", or the items followed by ", and 3 more" when `unlisted` are not.
std::string JoinList(const std::vector<std::string>& items, long unlisted) {
    std::string list;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) list += (i + 1 == items.size() && unlisted == 0) ? " and " : ", ";
        list += items[i];
    }
    if (unlisted > 0) list += ", and " + std::to_string(unlisted) + " more";
    return list;
}

// Line numbers for a message: the first ten by number, the others by their count.
class LineList {
  public:
    void Add(long line) {
        ++count_;
        if (listed_.size() < kListedLines) listed_.push_back(std::to_string(line));
    }
    long Count() const { return count_; }
    // "4", "5 and 7", "4, 9 and 12", or ten numbers followed by ", and 990 more".
    std::string List() const {
        return JoinList(listed_, count_ - static_cast<long>(listed_.size()));
    }

  private:
    long count_ = 0;
    std::vector<std::string> listed_;
};

// The messages about single lines, from the run itself and from the operations it calls, each
// in a box without an icon. The first five show, the fifth saying that more will follow at the
// end; the rest are only counted. Every line with a message is remembered for the end message.
class LineReports {
  public:
    explicit LineReports(MessageBox& screen) : screen_(screen) {}

    void SetLine(long line) { line_ = line; }
    long Count() const { return lines_.Count(); }
    std::string List() const { return lines_.List(); }

    void Show(std::string_view text) {
        if (line_ != lastReported_) {
            lastReported_ = line_;
            lines_.Add(line_);
        }
        if (boxes_ >= kMaxReportBoxes) return;
        if (++boxes_ < kMaxReportBoxes) {
            screen_.Show(text, kMbOk, std::nullopt);
        } else {
            screen_.Show(std::string(text) + "\r\n" + std::string(kFurtherProblems), kMbOk,
                         std::nullopt);
        }
    }
    /// Shows what an operation answered went wrong, if anything.
    void ShowAny(const std::optional<std::string>& failure) {
        if (failure) Show(*failure);
    }

  private:
    MessageBox& screen_;
    long line_ = 0;
    long lastReported_ = -1;
    int boxes_ = 0;
    LineList lines_;
};

// What the runs learn of the file's lines on their way: whether any named a mailbox (reached a
// lookup), and which named no existing mailbox (Delete).
struct LineTally {
    bool named = false;
    LineList missing;
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

void PassOver(LineReports& reports, long lineNumber, const std::string& problem,
              std::string_view consequence) {
    reports.Show("Line " + std::to_string(lineNumber) + " was passed over: " + problem + "; " +
                 std::string(consequence));
}

// When the progress shows and how often it is drawn: after the run's first second, and then at
// most every tenth of a second, which is also how often the window's events are let through.
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
        if (shown_) progress_.Update(line);
        return progress_.Pump();
    }

  private:
    Progress& progress_;
    const Clock& clock_;
    std::string_view title_;
    long total_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastPump_;
    bool open_ = false;
    bool shown_ = false;
};

// Reads the file a line at a time, in the encoding its survey found, and hands every line to
// `handleLine`; a failure of a line names it. At the end the pointer is restored and the end
// told: stopped, no line naming a mailbox, done, or done except for the lines reported.
void ProcessFile(const Services& services, const Screen& screen, const std::string& path,
                 const support::FileSurvey& survey, LineReports& reports, const LineTally& tally,
                 const std::function<void(const std::string&, long)>& handleLine,
                 const RunTexts& texts) {
    long stoppedAfter = 0;
    support::ImportFile file(services.files, path, services.codePage, survey.encoding);
    Pacer pacer(screen, texts.progressTitle, survey.lines);
    while (!file.AtEndOfStream()) {
        std::string line = file.ReadLine();
        const long lineNumber = file.LineNumber();
        reports.SetLine(lineNumber);
        try {
            handleLine(line, lineNumber);
        } catch (const std::exception& error) {
            throw Error("line " + std::to_string(lineNumber) + ": " + error.what());
        }
        if (pacer.AfterLine(lineNumber) && !file.AtEndOfStream()) {
            stoppedAfter = lineNumber;
            break;
        }
    }
    file.Close();
    screen.progress.Close();
    screen.pointer.Restore();
    const int style = reports.Count() == 0 ? kMbOkInformation : kMbOkExclamation;
    std::string missing;
    if (tally.missing.Count() > 0) {
        missing = std::string(tally.missing.Count() == 1 ? " Line " : " Lines ") +
                  tally.missing.List() + " named no existing mailbox.";
    }
    if (stoppedAfter > 0) {
        const std::string n = std::to_string(stoppedAfter);
        std::string text = std::string(texts.name) + " stopped after line " + n + " of " +
                           std::to_string(survey.lines) + ". The lines up to " + n + " are done";
        if (reports.Count() > 0) text += ", except for the lines reported: " + reports.List();
        text += "; run the file again to do the rest.";
        screen.messages.Show(text, style, "Stopped");
    } else if (!tally.named) {
        std::string text = "No line of the file names a mailbox: each line must read " +
                           std::string(texts.lineForm) + ".";
        if (reports.Count() > 0) text += " The lines reported: " + reports.List() + ".";
        screen.messages.Show(text, kMbOkExclamation, "Done");
    } else if (reports.Count() == 0) {
        screen.messages.Show(std::string(texts.done) + missing, style, "Done");
    } else {
        screen.messages.Show(
            std::string(texts.doneExcept) + reports.List() + std::string(texts.advice) + missing,
            style, "Done");
    }
}

// One line of an Import file taken apart. Empty when the line is passed over silently (a
// blank line, a header, an address without "@"); `problem` tells why a line is passed over
// with a message.
struct ImportLine {
    std::string postoffice, address, mailboxName, domain, password;
    std::optional<std::string> problem;
};

std::optional<ImportLine> TakeImportLine(const platform::FileSystem& files,
                                         const std::string& line) {
    ImportLine taken;
    if ((taken.problem = support::SeparatorProblem(line))) return taken;
    taken.postoffice = GetField(line, ",", 1);
    taken.address = GetField(line, ",", 2);
    taken.mailboxName = GetField(taken.address, "@", 1);
    taken.domain = GetField(taken.address, "@", 2);
    if (taken.postoffice.empty() || taken.mailboxName.empty() || taken.domain.empty()) {
        return std::nullopt;
    }
    taken.password = GetField(line, ",", 3);
    taken.problem = provisioning::LineProblem(files, taken.postoffice, taken.address,
                                              taken.mailboxName, taken.domain, taken.password);
    // An empty password would make a login that anyone can open.
    if (!taken.problem && taken.password.empty()) taken.problem = "the password is empty";
    return taken;
}

// One line of a Delete file taken apart, as TakeImportLine does.
struct DeleteLine {
    std::string postoffice, mailboxName;
    std::optional<std::string> problem;
};

std::optional<DeleteLine> TakeDeleteLine(const platform::FileSystem& files,
                                         const std::string& line) {
    DeleteLine taken;
    if ((taken.problem = support::SeparatorProblem(line))) return taken;
    taken.postoffice = GetField(line, ",", 1);
    const std::string address = GetField(line, ",", 2);
    taken.mailboxName = GetField(address, "@", 1);
    if (taken.postoffice.empty() || taken.mailboxName.empty()) return std::nullopt;
    taken.problem = provisioning::LineProblem(files, taken.postoffice, address, taken.mailboxName);
    return taken;
}

// "The file names 4 mailboxes, in the post offices main and sales.": the lines of a Delete file
// that name a mailbox, read without a lookup. Reading stops at a line that cannot be read,
// which the run meets in its turn.
std::string DeleteSummary(const Services& services, const std::string& path,
                          const support::FileSurvey& survey) {
    long mailboxes = 0;
    std::vector<std::string> shown;
    std::unordered_set<std::string> postoffices;
    try {
        support::ImportFile file(services.files, path, services.codePage, survey.encoding);
        while (!file.AtEndOfStream()) {
            const auto taken = TakeDeleteLine(services.files, file.ReadLine());
            if (!taken || taken->problem) continue;
            ++mailboxes;
            if (postoffices.insert(taken->postoffice).second && shown.size() < kListedPostoffices) {
                shown.push_back(platform::Printable(taken->postoffice));
            }
        }
    } catch (const std::exception&) {
        // told when the run reaches that line
    }
    if (mailboxes == 0) return "The file names no mailbox.";
    const long unlisted = static_cast<long>(postoffices.size() - shown.size());
    return "The file names " + std::to_string(mailboxes) +
           (mailboxes == 1 ? " mailbox" : " mailboxes") + ", in the post office" +
           (postoffices.size() == 1 ? " " : "s ") + JoinList(shown, unlisted) + ".";
}

// The run's handler: sets the hourglass and runs `run`. A failure anywhere in it ends the run
// with "Error importing:" and its description, shown before the pointer is restored; only a
// failure to show that message goes on to the caller.
void WithRunHandler(const Screen& screen, const std::function<void()>& run) {
    std::string failure;
    try {
        screen.pointer.SetHourglass();
        run();
        return;
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        // told below, as a failure without a description
    }
    if (failure.empty()) failure = "an unexpected failure without a description";
    screen.progress.Close();
    screen.messages.Show(std::string(kFailurePrefix) + failure, kMbOk, std::nullopt);
    screen.pointer.Restore();
}

}  // namespace

void RunImport(RunWindow& window, const Services& services, const Screen& screen) {
    WithRunHandler(screen, [&] {
        auto path = CheckFileBox(window, services, screen, "Need to select a file to import.");
        if (!path) return;
        const std::string root = window.RootText();
        if (!services.files.IsFullPath(root)) {
            screen.pointer.Restore();
            screen.messages.Show(kRootNotFull, kMbOkCritical, "Error");
            window.FocusRoot();
            return;
        }
        const support::FileSurvey survey =
            support::SurveyImportFile(services.files, *path, services.codePage);
        LineReports reports(screen.messages);
        LineTally tally;
        const platform::Value rights = std::string("USER");
        constexpr std::string_view kNothingCreated = "nothing was created for it.";

        ProcessFile(
            services, screen, *path, survey, reports, tally,
            [&](const std::string& line, long lineNumber) {
                std::optional<ImportLine> taken = TakeImportLine(services.files, line);
                if (!taken) return;
                if (taken->problem) {
                    PassOver(reports, lineNumber, *taken->problem, kNothingCreated);
                    return;
                }
                tally.named = true;
                std::string& postoffice = taken->postoffice;
                const std::string& mailboxName = taken->mailboxName;
                // The mailbox is looked up before a missing domain is added, so that a line
                // passed over below leaves nothing made.
                const bool domainExists =
                    provisioning::DomainExists(services, taken->domain, postoffice);
                const bool mailboxExists =
                    provisioning::MailboxExists(services, mailboxName, postoffice);
                if (!mailboxExists) {
                    if (auto shared =
                            provisioning::SharedFolder(services, root, postoffice, mailboxName)) {
                        PassOver(reports, lineNumber, *shared, kNothingCreated);
                        return;
                    }
                }
                if (!domainExists) provisioning::CreateDomain(services, taken->domain, postoffice);
                if (!mailboxExists) {
                    reports.ShowAny(provisioning::CreateMailbox(services, postoffice, mailboxName,
                                                                taken->password, -1, root, rights));
                } else {
                    reports.ShowAny(
                        provisioning::CompleteMailbox(services, postoffice, mailboxName, root));
                }
                if (!provisioning::AddressMapExists(services, taken->address, postoffice)) {
                    provisioning::CreateAddressMap(services,
                                                   std::string(provisioning::kStoreAndForward),
                                                   taken->address, postoffice, mailboxName);
                }
            },
            kImportTexts);
    });
}

void RunDelete(RunWindow& window, const Services& services, const Screen& screen) {
    WithRunHandler(screen, [&] {
        auto path = CheckFileBox(window, services, screen,
                                 "Need to select a file that contains the mailboxes to delete.");
        if (!path) return;
        const support::FileSurvey survey =
            support::SurveyImportFile(services.files, *path, services.codePage);
        int answer = screen.messages.Show(
            std::string(kDeleteQuestion) + "\r\n\r\n" + DeleteSummary(services, *path, survey),
            kMbYesNoCritical, "Delete");
        if (answer != kAnswerYes) {
            screen.pointer.Restore();
            return;
        }
        LineReports reports(screen.messages);
        LineTally tally;

        ProcessFile(
            services, screen, *path, survey, reports, tally,
            [&](const std::string& line, long lineNumber) {
                const std::optional<DeleteLine> taken = TakeDeleteLine(services.files, line);
                if (!taken) return;
                if (taken->problem) {
                    PassOver(reports, lineNumber, *taken->problem, "nothing was deleted for it.");
                    return;
                }
                tally.named = true;
                if (provisioning::MailboxExists(services, taken->mailboxName, taken->postoffice)) {
                    reports.ShowAny(provisioning::DeleteMailbox(services, taken->postoffice,
                                                                taken->mailboxName));
                } else {
                    tally.missing.Add(lineNumber);
                }
            },
            kDeleteTexts);
    });
}

}  // namespace seedwell::app
