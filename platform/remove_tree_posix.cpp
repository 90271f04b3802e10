// The primitives of the folder tree removal on POSIX (base/tree_removal.h): every step goes
// through a descriptor of the folder it works in (openat, statx, unlinkat relative to it). Also
// the names under which folders hold their entries, which on a folder that ignores letter case
// may be other letters than the ones asked.

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/ascii.h"
#include "base/error.h"
#include "base/printable.h"
#include "base/tree_removal.h"
#include "platform/filesystem_std.h"
#include "platform/unique_handle.h"

namespace seedwell::platform {
namespace {

using base::TreeEntry;
using base::TreeRemoval;
using base::TreeStep;
using enum TreeStep::Kind;

std::string Reason(int error) { return std::generic_category().message(error); }

constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
constexpr unsigned kStatxWanted = STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO | STATX_MNT_ID;

/// Calls `visit(name, inode, type)` for every entry of the folder `fd` but "." and "..", read
/// from its start. Answers 0, or the errno of a failed read.
template <typename Visit>
int ForEachEntry(int fd, Visit&& visit) {
    if (::lseek(fd, 0, SEEK_SET) != 0) return errno;
    alignas(dirent64) char buffer[8192];
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
        if (got < 0) return errno;
        if (got == 0) return 0;
        for (ssize_t offset = 0; offset < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") visit(name, entry->d_ino, entry->d_type);
        }
    }
}

/// What an entry is, whatever name it is reached by.
struct Identity {
    dev_t device;
    ino_t inode;
    bool operator==(const Identity&) const = default;
};

Identity IdentityOf(const struct stat& info) { return {info.st_dev, info.st_ino}; }
Identity IdentityOf(const struct statx& info) {
    return {makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino};
}

/// True when `name` in the folder `dir`, not followed, is `entry`.
bool Is(int dir, const std::string& name, const Identity& entry) {
    struct stat info {};
    return ::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           IdentityOf(info) == entry;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

/// `name` with every ASCII letter in the other case.
std::string OtherCase(std::string name) {
    for (char& c : name) {
        if (IsAsciiLetter(c)) c ^= 0x20;
    }
    return name;
}

/// Sets `held` to the name under which the folder `dir` holds its entry `name`, which was found
/// to be `entry`; empty when no entry of `dir` is `entry` any more. Answers 0, or the errno of a
/// failed read of the folder.
///
/// Where the folder tells letter case apart, `name` in the other ASCII case is another entry or
/// none, and `name` is how the entry is held: one lookup, and the folder's entries are not read.
/// They are read only when that lookup finds `entry` again (a folder that ignores letter case,
/// or a file with a second link under that name), or when `name` has no ASCII letter to try but
/// bytes beyond ASCII that a folder might fold. Of the entries, the ones that are `entry` by
/// device and inode count, `name` itself first among several links: first those whose listed
/// inode matches, then, for file systems whose listing tells other inode numbers (a mount
/// point, some union file systems), every entry by a lookup of its own.
int ReadHeldName(int dir, const std::string& name, const Identity& entry,
                 std::optional<std::string>& held) {
    held.reset();
    const std::string other = OtherCase(name);
    if (other != name) {
        struct stat info {};
        const bool there = ::fstatat(dir, other.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
        if (there ? !(IdentityOf(info) == entry) : errno == ENOENT) {
            held = name;
            return 0;
        }
    } else if (std::all_of(name.begin(), name.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        held = name;  // nothing in it that any folder folds
        return 0;
    }
    std::vector<std::string> found, others;
    const int error = ForEachEntry(dir, [&](std::string_view listed, ino64_t inode, unsigned char) {
        (inode == entry.inode ? found : others).emplace_back(listed);
    });
    if (error != 0) return error;
    std::erase_if(found, [&](const std::string& listed) { return !Is(dir, listed, entry); });
    if (found.empty()) {
        for (std::string& listed : others) {
            if (Is(dir, listed, entry)) found.push_back(std::move(listed));
        }
    }
    if (found.empty()) return 0;
    // Several names are links of one file: the one asked, else the one nearest to it.
    auto chosen = std::find(found.begin(), found.end(), name);
    if (chosen == found.end()) {
        chosen = std::find_if(found.begin(), found.end(), [&](const std::string& listed) {
            return base::EqualsIgnoringCase(listed, name);
        });
    }
    held = chosen != found.end() ? *chosen : found.front();
    return 0;
}

/// Immutable or append-only: what even root cannot remove, or remove anything from.
std::string LockedFlag(int dirFd, const std::string& name, const struct statx& info) {
    constexpr auto kLocked = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    int flags = 0;
    if ((info.stx_attributes_mask & kLocked) == kLocked) {
        if (info.stx_attributes & STATX_ATTR_IMMUTABLE) flags |= FS_IMMUTABLE_FL;
        if (info.stx_attributes & STATX_ATTR_APPEND) flags |= FS_APPEND_FL;
    } else if (S_ISDIR(info.stx_mode) || S_ISREG(info.stx_mode)) {
        // The file system does not report them through statx; ask the inode itself. Only
        // folders and regular files are opened: opening a device could have effects.
        const int mode = S_ISDIR(info.stx_mode)
                             ? kOpenFolder
                             : O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
        UniqueFd fd(::openat(dirFd, name.c_str(), mode));
        if (fd && ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0) flags = 0;
    }
    if (flags & FS_IMMUTABLE_FL) return "it is immutable";
    if (flags & FS_APPEND_FL) return "it is append-only";
    return {};
}

TreeStep Failure(int error) { return {kFailed, Reason(error)}; }
/// kGone for ENOENT, else the failure.
TreeStep Missed(int error) { return error == ENOENT ? kGone : Failure(error); }

/// The primitives of TreeRemoval on POSIX: descriptors, and openat, statx and unlinkat relative
/// to them.
class PosixTree {
  public:
    using Name = std::string;
    using Entry = TreeEntry<Name>;
    /// An open folder (an entry that is no folder has no descriptor) and what statx said of it.
    struct Node {
        UniqueFd fd;
        struct statx info {};
    };
    static constexpr int kRounds = 8;

    explicit PosixTree(bool force) : force_(force) {}

    std::optional<Name> Native(const std::string& utf8) const { return utf8; }
    const std::string& Shown(const Name& name) const { return name; }

    TreeStep OpenBase(const std::string& base, Node& out) const {
        out.fd.reset(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!out.fd) return errno == ENOENT || errno == ENOTDIR ? kGone : Failure(errno);
        return Stat(out);
    }

    TreeStep OpenLevel(Node& parent, const Name& level, bool, Node& out, Name& held) const {
        const TreeStep step = OpenFolder(parent, level.c_str(), out);
        if (step.kind == kChanged) {
            // Not a folder: a link, or something else that no mailbox folder is below.
            const bool link = ::statx(parent.fd.get(), level.c_str(), AT_SYMLINK_NOFOLLOW,
                                      STATX_TYPE, &out.info) == 0 &&
                              S_ISLNK(out.info.stx_mode);
            return link ? kLink : kGone;
        }
        if (step.kind != kDone) return step;
        std::optional<std::string> name;
        if (const int error = ReadHeldName(parent.fd.get(), level, IdentityOf(out.info), name)) {
            return Failure(error);
        }
        if (!name) return kGone;  // gone from its parent meanwhile
        held = std::move(*name);
        return {};
    }

    /// The folder holding the tree must let its entry go.
    std::optional<std::string> TopBlocker(const Node& parent, const Name& name,
                                          const Node& folder) const {
        if (::faccessat(parent.fd.get(), ".", W_OK | X_OK, AT_EACCESS) != 0) {
            return "its parent folder cannot be written: " + Reason(errno);
        }
        if (std::string locked = LockedFlag(parent.fd.get(), ".", parent.info); !locked.empty()) {
            return "its parent folder " + locked.substr(3);
        }
        return Blocker(parent, name, folder, true);
    }

    TreeStep List(Node& folder, std::vector<Entry>& entries) const {
        const int error =
            ForEachEntry(folder.fd.get(), [&](std::string_view name, ino64_t, unsigned char type) {
                entries.push_back({std::string(name), type == DT_DIR || type == DT_UNKNOWN});
            });
        return error == 0 ? TreeStep{} : Failure(error);
    }

    /// A folder is looked at through its descriptor; anything else, or a folder that is
    /// something else by now, by its name without following it.
    TreeStep Look(Node& dir, const Entry& entry, bool folder, Node& out) const {
        const char* name = entry.name.c_str();
        TreeStep step = folder ? OpenFolder(dir, name, out) : kChanged;
        if (step.kind == kChanged) {
            if (::statx(dir.fd.get(), name, AT_SYMLINK_NOFOLLOW, kStatxWanted, &out.info) != 0) {
                return Missed(errno);
            }
            // A folder gone, or swapped for something that is removed as itself, meanwhile.
            step = S_ISDIR(out.info.stx_mode) ? OpenFolder(dir, name, out) : TreeStep();
            if (step.kind == kChanged) return kGone;
        }
        if (step.kind != kDone) return step;
        const auto reason = Blocker(dir, entry.name, out, false);
        return reason ? TreeStep(kFailed, *reason) : TreeStep();
    }

    /// An entry that is no folder is unlinked by its name, unopened.
    TreeStep Open(Node& dir, const Entry& entry, bool folder, Node& out) const {
        TreeStep step = folder ? OpenFolder(dir, entry.name.c_str(), out) : TreeStep();
        if (step.kind == kDone && out.fd && Device(out.info) != Device(dir.info)) {
            return {kFailed, "another file system is mounted there"};
        }
        return step;
    }

    bool IsFolder(const Node& node) const { return bool(node.fd); }

    /// Makes the folder writable for its owner when forced, from what it is now.
    TreeStep Prepare(Node& folder) const {
        if (TreeStep step = Stat(folder); step.kind != kDone) return step;
        const struct statx& info = folder.info;
        if (force_ && info.stx_uid == me_ && (info.stx_mode & S_IRWXU) != S_IRWXU &&
            ::fchmod(folder.fd.get(), (info.stx_mode & 07777) | S_IRWXU) != 0) {
            return Failure(errno);
        }
        return {};
    }

    TreeStep Delete(Node& dir, const Entry& entry, Node& node) const {
        const bool folder = bool(node.fd);
        node.fd.reset();
        if (::unlinkat(dir.fd.get(), entry.name.c_str(), folder ? AT_REMOVEDIR : 0) == 0) return {};
        if (errno == ENOENT) return kGone;
        return {errno == (folder ? ENOTDIR : EISDIR) ? kChanged : kFailed, Reason(errno)};
    }

  private:
    static TreeStep Stat(Node& node) {
        return ::statx(node.fd.get(), "", AT_EMPTY_PATH, kStatxWanted, &node.info) == 0
                   ? TreeStep()
                   : Failure(errno);
    }
    /// The folder `name` of `dir`, kChanged when it is something else.
    static TreeStep OpenFolder(const Node& dir, const char* name, Node& out) {
        out.fd.reset(::openat(dir.fd.get(), name, kOpenFolder));
        if (out.fd) return Stat(out);
        return errno == ENOTDIR || errno == ELOOP ? kChanged : Missed(errno);
    }
    static dev_t Device(const struct statx& info) {
        return makedev(info.stx_dev_major, info.stx_dev_minor);
    }

    /// What stops the removal of the entry `node` (a folder with a descriptor) from `dir`.
    std::optional<std::string> Blocker(const Node& dir, const std::string& name, const Node& node,
                                       bool top) const {
        const struct statx &parent = dir.info, &info = node.info;
        if (std::string locked = LockedFlag(dir.fd.get(), name, info); !locked.empty()) {
            return locked;
        }
        const bool mountIds = (info.stx_mask & parent.stx_mask & STATX_MNT_ID) != 0;
        if (node.fd && !top &&
            (Device(info) != Device(parent) ||
             (mountIds && info.stx_mnt_id != parent.stx_mnt_id))) {
            return "another file system is mounted there";
        }
        // In a sticky folder only root, the folder's owner and the entry's owner may unlink.
        if ((parent.stx_mode & S_ISVTX) && me_ != 0 && parent.stx_uid != me_ &&
            info.stx_uid != me_) {
            return "it belongs to another user in a folder with the sticky bit";
        }
        if (!force_ && S_ISREG(info.stx_mode) && !(info.stx_mode & S_IWUSR)) {
            return "it is read-only";
        }
        // Entries can be removed from the folder, or will be once the removal makes it writable
        // for its owner.
        if (node.fd && ::faccessat(node.fd.get(), ".", W_OK | X_OK, AT_EACCESS) != 0 &&
            !(errno == EACCES && force_ && info.stx_uid == me_)) {
            return Reason(errno);
        }
        return std::nullopt;
    }

    bool force_;
    uid_t me_ = ::geteuid();
};

}  // namespace

FolderRemoval StdFileSystem::RemoveTree(const std::string& base,
                                        const std::vector<std::string>& levels,
                                        const std::vector<bool>& lettersMatter,
                                        const std::string& top, bool force) {
    PosixTree tree(force);
    return TreeRemoval<PosixTree>(tree, top, Separator()).Run(base, levels, lettersMatter);
}

std::optional<std::string> StdFileSystem::FindHeldName(const std::string& dir,
                                                       const std::string& name) {
    auto cannot = [&](int error) {
        return Error("cannot read the folder " + base::Quoted(dir) + ": " + Reason(error));
    };
    UniqueFd folder(
        ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
    if (!folder) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throw cannot(errno);
    }
    // Held open, the entry stays the one looked at, and its inode stays known to file systems
    // that number only the inodes they hold.
    UniqueFd entry(::openat(folder.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!entry) {
        if (errno == ENOENT || errno == ENAMETOOLONG) return std::nullopt;
        throw cannot(errno);
    }
    struct stat info {};
    if (::fstat(entry.get(), &info) != 0) throw cannot(errno);
    std::optional<std::string> held;
    if (const int error = ReadHeldName(folder.get(), name, IdentityOf(info), held)) {
        throw cannot(error);
    }
    return held;
}

}  // namespace seedwell::platform
