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

std::unique_ptr<ByteSource> OpenRegularFile(const std::string& path) {
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

}  // namespace seedwell::platform
