#pragma once

#include <cstdint>

#include "base/unique_handle.h"

namespace seedwell::platform {

// The owners of this platform's handles, each a UniqueHandle (base/unique_handle.h) with the
// traits of its kind.
using base::UniqueHandle;

/// A POSIX file descriptor, -1 when none; closed with close(), which the POSIX sources define.
struct FdTraits {
    static constexpr int Invalid() noexcept { return -1; }
    static void Close(int fd) noexcept;
};
using UniqueFd = UniqueHandle<int, FdTraits>;

/// A Windows kernel object's HANDLE (a void*), INVALID_HANDLE_VALUE when none, as CreateFileW and
/// NtCreateFile leave it on failure; closed with CloseHandle, which the Windows sources define.
struct WinHandleTraits {
    static void* Invalid() noexcept { return reinterpret_cast<void*>(std::intptr_t{-1}); }
    static void Close(void* handle) noexcept;
};
using UniqueWinHandle = UniqueHandle<void*, WinHandleTraits>;

/// One reference to a COM interface, nullptr when none, given back with the interface's own
/// Release(). Owned once, never copied: a second owner takes a reference of its own (AddRef).
template <typename Interface>
struct ComTraits {
    static constexpr Interface* Invalid() noexcept { return nullptr; }
    static void Close(Interface* object) noexcept { object->Release(); }
};
template <typename Interface>
using ComPtr = UniqueHandle<Interface*, ComTraits<Interface>>;

}  // namespace seedwell::platform
