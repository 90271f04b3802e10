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
#include "platform/win_text.h"

namespace seedwell::platform {
namespace {

/// Owns a handle that CreateFileW opened.
class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_;
};

class WinFile : public ByteSource {
  public:
    WinFile(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}

    std::size_t Read(char* buffer, std::size_t size) override {
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(handle_.Get(), buffer, wanted, &got, nullptr)) {
            throw Error("cannot read the file '" + path_ +
                        "': " + win::Win32Reason(GetLastError()));
        }
        return got;
    }

  private:
    FileHandle handle_;
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

/// Owns a search handle of FindFirstFileExW.
class FindHandle {
  public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_;
};

/// Removes folder trees with the Win32 functions, which tell links apart from folders: a
/// symbolic link or junction inside is removed as a link, and what it points to stays.
/// (std::filesystem of MinGW-w64 follows them, and would empty their targets.)
class TreeRemoval {
  public:
    TreeRemoval(std::string top, bool force) : top_(std::move(top)), force_(force) {}

    void Run(const std::wstring& dir) {
        const DWORD attributes = GetFileAttributesW(dir.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                throw Fail(top_,
                           std::make_error_code(std::errc::no_such_file_or_directory).message());
            }
            throw Fail(top_, win::Win32Reason(error));
        }
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            throw Fail(top_, "it is a symbolic link, not a folder");
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) throw Fail(top_, "it is not a folder");
        RemoveFolder(dir, top_, attributes);
    }

  private:
    Error Fail(const std::string& what, const std::string& reason) const {
        if (what == top_) return Error("cannot delete the folder '" + top_ + "': " + reason);
        return Error("cannot delete '" + what + "' in the folder '" + top_ + "': " + reason);
    }

    /// Clears the read-only attribute when forced to; refuses otherwise.
    void AllowRemoval(const std::wstring& path, const std::string& name, DWORD attributes) const {
        if (!(attributes & FILE_ATTRIBUTE_READONLY)) return;
        if (!force_) throw Fail(name, "it is read-only");
        if (!SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY))) {
            throw Fail(name, win::Win32Reason(GetLastError()));
        }
    }

    void RemoveFolder(const std::wstring& dir, const std::string& name, DWORD attributes) {
        AllowRemoval(dir, name, attributes);
        WIN32_FIND_DATAW entry{};
        FindHandle search(FindFirstFileExW((dir + L"\\*").c_str(), FindExInfoBasic, &entry,
                                           FindExSearchNameMatch, nullptr, 0));
        if (search.Get() == INVALID_HANDLE_VALUE)
            throw Fail(name, win::Win32Reason(GetLastError()));
        do {
            const std::wstring_view entryName(entry.cFileName);
            if (entryName == L"." || entryName == L"..") continue;
            const std::wstring path = dir + L"\\" + std::wstring(entryName);
            const std::string shown =
                name + "\\" + win::Narrow(entryName).value_or("(a name that is not Unicode)");
            const DWORD kind = entry.dwFileAttributes;
            if ((kind & FILE_ATTRIBUTE_DIRECTORY) && !(kind & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveFolder(path, shown, kind);
                continue;
            }
            AllowRemoval(path, shown, kind);
            const BOOL removed = (kind & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str())
                                                                   : DeleteFileW(path.c_str());
            if (!removed) throw Fail(shown, win::Win32Reason(GetLastError()));
        } while (FindNextFileW(search.Get(), &entry));
        const DWORD error = GetLastError();
        if (error != ERROR_NO_MORE_FILES) throw Fail(name, win::Win32Reason(error));
        if (!RemoveDirectoryW(dir.c_str())) throw Fail(name, win::Win32Reason(GetLastError()));
    }

    std::string top_;
    bool force_;
};

/// The file system through std::filesystem with '\\', refusing paths that Windows would read as
/// naming something else.
class WinFileSystem : public StdFileSystem {
  public:
    WinFileSystem() : StdFileSystem('\\') {}

    std::optional<std::string> NameProblem(std::string_view what,
                                           std::string_view name) const override {
        return WindowsNameProblem(what, name);
    }

    bool FileExists(const std::string& path) override {
        return !PathProblem(path) && StdFileSystem::FileExists(path);
    }
    bool FolderExists(const std::string& path) override {
        return !PathProblem(path) && StdFileSystem::FolderExists(path);
    }
    void CreateFolder(const std::string& path) override {
        if (const auto problem = PathProblem(path)) {
            throw Error("cannot create the folder '" + path + "': " + *problem);
        }
        StdFileSystem::CreateFolder(path);
    }
    void DeleteFolder(const std::string& path, bool force) override {
        if (const auto problem = PathProblem(path)) {
            throw Error("cannot delete the folder '" + path + "': " + *problem);
        }
        if (path.find('\0') != std::string::npos) {
            throw Error("cannot delete the folder: its path holds a NUL byte");
        }
        if (path.empty()) {
            throw Error("cannot delete the folder '': " +
                        std::make_error_code(std::errc::no_such_file_or_directory).message());
        }
        const auto wide = win::Widen(path);
        if (!wide) {
            throw Error("cannot delete the folder '" + path +
                        "': its path is not valid UTF-8 text");
        }
        TreeRemoval(path, force).Run(*wide);
    }
    std::unique_ptr<TextStream> OpenTextFile(const std::string& path) override {
        if (const auto problem = PathProblem(path)) {
            throw Error("cannot open the file '" + path + "': " + *problem);
        }
        return StdFileSystem::OpenTextFile(path);
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
