#pragma once

#include <utility>

namespace seedwell::base {

/// The one owner of a handle that is a plain value: a file descriptor, an iconv descriptor, a
/// Windows HANDLE or HKEY, a SQLite connection, a COM interface pointer, the path of a new file
/// that goes unless it is kept. `Traits` gives the value that owns nothing and how to close one:
///
///     struct KeyTraits {
///         static HKEY Invalid() noexcept { return nullptr; }
///         static void Close(HKEY key) noexcept { RegCloseKey(key); }
///     };
///     using KeyHandle = UniqueHandle<HKEY, KeyTraits>;
///
/// Movable, not copyable; closes what it owns when destroyed, reset or assigned over. Close must
/// not throw, so neither does anything here.
template <typename T, typename Traits>
class UniqueHandle {
  public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(T handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    /// The handle, still owned here.
    T get() const noexcept { return handle_; }
    /// True when a handle is owned.
    explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }
    /// Gives up ownership without closing.
    T release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
    /// Closes the handle owned, if any, and gives the place where a C call that hands out a
    /// handle through a pointer writes it: what the call leaves there is owned from then on.
    T* put() noexcept {
        reset();
        return &handle_;
    }
    /// Closes the handle owned, if any, and owns `handle` instead.
    void reset(T handle = Traits::Invalid()) noexcept {
        const T old = std::exchange(handle_, handle);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

  private:
    T handle_ = Traits::Invalid();
};

}  // namespace seedwell::base
