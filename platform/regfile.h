#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/codepage.h"
#include "platform/registry.h"

namespace seedwell::platform {

/// The largest registry file that is read; a bigger one is not a registry file.
inline constexpr std::size_t kMaxRegFileSize = 16 * 1024 * 1024;

/// One value of a registry file: its type code and the bytes a lookup answers, or no bytes when
/// its text cannot be represented in the code page (the value is then unreadable).
struct RegFileValue {
    std::uint32_t type = kRegNone;
    std::optional<std::string> data;
};

/// The values of one key, by name in ASCII lower case ("" is the default value).
struct RegFileKey {
    std::map<std::string, RegFileValue, std::less<>> values;
};

/// The keys a registry file defines, by full path from the root key ("HKEY_LOCAL_MACHINE\..."),
/// matched ignoring ASCII case.
class RegFileTree {
  public:
    /// The key at `path`, or nullptr when the file neither defines it nor any key below it (a key
    /// that only has keys below it exists, without values).
    const RegFileKey* FindKey(std::string_view path) const;
    /// The type and bytes of the value `name` of the key at `path`, or nullopt when the key or
    /// the value is missing or the value is unreadable.
    std::optional<RegistryValue> FindValue(std::string_view path, std::string_view name) const;

    /// Keys by full path in ASCII lower case.
    std::map<std::string, RegFileKey, std::less<>> keys;
};

/// Parses the bytes of a registry file: "Windows Registry Editor Version 5.00" as UTF-16LE text
/// with its byte-order mark (or as 8-bit text), or "REGEDIT4" as 8-bit text in `codePage`. Lines
/// that cannot be understood are skipped and the rest still counts. Returns nullopt when the bytes
/// are not a registry file or are larger than kMaxRegFileSize. Pure and safe on any input: never
/// throws, and its time and memory grow only in proportion to the input.
std::optional<RegFileTree> ParseRegFile(std::string_view bytes, const CodePage& codePage) noexcept;

}  // namespace seedwell::platform
