#include "app/runs.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <functional>
#include <optional>
#include <unordered_set>
#include <vector>

#include "app/line_list.h"
#include "base/error.h"
#include "base/printable.h"
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
constexpr std::string_view kRootMissing = "The root post office directory does not exist.";
constexpr std::string_view kRootNotFolder = "The root post office directory is not a folder.";
constexpr std::string_view kNoExistingMailbox = "The line named no existing mailbox.";
constexpr std::string_view kFurtherProblems =
    "Further problems in this run will be listed at its end.";

constexpr int kMaxReportBoxes = 5;
constexpr std::size_t kListedLines = 10;
constexpr auto kProgressAfter = std::chrono::seconds(1);
constexpr auto kPumpEvery = std::chrono::milliseconds(100);
constexpr auto kEstimateAfter = std::chrono::seconds(5);
constexpr auto kEstimateEvery = std::chrono::seconds(1);

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
    if (unlisted > 0) list += ", and " + Grouped(unlisted) + " more";
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
// end; the rest are only counted. Every line with a message is remembered for the end message,
// and listed with the message and its fields for the operator to save; so is every line of a
// Delete that named no existing mailbox.
class LineReports {
  public:
    explicit LineReports(MessageBox& screen) : screen_(screen) {}

    // The line now handled; its fields are unknown until SetFields.
    void SetLine(long line) {
        line_ = line;
        postoffice_.clear();
        address_.clear();
    }
    // The post-office and address fields of the line now handled, as the file holds them.
    void SetFields(std::string_view postoffice, std::string_view address) {
        postoffice_ = postoffice;
        address_ = address;
    }
    long Count() const { return lines_.Count(); }
    std::string List() const { return lines_.List(); }
    const LineList& Missing() const { return missing_; }
    const ListedLines& Listed() const { return listed_; }
    // True when the end message cannot show every listed line with its reason: a report got
    // no box of its own, or a list at the end would stop at "and N more".
    bool Unshown() const {
        return unboxed_ || lines_.Count() > static_cast<long>(kListedLines) ||
               missing_.Count() > static_cast<long>(kListedLines);
    }

    // The line now handled names a mailbox: it reached a lookup.
    void Named() { named_ = true; }
    bool AnyNamed() const { return named_; }

    // The line now handled named no existing mailbox.
    void MissingMailbox() {
        missing_.Add(line_);
        listed_.Add(line_, postoffice_, address_, kNoExistingMailbox);
    }

    void Show(std::string_view text) {
        if (line_ != lastReported_) {
            lastReported_ = line_;
            lines_.Add(line_);
        }
        listed_.Add(line_, postoffice_, address_, text);
        if (boxes_ >= kMaxReportBoxes) {
            unboxed_ = true;
            return;
        }
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
    std::string postoffice_, address_;
    int boxes_ = 0;
    bool unboxed_ = false;
    bool named_ = false;
    LineList lines_;
    LineList missing_;
    ListedLines listed_;
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
        if (shown_) progress_.Update(line, Text(line, now));
        return progress_.Pump();
    }

  private:
    // "Line 2,562 of 100,000 (about 3 minutes left)".
    std::string Text(long line, std::chrono::steady_clock::time_point now) {
        const auto elapsed = now - start_;
        if (elapsed >= kEstimateAfter && line > 0 && now - lastEstimate_ >= kEstimateEvery) {
            lastEstimate_ = now;
            const double perLine = std::chrono::duration<double>(elapsed).count() / line;
            estimate_ = " (" +
                        TimeLeft(std::chrono::seconds(std::llround(
                            perLine * static_cast<double>(std::max(0L, total_ - line))))) +
                        ")";
        }
        return "Line " + Grouped(line) + " of " + Grouped(total_) + estimate_;
    }

    Progress& progress_;
    const Clock& clock_;
    std::string_view title_;
    long total_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastPump_;
    std::chrono::steady_clock::time_point lastEstimate_{};
    std::string estimate_;
    bool open_ = false;
    bool shown_ = false;
};

// The end message `text`, titled `title`. When it cannot show every listed line with its reason,
// it asks whether to save the list, and on Yes the list goes where the save dialog says; a save
// that fails is told and the question asked again.
void ShowEnd(const Services& services, const Screen& screen, const std::string& path,
             const LineReports& reports, const std::string& text, int style,
             std::string_view title) {
    if (!reports.Unshown()) {
        screen.messages.Show(text, style, std::string(title));
        return;
    }
    OfferList(services.files, screen.messages, screen.save, path, reports.Listed(), text, title);
}

