#pragma once

// The settings lookup: where the mail server keeps its data, read from the registry with read
// access only, and the post-office root below it.

#include <string>
#include <string_view>

#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/registry.h"

namespace seedwell::support {

/// Where the mail server keeps its data directory, below HKEY_LOCAL_MACHINE.
inline constexpr std::string_view kServerKeyPath = "SOFTWARE\\Tarnwick\\Tarnwick";
inline constexpr std::string_view kDataDirectoryValueName = "Data Directory";

/// The text of a registry value by the lookup's rules: a 32-bit number as signed decimal text;
/// any other type as its bytes read through `codePage`, less the last byte (the terminating NUL
/// of a well-formed string). Empty text when there is nothing to give. Throws only for lack of
/// memory.
std::string RegistryValueToText(const platform::RegistryValue& value,
                                const platform::CodePage& codePage);

/// The value `valueName` of the key `keyPath` below HKEY_LOCAL_MACHINE as text, reading the key
/// with read access only; empty text when the key, the value or the registry cannot be read.
/// Every failure gives empty text; never throws.
std::string ReadRegistryValue(
    platform::Registry& registry, std::string keyPath, std::string valueName,
    const platform::CodePage& codePage = platform::CodePage::System()) noexcept;

/// The mail server's data directory exactly as stored, or empty text. Never throws.
std::string GetDataDirectory(
    platform::Registry& registry,
    const platform::CodePage& codePage = platform::CodePage::System()) noexcept;

/// The post-office root of the data directory `dataDirectory`: it joined with "Postoffices"
/// by `files`, or just "Postoffices" when it is empty.
std::string PostofficeRoot(const platform::FileSystem& files, std::string_view dataDirectory);

}  // namespace seedwell::support
