#pragma once

// Showing text that came from outside (a file, a store, an object) in a message: nothing in it
// may reach the screen or a terminal as a control character, nor change how the message reads.

#include <cstddef>
#include <string>
#include <string_view>

namespace seedwell::base {

/// True when the UTF-8 `text` holds a character that Printable escapes: a control character
/// (Unicode's category Cc: C0, DEL and C1), a format character (Cf: the bidirectional controls
/// U+202A to U+202E and U+2066 to U+2069, the zero-width characters U+200B to U+200F, U+2060
/// and U+FEFF, the soft hyphen U+00AD, the tags from U+E0001, ...), the line separator U+2028
/// (Zl) or the paragraph separator U+2029 (Zp); see EscapedRanges().
bool HoldsControlCharacter(std::string_view text) noexcept;

/// The UTF-8 `text` for a message, with every character HoldsControlCharacter names written as
/// its code, so that none reaches the screen or a terminal: those below U+00A0 (C0, DEL, C1) as
/// \xNN, the others as \u{XXXX}, four to six upper-case hexadecimal digits in braces (U+202E as
/// \u{202E}, U+E0001 as \u{E0001}). Everything else is kept, bytes that are not well-formed
/// UTF-8 among it.
std::string Printable(std::string_view text);

/// The longest start of the UTF-8 `text` that is at most `bytes` bytes long and ends between two
/// characters.
std::string_view Utf8Prefix(std::string_view text, std::size_t bytes) noexcept;

/// A name from outside for a message: Printable(name) in single quotes ("'bob'", "'a\x01b'").
/// Every name a message shows goes through it.
std::string Quoted(std::string_view name);

/// `text` cut for a message: the whole of it when it is at most `bytes` bytes long, otherwise
/// its Utf8Prefix of `bytes` bytes followed by "...". It escapes nothing (see Printable).
std::string Cut(std::string_view text, std::size_t bytes);

}  // namespace seedwell::base
