#pragma once

// UTF-8 and UTF-16 text, written once for every reader: the import file, the registry file and
// the text that crosses to the Windows API.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace seedwell::base {

/// True when `bytes` is well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

/// The code point that starts at `text[at]` in the well-formed UTF-8 `text`, and its length in
/// bytes (cut at the end of `text`).
std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view text, std::size_t at) noexcept;

/// The UTF-16 code units `units` as UTF-8, or nullopt when they hold a lone surrogate. NUL
/// characters are kept.
std::optional<std::string> Utf16ToUtf8(std::u16string_view units);

/// The UTF-16 `bytes` (an even number, in the order given) as UTF-8, or nullopt when they are
/// not valid UTF-16 (a lone surrogate, an odd byte).
std::optional<std::string> Utf16ToUtf8(std::string_view bytes, bool bigEndian);

/// The UTF-8 `utf8` as UTF-16 bytes in the order given, or nullopt when it is not well-formed
/// UTF-8. NUL characters are kept; no byte-order mark is added.
std::optional<std::string> Utf8ToUtf16(std::string_view utf8, bool bigEndian);

}  // namespace seedwell::base
