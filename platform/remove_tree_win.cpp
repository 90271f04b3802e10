// The primitives of the folder tree removal on Windows (base/tree_removal.h): every entry is
// opened relative to the open handle of its folder, as itself (a symbolic link or junction is
// opened, never followed), its kind is read from the open handle, and it is deleted through that
// handle; the check opens every entry with delete access. Also the names under which folders
// hold their entries, read from the folders' own listings.

#include <windows.h>
#include <winternl.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "base/printable.h"
#include "base/tree_removal.h"
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

using base::TreeEntry;
using base::TreeRemoval;
using base::TreeStep;
using enum TreeStep::Kind;

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

TreeStep Failure(std::string reason) { return {kFailed, std::move(reason)}; }

/// The primitives of TreeRemoval on Windows: handles opened relative to their folder's handle.
class WinTree {
  public:
    using Name = std::wstring;
    using Entry = TreeEntry<Name>;
    /// An open entry and its attributes.
    struct Node {
        UniqueWinHandle handle;
        DWORD attributes = 0;
    };
    static constexpr int kRounds = 4;

    explicit WinTree(bool force) : force_(force) {}

    std::optional<Name> Native(const std::string& utf8) const { return win::Widen(utf8); }
    std::string Shown(const Name& name) const {
        return win::Narrow(name).value_or("(a name that is not Unicode)");
    }

    TreeStep OpenBase(const std::string& base, Node& out) const {
        const auto wide = win::Widen(base);
        if (!wide) return Failure("its path is not valid UTF-8 text");
        // Read-attributes access too: the kind is read from this handle below, and Windows
        // refuses that read to a handle opened without it (Wine does not check).
        out.handle.reset(CreateFileW(
            wide->c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
            kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!out.handle) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                error == ERROR_DIRECTORY) {
                return kGone;
            }
            return Failure(win::Win32Reason(error));
        }
        // Its kind unread is a failure, not a folder missing: the records alone would go.
        out.attributes = AttributesOf(out.handle.get());
        if (out.attributes == 0) return Failure(win::Win32Reason(GetLastError()));
        return out.attributes & FILE_ATTRIBUTE_DIRECTORY ? kDone : kGone;
    }

    /// The mailbox folder itself is opened for deletion; the levels above it only to look
    /// inside. Its name is read from its parent's listing; the parent handle is queried here
    /// only.
    TreeStep OpenLevel(Node& parent, const Name& name, bool last, Node& out, Name& held) const {
        const ACCESS_MASK access = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES |
                                   (last ? DELETE | (force_ ? FILE_WRITE_ATTRIBUTES : 0) : 0);
        if (TreeStep step = OpenAs(parent, name, access, out); step.kind != kDone) return step;
        if (out.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return kLink;
        if (!(out.attributes & FILE_ATTRIBUTE_DIRECTORY)) return kGone;
        std::optional<HeldEntry> entry;
        if (const NTSTATUS query = QueryHeld(parent.handle.get(), name, entry); query < 0) {
            return Failure(NtReason(query));
        }
        if (!entry) return kGone;  // gone from its parent meanwhile
        const LONGLONG id = FileIdOf(out.handle.get());
        if (entry->id != 0 && id != 0 && entry->id != id) return kReplaced;
        held = std::move(entry->name);
        return {};
    }

    std::optional<std::string> TopBlocker(const Node&, const Name&, const Node& folder) const {
        if (ReadOnly(folder)) return "it is read-only";
        return std::nullopt;
    }

    /// The entries of the open folder, read from its start.
    TreeStep List(Node& folder, std::vector<Entry>& entries) const {
        std::vector<char> buffer(64 * 1024);
        FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
        for (;;) {
            if (!GetFileInformationByHandleEx(folder.handle.get(), kind, buffer.data(),
                                              DWORD(buffer.size()))) {
                const DWORD error = GetLastError();
                return error == ERROR_NO_MORE_FILES ? TreeStep{} : Failure(win::Win32Reason(error));
            }
            kind = FileIdBothDirectoryInfo;
            for (std::size_t offset = 0;;) {
                const auto* info =
                    reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + offset);
                std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
                if (name != L"." && name != L"..") {
                    entries.push_back({std::move(name), IsRealFolder(info->FileAttributes)});
                }
                if (info->NextEntryOffset == 0) break;
                offset += info->NextEntryOffset;
            }
        }
    }

    /// Opens the entry for deletion as the removal does: nothing held open by another process
    /// without sharing deletion, nothing the account may not delete.
    TreeStep Look(Node& dir, const Entry& entry, bool folder, Node& out) const {
        TreeStep step = Open(dir, entry, folder, out);
        return step.kind == kDone && ReadOnly(out) ? Failure("it is read-only") : step;
    }
    TreeStep Open(Node& dir, const Entry& entry, bool folder, Node& out) const {
        const ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES |
                                   (force_ ? FILE_WRITE_ATTRIBUTES : 0) |
                                   (folder ? FILE_LIST_DIRECTORY : 0);
        if (TreeStep step = OpenAs(dir, entry.name, access, out); step.kind != kDone) return step;
        return IsRealFolder(out.attributes) == folder ? kDone : kChanged;
    }

    bool IsFolder(const Node& node) const { return IsRealFolder(node.attributes); }
    TreeStep Prepare(Node&) const { return {}; }

    /// Marks the entry for deletion through its handle; it goes when the handle closes.
    TreeStep Delete(Node&, const Entry&, Node& node) const {
        if (node.attributes & FILE_ATTRIBUTE_READONLY) {
            if (!force_) return Failure("it is read-only");
            FILE_BASIC_INFO basic{};  // zero times are left as they are
            basic.FileAttributes =
                (node.attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)) |
                (node.attributes == FILE_ATTRIBUTE_READONLY ? FILE_ATTRIBUTE_NORMAL : 0);
            if (!SetFileInformationByHandle(node.handle.get(), FileBasicInfo, &basic,
                                            sizeof basic)) {
                return Failure(win::Win32Reason(GetLastError()));
            }
        }
        FILE_DISPOSITION_INFO disposition{TRUE};
        if (!SetFileInformationByHandle(node.handle.get(), FileDispositionInfo, &disposition,
                                        sizeof disposition)) {
            return Failure(win::Win32Reason(GetLastError()));
        }
        node.handle.reset();
        return {};
    }

  private:
    /// Opens `name` inside the folder `dir` as itself (a link or junction there is opened,
    /// never followed), and reads its attributes.
    static TreeStep OpenAs(Node& dir, std::wstring_view name, ACCESS_MASK access, Node& out) {
        UNICODE_STRING text;
        text.Buffer = const_cast<PWSTR>(name.data());
        text.Length = text.MaximumLength = USHORT(name.size() * sizeof(wchar_t));
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, dir.handle.get(),
                                   nullptr);
        IO_STATUS_BLOCK io{};
        HANDLE handle = INVALID_HANDLE_VALUE;
        const NTSTATUS status = NtCreateFile(
            &handle, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, kShareAll, FILE_OPEN,
            FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT,
            nullptr, 0);
        out.handle.reset(status >= 0 ? handle : INVALID_HANDLE_VALUE);
        if (Gone(status)) return kGone;
        if (status < 0) return Failure(NtReason(status));
        out.attributes = AttributesOf(handle);
        if (out.attributes == 0) return Failure(win::Win32Reason(GetLastError()));
        return {};
    }

    /// Read-only, and to stay so.
    bool ReadOnly(const Node& node) const {
        return (node.attributes & FILE_ATTRIBUTE_READONLY) && !force_;
    }

    bool force_;
};

}  // namespace

