#include "support/names.h"

#include "platform/printable.h"

namespace seedwell::support {
namespace {

using platform::HoldsControlCharacter;
using platform::Printable;

// The longest start of `text` of at most `bytes` bytes that ends between two characters.
std::string_view Prefix(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
    return text.substr(0, bytes);
}

}  // namespace

std::optional<std::string> FolderNameProblem(std::string_view what, std::string_view name) {
    const std::string subject(what);
    if (name.empty()) return subject + " is empty";
    if (name == "." || name == "..") {
        return subject + " '" + std::string(name) + "' cannot be a folder name";
    }
    if (name.size() > kMaxFolderNameBytes) {
        return subject + " '" + Printable(Prefix(name, 40)) + "...' is longer than " +
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
