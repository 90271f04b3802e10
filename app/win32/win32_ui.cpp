#include "app/win32/win32_ui.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "base/error.h"
#include "platform/win_text.h"

namespace seedwell::app {

namespace {

// A font as Windows realises it: its face and its em in pixels.
struct Realised {
    wchar_t face[LF_FACESIZE] = {};
    int em = 0;

    bool Named(const wchar_t* asked) const noexcept { return lstrcmpiW(face, asked) == 0; }
};

Realised Realise(HFONT font) noexcept {
    Realised realised;
    const platform::UniqueHandle<HDC, MemoryDcTraits> dc(CreateCompatibleDC(nullptr));
    if (!dc || font == nullptr) return realised;
    const HGDIOBJ old = SelectObject(dc.get(), font);
    GetTextFaceW(dc.get(), LF_FACESIZE, realised.face);
    TEXTMETRICW metrics{};
    if (GetTextMetricsW(dc.get(), &metrics)) {
        realised.em = metrics.tmHeight - metrics.tmInternalLeading;
    }
    if (old != nullptr) SelectObject(dc.get(), old);
    return realised;
}

platform::UniqueHandle<HFONT, FontTraits> MakeFont(const wchar_t* face, int em,
                                                   BYTE precision) noexcept {
    LOGFONTW font{};
    font.lfHeight = -em;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = precision;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return platform::UniqueHandle<HFONT, FontTraits>(CreateFontIndirectW(&font));
}

}  // namespace

LRESULT CALLBACK WindowObject::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* object = reinterpret_cast<WindowObject*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (object == nullptr) return DefWindowProcW(window, message, w, l);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (object->window_.get() == window) object->window_.release();
        return DefWindowProcW(window, message, w, l);
    }
    return object->HandleMessage(window, message, w, l);
}

platform::UniqueHandle<HWND, WindowTraits> WindowObject::Create(const WindowPlan& plan) {
    const std::string what(plan.what);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Procedure;
    windowClass.hInstance = plan.instance;
    if (plan.iconResource != 0) {
        const LPCWSTR icon = MAKEINTRESOURCEW(plan.iconResource);
        windowClass.hIcon = LoadIconW(plan.instance, icon);
        windowClass.hIconSm = static_cast<HICON>(
            LoadImageW(plan.instance, icon, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                       GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    }
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = plan.className;
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw Error("The " + what +
                    "'s class cannot be registered: " + platform::win::Win32Reason(GetLastError()));
    }
    const std::wstring caption = WideText(plan.caption, what + "'s title");
    platform::UniqueHandle<HWND, WindowTraits> window(CreateWindowExW(
        plan.exStyle, plan.className, caption.c_str(), plan.style, plan.place.x, plan.place.y,
        plan.size.cx, plan.size.cy, plan.owner, nullptr, plan.instance, this));
    if (!window) {
        throw Error("The " + what +
                    " cannot be created: " + platform::win::Win32Reason(GetLastError()));
    }
    return window;
}

WindowObject::~WindowObject() {
    if (!window_) return;
    // Procedure finds no object behind the window any more: HandleMessage is pure virtual here.
    SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
    window_.reset();
}

platform::UniqueHandle<HFONT, FontTraits> MakeLayoutFont(UINT dpi) noexcept {
    const int em = LayoutEm(dpi);
    // A bitmap face comes in a few sizes: asked for another, Windows gives the nearest one.
    platform::UniqueHandle<HFONT, FontTraits> bitmap =
        MakeFont(kLayoutFace, em, OUT_DEFAULT_PRECIS);
    const Realised given = Realise(bitmap.get());
    if (given.Named(kLayoutFace) && given.em == em) return bitmap;
    platform::UniqueHandle<HFONT, FontTraits> twin = MakeFont(kLayoutTwinFace, em, OUT_TT_PRECIS);
    if (Realise(twin.get()).Named(kLayoutTwinFace)) return twin;
    return bitmap ? std::move(bitmap) : std::move(twin);
}

std::wstring WideText(std::string_view text, std::string_view what) {
    std::optional<std::wstring> wide = platform::win::Widen(text);
    if (!wide) throw Error("The " + std::string(what) + " cannot be shown: it is not UTF-8 text.");
    return std::move(*wide);
}

std::string WindowText(HWND window, std::string_view what) {
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length > 0 ? length : 0) + 1);
    const int read = GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    std::optional<std::string> text =
        platform::win::Narrow(std::wstring_view(buffer.data(), read > 0 ? read : 0));
    if (!text) {
        throw Error("The text of the " + std::string(what) +
                    " cannot be read: it holds a lone UTF-16 surrogate.");
    }
    return std::move(*text);
}

int Win32MessageBox::Show(std::string_view text, BoxStyle style, std::optional<std::string> title) {
    using namespace platform;
    const std::wstring wideText = WideText(text, "message");
    const std::wstring wideTitle =
        WideText(title ? *title : std::string(kApplicationTitle), "message title");
    const int answer = MessageBoxW(owner_, wideText.c_str(), wideTitle.c_str(),
                                   static_cast<UINT>(static_cast<int>(style)));
    if (answer == 0) {
        throw Error("A message box could not be shown: " +
                    platform::win::Win32Reason(GetLastError()));
    }
    if (!IsYesNo(style)) return kAnswerOk;
    return answer == IDYES ? kAnswerYes : kAnswerNo;
}

void Win32BusyPointer::SetHourglass() {
    set_ = true;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void Win32BusyPointer::Restore() {
    if (!set_) return;
    set_ = false;
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

void Win32FileDialog::ShowOpen() {
    // Long enough for any path Windows accepts.
    std::vector<wchar_t> buffer(32768, L'\0');
    buffer_.copy(buffer.data(), buffer_.size());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    if (!GetOpenFileNameW(&dialog)) {
        const DWORD failure = CommDlgExtendedError();
        if (failure == 0) return;  // cancelled
        throw Error("The file-open dialog failed: error " + platform::win::Hex(failure));
    }
    std::wstring picked(buffer.data());
    std::optional<std::string> name = platform::win::Narrow(picked);
    if (!name) throw Error("The file picked cannot be read as text: it holds a lone surrogate.");
    buffer_ = std::move(picked);
    fileName_ = std::move(*name);
}

std::optional<std::string> Win32SaveDialog::ShowSave(std::string_view title,
                                                     const std::string& proposed) {
    const std::wstring wideTitle = WideText(title, "save dialog's title");
    const std::wstring wideProposed = WideText(proposed, "proposed file name");
    std::vector<wchar_t> buffer(32768, L'\0');
    wideProposed.copy(buffer.data(), std::min(wideProposed.size(), buffer.size() - 1));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_;
    dialog.lpstrFilter = L"Comma-separated values (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrTitle = wideTitle.c_str();
    dialog.lpstrDefExt = L"csv";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&dialog)) {
        const DWORD failure = CommDlgExtendedError();
        if (failure == 0) return std::nullopt;  // cancelled
        throw Error("The save dialog failed: error " + platform::win::Hex(failure));
    }
    std::optional<std::string> chosen = platform::win::Narrow(std::wstring(buffer.data()));
    if (!chosen) throw Error("The file chosen cannot be read as text: it holds a lone surrogate.");
    return chosen;
}

}  // namespace seedwell::app
