#include "platform/full_path.h"

namespace seedwell::platform {
namespace {

bool IsWindowsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "\\server\share", each name non-empty; whatever follows the share is the path inside it.
bool IsShare(std::string_view path) {
    if (path.size() < 5 || path[0] != '\\' || path[1] != '\\') return false;
    const std::size_t serverEnd = path.find('\\', 2);
    if (serverEnd == std::string_view::npos || serverEnd == 2) return false;
    const std::size_t shareEnd = path.find('\\', serverEnd + 1);
    return (shareEnd == std::string_view::npos ? path.size() : shareEnd) > serverEnd + 1;
}

}  // namespace

bool IsFullPath(std::string_view path, char separator) noexcept {
    if (separator != '\\') return !path.empty() && path.front() == '/';
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' &&
        IsWindowsSeparator(path[2])) {
        return true;
    }
    return IsShare(path);
}

}  // namespace seedwell::platform
