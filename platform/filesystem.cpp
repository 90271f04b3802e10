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

std::string NoSuchEntry() {
    return std::make_error_code(std::errc::no_such_file_or_directory).message();
}

}  // namespace

bool FileSystem::Usable(std::string_view path) const noexcept {
    return !path.empty() && !rules_.PathProblem(path) && base::IsValidUtf8(path);
}

std::optional<std::string> FileSystem::HeldName(const std::string& dir, const std::string& name) {
    const auto cannot = [&dir](const std::string& reason) {
        return Error("cannot read the folder " + base::Quoted(dir) + ": " + reason);
    };
    if (const auto problem = rules_.PathProblem(dir)) throw cannot(*problem);
    // No entry is named so: the name would lead elsewhere or nowhere.
    if (NameProblem("the name", name) || !IsOneName(name, Separator())) return std::nullopt;
    if (const auto problem = rules_.PathProblem(name)) throw cannot(*problem);
    return FindHeldName(dir, name);
}

void FileSystem::CreateFolder(const std::string& path) {
    const auto cannot = [&path](const std::string& reason) {
        return Error("cannot create the folder " + base::Quoted(path) + ": " + reason);
    };
    if (const auto problem = rules_.PathProblem(path)) throw cannot(*problem);
    if (path.empty()) throw cannot(NoSuchEntry());
    MakeFolder(path);
}

FolderRemoval FileSystem::RemoveFolderBelow(const std::string& base,
                                            const std::vector<std::string>& levels, bool force,
                                            const std::vector<bool>& lettersMatter) {
    const auto cannot = [&base](const std::string& reason) {
        return Error("cannot delete below " + base::Quoted(base) + ": " + reason);
    };
    std::string top = base;
    for (const std::string& level : levels) top = BuildPath(top, level);
    if (const auto problem = rules_.PathProblem(top)) {
        throw Error("cannot delete the folder " + base::Quoted(top) + ": " + *problem);
    }
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
    const auto cannot = [&path](const std::string& reason) {
        return Error("cannot open the file " + base::Quoted(path) + ": " + reason);
    };
    if (const auto problem = rules_.PathProblem(path)) throw cannot(*problem);
    if (path.empty()) throw cannot(NoSuchEntry());
    return OpenForReading(path);
}

bool FileSystem::SameFile(const std::string& a, const std::string& b) noexcept {
    return Usable(a) && Usable(b) && IsSameEntry(a, b);
}

void FileSystem::WriteFile(const std::string& path, const std::function<void(ByteSink&)>& write) {
    const auto cannot = [&path](const std::string& reason) {
        return Error("cannot write the file " + base::Quoted(path) + ": " + reason);
    };
    if (const auto problem = rules_.PathProblem(path)) throw cannot(*problem);
    if (path.empty()) throw cannot(NoSuchEntry());
    WriteAnew(path, write);
}

}  // namespace seedwell::platform
