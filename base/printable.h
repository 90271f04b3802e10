#pragma once

// Showing text that came from outside (a file, a store, an object) in a message: nothing in it
// may reach the screen or a terminal as a control character.

#include <cstddef>
#include <string>
#include <string_view>

namespace seedwell::base {

/// True when the UTF-8 `text` holds a control character: C0 (U+0000 to U+001F), DEL (U+007F)
/// or C1 (U+0080 to U+009F).
bool HoldsControlCharacter(std::string_view text) noexcept;

/// The UTF-8 `text` for a message: every control character (as above) written as \xNN with its
/// code, so that no control character reaches the screen or a terminal. Everything else is kept.
std::string Printable(std::string_view text);

/// The longest start of the UTF-8 `text` that is at most `bytes` bytes long and ends between two
/// characters.
std::string_view Utf8Prefix(std::string_view text, std::size_t bytes) noexcept;

}  // namespace seedwell::base
