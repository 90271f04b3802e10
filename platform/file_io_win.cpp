// The file I/O of StdFileSystem on Windows: files opened for reading by their handles, written
// anew and put in place by ReplaceFileW, and compared by volume serial number and file index.

#include <windows.h>

#include <algorithm>
#include <optional>

#include "base/error.h"
#include "base/printable.h"
#include "platform/filesystem_std.h"
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
            throw Error("cannot read the file " + base::Quoted(path_) + ": " +
                        win::Win32Reason(GetLastError()));
        }
        return got;
    }

  private:
    UniqueWinHandle handle_;
    std::string path_;
};

[[noreturn]] void CannotWrite(const std::string& path, DWORD error) {
    throw Error("cannot write the file " + base::Quoted(path) + ": " + win::Win32Reason(error));
}

// The bytes of a new file, written in full; failures name `shown`, the file it is to replace.
class WinSink : public ByteSink {
  public:
    WinSink(HANDLE handle, const std::string& shown) : handle_(handle), shown_(shown) {}

    void Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
            DWORD put = 0;
            if (!WriteFile(handle_, bytes.data(), wanted, &put, nullptr)) {
                CannotWrite(shown_, GetLastError());
            }
            bytes.remove_prefix(put);
        }
    }

  private:
    HANDLE handle_;
    const std::string& shown_;
};

// The path of a new file, deleted unless released. Its handle must be closed first.
struct NewFileTraits {
    static std::wstring Invalid() noexcept { return {}; }
    static void Close(const std::wstring& path) noexcept { DeleteFileW(path.c_str()); }
};
using NewFile = UniqueHandle<std::wstring, NewFileTraits>;

// The folder part of `path` with its final separator ("C:\in\" of "C:\in\list.csv"), the
// drive of a path relative to one ("C:" of "C:list.csv"), or empty text for a name alone.
std::wstring FolderOf(const std::wstring& path) {
    const std::size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos) return path.substr(0, cut + 1);
    if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
    return {};
}

// The path by which the file open as `handle` is finally reached, links followed; nullopt when
// the system cannot tell.
std::optional<std::wstring> FinalPath(HANDLE handle) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::nullopt;
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length);
    }
}

// The identity of the entry at `path`, links followed: its volume's serial number and its file
// index in the fields of the answer. nullopt when it cannot be opened or asked.
std::optional<BY_HANDLE_FILE_INFORMATION> IdentityOf(const std::string& path) {
    const auto wide = win::Widen(path);
    if (!wide) return std::nullopt;
    // No right to the data is asked for, so no other program's sharing stands in the way.
    const UniqueWinHandle handle(CreateFileW(
        wide->c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle || !GetFileInformationByHandle(handle.get(), &info)) return std::nullopt;
    return info;
}

// Opens the existing disk file `path` for reading; anything but a disk file (a folder, a console,
// a pipe) is refused.
UniqueWinHandle OpenDiskFile(const std::string& path) {
    const std::string cannot = "cannot open the file " + base::Quoted(path) + ": ";
    const auto wide = win::Widen(path);
    if (!wide) throw Error(cannot + "its path is not valid UTF-8 text");
    UniqueWinHandle handle(CreateFileW(wide->c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle) {
        const DWORD error = GetLastError();
        // A folder cannot be opened this way at all; say what it is rather than "access denied".
        const DWORD attributes = GetFileAttributesW(wide->c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            throw Error(base::Quoted(path) + " is not a regular file");
        }
        throw Error(cannot + win::Win32Reason(error));
    }
    // Consoles, pipes and other devices could make a read wait forever, or a write reach a
    // device: only disk files are used.
    if (GetFileType(handle.get()) != FILE_TYPE_DISK) {
        throw Error(base::Quoted(path) + " is not a regular file");
    }
    return handle;
}

}  // namespace

std::unique_ptr<ByteSource> StdFileSystem::OpenForReading(const std::string& path) {
    return std::make_unique<WinFile>(OpenDiskFile(path).release(), path);
}

void StdFileSystem::WriteAnew(const std::string& path,
                              const std::function<void(ByteSink&)>& write) {
    const auto wide = win::Widen(path);
    if (!wide) {
        throw Error("cannot write the file " + base::Quoted(path) +
                    ": its path is not valid UTF-8 text");
    }
    std::wstring target = *wide;
    bool exists = false;
    // What is there must be a disk file that may be written; the file it finally is, links
    // followed, is the one replaced.
    if (UniqueWinHandle existing(CreateFileW(wide->c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        existing) {
        if (GetFileType(existing.get()) != FILE_TYPE_DISK) {
            throw Error(base::Quoted(path) + " is not a regular file");
        }
        if (auto final = FinalPath(existing.get())) target = std::move(*final);
        exists = true;
    } else if (const DWORD error = GetLastError(); error != ERROR_FILE_NOT_FOUND) {
        const DWORD attributes = GetFileAttributesW(wide->c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            throw Error(base::Quoted(path) + " is not a regular file");
        }
        CannotWrite(path, error);
    }
    NewFile entry;  // declared before the handle: closed first, then deleted
    UniqueWinHandle handle;
    for (int attempt = 0; !handle; ++attempt) {
        std::wstring name = FolderOf(target) + *win::Widen(TemporaryName());
        handle.reset(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (handle) {
            entry.reset(std::move(name));
        } else if (const DWORD error = GetLastError();
                   (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) ||
                   attempt == 100) {
            CannotWrite(path, error);
        }
    }
    WinSink sink(handle.get(), path);
    write(sink);
    if (!FlushFileBuffers(handle.get())) CannotWrite(path, GetLastError());
    if (!CloseHandle(handle.release())) CannotWrite(path, GetLastError());
    // ReplaceFileW keeps the replaced file's attributes and permissions; on failure the
    // replaced file keeps its name and content, and the new file is deleted.
    const std::wstring made = entry.get();
    const BOOL replaced = exists ? ReplaceFileW(target.c_str(), made.c_str(), nullptr,
                                                REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                                 : MoveFileExW(made.c_str(), target.c_str(),
                                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!replaced) CannotWrite(path, GetLastError());
    entry.release();
}

bool StdFileSystem::IsSameEntry(const std::string& a, const std::string& b) noexcept {
    try {
        const auto first = IdentityOf(a);
        const auto second = IdentityOf(b);
        return first && second && first->dwVolumeSerialNumber == second->dwVolumeSerialNumber &&
               first->nFileIndexHigh == second->nFileIndexHigh &&
               first->nFileIndexLow == second->nFileIndexLow;
    } catch (...) {
        return false;  // no memory for the wide paths
    }
}

}  // namespace seedwell::platform
