#include "platform/filesystem_std.h"

#include <cstdint>
#include <filesystem>
#include <random>
#include <system_error>

#include "base/error.h"
#include "base/unicode.h"

namespace seedwell::platform {
namespace fs = std::filesystem;

namespace {

fs::path ToPath(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

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

/// True when `name` is one entry of a folder by its letter, not itself, its parent or a path.
bool IsOneName(std::string_view name, char separator) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string{'/', separator}) == std::string_view::npos;
}

/// True when `path` can name something: not empty, nothing that `rules` refuse, and UTF-8 that
/// converts to the platform's own path text.
bool Usable(const base::PathRules& rules, std::string_view path) {
    return !path.empty() && !rules.PathProblem(path) && base::IsValidUtf8(path);
}

}  // namespace

bool StdFileSystem::FileExists(const std::string& path) noexcept {
    if (!Usable(Rules(), path)) return false;
    std::error_code ec;
    return fs::is_regular_file(fs::status(ToPath(path), ec));
}

std::optional<std::string> StdFileSystem::HeldName(const std::string& dir,
                                                   const std::string& name) {
    const auto cannot = [&dir](const std::string& reason) {
        return Error("cannot read the folder " + Quoted(dir) + ": " + reason);
    };
    if (const auto problem = Rules().PathProblem(dir)) throw cannot(*problem);
    // No entry is named so: the name would lead elsewhere or nowhere.
    if (NameProblem("the name", name) || !IsOneName(name, Separator())) return std::nullopt;
    if (const auto problem = Rules().PathProblem(name)) throw cannot(*problem);
    return HeldEntryName(dir, name);
}

bool StdFileSystem::FolderExists(const std::string& path) noexcept {
    if (!Usable(Rules(), path)) return false;
    std::error_code ec;
    return fs::is_directory(fs::status(ToPath(path), ec));
}

bool StdFileSystem::PathExists(const std::string& path) noexcept {
    if (!Usable(Rules(), path)) return false;
    std::error_code ec;
    return fs::exists(fs::status(ToPath(path), ec));
}

void StdFileSystem::CreateFolder(const std::string& path) {
    auto fail = [&path](const std::string& reason) {
        return Error("cannot create the folder " + Quoted(path) + ": " + reason);
    };
    if (const auto problem = Rules().PathProblem(path)) throw fail(*problem);
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
    if (const auto problem = Rules().PathProblem(top)) {
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
    return RemoveFolderTree(base, levels, lettersMatter, top, force, Separator());
}

std::unique_ptr<ByteSource> StdFileSystem::OpenFile(const std::string& path) {
    if (const auto problem = Rules().PathProblem(path)) {
        throw Error("cannot open the file " + Quoted(path) + ": " + *problem);
    }
    return OpenRegularFile(path);
}

bool StdFileSystem::SameFile(const std::string& a, const std::string& b) noexcept {
    return Usable(Rules(), a) && Usable(Rules(), b) && SameEntry(a, b);
}

void StdFileSystem::WriteFile(const std::string& path,
                              const std::function<void(ByteSink&)>& write) {
    if (const auto problem = Rules().PathProblem(path)) {
        throw Error("cannot write the file " + Quoted(path) + ": " + *problem);
    }
    if (path.empty()) {
        throw Error("cannot write the file '': " +
                    std::make_error_code(std::errc::no_such_file_or_directory).message());
    }
    ReplaceWholeFile(path, write);
}

std::string TemporaryName() {
    static thread_local std::mt19937_64 generator{[] {
        std::random_device device;
        return (std::uint64_t{device()} << 32) ^ device();
    }()};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string name = ".seedwell-";
    std::uint64_t bits = generator();
    for (int i = 0; i < 16; ++i, bits >>= 4) name += kDigits[bits & 0xF];
    return name + ".tmp";
}

std::unique_ptr<FileSystem> MakeSystemFileSystem() { return std::make_unique<StdFileSystem>(); }

}  // namespace seedwell::platform