// Reads the file a line at a time, in the encoding its survey found, and hands every line to
// `handleLine`; a failure of a line names it. At the end the pointer is restored and the end
// told: stopped, no line naming a mailbox, done, or done except for the lines reported.
void ProcessFile(const Services& services, const Screen& screen, const std::string& path,
                 const support::FileSurvey& survey, LineReports& reports,
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
    if (reports.Missing().Count() > 0) {
        missing = std::string(reports.Missing().Count() == 1 ? " Line " : " Lines ") +
                  reports.Missing().List() + " named no existing mailbox.";
    }
    auto end = [&](const std::string& text, int endStyle, std::string_view title) {
        ShowEnd(services, screen, path, reports, text, endStyle, title);
    };
    if (stoppedAfter > 0) {
        const std::string n = Grouped(stoppedAfter);
        std::string text = std::string(texts.name) + " stopped after line " + n + " of " +
                           Grouped(survey.lines) + ". The lines up to " + n + " are done";
        if (reports.Count() > 0) text += ", except for the lines reported: " + reports.List();
        text += "; run the file again to do the rest.";
        end(text, style, "Stopped");
    } else if (!reports.AnyNamed()) {
        std::string text = "No line of the file names a mailbox: each line must read " +
                           std::string(texts.lineForm) + ".";
        if (reports.Count() > 0) text += " The lines reported: " + reports.List() + ".";
        end(text, kMbOkExclamation, "Done");
    } else if (reports.Count() == 0) {
        end(std::string(texts.done) + missing, style, "Done");
    } else {
        end(std::string(texts.doneExcept) + reports.List() + std::string(texts.advice) + missing,
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
    std::string postoffice, address, mailboxName;
    std::optional<std::string> problem;
};

std::optional<DeleteLine> TakeDeleteLine(const platform::FileSystem& files,
                                         const std::string& line) {
    DeleteLine taken;
    if ((taken.problem = support::SeparatorProblem(line))) return taken;
    taken.postoffice = GetField(line, ",", 1);
    taken.address = GetField(line, ",", 2);
    taken.mailboxName = GetField(taken.address, "@", 1);
    if (taken.postoffice.empty() || taken.mailboxName.empty()) return std::nullopt;
    taken.problem =
        provisioning::LineProblem(files, taken.postoffice, taken.address, taken.mailboxName);
    return taken;
}

// "The file names 4 mailboxes, in the post offices main and sales.": the lines of a Delete file
// that name a mailbox, read without a lookup, as the survey hands them over. A line that cannot
// be read ends what is counted; the run meets it in its turn.
class DeleteSummary {
  public:
    explicit DeleteSummary(const platform::FileSystem& files) : files_(files) {}

    void Add(const std::string& line) {
        const auto taken = TakeDeleteLine(files_, line);
        if (!taken || taken->problem) return;
        ++mailboxes_;
        if (postoffices_.insert(taken->postoffice).second && shown_.size() < kListedPostoffices) {
            shown_.push_back(base::Printable(taken->postoffice));
        }
    }

    std::string Text() const {
        if (mailboxes_ == 0) return "The file names no mailbox.";
        const long unlisted = static_cast<long>(postoffices_.size() - shown_.size());
        return "The file names " + Grouped(mailboxes_) +
               (mailboxes_ == 1 ? " mailbox" : " mailboxes") + ", in the post office" +
               (postoffices_.size() == 1 ? " " : "s ") + JoinList(shown_, unlisted) + ".";
    }

  private:
    const platform::FileSystem& files_;
    long mailboxes_ = 0;
    std::vector<std::string> shown_;
    std::unordered_set<std::string> postoffices_;
};

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
        if (!services.files.FolderExists(root)) {
            screen.pointer.Restore();
            screen.messages.Show(services.files.PathExists(root) ? kRootNotFolder : kRootMissing,
                                 kMbOkCritical, "Error");
            window.FocusRoot();
            return;
        }
        const support::FileSurvey survey =
            support::SurveyImportFile(services.files, *path, services.codePage);
        LineReports reports(screen.messages);
        const platform::Value rights = std::string("USER");
        constexpr std::string_view kNothingCreated = "nothing was created for it.";

        ProcessFile(
            services, screen, *path, survey, reports,
            [&](const std::string& line, long lineNumber) {
                std::optional<ImportLine> taken = TakeImportLine(services.files, line);
                if (!taken) return;
                reports.SetFields(taken->postoffice, taken->address);
                if (taken->problem) {
                    PassOver(reports, lineNumber, *taken->problem, kNothingCreated);
                    return;
                }
                reports.Named();
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
        LineReports reports(screen.messages);

        ProcessFile(
            services, screen, *path, survey, reports,
            [&](const std::string& line, long lineNumber) {
                const std::optional<DeleteLine> taken = TakeDeleteLine(services.files, line);
                if (!taken) return;
                reports.SetFields(taken->postoffice, taken->address);
                if (taken->problem) {
                    PassOver(reports, lineNumber, *taken->problem, "nothing was deleted for it.");
                    return;
                }
                reports.Named();
                if (provisioning::MailboxExists(services, taken->mailboxName, taken->postoffice)) {
                    reports.ShowAny(provisioning::DeleteMailbox(services, taken->postoffice,
                                                                taken->mailboxName));
                } else {
                    reports.MissingMailbox();
                }
            },
            kDeleteTexts);
    });
}

}  // namespace seedwell::app
