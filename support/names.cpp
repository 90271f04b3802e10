#include "support/names.h"

#include "base/printable.h"

namespace seedwell::support {
using base::HoldsControlCharacter;

// How much of a name too long for a folder a message shows.
constexpr std::size_t kShownNameBytes = 40;

std::optional<std::string> FolderNameProblem(std::string_view what, std::string_view name,
                                             bool showName) {
    auto subject = [&](std::string_view shown) {
        return std::string(what) + (showName ? " " + base::Quoted(shown) : std::string());
    };
    if (name.empty()) return std::string(what) + " is empty";
    if (name == "." || name == "..") return subject(name) + " cannot be a folder name";
    if (name.size() > kMaxFolderNameBytes) {
        return subject(base::Cut(name, kShownNameBytes)) + " is longer than " +
               std::to_string(kMaxFolderNameBytes) + " bytes, too long for a folder name";
    }
    if (name.find_first_of("/\\") != std::string_view::npos) {
        return subject(name) + " holds a folder separator";
    }
    if (HoldsControlCharacter(name)) {
        return subject(name) + " holds a control or format character";
    }
    return std::nullopt;
}

}  // namespace seedwell::support
