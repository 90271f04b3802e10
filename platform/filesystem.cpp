#include "platform/filesystem.h"

#include <system_error>

#include "base/error.h"
#include "base/printable.h"
#include "base/unicode.h"

namespace seedwell::platform {
namespace {

/// True when `name` is one entry of a folder by its letter, not itself, its parent or a path.
bool IsOneName(std::string_view name, char separator) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string{'/', separator}) == std::string_view::npos;
}

Error Cannot(std::string_view doing, std::string_view path, const std::string& reason) {
    return Error("cannot " + std::string(doing) + " " + base::Quoted(path) + ": " + reason);
}

/// Throws "cannot <doing> '<path>': ..." for a path that the rules refuse, or an empty one.
void CheckPath(const base::PathRules& rules, std::string_view doing, const std::string& path) {
    if (const auto problem = rules.PathProblem(path)) throw Cannot(doing, path, *problem);
    if (path.empty()) {
        throw Cannot(doing, path,
                     std::make_error_code(std::errc::no_such_file_or_directory).message());
    }
}

}  // namespace

bool FileSystem::Usable(std::string_view path) const noexcept {
    return !path.empty() && !rules_.PathProblem(path) && base::IsValidUtf8(path);
}

std::optional<std::string> FileSystem::HeldName(const std::string& dir, const std::string& name) {
    if (const auto problem = rules_.PathProblem(dir))
        throw Cannot("read the folder", dir, *problem);
    // No entry is named so: the name would lead elsewhere or nowhere.
    if (NameProblem("the name", name) || !IsOneName(name, Separator())) return std::nullopt;
    if (const auto nameProblem = rules_.PathProblem(name)) {
        throw Cannot("read the folder", dir, *nameProblem);
    }
    return FindHeldName(dir, name);
}

void FileSystem::CreateFolder(const std::string& path) {
    CheckPath(rules_, "create the folder", path);
    MakeFolder(path);
}

FolderRemoval FileSystem::RemoveFolderBelow(const std::string& base,
                                            const std::vector<std::string>& levels, bool force,
                                            const std::vector<bool>& lettersMatter) {
    const auto cannot = [&base](const std::string& reason) {
        return Cannot("delete below", base, reason);
    };
    std::string top = base;
    for (const std::string& level : levels) top = BuildPath(top, level);
    if (const auto problem = rules_.PathProblem(top))
        throw Cannot("delete the folder", top, *problem);
    if (levels.empty()) throw cannot("no folder named");
    if (!lettersMatter.empty() && lettersMatter.size() != levels.size()) {
        throw cannot(std::to_string(lettersMatter.size()) + " letter-case rules for " +
                     std::to_string(levels.size()) + " levels");
    }
    for (const std::string& level : levels) {
        if (!IsOneName(level, Separator())) {
            throw cannot(base::Quoted(level) + " is not one folder name");
        }
    }
    return RemoveTree(base, levels, lettersMatter, top, force);
}

std::unique_ptr<ByteSource> FileSystem::OpenFile(const std::string& path) {
    CheckPath(rules_, "open the file", path);
    return OpenForReading(path);
}

bool FileSystem::SameFile(const std::string& a, const std::string& b) noexcept {
    return Usable(a) && Usable(b) && IsSameEntry(a, b);
}

void FileSystem::WriteFile(const std::string& path, const std::function<void(ByteSink&)>& write) {
    CheckPath(rules_, "write the file", path);
    WriteAnew(path, write);
}

}  // namespace seedwell::platform
