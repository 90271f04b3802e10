#include "platform/filesystem_std.h"

#include <filesystem>
#include <system_error>

#include "platform/codepage.h"
#include "platform/error.h"

namespace seedwell::platform {
namespace fs = std::filesystem;

namespace {

fs::path ToPath(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

bool HoldsNul(std::string_view path) { return path.find('\0') != std::string_view::npos; }

/// True when `path` can name something: not empty, no NUL byte, and UTF-8 that converts to the
/// platform's own path text.
bool Usable(std::string_view path) { return !path.empty() && !HoldsNul(path) && IsValidUtf8(path); }

/// `path` in quotes for a message, a NUL shown as \0 so that the message is not cut short.
std::string Quoted(std::string_view path) {
    std::string quoted = "'";
    for (char c : path) {
        if (c == '\0') {
            quoted += "\\0";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

/// Why `path` must not be used: what PathProblem finds, or a NUL byte in it.
std::optional<std::string> Refusal(std::string_view path) {
    if (auto problem = PathProblem(path)) return problem;
    if (HoldsNul(path)) return "the path holds a NUL byte";
    return std::nullopt;
}

/// True when `name` is one entry of a folder by its letter, not itself, its parent or a path.
bool IsOneName(std::string_view name, char separator) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string{'/', '\0', separator}) == std::string_view::npos;
}

}  // namespace

std::string StdFileSystem::BuildPath(std::string_view dir, std::string_view name) const {
    if (dir.empty()) return std::string(name);
    std::string path(dir);
    if (path.back() != Separator()) path += Separator();
    path += name;
    return path;
}

bool StdFileSystem::FileExists(const std::string& path) noexcept {
    if (!Usable(path) || PathProblem(path)) return false;
    std::error_code ec;
    return fs::is_regular_file(fs::status(ToPath(path), ec));
}

std::optional<std::string> StdFileSystem::HeldName(const std::string& dir,
                                                   const std::string& name) {
    const auto cannot = [&dir](const std::string& reason) {
        return Error("cannot read the folder " + Quoted(dir) + ": " + reason);
    };
    if (const auto problem = PathProblem(dir)) throw cannot(*problem);
    if (NameProblem("the name", name)) return std::nullopt;
    if (HoldsNul(dir) || HoldsNul(name)) throw cannot("the path holds a NUL byte");
    // No entry is named so: the name would lead elsewhere or nowhere.
    if (!IsOneName(name, Separator())) return std::nullopt;
    return HeldEntryName(dir, name);
}

bool StdFileSystem::FolderExists(const std::string& path) noexcept {
    if (!Usable(path) || PathProblem(path)) return false;
    std::error_code ec;
    return fs::is_directory(fs::status(ToPath(path), ec));
}

bool StdFileSystem::PathExists(const std::string& path) noexcept {
    if (!Usable(path) || PathProblem(path)) return false;
    std::error_code ec;
    return fs::exists(fs::status(ToPath(path), ec));
}

void StdFileSystem::CreateFolder(const std::string& path) {
    auto fail = [&path](const std::string& reason) {
        return Error("cannot create the folder " + Quoted(path) + ": " + reason);
    };
    if (const auto refusal = Refusal(path)) throw fail(*refusal);
    if (path.empty())
        throw fail(std::make_error_code(std::errc::no_such_file_or_directory).message());
    std::error_code ec;
    const bool created = fs::create_directory(ToPath(path), ec);
    if (ec) throw fail(ec.message());
    if (!created) throw fail(std::make_error_code(std::errc::file_exists).message());
}

FolderRemoval StdFileSystem::RemoveFolderBelow(const std::string& base,
                                               const std::vector<std::string>& levels, bool force,
                                               const std::vector<bool>& lettersMatter) {
    std::string top = base;
    for (const std::string& level : levels) top = BuildPath(top, level);
    if (const auto problem = PathProblem(top)) {
        throw Error("cannot delete the folder " + Quoted(top) + ": " + *problem);
    }
    if (levels.empty()) throw Error("cannot delete below " + Quoted(base) + ": no folder named");
    if (!lettersMatter.empty() && lettersMatter.size() != levels.size()) {
        throw Error("cannot delete below " + Quoted(base) + ": " +
                    std::to_string(lettersMatter.size()) + " letter-case rules for " +
                    std::to_string(levels.size()) + " levels");
    }
    for (const std::string& level : levels) {
        if (!IsOneName(level, Separator())) {
            throw Error("cannot delete below " + Quoted(base) + ": " + Quoted(level) +
                        " is not one folder name");
        }
    }
    if (HoldsNul(base))
        throw Error("cannot delete below " + Quoted(base) + ": the path holds a NUL byte");
    return RemoveFolderTree(base, levels, lettersMatter, top, force, Separator());
}

std::unique_ptr<ByteSource> StdFileSystem::OpenFile(const std::string& path) {
    if (const auto refusal = Refusal(path)) {
        throw Error("cannot open the file " + Quoted(path) + ": " + *refusal);
    }
    return OpenRegularFile(path);
}

std::unique_ptr<ByteSink> StdFileSystem::OpenForWriting(const std::string& path) {
    if (const auto refusal = Refusal(path)) {
        throw Error("cannot write the file " + Quoted(path) + ": " + *refusal);
    }
    return OpenWritableFile(path);
}

}  // namespace seedwell::platform
