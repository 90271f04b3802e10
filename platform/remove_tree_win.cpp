// Folder tree removal that nothing inside the tree can steer elsewhere: every entry is opened
// relative to the open handle of its folder, as itself (a symbolic link or junction is opened,
// never followed), its kind is read from the open handle, and it is deleted through that
// handle. The whole tree is opened once first, with delete access, before anything goes. Also
// the names under which folders hold their entries, read from the folders' own listings.

#include <windows.h>
#include <winternl.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/filesystem_std.h"
#include "platform/unique_handle.h"
#include "platform/win_text.h"

// ntdll exports it; winternl.h does not declare it.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc,
                                               PVOID apcContext, PIO_STATUS_BLOCK io,
                                               PVOID information, ULONG length,
                                               FILE_INFORMATION_CLASS informationClass,
                                               BOOLEAN singleEntry, PUNICODE_STRING fileName,
                                               BOOLEAN restartScan);

namespace seedwell::platform {
namespace {

struct HandleTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) noexcept { CloseHandle(handle); }
};
using Handle = UniqueHandle<HANDLE, HandleTraits>;

using Outcome = FolderRemoval::Outcome;

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr NTSTATUS kNameNotFound = NTSTATUS(0xC0000034L);
constexpr NTSTATUS kPathNotFound = NTSTATUS(0xC000003AL);
constexpr NTSTATUS kDeletePending = NTSTATUS(0xC0000056L);

constexpr NTSTATUS kNoSuchFile = NTSTATUS(0xC000000FL);
constexpr NTSTATUS kNoMoreFiles = NTSTATUS(0x80000006L);

bool Gone(NTSTATUS status) {
    return status == kNameNotFound || status == kPathNotFound || status == kDeletePending;
}

std::string NtReason(NTSTATUS status) { return win::Win32Reason(RtlNtStatusToDosError(status)); }

/// Opens `name` inside the folder `dir` as itself: a link or junction there is opened, never
/// followed. `out` owns the handle when the status is a success.
NTSTATUS OpenIn(HANDLE dir, std::wstring_view name, ACCESS_MASK access, Handle& out) {
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.data());
    text.Length = text.MaximumLength = USHORT(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, dir, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE handle = INVALID_HANDLE_VALUE;
    const NTSTATUS status = NtCreateFile(
        &handle, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, kShareAll, FILE_OPEN,
        FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT,
        nullptr, 0);
    out.reset(status >= 0 ? handle : INVALID_HANDLE_VALUE);
    return status;
}

/// The attributes of the open file or folder, or 0 with the error set.
DWORD AttributesOf(HANDLE handle) {
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return 0;
    return basic.FileAttributes;
}

/// An entry of a folder as the folder holds it.
struct HeldEntry {
    std::wstring name;
    LONGLONG id;  ///< the file id, 0 where the file system has none
};

/// Looks `name` up in the folder `dir` as the file system matches names (letter case ignored
/// where it ignores it, 8.3 short names too) and reads the entry that answers from the folder's
/// listing; nothing is followed. `held` is empty when no entry answers, and always for a name
/// with wildcards, which would match others. Each handle takes one query only: a folder handle
/// keeps the first name it was queried with.
NTSTATUS QueryHeld(HANDLE dir, std::wstring_view name, std::optional<HeldEntry>& held) {
    held.reset();
    if (name.empty() || name.find_first_of(L"*?<>\"") != std::wstring_view::npos) return 0;
    UNICODE_STRING mask;
    mask.Buffer = const_cast<PWSTR>(name.data());
    mask.Length = mask.MaximumLength = USHORT(name.size() * sizeof(wchar_t));
    // One entry with the longest name a folder holds, 255 characters.
    alignas(FILE_ID_BOTH_DIR_INFORMATION) char buffer[sizeof(FILE_ID_BOTH_DIR_INFORMATION) + 512];
    IO_STATUS_BLOCK io{};
    const NTSTATUS status =
        NtQueryDirectoryFile(dir, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                             FileIdBothDirectoryInformation, TRUE, &mask, TRUE);
    if (status == kNoSuchFile || status == kNoMoreFiles || Gone(status)) return 0;
    if (status < 0) return status;
    const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFORMATION*>(buffer);
    held = HeldEntry{std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t)),
                     info->FileId.QuadPart};
    return 0;
}

/// The file id of the open `handle`, 0 where the file system has none.
LONGLONG FileIdOf(HANDLE handle) {
    FILE_INTERNAL_INFORMATION internal{};
    IO_STATUS_BLOCK io{};
    if (NtQueryInformationFile(handle, &io, &internal, sizeof internal, FileInternalInformation) <
        0) {
        return 0;
    }
    return internal.IndexNumber.QuadPart;
}

bool IsRealFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

/// A failure found while checking or removing, with the path it concerns.
struct Stop {
    Outcome outcome;
    std::string detail;
};

struct Entry {
    std::wstring name;
    DWORD attributes;
};

