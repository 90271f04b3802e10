#pragma once

#include <string>
#include <string_view>

#include "platform/codepage.h"
#include "platform/registry.h"

namespace seedwell::support {

/// Where the mail server keeps its data directory, below HKEY_LOCAL_MACHINE.
inline constexpr std::string_view kServerKeyPath = "SOFTWARE\\Tarnwick\\Tarnwick";
inline constexpr std::string_view kDataDirectoryValueName = "Data Directory";

/// The text of a registry value by the lookup's rules: a 32-bit number as signed decimal text;
/// any other type as its bytes read through `codePage`, less the last byte (the terminating NUL
/// of a well-formed string). Empty text when there is nothing to give. Never throws.
std::string RegistryValueToText(const platform::RegistryValue& value,
                                const platform::CodePage& codePage) noexcept;

/// The value `valueName` of the key `keyPath` below HKEY_LOCAL_MACHINE as text, reading the key
/// with read access only; empty text when the key, the value or the registry cannot be read.
/// Never throws.
std::string ReadRegistryValue(platform::Registry& registry, std::string keyPath,
                              std::string valueName,
                              const platform::CodePage& codePage = platform::CodePage::System());

/// The mail server's data directory exactly as stored, or empty text. Never throws.
std::string GetDataDirectory(platform::Registry& registry,
                             const platform::CodePage& codePage = platform::CodePage::System());

}  // namespace seedwell::support
