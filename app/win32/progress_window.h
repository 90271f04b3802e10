#pragma once

#include <windows.h>
#undef MessageBox  // the program's interface of that name, not the Windows macro

#include <string>
#include <string_view>

#include "app/screen.h"
#include "app/win32/win32_ui.h"
#include "platform/unique_handle.h"

namespace seedwell::app {

/// The window class of the progress window.
inline constexpr wchar_t kProgressWindowClass[] = L"SeedwellProgress";
/// Control identifiers inside the progress window.
inline constexpr int kProgressTextId = 10;
inline constexpr int kProgressBarId = 11;
inline constexpr int kProgressStopId = 12;

/// The progress window of a long run on Windows: a small window owned by the main window, which
/// it disables while open, with the run's text, a progress bar control and a Stop button in the
/// layout font at the window's DPI, placed and remade again when the DPI changes. Needs
/// InitCommonControlsEx with ICC_PROGRESS_CLASS. Use on the thread of the main window only.
class Win32Progress final : public Progress, private WindowObject {
  public:
    explicit Win32Progress(HINSTANCE instance) : instance_(instance) {}
    Win32Progress(const Win32Progress&) = delete;
    Win32Progress& operator=(const Win32Progress&) = delete;
    ~Win32Progress() override { Close(); }

    /// The window that the progress window is modal to; none before.
    void SetOwner(HWND owner) noexcept { owner_ = owner; }
    /// The progress window while it is open, else nullptr.
    HWND Handle() const noexcept { return window_.get(); }

    void Open(std::string_view title, long total) override;
    void Update(long line, std::string_view text) override;
    bool Pump() noexcept override;
    void Close() noexcept override;

  private:
    LRESULT HandleMessage(HWND window, UINT message, WPARAM w, LPARAM l) override;
    /// Creates the text, the bar and the Stop button.
    void Fill(HWND window, long total);
    /// Places the controls at `dpi` and gives them the layout font made at that DPI.
    void Place(HWND window, UINT dpi) noexcept;

    HINSTANCE instance_;
    HWND owner_ = nullptr;
    platform::UniqueHandle<HFONT, FontTraits> font_;
    bool stopped_ = false;
    bool ownerWasEnabled_ = false;
};

}  // namespace seedwell::app
