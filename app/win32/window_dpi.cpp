#include "app/win32/window_dpi.h"

namespace seedwell::app {

namespace {

// The per-monitor functions of Windows 10, looked up so that older systems still run the
// program (at the system DPI).
template <typename Function>
Function User32(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
               : nullptr;
}
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

}  // namespace

UINT WindowDpi(HWND window) noexcept {
    static const auto getDpi = User32<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpi != nullptr && window != nullptr) {
        const UINT dpi = getDpi(window);
        if (dpi != 0) return dpi;
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

RECT OuterFrame(RECT client, DWORD style, DWORD exStyle, UINT dpi) noexcept {
    static const auto adjustForDpi = User32<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    if (adjustForDpi != nullptr) {
        adjustForDpi(&client, style, FALSE, exStyle, dpi);
    } else {
        AdjustWindowRectEx(&client, style, FALSE, exStyle);
    }
    return client;
}

}  // namespace seedwell::app
