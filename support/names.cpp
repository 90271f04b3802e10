#include "support/names.h"

#include "base/printable.h"

namespace seedwell::support {
using base::HoldsControlCharacter;
using base::Printable;

std::optional<std::string> FolderNameProblem(std::string_view what, std::string_view name,
                                             bool showName) {
    auto subject = [&](std::string_view shown) {
        return std::string(what) + (showName ? " '" + std::string(shown) + "'" : std::string());
    };
    if (name.empty()) return std::string(what) + " is empty";
    if (name == "." || name == "..") return subject(name) + " cannot be a folder name";
    if (name.size() > kMaxFolderNameBytes) {
        return subject(Printable(base::Utf8Prefix(name, 40)) + "...") + " is longer than " +
               std::to_string(kMaxFolderNameBytes) + " bytes, too long for a folder name";
    }
    if (name.find_first_of("/\\") != std::string_view::npos) {
        return subject(Printable(name)) + " holds a folder separator";
    }
    if (HoldsControlCharacter(name)) {
        return subject(Printable(name)) + " holds a control or format character";
    }
    return std::nullopt;
}

}  // namespace seedwell::support
