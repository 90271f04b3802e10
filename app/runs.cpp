#include "app/runs.h"

#include <chrono>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

#include "platform/error.h"
#include "platform/full_path.h"
#include "provisioning/operations.h"
#include "support/fields.h"
#include "support/import_file.h"

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
};

constexpr RunTexts kImportTexts{
    "Importing mailboxes", "Import", "Mailboxes created.",
    "Mailboxes created, except for the lines reported: ", ". Correct them and run the file again."};
constexpr RunTexts kDeleteTexts{"Deleting mailboxes", "Delete", "Mailboxes deleted.",
                                "Mailboxes deleted, except for the lines reported: ", "."};

bool OnlySpaces(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

// The messages about single lines, from the run itself and from the operations it calls. The
// first five show as boxes, the fifth saying that more will follow at the end; the rest are
// only counted. Every line with a message is remembered for the end message: the first ten by
// number, the others by their count.
class LineReports : public platform::MessageBox {
  public:
    explicit LineReports(platform::MessageBox& screen) : screen_(screen) {}

    void SetLine(long line) { line_ = line; }
    long Count() const { return count_; }

    int Show(std::string_view text, int style, std::optional<std::string> title) override {
        if (line_ != lastReported_) {
            lastReported_ = line_;
            ++count_;
            if (listed_.size() < kListedLines) listed_.push_back(line_);
        }
        if (boxes_ >= kMaxReportBoxes) return platform::kAnswerOk;
        if (++boxes_ < kMaxReportBoxes) return screen_.Show(text, style, std::move(title));
        return screen_.Show(std::string(text) + "\r\n" + std::string(kFurtherProblems), style,
                            std::move(title));
    }

    // "4", "5 and 7", "4, 9 and 12", or ten numbers followed by ", and 990 more".
    std::string List() const {
        const long unlisted = count_ - static_cast<long>(listed_.size());
        std::string list;
        for (std::size_t i = 0; i < listed_.size(); ++i) {
            if (i > 0) list += (i + 1 == listed_.size() && unlisted == 0) ? " and " : ", ";
            list += std::to_string(listed_[i]);
        }
        if (unlisted > 0) list += ", and " + std::to_string(unlisted) + " more";
        return list;
    }

  private:
    platform::MessageBox& screen_;
    long line_ = 0;
    long lastReported_ = -1;
    long count_ = 0;
    int boxes_ = 0;
    std::vector<long> listed_;
};

// The run's services with its line reports in place of the screen's message boxes: what the
// operations it calls for each line use.
Services ReportingTo(const Services& services, platform::MessageBox& reports) {
    return {services.objects, services.files,    services.registry, reports,
            services.pointer, services.codePage, services.progress, services.clock};
}

// The two checks of the file box. On a failure the pointer is restored, the message shown and
// the focus put back into the file box; answers the path to use, exactly as typed.
std::optional<std::string> CheckFileBox(RunWindow& window, const Services& services,
                                        std::string_view emptyMessage) {
    auto refuse = [&](std::string_view message) {
        services.pointer.Restore();
        services.messages.Show(message, platform::kMbOkCritical, "Error");
        window.FocusFile();
        return std::nullopt;
    };
    if (OnlySpaces(window.FileText())) return refuse(emptyMessage);
    std::string path = window.FileText();
    if (!services.files.FileExists(path)) return refuse(kNoSuchFile);
    return path;
}

void PassOver(platform::MessageBox& reports, long lineNumber, const std::string& problem,
              std::string_view consequence) {
    reports.Show("Line " + std::to_string(lineNumber) + " was passed over: " + problem + "; " +
                     std::string(consequence),
                 platform::kMbOk, std::nullopt);
}

// The number of lines in the file, read through the same line reader as the run. A failure to
// read ends the count at the line where the run will meet it.
long CountLines(platform::FileSystem& files, const std::string& path) {
    std::unique_ptr<platform::TextStream> stream =
        files.OpenTextFile(path, platform::LineUnits::kBytes);
    long count = 0;
    try {
        while (!stream->AtEndOfStream()) {
            stream->ReadLine();
            ++count;
        }
    } catch (const std::exception&) {
        ++count;
    }
    stream->Close();
    return count;
}

// When the progress shows and how often it is drawn: after the run's first second, and then at
// most every tenth of a second, which is also how often the window's events are let through.
class Pacer {
  public:
    Pacer(const Services& services, std::string_view title, long total)
        : progress_(services.progress),
          clock_(services.clock),
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
    platform::Progress& progress_;
    const platform::Clock& clock_;
    std::string_view title_;
    long total_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastPump_;
    bool open_ = false;
    bool shown_ = false;
};

// Reads the file a line at a time and hands every line to `handleLine`, after counting its
// lines for the progress; a failure of a line names it. At the end the pointer is restored and
// the end told: stopped, done, or done except for the lines reported.
void ProcessFile(const Services& services, const std::string& path, LineReports& reports,
                 const std::function<void(const std::string&, long)>& handleLine,
                 const RunTexts& texts) {
    const long total = CountLines(services.files, path);
    long stoppedAfter = 0;
    support::ImportFile file(services.files.OpenTextFile(path, platform::LineUnits::kBytes),
                             services.codePage);
    Pacer pacer(services, texts.progressTitle, total);
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
    services.progress.Close();
    services.pointer.Restore();
    const int style =
        reports.Count() == 0 ? platform::kMbOkInformation : platform::kMbOkExclamation;
    if (stoppedAfter > 0) {
        const std::string n = std::to_string(stoppedAfter);
        std::string text = std::string(texts.name) + " stopped after line " + n + " of " +
                           std::to_string(total) + ". The lines up to " + n + " are done";
        if (reports.Count() > 0) text += ", except for the lines reported: " + reports.List();
        text += "; run the file again to do the rest.";
        services.messages.Show(text, style, "Stopped");
    } else if (reports.Count() == 0) {
        services.messages.Show(texts.done, style, "Done");
    } else {
        services.messages.Show(
            std::string(texts.doneExcept) + reports.List() + std::string(texts.advice), style,
            "Done");
    }
}

// The run's handler: sets the hourglass and runs `run`. A failure anywhere in it ends the run
// with "Error importing:" and its description, shown before the pointer is restored; only a
// failure to show that message goes on to the caller.
void WithRunHandler(const Services& services, const std::function<void()>& run) {
    std::string failure;
    try {
        services.pointer.SetHourglass();
        run();
        return;
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        // told below, as a failure without a description
    }
    if (failure.empty()) failure = "an unexpected failure without a description";
    services.progress.Close();
    services.messages.Show(std::string(kFailurePrefix) + failure, platform::kMbOk, std::nullopt);
    services.pointer.Restore();
}

}  // namespace

