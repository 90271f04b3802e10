#pragma once

// The platform's modal pieces on Windows: message boxes, the busy pointer and the file-open
// dialog, all owned by the main window once it exists.

#include <windows.h>
#undef MessageBox  // the program's interface of that name, not the Windows macro

#include <optional>
#include <string>
#include <string_view>

#include "app/screen.h"
#include "platform/unique_handle.h"

namespace seedwell::app {

/// Owner of a window: destroying the owner destroys the window.
struct WindowTraits {
    static HWND Invalid() noexcept { return nullptr; }
    static void Close(HWND window) noexcept { DestroyWindow(window); }
};
/// Owner of a GDI object (a font, a bitmap): deletes it.
template <typename Object>
struct GdiObjectTraits {
    static Object Invalid() noexcept { return nullptr; }
    static void Close(Object object) noexcept { DeleteObject(object); }
};
using FontTraits = GdiObjectTraits<HFONT>;
/// Owner of a memory device context (CreateCompatibleDC): deletes it.
struct MemoryDcTraits {
    static HDC Invalid() noexcept { return nullptr; }
    static void Close(HDC dc) noexcept { DeleteDC(dc); }
};

/// A window of a window class of its own, as WindowObject::Create makes it.
struct WindowPlan {
    HINSTANCE instance = nullptr;
    const wchar_t* className = nullptr;
    int iconResource = 0;  ///< the class's icon in the instance's resources; 0 for none
    DWORD style = 0, exStyle = 0;
    POINT place{};  ///< the frame's top left corner on the screen
    SIZE size{};
    HWND owner = nullptr;
    std::string_view caption;  ///< UTF-8
    std::string_view what;     ///< the window for messages: "main window"
};

/// A C++ object behind a window of its own window class: Create registers the class with
/// Procedure and creates the window, and Procedure hands the object every message from
/// WM_NCCREATE on through HandleMessage. At WM_NCDESTROY the object lets go of its window, which
/// is then gone.
///
/// Destroying the object destroys the window it still holds in window_, after detaching it: the
/// derived part is gone by then (or was never whole, when its constructor failed after creating
/// the window), so the window's last messages go to DefWindowProcW, not to HandleMessage. A
/// derived class that needs those messages destroys its window in its own destructor.
class WindowObject {
  protected:
    WindowObject() = default;
    ~WindowObject();
    WindowObject(const WindowObject&) = delete;
    WindowObject& operator=(const WindowObject&) = delete;

    /// Registers the class `plan` names (one already registered is used as it is) with the arrow
    /// pointer and the dialog colour behind it, and creates its window with this object behind
    /// it. The caller owns the window, and puts it in window_ once it is whole. Throws
    /// seedwell::Error naming `plan.what` when the class cannot be registered, the caption is
    /// not UTF-8 or the window cannot be created.
    platform::UniqueHandle<HWND, WindowTraits> Create(const WindowPlan& plan);
    /// One message to the window, before WM_NCDESTROY.
    virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM w, LPARAM l) = 0;

    /// The window, once it is created and until it is destroyed.
    platform::UniqueHandle<HWND, WindowTraits> window_;

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
};

/// The face the windows' twips were laid out for: the platform's dialog font, a bitmap face
/// with a few sizes only.
inline constexpr wchar_t kLayoutFace[] = L"MS Sans Serif";
/// Its TrueType twin, for a DPI at which the bitmap face has no size of kLayoutPoints.
inline constexpr wchar_t kLayoutTwinFace[] = L"Microsoft Sans Serif";
/// The size the layout was made for, in points.
inline constexpr int kLayoutPoints = 8;

/// The character height (the em, without internal leading) of kLayoutPoints at `dpi`, in pixels.
constexpr int LayoutEm(UINT dpi) { return (kLayoutPoints * static_cast<int>(dpi) + 36) / 72; }

/// The windows' font at `dpi`: kLayoutFace when Windows has it at LayoutEm(dpi), else
/// kLayoutTwinFace at that size when it is installed, else kLayoutFace as the font mapper
/// matches it. Message boxes and the file dialog keep the system's fonts. Empty only when Windows
/// cannot make a font at all.
platform::UniqueHandle<HFONT, FontTraits> MakeLayoutFont(UINT dpi) noexcept;

/// Message boxes through MessageBoxW, owned by the window given to SetOwner (none before).
/// The style's value is passed to Windows as it is; a box without a title of its own
/// carries kApplicationTitle.
class Win32MessageBox : public app::MessageBox {
  public:
    void SetOwner(HWND owner) noexcept { owner_ = owner; }
    /// Throws seedwell::Error for text that is not UTF-8 and when Windows cannot show the box.
    int Show(std::string_view text, BoxStyle style, std::optional<std::string> title) override;

  private:
    HWND owner_ = nullptr;
};

/// The hourglass (IDC_WAIT). While it is set, the main window answers WM_SETCURSOR with it
/// (IsSet); restoring shows the arrow at once. Destroying the object restores the arrow.
class Win32BusyPointer : public app::BusyPointer {
  public:
    Win32BusyPointer() = default;
    Win32BusyPointer(const Win32BusyPointer&) = delete;
    Win32BusyPointer& operator=(const Win32BusyPointer&) = delete;
    ~Win32BusyPointer() override { Restore(); }

    void SetHourglass() override;
    void Restore() override;
    bool IsSet() const noexcept { return set_; }

  private:
    bool set_ = false;
};

/// The file-open dialog through GetOpenFileNameW, owned by the window given to SetOwner, with
/// nothing set but its file name buffer (which starts with the last file picked).
class Win32FileDialog : public app::FileDialog {
  public:
    void SetOwner(HWND owner) noexcept { owner_ = owner; }
    /// Throws seedwell::Error when the dialog fails for another reason than a cancel.
    void ShowOpen() override;
    std::string FileName() const override { return fileName_; }

  private:
    HWND owner_ = nullptr;
    std::wstring buffer_;  // the last pick, as Windows gave it
    std::string fileName_;
};

/// The save dialog through GetSaveFileNameW, owned by the window given to SetOwner: it proposes
/// the file given, asks before replacing a file, offers comma-separated files first and leaves
/// the working folder as it was.
class Win32SaveDialog : public app::SaveDialog {
  public:
    void SetOwner(HWND owner) noexcept { owner_ = owner; }
    /// Throws seedwell::Error when the dialog fails for another reason than a cancel.
    std::optional<std::string> ShowSave(std::string_view title,
                                        const std::string& proposed) override;

  private:
    HWND owner_ = nullptr;
};

/// `text` as UTF-16 for a window. Throws seedwell::Error naming `what` when `text` is not
/// UTF-8.
std::wstring WideText(std::string_view text, std::string_view what);
/// The text of `window` as UTF-8. Throws seedwell::Error naming `what` when it cannot be read
/// as text.
std::string WindowText(HWND window, std::string_view what);

}  // namespace seedwell::app
