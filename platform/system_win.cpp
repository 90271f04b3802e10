#include <windows.h>

#include <algorithm>

#include "base/error.h"
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

}  // namespace

namespace {

// Opens the disk file `path` with CreateFileW's `access`, `share`, `disposition` and `flags`;
// anything but a disk file (a folder, a console, a pipe) is refused. `cannot` begins the
// description of a failure ("cannot open the file").
UniqueWinHandle OpenDiskFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                             DWORD flags, const std::string& cannot) {
    const auto wide = win::Widen(path);
    if (!wide) throw Error(cannot + " '" + path + "': its path is not valid UTF-8 text");
    UniqueWinHandle handle(
        CreateFileW(wide->c_str(), access, share, nullptr, disposition, flags, nullptr));
    if (!handle) {
        const DWORD error = GetLastError();
        // A folder cannot be opened this way at all; say what it is rather than "access denied".
        const DWORD attributes = GetFileAttributesW(wide->c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            throw Error("'" + path + "' is not a regular file");
        }
        throw Error(cannot + " '" + path + "': " + win::Win32Reason(error));
    }
    // Consoles, pipes and other devices could make a read wait forever, or a write reach a
    // device: only disk files are used.
    if (GetFileType(handle.get()) != FILE_TYPE_DISK) {
        throw Error("'" + path + "' is not a regular file");
    }
    return handle;
}

}  // namespace

std::unique_ptr<ByteSource> OpenRegularFile(const std::string& path) {
    UniqueWinHandle handle =
        OpenDiskFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, "cannot open the file");
    return std::make_unique<WinFile>(handle.release(), path);
}

std::unique_ptr<ByteSink> OpenWritableFile(const std::string& path) {
    // OPEN_ALWAYS, then emptied once it is known to be a disk file: a device is never truncated.
    UniqueWinHandle handle = OpenDiskFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, "cannot write the file");
    if (!SetEndOfFile(handle.get())) {
        throw Error("cannot write the file '" + path + "': " + win::Win32Reason(GetLastError()));
    }
    return std::make_unique<WinSink>(handle.release(), path);
}

}  // namespace seedwell::platform
