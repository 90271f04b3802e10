#pragma once

// The rules for the names that become folders below the post-office root, and for showing any
// text that came from outside in a message. The runs, the stand-in server and twao all use
// these, so that they agree on what a name may be.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace seedwell::platform {

/// The longest folder name, in bytes, that the mail server's file systems hold.
inline constexpr std::size_t kMaxFolderNameBytes = 255;

/// True when the UTF-8 `text` holds a control character: C0 (U+0000 to U+001F), DEL (U+007F)
/// or C1 (U+0080 to U+009F).
bool HoldsControlCharacter(std::string_view text) noexcept;

/// The UTF-8 `text` for a message: every control character (as above) written as \xNN with its
/// code, so that no control character reaches the screen or a terminal. Everything else is kept.
std::string Printable(std::string_view text);

/// Why `name` cannot be one folder name below the post-office root, whatever the platform:
/// empty, "." or "..", longer than kMaxFolderNameBytes, holding "/" or "\\", or holding a
/// control character. nullopt when it can. `what` names the name in the description ("the post
/// office name"); the name itself is shown through Printable.
std::optional<std::string> FolderNameProblem(std::string_view what, std::string_view name);

#ifdef _WIN32
/// Why Windows would not take `name` as one folder name by its letter, or nullopt when it
/// would: it drops a dot or blank at the end, reads "a:b" as a stream of "a", refuses
/// * ? " < > | and control characters, and reads a device name (CON, PRN, AUX, NUL, COM1 to
/// COM9, LPT1 to LPT9, also with an extension) as the device in every folder. `what` names the
/// name in the description.
std::optional<std::string> WindowsNameProblem(std::string_view what, std::string_view name);
#endif

}  // namespace seedwell::platform
