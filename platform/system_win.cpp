#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/ascii.h"
#include "platform/error.h"
#include "platform/filesystem_std.h"
#include "platform/printable.h"
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

class WinSink : public ByteSink {
  public:
    WinSink(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}

    void Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
            DWORD put = 0;
            if (!WriteFile(handle_.get(), bytes.data(), wanted, &put, nullptr)) {
                throw Failure(GetLastError());
            }
            bytes.remove_prefix(put);
        }
    }
    void Finish() override {
        if (!FlushFileBuffers(handle_.get())) throw Failure(GetLastError());
        if (!CloseHandle(handle_.release())) throw Failure(GetLastError());
    }

  private:
    Error Failure(DWORD error) const {
        return Error("cannot write the file '" + path_ + "': " + win::Win32Reason(error));
    }

    UniqueWinHandle handle_;
    std::string path_;
};

bool IsDeviceName(std::string_view name) {
    // The part before the first dot, without trailing blanks, decides: "nul.txt" is NUL too.
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (EqualsIgnoringCase(base, device)) return true;
    }
    return base.size() == 4 && base[3] >= '1' && base[3] <= '9' &&
           (EqualsIgnoringCase(base.substr(0, 3), "COM") ||
            EqualsIgnoringCase(base.substr(0, 3), "LPT"));
}

/// Why Windows would not take `name` as one folder name by its letter, or nullopt when it
/// would: it drops a dot or blank at the end, reads "a:b" as a stream of "a", refuses
/// * ? " < > | and control characters, and reads a device name (CON, PRN, AUX, NUL, COM1 to
/// COM9, LPT1 to LPT9, also with an extension) as the device in every folder.
std::optional<std::string> WindowsNameProblem(std::string_view what, std::string_view name) {
    const std::string subject = std::string(what) + " '" + Printable(name) + "'";
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
    // (A folder is never opened here: CreateFileW opens one only with backup semantics.)
    if (GetFileType(handle) != FILE_TYPE_DISK) throw Error("'" + path + "' is not a regular file");
    return file;
}

std::unique_ptr<ByteSink> OpenWritableFile(const std::string& path) {
    const auto wide = win::Widen(path);
    if (!wide)
        throw Error("cannot write the file '" + path + "': its path is not valid UTF-8 text");
    // OPEN_ALWAYS, then emptied once it is known to be a disk file: a device is never truncated.
    const HANDLE handle = CreateFileW(wide->c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(wide->c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            throw Error("'" + path + "' is not a regular file");
        }
        throw Error("cannot write the file '" + path + "': " + win::Win32Reason(error));
    }
    auto file = std::make_unique<WinSink>(handle, path);
    if (GetFileType(handle) != FILE_TYPE_DISK) throw Error("'" + path + "' is not a regular file");
    if (!SetEndOfFile(handle)) {
        throw Error("cannot write the file '" + path + "': " + win::Win32Reason(GetLastError()));
    }
    return file;
}

/// Why Windows would not take `path` by its letter, or nullopt when it would. Windows drops a
/// dot or blank at the end of a name, reads "a:b" as a stream of "a", and "nul" or "com1" as a
/// device in every folder: such a path names something other than what it says.
std::optional<std::string> PathProblem(std::string_view path) {
    // \\?\ paths are taken literally, \\.\ paths name devices on purpose.
    if (path.rfind("\\\\?\\", 0) == 0 || path.rfind("\\\\.\\", 0) == 0) return std::nullopt;
    // A NUL byte is refused by the file system itself, with its own message.
    if (path.find('\0') != std::string_view::npos) return std::nullopt;
    std::size_t start = 0;
    if (path.size() >= 2 && path[1] == ':' && IsDriveLetter(path[0])) {
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

char StdFileSystem::Separator() const { return '\\'; }

bool StdFileSystem::IsFullPath(std::string_view path) const noexcept {
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' &&
        IsWindowsSeparator(path[2])) {
        return true;
    }
    return IsShare(path);
}

std::optional<std::string> StdFileSystem::NameProblem(std::string_view what,
                                                      std::string_view name) const {
    return WindowsNameProblem(what, name);
}

std::unique_ptr<FileSystem> MakeSystemFileSystem() { return std::make_unique<StdFileSystem>(); }

}  // namespace seedwell::platform