class TreeRemoval {
  public:
    TreeRemoval(bool force, std::string top) : force_(force), top_(std::move(top)) {}

    /// Stops with kInUse unless everything in the folder `dir` can be opened for deletion:
    /// nothing held open by another process without sharing deletion, nothing read-only
    /// unless forced, nothing the account may not delete.
    void Check(HANDLE dir, const std::string& shown) {
        for (const Entry& entry : Names(dir, shown)) {
            const std::string path = Shown(shown, entry.name);
            Handle handle;
            const DWORD attributes = Open(dir, entry, path, handle, false);
            if (!handle) continue;
            if ((attributes & FILE_ATTRIBUTE_READONLY) && !force_) {
                throw Stop{Outcome::kInUse, Describe(path, "it is read-only")};
            }
            if (IsRealFolder(attributes)) Check(handle.get(), path);
        }
    }

    /// Deletes the entry open as `handle` (`attributes`), a real folder with what is inside.
    void Remove(HANDLE handle, DWORD attributes, const std::string& shown) {
        if (IsRealFolder(attributes)) {
            for (const Entry& entry : Names(handle, shown)) {
                const std::string path = Shown(shown, entry.name);
                Handle child;
                const DWORD childAttributes = Open(handle, entry, path, child, true);
                if (child) Remove(child.get(), childAttributes, path);
            }
        }
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            if (!force_) throw Failed(shown, "it is read-only");
            FILE_BASIC_INFO basic{};  // zero times are left as they are
            basic.FileAttributes =
                (attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)) |
                (attributes == FILE_ATTRIBUTE_READONLY ? FILE_ATTRIBUTE_NORMAL : 0);
            if (!SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic)) {
                throw Failed(shown, win::Win32Reason(GetLastError()));
            }
        }
        FILE_DISPOSITION_INFO disposition{TRUE};
        if (!SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                        sizeof disposition)) {
            throw Failed(shown, win::Win32Reason(GetLastError()));
        }
        ++removed_;
    }

    /// Opens `entry` of `dir` for deletion as itself; an empty handle when it is gone. An
    /// entry swapped for another kind meanwhile is opened again as what it is now.
    DWORD Open(HANDLE dir, const Entry& entry, const std::string& shown, Handle& handle,
               bool removing) {
        bool folder = IsRealFolder(entry.attributes);
        for (int round = 0; round < 4; ++round) {
            const ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES |
                                       (force_ ? FILE_WRITE_ATTRIBUTES : 0) |
                                       (folder ? FILE_LIST_DIRECTORY : 0);
            const NTSTATUS status = OpenIn(dir, entry.name, access, handle);
            if (Gone(status)) return 0;
            if (status < 0) {
                const std::string reason = NtReason(status);
                throw removing ? Failed(shown, reason)
                               : Stop{Outcome::kInUse, Describe(shown, reason)};
            }
            const DWORD attributes = AttributesOf(handle.get());
            if (attributes == 0) {
                const std::string reason = win::Win32Reason(GetLastError());
                throw removing ? Failed(shown, reason)
                               : Stop{Outcome::kInUse, Describe(shown, reason)};
            }
            if (IsRealFolder(attributes) == folder) return attributes;
            folder = !folder;
        }
        const std::string reason = "it kept changing while it was being removed";
        throw removing ? Failed(shown, reason) : Stop{Outcome::kInUse, Describe(shown, reason)};
    }

    bool RemovedAny() const { return removed_ != 0; }

    Stop Failed(const std::string& path, const std::string& reason) const {
        return {removed_ ? Outcome::kPartlyRemoved : Outcome::kInUse, Describe(path, reason)};
    }

    std::string Describe(const std::string& path, const std::string& reason) const {
        if (path == top_) return "cannot delete the folder '" + top_ + "': " + reason;
        return "cannot delete '" + path + "' in the folder '" + top_ + "': " + reason;
    }

  private:
    static std::string Shown(const std::string& folder, const std::wstring& name) {
        return folder + "\\" + win::Narrow(name).value_or("(a name that is not Unicode)");
    }

    /// The entries of the open folder `dir`, read from its start.
    std::vector<Entry> Names(HANDLE dir, const std::string& shown) const {
        std::vector<Entry> entries;
        std::vector<char> buffer(64 * 1024);
        FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
        for (;;) {
            if (!GetFileInformationByHandleEx(dir, kind, buffer.data(), DWORD(buffer.size()))) {
                const DWORD error = GetLastError();
                if (error == ERROR_NO_MORE_FILES) break;
                throw Failed(shown, win::Win32Reason(error));
            }
            kind = FileIdBothDirectoryInfo;
            for (std::size_t offset = 0;;) {
                const auto* info =
                    reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + offset);
                std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
                if (name != L"." && name != L"..") {
                    entries.push_back({std::move(name), info->FileAttributes});
                }
                if (info->NextEntryOffset == 0) break;
                offset += info->NextEntryOffset;
            }
        }
        return entries;
    }

    bool force_;
    std::string top_;
    long removed_ = 0;
};

}  // namespace

