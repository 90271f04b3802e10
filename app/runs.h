#pragma once

#include <string>

#include "app/screen.h"
#include "provisioning/operations.h"

namespace seedwell::app {

/// What a run needs of the window: the texts of its two boxes, read at the moment they are
/// needed, and the focus. A failure (a box whose text cannot be read) throws seedwell::Error,
/// which the run's handler reports.
class RunWindow {
  public:
    virtual ~RunWindow() = default;
    virtual std::string FileText() = 0;  ///< the text of txtFile
    virtual std::string RootText() = 0;  ///< the text of txtRoot
    virtual void FocusFile() = 0;        ///< puts the keyboard focus into txtFile
    virtual void FocusRoot() = 0;        ///< puts the keyboard focus into txtRoot
};

/// What a run reaches of the screen. Every reference must outlive the run.
struct Screen {
    MessageBox& messages;
    BusyPointer& pointer;
    Progress& progress;
    const Clock& clock;
    SaveDialog& save;
};

/// The Import run behind the Import button. Reports everything through `screen.messages`:
/// at most five problems of single lines as boxes of their own, and every line with a problem
/// in the message at its end; when that message cannot show them all, it offers to save the
/// list of them, with the reason for each, where `screen.save` says. A run that goes on for more
/// than a second shows its progress and can be stopped after any line. A failure ends the run in
/// its handler, which shows "Error importing:" and the description; only a failure to show that
/// message throws.
void RunImport(RunWindow& window, const provisioning::Services& services, const Screen& screen);
/// The Delete run behind the Delete button. Reports and fails as RunImport does.
void RunDelete(RunWindow& window, const provisioning::Services& services, const Screen& screen);

}  // namespace seedwell::app
