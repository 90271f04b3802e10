#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "app/runs.h"
#include "app/screen.h"

namespace seedwell::app {

/// The kinds of control the window holds.
enum class ControlKind { kButton, kTextBox, kLabel, kFrame };

/// One control of the window. Positions and sizes are in twips (1440 to the inch); a control
/// inside the frame is placed relative to the frame's top-left corner, every other one relative
/// to the client area.
struct ControlEntry {
    std::string_view name;
    ControlKind kind;
    std::string_view caption;
    int left;
    int top;
    int width;
    int height;
    bool insideFrame;
};

inline constexpr std::string_view kFormName = "frmSeedwell";
inline constexpr std::string_view kFormCaption = "Import/Delete Mailboxes";
inline constexpr int kClientWidthTwips = 5775;
inline constexpr int kClientHeightTwips = 5535;
inline constexpr std::string_view kFrameName = "Info";

/// Every control of the window, in tab order.
extern const std::array<ControlEntry, 14> kControls;

/// The control called `name`. Throws std::out_of_range for an unknown name.
const ControlEntry& Control(std::string_view name);

/// True for the controls that take the keyboard focus: buttons and text boxes.
constexpr bool TakesFocus(const ControlEntry& control) {
    return control.kind == ControlKind::kButton || control.kind == ControlKind::kTextBox;
}

/// `twips` as pixels at `dpi` dots per inch, rounded to the nearest pixel.
constexpr int TwipsToPixels(int twips, int dpi) { return (twips * dpi + 720) / 1440; }

/// What the window's behaviour needs of its rendering: the two boxes and unloading, besides
/// what a run reads (RunWindow).
class FormView : public RunWindow {
  public:
    /// Replaces the text of txtFile.
    virtual void SetFileText(const std::string& text) = 0;
    /// Replaces the text of txtRoot.
    virtual void SetRootText(const std::string& text) = 0;
    /// Closes the window, which ends the program. Never throws.
    virtual void Unload() noexcept = 0;
};

/// The window's event handlers, the same on every platform. A rendering creates one, calls
/// Form_Load once before the window first shows and the Click handlers as buttons are pressed.
class FormHandlers {
  public:
    /// A run started by a button: RunImport or RunDelete, or a stand-in in tests.
    using RunFunction =
        std::function<void(RunWindow&, const provisioning::Services&, const Screen&)>;

    /// What `services` and `screen` refer to, and `cd`, must outlive the handlers.
    FormHandlers(const provisioning::Services& services, const Screen& screen, FileDialog& cd,
                 RunFunction runImport = RunImport, RunFunction runDelete = RunDelete);

    /// Fills the root box from the data directory that the registry names. Throws
    /// seedwell::Error when that fails: the window is then not shown.
    void Form_Load(FormView& view);
    /// The Click handlers. A failure that escapes one is shown as a critical box and the window
    /// unloads; none of them throws.
    void cmdSelect_Click(FormView& view) noexcept;
    void cmdImport_Click(FormView& view) noexcept;
    void cmdDelete_Click(FormView& view) noexcept;
    void cmdQuit_Click(FormView& view) noexcept;

  private:
    template <typename Handler>
    void Handle(FormView& view, Handler handler) noexcept;

    provisioning::Services services_;
    Screen screen_;
    FileDialog& cd_;
    RunFunction runImport_;
    RunFunction runDelete_;
};

/// A Click handler of FormHandlers.
using ClickHandler = void (FormHandlers::*)(FormView&) noexcept;

/// The Click handler of the button called `name` ("cmdSelect", "cmdImport", "cmdDelete",
/// "cmdQuit"); nullptr for any other name. Every rendering wires its buttons through it.
ClickHandler ClickHandlerOf(std::string_view name) noexcept;

}  // namespace seedwell::app