void RunImport(RunWindow& window, const Services& services) {
    WithRunHandler(services, [&] {
        auto path = CheckFileBox(window, services, "Need to select a file to import.");
        if (!path) return;
        const std::string root = window.RootText();
        if (!platform::IsFullPath(root, services.files.Separator())) {
            services.pointer.Restore();
            services.messages.Show(kRootNotFull, platform::kMbOkCritical, "Error");
            window.FocusRoot();
            return;
        }
        LineReports reports(services.messages);
        const Services lineServices = ReportingTo(services, reports);
        const platform::Value rights = std::string("USER");

        ProcessFile(
            services, *path, reports,
            [&](const std::string& line, long lineNumber) {
                std::string postoffice = GetField(line, ",", 1);
                const std::string address = GetField(line, ",", 2);
                const std::string mailboxName = GetField(address, "@", 1);
                const std::string domain = GetField(address, "@", 2);
                if (postoffice.empty() || mailboxName.empty() || domain.empty()) return;
                const std::string password = GetField(line, ",", 3);
                if (auto problem = provisioning::LineProblem(services.files, postoffice, address,
                                                             mailboxName, domain, password)) {
                    PassOver(reports, lineNumber, *problem, "nothing was created for it.");
                    return;
                }
                // An empty password would make a login that anyone can open.
                if (password.empty()) {
                    PassOver(reports, lineNumber, "the password is empty",
                             "nothing was created for it.");
                    return;
                }

                if (!provisioning::DomainExists(lineServices, domain, postoffice)) {
                    provisioning::CreateDomain(lineServices, domain, postoffice);
                }
                if (!provisioning::MailboxExists(lineServices, mailboxName, postoffice)) {
                    provisioning::CreateMailbox(lineServices, postoffice, mailboxName, password, -1,
                                                root, rights);
                } else {
                    provisioning::CompleteMailbox(lineServices, postoffice, mailboxName, root);
                }
                if (!provisioning::AddressMapExists(lineServices, address, postoffice)) {
                    provisioning::CreateAddressMap(lineServices,
                                                   std::string(provisioning::kStoreAndForward),
                                                   address, postoffice, mailboxName);
                }
            },
            kImportTexts);
    });
}

void RunDelete(RunWindow& window, const Services& services) {
    WithRunHandler(services, [&] {
        auto path = CheckFileBox(window, services,
                                 "Need to select a file that contains the mailboxes to delete.");
        if (!path) return;
        int answer = services.messages.Show(
            "Are you sure you wish to delete the mailbox? All messages for this mailbox will be "
            "deleted.",
            platform::kMbYesNoCritical, "Delete");
        if (answer != platform::kAnswerYes) {
            services.pointer.Restore();
            return;
        }
        LineReports reports(services.messages);
        const Services lineServices = ReportingTo(services, reports);

        ProcessFile(
            services, *path, reports,
            [&](const std::string& line, long lineNumber) {
                const std::string postoffice = GetField(line, ",", 1);
                const std::string address = GetField(line, ",", 2);
                const std::string mailboxName = GetField(address, "@", 1);
                if (postoffice.empty() || mailboxName.empty()) return;
                if (auto problem = provisioning::LineProblem(services.files, postoffice, address,
                                                             mailboxName)) {
                    PassOver(reports, lineNumber, *problem, "nothing was deleted for it.");
                    return;
                }
                if (provisioning::MailboxExists(lineServices, mailboxName, postoffice)) {
                    provisioning::DeleteMailbox(lineServices, postoffice, mailboxName);
                }
            },
            kDeleteTexts);
    });
}

}  // namespace seedwell::app
