#pragma once

#include <utility>

namespace seedwell::platform {

/// The one owner of a C handle that is a plain value: a file descriptor, an iconv descriptor, a
/// Windows HANDLE or HKEY. `Traits` gives the value that owns nothing and how to close one:
///
///     struct FdTraits {
///         static constexpr int Invalid() noexcept { return -1; }
///         static void Close(int fd) noexcept { ::close(fd); }
///     };
///     using Fd = UniqueHandle<int, FdTraits>;
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
    /// Closes the handle owned, if any, and owns `handle` instead.
    void reset(T handle = Traits::Invalid()) noexcept {
        const T old = std::exchange(handle_, handle);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

  private:
    T handle_ = Traits::Invalid();
};

}  // namespace seedwell::platform