FolderRemoval StdFileSystem::RemoveTree(const std::string& base,
                                        const std::vector<std::string>& levels,
                                        const std::vector<bool>& lettersMatter,
                                        const std::string& top, bool force) {
    WinTree tree(force);
    return TreeRemoval<WinTree>(tree, top, Separator()).Run(base, levels, lettersMatter);
}

std::optional<std::string> StdFileSystem::FindHeldName(const std::string& dir,
                                                       const std::string& name) {
    auto cannot = [&](const std::string& reason) {
        return Error("cannot read the folder " + base::Quoted(dir) + ": " + reason);
    };
    const auto wideName = win::Widen(name);
    if (!wideName) return std::nullopt;
    WinTree::Node folder;
    const TreeStep opened = WinTree(false).OpenBase(dir.empty() ? "." : dir, folder);
    if (opened.kind == kGone) return std::nullopt;
    if (opened.kind != kDone) throw cannot(opened.reason);
    std::optional<HeldEntry> entry;
    if (const NTSTATUS status = QueryHeld(folder.handle.get(), *wideName, entry); status < 0) {
        throw cannot(NtReason(status));
    }
    if (!entry) return std::nullopt;
    auto held = win::Narrow(entry->name);
    if (!held)
        throw cannot("the entry that answers to " + base::Quoted(name) +
                     " is named in no Unicode text");
    return held;
}

}  // namespace seedwell::platform
