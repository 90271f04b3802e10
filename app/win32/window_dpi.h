#pragma once

// The DPI of the program's windows: per monitor where Windows 10 tells it, else the system's.

#include <windows.h>

namespace seedwell::app {

/// The DPI of `window` (96 when Windows cannot tell).
UINT WindowDpi(HWND window) noexcept;

/// The window rectangle around the client area `client` of a window of `style` and `exStyle`
/// at `dpi`; at the system DPI where Windows cannot size a frame for another.
RECT OuterFrame(RECT client, DWORD style, DWORD exStyle, UINT dpi) noexcept;

}  // namespace seedwell::app