FolderRemoval RemoveFolderTree(const std::string& base, const std::vector<std::string>& levels,
                               const std::string& top, bool force, char separator) {
    auto cannot = [&](const std::string& what, const std::string& reason) {
        return FolderRemoval{Outcome::kInUse, "cannot delete the folder '" + top +
                                                  "': cannot open " + what + ": " + reason};
    };
    const auto wideBase = win::Widen(base);
    if (!wideBase) return cannot("'" + base + "'", "its path is not valid UTF-8 text");
    Handle parent(CreateFileW(wideBase->c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                              kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                              nullptr));
    if (!parent) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return {Outcome::kMissing, {}};
        }
        return cannot("'" + base + "'", win::Win32Reason(error));
    }
    if (!(AttributesOf(parent.get()) & FILE_ATTRIBUTE_DIRECTORY)) return {Outcome::kMissing, {}};

    Handle folder;
    DWORD attributes = 0;
    std::string shown, held;
    bool otherLetters = false;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const std::string joiner = shown.empty() ? "" : std::string(1, separator);
        shown += joiner + levels[i];
        if (folder) parent = std::move(folder);
        const auto name = win::Widen(levels[i]);
        if (!name) return cannot("'" + shown + "'", "its name is not valid UTF-8 text");
        // The mailbox folder itself is opened for deletion; the levels above it only to look
        // inside.
        const bool last = i + 1 == levels.size();
        const ACCESS_MASK access = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES |
                                   (last ? DELETE | (force ? FILE_WRITE_ATTRIBUTES : 0) : 0);
        const NTSTATUS status = OpenIn(parent.get(), *name, access, folder);
        if (Gone(status)) return {Outcome::kMissing, {}};
        if (status < 0) return cannot("'" + shown + "'", NtReason(status));
        attributes = AttributesOf(folder.get());
        if (attributes == 0) return cannot("'" + shown + "'", win::Win32Reason(GetLastError()));
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return {Outcome::kLink, shown};
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return {Outcome::kMissing, {}};
        // The name of the folder opened, as its parent lists it; the parent handle is queried
        // here only.
        std::optional<HeldEntry> entry;
        if (const NTSTATUS query = QueryHeld(parent.get(), *name, entry); query < 0) {
            return cannot("'" + shown + "'", NtReason(query));
        }
        if (!entry) return {Outcome::kMissing, {}};  // gone from its parent meanwhile
        const LONGLONG id = FileIdOf(folder.get());
        if (entry->id != 0 && id != 0 && entry->id != id) {
            return {Outcome::kInUse, "cannot delete the folder '" + top + "': '" + shown +
                                         "' was replaced while it was being opened"};
        }
        otherLetters = otherLetters || entry->name != *name;
        held += joiner + win::Narrow(entry->name).value_or("(a name that is not Unicode)");
    }
    if (otherLetters) return {Outcome::kOtherLetters, held};

    TreeRemoval removal(force, top);
    try {
        if ((attributes & FILE_ATTRIBUTE_READONLY) && !force) {
            return {Outcome::kInUse, removal.Describe(top, "it is read-only")};
        }
        removal.Check(folder.get(), top);
        removal.Remove(folder.get(), attributes, top);
    } catch (const Stop& stop) {
        return {stop.outcome, stop.detail};
    }
    // The folder goes when its handle closes; a folder still there then was not emptied.
    folder.reset();
    return {Outcome::kRemoved, {}};
}

std::optional<std::string> HeldEntryName(const std::string& dir, const std::string& name) {
    auto cannot = [&](const std::string& reason) {
        return Error("cannot read the folder '" + dir + "': " + reason);
    };
    // No entry is named so: the name would lead elsewhere, to a stream, or nowhere.
    const auto wideName = win::Widen(name);
    if (!wideName || wideName->empty() || *wideName == L"." || *wideName == L".." ||
        wideName->find_first_of(L"\\/:*?\"<>|") != std::wstring::npos) {
        return std::nullopt;
    }
    const auto wideDir = win::Widen(dir.empty() ? "." : dir);
    if (!wideDir) throw cannot("its path is not valid UTF-8 text");
    Handle folder(CreateFileW(wideDir->c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                              nullptr));
    if (!folder) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_DIRECTORY) {
            return std::nullopt;
        }
        throw cannot(win::Win32Reason(error));
    }
    const DWORD attributes = AttributesOf(folder.get());
    if (attributes == 0) throw cannot(win::Win32Reason(GetLastError()));
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
    std::optional<HeldEntry> entry;
    if (const NTSTATUS status = QueryHeld(folder.get(), *wideName, entry); status < 0) {
        throw cannot(NtReason(status));
    }
    if (!entry) return std::nullopt;
    auto held = win::Narrow(entry->name);
    if (!held) throw cannot("the entry that answers to '" + name + "' is named in no Unicode text");
    return held;
}

}  // namespace seedwell::platform
