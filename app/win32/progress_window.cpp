#include "app/win32/progress_window.h"

#include <commctrl.h>

#include "app/win32/win32_ui.h"
#include "app/win32/window_dpi.h"
#include "base/error.h"
#include "platform/win_text.h"

namespace seedwell::app {

namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;

bool IsInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

// Where the controls go at 96 DPI.
struct ChildPlace {
    int id;
    int left, top, width, height;
};
constexpr ChildPlace kPlaces[] = {
    {kProgressTextId, 12, 10, 296, 18},
    {kProgressBarId, 12, 34, 296, 20},
    {kProgressStopId, 124, 66, 72, 26},
};

}  // namespace

void Win32Progress::Open(std::string_view title, long total) {
    Close();
    const UINT dpi = WindowDpi(owner_);
    const auto px = [dpi](int pixelsAt96) { return MulDiv(pixelsAt96, static_cast<int>(dpi), 96); };
    RECT outer{0, 0, px(320), px(104)};
    AdjustWindowRectEx(&outer, kStyle, FALSE, WS_EX_DLGMODALFRAME);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    RECT over{};
    if (owner_ == nullptr || !GetWindowRect(owner_, &over)) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
    }
    const int left = over.left + (over.right - over.left - width) / 2;
    const int top = over.top + (over.bottom - over.top - height) / 2;

    auto created = Create({.instance = instance_,
                           .className = kProgressWindowClass,
                           .style = kStyle,
                           .exStyle = WS_EX_DLGMODALFRAME,
                           .place = {left, top},
                           .size = {width, height},
                           .owner = owner_,
                           .caption = title,
                           .what = "progress window"});
    stopped_ = false;
    Fill(created.get(), total);  // a failure destroys the window again
    Place(created.get(), WindowDpi(created.get()));
    window_ = std::move(created);
    HWND window = window_.get();

    ownerWasEnabled_ = owner_ != nullptr && IsWindowEnabled(owner_);
    if (ownerWasEnabled_) EnableWindow(owner_, FALSE);
    ShowWindow(window, SW_SHOW);
    SetFocus(GetDlgItem(window, kProgressStopId));
    UpdateWindow(window);
}

void Win32Progress::Fill(HWND window, long total) {
    const auto child = [&](const wchar_t* kind, const wchar_t* text, DWORD style, int id) {
        HWND control =
            CreateWindowExW(0, kind, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
        if (control == nullptr) {
            throw Error("The progress window cannot be shown: " +
                        platform::win::Win32Reason(GetLastError()));
        }
        return control;
    };
    child(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kProgressTextId);
    HWND bar = child(PROGRESS_CLASSW, L"", 0, kProgressBarId);
    child(L"BUTTON", L"Stop", WS_TABSTOP | BS_PUSHBUTTON, kProgressStopId);
    SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(total > 0 ? total : 1));
}

void Win32Progress::Place(HWND window, UINT dpi) noexcept {
    const auto px = [dpi](int pixelsAt96) { return MulDiv(pixelsAt96, static_cast<int>(dpi), 96); };
    platform::UniqueHandle<HFONT, FontTraits> font = MakeLayoutFont(dpi);
    HFONT shown = font ? font.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    for (const ChildPlace& place : kPlaces) {
        HWND control = GetDlgItem(window, place.id);
        MoveWindow(control, px(place.left), px(place.top), px(place.width), px(place.height),
                   FALSE);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(shown), FALSE);
    }
    font_ = std::move(font);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32Progress::Update(long line, std::string_view text) {
    HWND window = window_.get();
    if (window == nullptr) return;
    SetDlgItemTextW(window, kProgressTextId, WideText(text, "progress text").c_str());
    SendDlgItemMessageW(window, kProgressBarId, PBM_SETPOS, static_cast<WPARAM>(line), 0);
}

bool Win32Progress::Pump() noexcept {
    HWND window = window_.get();
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));  // for the main loop
            break;
        }
        if (IsInput(message.message) &&
            (window == nullptr || (message.hwnd != window && !IsChild(window, message.hwnd)))) {
            continue;  // the program takes no other input while a run goes
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return stopped_;
}

void Win32Progress::Close() noexcept {
    if (window_) {
        // The owner first, so that Windows activates it rather than another program.
        if (ownerWasEnabled_) EnableWindow(owner_, TRUE);
        window_.reset();
    }
    ownerWasEnabled_ = false;
    stopped_ = false;
    font_.reset();
}

LRESULT Win32Progress::HandleMessage(HWND window, UINT message, WPARAM w, LPARAM l) {
    if ((message == WM_COMMAND && LOWORD(w) == kProgressStopId && HIWORD(w) == BN_CLICKED) ||
        message == WM_CLOSE) {
        stopped_ = true;
        return 0;
    }
    if (message == WM_DPICHANGED) {
        const RECT& suggested = *reinterpret_cast<const RECT*>(l);
        Place(window, HIWORD(w));
        SetWindowPos(window, nullptr, suggested.left, suggested.top,
                     suggested.right - suggested.left, suggested.bottom - suggested.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

}  // namespace seedwell::app
