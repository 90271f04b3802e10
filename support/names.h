#pragma once

// The rules for the names that become folders below the post-office root. The runs, the
// stand-in server and twao all use them, so that they agree on what a name may be.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace seedwell::support {

/// The longest folder name, in bytes, that the mail server's file systems hold.
inline constexpr std::size_t kMaxFolderNameBytes = 255;

/// Why `name` cannot be one folder name below the post-office root, whatever the platform:
/// empty, "." or "..", longer than kMaxFolderNameBytes, holding "/" or "\\", or holding a
/// control or format character (base::HoldsControlCharacter). nullopt when it can. `what` names
/// the name in the description ("the post office name"); the name itself follows it, shown
/// through base::Printable, unless `showName` is false.
std::optional<std::string> FolderNameProblem(std::string_view what, std::string_view name,
                                             bool showName = true);

}  // namespace seedwell::support
