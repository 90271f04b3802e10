#include "app/win32/frm_seedwell.h"

#include <array>

#include "app/win32/window_dpi.h"
#include "base/error.h"
#include "platform/win_text.h"

namespace seedwell::app {

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kWindowExStyle = 0;

struct ControlClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle;
};

ControlClass ClassOf(ControlKind kind) {
    constexpr DWORD child = WS_CHILD | WS_VISIBLE;
    switch (kind) {
        case ControlKind::kButton:
            return {L"BUTTON", child | WS_TABSTOP | BS_PUSHBUTTON, 0};
        case ControlKind::kTextBox:
            return {L"EDIT", child | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
        case ControlKind::kLabel:
            return {L"STATIC", child | SS_LEFT | SS_NOPREFIX, 0};
        case ControlKind::kFrame:
            break;
    }
    return {L"BUTTON", child | BS_GROUPBOX, 0};
}

std::size_t IndexOf(std::string_view name) {
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        if (kControls[i].name == name) return i;
    }
    throw Error("no control called " + std::string(name));
}

}  // namespace

Win32Form::Win32Form(HINSTANCE instance, FormHandlers& handlers, const Win32BusyPointer& pointer)
    : handlers_(handlers), pointer_(pointer) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    window_ = Create({.instance = instance,
                      .className = kMainWindowClass,
                      .iconResource = kIconResource,
                      .style = kWindowStyle,
                      .exStyle = kWindowExStyle,
                      .place = {monitor.rcWork.left, monitor.rcWork.top},
                      .size = {100, 100},
                      .caption = kFormCaption,
                      .what = "main window"});
    HWND window = window_.get();

    for (std::size_t i = 0; i < kControls.size(); ++i) {
        const ControlEntry& entry = kControls[i];
        const ControlClass kind = ClassOf(entry.kind);
        const std::wstring text = WideText(entry.caption, "caption of " + std::string(entry.name));
        HWND control = CreateWindowExW(
            kind.exStyle, kind.name, text.c_str(), kind.style, 0, 0, 0, 0, window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + i)), instance, nullptr);
        if (control == nullptr) {
            throw Error("The control " + std::string(entry.name) +
                        " cannot be created: " + platform::win::Win32Reason(GetLastError()));
        }
    }
    Layout(WindowDpi(window));

    // Centred on the work area of the primary monitor.
    RECT frame{};
    GetWindowRect(window, &frame);
    const LONG width = frame.right - frame.left, height = frame.bottom - frame.top;
    const LONG left =
        monitor.rcWork.left + (monitor.rcWork.right - monitor.rcWork.left - width) / 2;
    const LONG top = monitor.rcWork.top + (monitor.rcWork.bottom - monitor.rcWork.top - height) / 2;
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    handlers_.Form_Load(*this);
}

HWND Win32Form::ControlWindow(std::size_t index) const noexcept {
    return GetDlgItem(window_.get(), kFirstControlId + static_cast<int>(index));
}

HWND Win32Form::Named(std::string_view name) const { return ControlWindow(IndexOf(name)); }

