#include "support/names.h"

#include "base/printable.h"

namespace seedwell::support {
using base::HoldsControlCharacter;
using base::Printable;

std::optional<std::string> FolderNameProblem(std::string_view what, std::string_view name) {
    const std::string subject(what);
    if (name.empty()) return subject + " is empty";
    if (name == "." || name == "..") {
        return subject + " '" + std::string(name) + "' cannot be a folder name";
    }
    if (name.size() > kMaxFolderNameBytes) {
        return subject + " '" + Printable(base::Utf8Prefix(name, 40)) + "...' is longer than " +
               std::to_string(kMaxFolderNameBytes) + " bytes, too long for a folder name";
    }
    if (name.find_first_of("/\\") != std::string_view::npos) {
        return subject + " '" + Printable(name) + "' holds a folder separator";
    }
    if (HoldsControlCharacter(name)) {
        return subject + " '" + Printable(name) + "' holds a control character";
    }
    return std::nullopt;
}

}  // namespace seedwell::support
