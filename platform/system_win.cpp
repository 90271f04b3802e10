#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <system_error>

#include "platform/error.h"
#include "platform/filesystem_std.h"
#include "platform/names.h"
#include "platform/registry_win.h"
#include "platform/unique_handle.h"
#include "platform/win_text.h"

namespace seedwell::platform {

void WinHandleTraits::Close(void* handle) noexcept { CloseHandle(handle); }

namespace {

class WinFile : public ByteSource {
  public:
    WinFile(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}

    std::size_t Read(char* buffer, std::size_t size) override {
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(handle_.get(), buffer, wanted, &got, nullptr)) {
            throw Error("cannot read the file '" + path_ +
                        "': " + win::Win32Reason(GetLastError()));
        }
        return got;
    }

  private:
    UniqueWinHandle handle_;
    std::string path_;
};

/// Why Windows would not take `path` by its letter, or nullopt when it would. Windows drops a
/// dot or blank at the end of a name, reads "a:b" as a stream of "a", and "nul" or "com1" as a
/// device in every folder: such a path names something other than what it says.
std::optional<std::string> PathProblem(std::string_view path) {
    // \\?\ paths are taken literally, \\.\ paths name devices on purpose.
    if (path.rfind("\\\\?\\", 0) == 0 || path.rfind("\\\\.\\", 0) == 0) return std::nullopt;
    // A NUL byte is refused by the file system itself, with its own message.
    if (path.find('\0') != std::string_view::npos) return std::nullopt;
    std::size_t start = 0;
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        start = 2;
    }
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

/// The file system through std::filesystem with '\\', refusing paths that Windows would read as
/// naming something else.
class WinFileSystem : public StdFileSystem {
  public:
    WinFileSystem() : StdFileSystem('\\') {}

    std::optional<std::string> NameProblem(std::string_view what,
                                           std::string_view name) const override {
        return WindowsNameProblem(what, name);
    }

    bool FileExists(const std::string& path) noexcept override {
        return !PathProblem(path) && StdFileSystem::FileExists(path);
    }
    bool FolderExists(const std::string& path) noexcept override {
        return !PathProblem(path) && StdFileSystem::FolderExists(path);
    }
    /// A name that Windows would read as another holds no entry by its letter.
    std::optional<std::string> HeldName(const std::string& dir, const std::string& name) override {
        if (const auto problem = PathProblem(dir)) {
            throw Error("cannot read the folder '" + dir + "': " + *problem);
        }
        if (WindowsNameProblem("the name", name)) return std::nullopt;
        return StdFileSystem::HeldName(dir, name);
    }
    void CreateFolder(const std::string& path) override {
        if (const auto problem = PathProblem(path)) {
            throw Error("cannot create the folder '" + path + "': " + *problem);
        }
        StdFileSystem::CreateFolder(path);
    }
    FolderRemoval RemoveFolderBelow(const std::string& base, const std::vector<std::string>& levels,
                                    bool force) override {
        std::string path = base;
        for (const std::string& level : levels) path = BuildPath(path, level);
        if (const auto problem = PathProblem(path)) {
            throw Error("cannot delete the folder '" + path + "': " + *problem);
        }
        return StdFileSystem::RemoveFolderBelow(base, levels, force);
    }
    std::unique_ptr<TextStream> OpenTextFile(const std::string& path, LineUnits units) override {
        if (const auto problem = PathProblem(path)) {
            throw Error("cannot open the file '" + path + "': " + *problem);
        }
        return StdFileSystem::OpenTextFile(path, units);
    }
};

}  // namespace

std::unique_ptr<ByteSource> OpenRegularFile(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        throw Error("cannot open the file: its path holds a NUL byte");
    }
    const auto wide = win::Widen(path);
    if (!wide) throw Error("cannot open the file '" + path + "': its path is not valid UTF-8 text");
    const HANDLE handle =
        CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A folder cannot be opened this way at all; say what it is rather than "access denied".
        const DWORD attributes = GetFileAttributesW(wide->c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            throw Error("'" + path + "' is not a regular file");
        }
        throw Error("cannot open the file '" + path + "': " + win::Win32Reason(error));
    }
    auto file = std::make_unique<WinFile>(handle, path);
    // Consoles, pipes and other devices could make a read wait forever: only disk files are read.
    if (GetFileType(handle) != FILE_TYPE_DISK) throw Error("'" + path + "' is not a regular file");
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information)) {
        throw Error("cannot open the file '" + path + "': " + win::Win32Reason(GetLastError()));
    }
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        throw Error("'" + path + "' is not a regular file");
    }
    return file;
}

std::unique_ptr<FileSystem> MakeSystemFileSystem() { return std::make_unique<WinFileSystem>(); }

std::unique_ptr<Registry> MakeSystemRegistry() { return std::make_unique<WinRegistry>(); }

}  // namespace seedwell::platform