void Win32Form::Layout(UINT dpi) {
    const auto px = [dpi](int twips) { return TwipsToPixels(twips, static_cast<int>(dpi)); };

    // The font the twips were laid out for, at this DPI; the stock one if none can be made.
    platform::UniqueHandle<HFONT, FontTraits> font = MakeLayoutFont(dpi);
    HFONT shown = font ? font.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

    const ControlEntry& frame = Control(kFrameName);
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        const ControlEntry& entry = kControls[i];
        const int left = px(entry.left) + (entry.insideFrame ? px(frame.left) : 0);
        const int top = px(entry.top) + (entry.insideFrame ? px(frame.top) : 0);
        HWND control = ControlWindow(i);
        MoveWindow(control, left, top, px(entry.width), px(entry.height), FALSE);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(shown), FALSE);
    }
    font_ = std::move(font);

    const RECT outer = OuterFrame({0, 0, px(kClientWidthTwips), px(kClientHeightTwips)},
                                  kWindowStyle, kWindowExStyle, dpi);
    SetWindowPos(window_.get(), nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The controls were moved and given the font without repainting: all of them at once.
    RedrawWindow(window_.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32Form::Show(int how) {
    shown_ = true;
    ShowWindow(window_.get(), how);
    UpdateWindow(window_.get());
    SetFocus(Named("cmdSelect"));
}

bool Win32Form::PreTranslate(const MSG& message) {
    HWND window = window_.get();
    if (window == nullptr || message.message != WM_KEYDOWN ||
        (message.hwnd != window && !IsChild(window, message.hwnd))) {
        return false;
    }
    switch (message.wParam) {
        case VK_RETURN:
        case VK_ESCAPE:
            return true;
        case VK_TAB:
            break;
        default:
            return false;
    }
    std::array<HWND, kControls.size()> cycle{};
    std::size_t count = 0, current = kControls.size();
    HWND focus = GetFocus();
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        if (!TakesFocus(kControls[i])) continue;
        if (ControlWindow(i) == focus) current = count;
        cycle[count++] = ControlWindow(i);
    }
    const bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    std::size_t next = 0;
    if (current == kControls.size()) {
        next = back ? count - 1 : 0;
    } else {
        next = back ? (current + count - 1) % count : (current + 1) % count;
    }
    SetFocus(cycle[next]);
    wchar_t className[8] = {};
    GetClassNameW(cycle[next], className, 8);
    if (lstrcmpiW(className, L"EDIT") == 0) SendMessageW(cycle[next], EM_SETSEL, 0, -1);
    return true;
}

std::string Win32Form::FileText() { return WindowText(Named("txtFile"), "file box"); }
std::string Win32Form::RootText() { return WindowText(Named("txtRoot"), "root box"); }
void Win32Form::FocusFile() { SetFocus(Named("txtFile")); }
void Win32Form::FocusRoot() { SetFocus(Named("txtRoot")); }

void Win32Form::SetFileText(const std::string& text) {
    SetWindowTextW(Named("txtFile"), WideText(text, "file name").c_str());
}

void Win32Form::SetRootText(const std::string& text) {
    SetWindowTextW(Named("txtRoot"), WideText(text, "post-office root").c_str());
}

void Win32Form::Unload() noexcept { window_.reset(); }

void Win32Form::Click(int id) {
    if (handling_) return;  // one handler at a time, to its end
    const std::size_t index = static_cast<std::size_t>(id - kFirstControlId);
    if (id < kFirstControlId || index >= kControls.size()) return;
    const ClickHandler handler = ClickHandlerOf(kControls[index].name);
    if (handler == nullptr) return;
    handling_ = true;
    (handlers_.*handler)(*this);
    handling_ = false;
}

LRESULT Win32Form::HandleMessage(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(w) == BN_CLICKED && l != 0) Click(LOWORD(w));
            return 0;
        case WM_SETCURSOR:
            if (pointer_.IsSet()) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case WM_ACTIVATE:
            // A window that is not a dialog keeps its focus across activation itself.
            if (LOWORD(w) == WA_INACTIVE) {
                lastFocus_ = GetFocus();
            } else if (lastFocus_ != nullptr && IsChild(window, lastFocus_)) {
                SetFocus(lastFocus_);
                return 0;
            }
            break;
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(l);
            Layout(HIWORD(w));
            SetWindowPos(window, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_CLOSE:
            Unload();
            return 0;
        case WM_DESTROY:
            if (shown_) PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, w, l);
}

int RunMessageLoop(Win32Form& form) {
    MSG message{};
    BOOL got = 0;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
        if (form.PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return got < 0 ? 1 : static_cast<int>(message.wParam);
}

}  // namespace seedwell::app
