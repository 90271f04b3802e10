#include "app/runs.h"

#include <exception>
#include <functional>
#include <optional>

#include "platform/error.h"
#include "provisioning/operations.h"
#include "support/fields.h"
#include "support/import_file.h"

namespace seedwell::app {
namespace {

using support::GetField;

constexpr std::string_view kNoSuchFile = "The file selected does not exist. Please select another.";
constexpr std::string_view kFailurePrefix = "Error importing:";

bool OnlySpaces(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

provisioning::Services ServicesOf(const RunContext& context) {
    return {context.objects, context.files, context.registry, context.messages, context.codePage};
}

// The two checks of the file box. On a failure the pointer is restored, the message shown and
// the focus put back into the file box; answers the path to use, exactly as typed.
std::optional<std::string> CheckFileBox(RunWindow& window, const RunContext& context,
                                        std::string_view emptyMessage) {
    auto refuse = [&](std::string_view message) {
        context.pointer.Restore();
        context.messages.Show(message, platform::kMbOkCritical, "Error");
        window.FocusFile();
        return std::nullopt;
    };
    if (OnlySpaces(window.FileText())) return refuse(emptyMessage);
    std::string path = window.FileText();
    if (!context.files.FileExists(path)) return refuse(kNoSuchFile);
    return path;
}

void PassOver(const RunContext& context, long lineNumber, const std::string& problem,
              std::string_view consequence) {
    context.messages.Show("Line " + std::to_string(lineNumber) + " was passed over: " + problem +
                              "; " + std::string(consequence),
                          platform::kMbOk, std::nullopt);
}

// Reads the file a line at a time and hands every line to `handleLine`. A failure ends the run
// with "Error importing:" and its description (which names the line where there is one), shown
// before the pointer is restored; otherwise the pointer is restored and `doneMessage` shown.
void ProcessFile(const RunContext& context, const std::string& path,
                 const std::function<void(const std::string&, long)>& handleLine,
                 std::string_view doneMessage) {
    std::string failure;
    try {
        support::ImportFile file(context.files.OpenTextFile(path), context.codePage);
        while (!file.AtEndOfStream()) {
            std::string line = file.ReadLine();
            try {
                handleLine(line, file.LineNumber());
            } catch (const std::exception& error) {
                throw Error("line " + std::to_string(file.LineNumber()) + ": " + error.what());
            }
        }
        file.Close();
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "an unexpected failure without a description";
    }
    if (!failure.empty()) {
        context.messages.Show(std::string(kFailurePrefix) + failure, platform::kMbOk, std::nullopt);
        context.pointer.Restore();
        return;
    }
    context.pointer.Restore();
    context.messages.Show(doneMessage, platform::kMbOkInformation, "Done");
}

// Keeps a failure of the message box or the window itself from escaping an event handler.
void Guarded(const RunContext& context, const std::function<void()>& run) noexcept {
    try {
        run();
    } catch (...) {
        try {
            context.pointer.Restore();
        } catch (...) {
        }
    }
}

}  // namespace

void RunImport(RunWindow& window, const RunContext& context) {
    Guarded(context, [&] {
        context.pointer.SetHourglass();
        auto path = CheckFileBox(window, context, "Need to select a file to import.");
        if (!path) return;
        provisioning::Services services = ServicesOf(context);
        const platform::Value rights = std::string("USER");

        ProcessFile(
            context, *path,
            [&](const std::string& line, long lineNumber) {
                std::string postoffice = GetField(line, ",", 1);
                const std::string address = GetField(line, ",", 2);
                const std::string mailboxName = GetField(address, "@", 1);
                const std::string domain = GetField(address, "@", 2);
                if (postoffice.empty() || mailboxName.empty() || domain.empty()) return;
                if (auto problem =
                        provisioning::LineProblem(context.files, postoffice, address, mailboxName,
                                                  domain, GetField(line, ",", 3))) {
                    PassOver(context, lineNumber, *problem, "nothing was created for it.");
                    return;
                }

                if (!provisioning::DomainExists(services, domain, postoffice)) {
                    provisioning::CreateDomain(services, domain, postoffice);
                }
                if (!provisioning::MailboxExists(services, mailboxName, postoffice)) {
                    provisioning::CreateMailbox(services, postoffice, mailboxName,
                                                GetField(line, ",", 3), -1, window.RootText(),
                                                rights);
                } else {
                    provisioning::CompleteMailbox(services, postoffice, mailboxName,
                                                  GetField(line, ",", 3), window.RootText(),
                                                  rights);
                }
                if (!provisioning::AddressMapExists(services, address, postoffice)) {
                    provisioning::CreateAddressMap(services,
                                                   std::string(provisioning::kStoreAndForward),
                                                   address, postoffice, mailboxName);
                }
            },
            "Mailboxes created.");
    });
}

void RunDelete(RunWindow& window, const RunContext& context) {
    Guarded(context, [&] {
        context.pointer.SetHourglass();
        auto path = CheckFileBox(window, context,
                                 "Need to select a file that contains the mailboxes to delete.");
        if (!path) return;
        int answer = context.messages.Show(
            "Are you sure you wish to delete the mailbox? All messages for this mailbox will be "
            "deleted.",
            platform::kMbYesNoCritical, "Delete");
        if (answer != platform::kAnswerYes) {
            context.pointer.Restore();
            return;
        }
        provisioning::Services services = ServicesOf(context);

        ProcessFile(
            context, *path,
            [&](const std::string& line, long lineNumber) {
                const std::string postoffice = GetField(line, ",", 1);
                const std::string address = GetField(line, ",", 2);
                const std::string mailboxName = GetField(address, "@", 1);
                if (postoffice.empty() || mailboxName.empty()) return;
                if (auto problem = provisioning::LineProblem(context.files, postoffice, address,
                                                             mailboxName)) {
                    PassOver(context, lineNumber, *problem, "nothing was deleted for it.");
                    return;
                }
                if (provisioning::MailboxExists(services, mailboxName, postoffice)) {
                    provisioning::DeleteMailbox(services, postoffice, mailboxName);
                }
            },
            "Mailboxes deleted.");
    });
}

}  // namespace seedwell::app
