#include "base/path_rules.h"

#include <algorithm>
#include <cstring>

#include "base/ascii.h"
#include "base/printable.h"

namespace seedwell::base {
namespace {

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsWindowsSeparator(char c) { return c == '\\' || c == '/'; }

// "\\server\share", each name non-empty; whatever follows the share is the path inside it.
bool IsShare(std::string_view path) {
    if (path.size() < 5 || path[0] != '\\' || path[1] != '\\') return false;
    const std::size_t serverEnd = path.find('\\', 2);
    if (serverEnd == std::string_view::npos || serverEnd == 2) return false;
    const std::size_t shareEnd = path.find('\\', serverEnd + 1);
    return (shareEnd == std::string_view::npos ? path.size() : shareEnd) > serverEnd + 1;
}

bool IsDeviceName(std::string_view name) {
    // The part before the first dot, without trailing blanks, decides: "nul.txt" is NUL too.
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (EqualsIgnoringCase(stem, device)) return true;
    }
    return stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9' &&
           (EqualsIgnoringCase(stem.substr(0, 3), "COM") ||
            EqualsIgnoringCase(stem.substr(0, 3), "LPT"));
}

std::optional<std::string> WindowsNameProblem(std::string_view what, std::string_view name) {
    const std::string subject = std::string(what) + " " + base::Quoted(name);
    if (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
        return subject + " ends in a dot or a blank, which Windows drops";
    }
    const bool forbidden = std::any_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|?*", c);
    });
    if (forbidden) return subject + " holds a character that Windows does not allow in names";
    if (IsDeviceName(name)) return subject + " is a device on Windows";
    return std::nullopt;
}

std::optional<std::string> WindowsPathProblem(std::string_view path) {
    if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) return std::nullopt;
    std::size_t start = path.size() >= 2 && path[1] == ':' && IsDriveLetter(path[0]) ? 2 : 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view name = path.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == "." || name == "..") continue;
        if (auto problem = WindowsNameProblem("the name", name)) return problem;
    }
    return std::nullopt;
}

}  // namespace

bool PathRules::IsFullPath(std::string_view path) const noexcept {
    if (system_ == System::kPosix) return path.starts_with('/');
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' &&
        IsWindowsSeparator(path[2])) {
        return true;
    }
    return IsShare(path);
}

std::string PathRules::BuildPath(std::string_view dir, std::string_view name) const {
    if (dir.empty()) return std::string(name);
    std::string path(dir);
    if (path.back() != Separator()) path += Separator();
    path += name;
    return path;
}

std::optional<std::string> PathRules::NameProblem(std::string_view what,
                                                  std::string_view name) const {
    if (system_ == System::kPosix) return std::nullopt;
    return WindowsNameProblem(what, name);
}

std::optional<std::string> PathRules::PathProblem(std::string_view path) const {
    if (path.find('\0') != std::string_view::npos) return "the path holds a NUL byte";
    if (system_ == System::kPosix) return std::nullopt;
    return WindowsPathProblem(path);
}

}  // namespace seedwell::base
