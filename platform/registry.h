#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace seedwell::platform {

/// Registry value type codes, as the registry reports them.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

/// Access rights a key may be opened with.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeyRead =
    0x20019;  // READ_CONTROL | QUERY_VALUE | ENUMERATE | NOTIFY

/// One value as the registry stores it: its type code and its raw bytes. Strings are 8-bit text
/// in the system code page, with whatever terminating NULs were stored.
struct RegistryValue {
    std::uint32_t type = kRegNone;
    std::string data;
};

/// An open key below HKEY_LOCAL_MACHINE. Closing happens when the object is destroyed.
class RegistryKey {
  public:
    virtual ~RegistryKey() = default;
    /// The value `valueName` of this key, or nullopt when it is missing or cannot be read.
    /// Throws only for lack of memory.
    virtual std::optional<RegistryValue> QueryValue(std::string_view valueName) = 0;
};

/// Read access to the registry's HKEY_LOCAL_MACHINE hive.
class Registry {
  public:
    virtual ~Registry() = default;
    /// Opens `keyPath` (backslash-separated, below HKEY_LOCAL_MACHINE, matched ignoring case)
    /// asking for the rights in `access`. Returns nullptr when the key is missing or the access
    /// is refused. Throws seedwell::Error naming the registry when it cannot be read at all (a
    /// registry file that is missing, unreadable or not a registry file).
    virtual std::unique_ptr<RegistryKey> OpenKey(std::string_view keyPath,
                                                 std::uint32_t access) = 0;
};

}  // namespace seedwell::platform
