#pragma once

#include <string>

#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/objects.h"
#include "platform/progress.h"
#include "platform/registry.h"
#include "platform/ui.h"

namespace seedwell::app {

/// What a run needs of the window: the texts of its two boxes, read at the moment they are
/// needed, and the focus. None of them throws.
class RunWindow {
  public:
    virtual ~RunWindow() = default;
    virtual std::string FileText() = 0;  ///< the text of txtFile
    virtual std::string RootText() = 0;  ///< the text of txtRoot
    virtual void FocusFile() = 0;        ///< puts the keyboard focus into txtFile
    virtual void FocusRoot() = 0;        ///< puts the keyboard focus into txtRoot
};

/// Everything a run reaches outside itself. All references must outlive the run.
struct RunContext {
    platform::ObjectFactory& objects;
    platform::FileSystem& files;
    platform::Registry& registry;
    platform::MessageBox& messages;
    platform::BusyPointer& pointer;
    const platform::CodePage& codePage;
    platform::Progress& progress;
    const platform::Clock& clock;
};

/// The Import run behind the Import button. Reports everything through `context.messages`:
/// at most five problems of single lines as boxes of their own, and every line with a problem
/// in the message at its end. A run that goes on for more than a second shows its progress and
/// can be stopped after any line. Never throws.
void RunImport(RunWindow& window, const RunContext& context);
/// The Delete run behind the Delete button. Reports as RunImport does; never throws.
void RunDelete(RunWindow& window, const RunContext& context);

}  // namespace seedwell::app
