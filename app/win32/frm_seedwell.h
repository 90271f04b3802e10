#pragma once

#include <windows.h>
#undef MessageBox  // the program's interface of that name, not the Windows macro

#include <string>

#include "app/form.h"
#include "app/win32/win32_ui.h"
#include "platform/unique_handle.h"

namespace seedwell::app {

/// The resource number of the program's icon.
inline constexpr int kIconResource = 1;
/// The window class of the main window.
inline constexpr wchar_t kMainWindowClass[] = L"SeedwellMainWindow";
/// The control identifier of kControls[i] is kFirstControlId + i.
inline constexpr int kFirstControlId = 100;

/// The main window drawn with the Win32 API alone: a window class of its own, a fixed size
/// whose client area is the form's size in twips at the window's DPI, standard controls placed
/// from the control table in the font they were laid out for (MakeLayoutFont, remade when the
/// DPI changes), centred on the work area of the primary monitor. Destroying it (Quit, the close
/// box, or a failure a handler met) posts WM_QUIT.
class Win32Form final : public FormView, private WindowObject {
  public:
    /// Creates the window hidden and runs Form_Load. `handlers` and `pointer` must outlive it.
    /// Throws seedwell::Error when the window cannot be created or Form_Load fails; no window
    /// is left then.
    Win32Form(HINSTANCE instance, FormHandlers& handlers, const Win32BusyPointer& pointer);
    Win32Form(const Win32Form&) = delete;
    Win32Form& operator=(const Win32Form&) = delete;
    ~Win32Form() override = default;

    /// The top-level window, or nullptr once it is destroyed.
    HWND Handle() const noexcept { return window_.get(); }
    /// The control of kControls[index].
    HWND ControlWindow(std::size_t index) const noexcept;
    /// Shows the window with the focus on "Select File...".
    void Show(int how);
    /// Handles the keys the window answers itself before they are dispatched: Tab and
    /// Shift+Tab move the focus in tab order, Enter and Escape do nothing. True when `message`
    /// was used up.
    bool PreTranslate(const MSG& message);

    std::string FileText() override;
    std::string RootText() override;
    void FocusFile() override;
    void FocusRoot() override;
    void SetFileText(const std::string& text) override;
    void SetRootText(const std::string& text) override;
    void Unload() noexcept override;

  private:
    LRESULT HandleMessage(HWND window, UINT message, WPARAM w, LPARAM l) override;
    void Layout(UINT dpi);
    void Click(int id);
    HWND Named(std::string_view name) const;

    FormHandlers& handlers_;
    const Win32BusyPointer& pointer_;
    platform::UniqueHandle<HFONT, FontTraits> font_;
    HWND lastFocus_ = nullptr;
    bool shown_ = false;
    bool handling_ = false;
};

/// Runs the message loop until WM_QUIT and answers its exit code.
int RunMessageLoop(Win32Form& form);

}  // namespace seedwell::app
