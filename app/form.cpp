#include "app/form.h"

#include <exception>
#include <optional>
#include <stdexcept>
#include <utility>

#include "support/settings.h"

namespace seedwell::app {

namespace {

using enum ControlKind;

constexpr std::string_view kLabel4Text =
    "The post office must already exist. Mailboxes and domains will be created based on the "
    "email address. For instance, jsmith@example.com will generate a mailbox called \"jsmith\" "
    "and add the domain \"example.com\" if it doesn't already exist.";
constexpr std::string_view kLabel7Text =
    "If deleting mailboxes, you just need the postoffice and email address (or mailbox name "
    "instead of email address). ALWAYS back up before deletion.";

}  // namespace

const std::array<ControlEntry, 14> kControls = {{
    {"cmdSelect", kButton, "Select File...", 120, 120, 1215, 375, false},
    {"txtFile", kTextBox, "", 1440, 120, 3735, 405, false},
    {"txtRoot", kTextBox, "", 120, 960, 5055, 285, false},
    {"cmdImport", kButton, "Import", 120, 5040, 1215, 375, false},
    {"cmdQuit", kButton, "Quit", 4440, 5040, 1215, 375, false},
    {"Label1", kLabel, "Root post office directory:", 120, 720, 1815, 255, false},
    {"Info", kFrame, "Info", 120, 1440, 5535, 3495, false},
    {"Label2", kLabel,
     "Import file needs to be a plain comma-delimited  text file with each line formatted as:", 120,
     240, 5175, 375, true},
    {"Label3", kLabel, "postoffice,emailaddress,password", 120, 720, 3855, 255, true},
    {"Label4", kLabel, kLabel4Text, 120, 1080, 5175, 855, true},
    {"Label5", kLabel, "An example line of an import file would be:", 120, 2040, 5055, 255, true},
    {"Label6", kLabel, "main,jsmith@example.com,secret", 120, 2400, 4095, 255, true},
    {"cmdDelete", kButton, "Delete", 2280, 5040, 1215, 375, false},
    {"Label7", kLabel, kLabel7Text, 120, 2760, 5055, 615, true},
}};

const ControlEntry& Control(std::string_view name) {
    for (const ControlEntry& control : kControls) {
        if (control.name == name) return control;
    }
    throw std::out_of_range("no control called " + std::string(name));
}

FormHandlers::FormHandlers(const provisioning::Services& services, const Screen& screen,
                           FileDialog& cd, RunFunction runImport, RunFunction runDelete)
    : services_(services),
      screen_(screen),
      cd_(cd),
      runImport_(std::move(runImport)),
      runDelete_(std::move(runDelete)) {}

template <typename Handler>
void FormHandlers::Handle(FormView& view, Handler handler) noexcept {
    std::string description;
    try {
        handler();
        return;
    } catch (const std::exception& failure) {
        description = failure.what();
    } catch (...) {
        description = "An unknown failure occurred.";
    }
    try {
        screen_.messages.Show(description, kMbOkCritical, std::nullopt);
    } catch (...) {
        // The window unloads below whether or not the failure could be shown.
    }
    view.Unload();
}

void FormHandlers::Form_Load(FormView& view) {
    const std::string dataDirectory =
        support::GetDataDirectory(services_.registry, services_.codePage);
    view.SetRootText(support::PostofficeRoot(services_.files, dataDirectory));
}

void FormHandlers::cmdSelect_Click(FormView& view) noexcept {
    Handle(view, [&] {
        cd_.ShowOpen();
        view.SetFileText(cd_.FileName());
    });
}

void FormHandlers::cmdImport_Click(FormView& view) noexcept {
    Handle(view, [&] { runImport_(view, services_, screen_); });
}

void FormHandlers::cmdDelete_Click(FormView& view) noexcept {
    Handle(view, [&] { runDelete_(view, services_, screen_); });
}

void FormHandlers::cmdQuit_Click(FormView& view) noexcept { view.Unload(); }

ClickHandler ClickHandlerOf(std::string_view name) noexcept {
    struct Button {
        std::string_view name;
        ClickHandler handler;
    };
    static constexpr Button kButtons[] = {
        {"cmdSelect", &FormHandlers::cmdSelect_Click},
        {"cmdImport", &FormHandlers::cmdImport_Click},
        {"cmdDelete", &FormHandlers::cmdDelete_Click},
        {"cmdQuit", &FormHandlers::cmdQuit_Click},
    };
    for (const Button& button : kButtons) {
        if (button.name == name) return button.handler;
    }
    return nullptr;
}

}  // namespace seedwell::app
