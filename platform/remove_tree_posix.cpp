// Folder tree removal that nothing inside the tree can steer elsewhere: every step goes through
// a descriptor of the folder it works in (openat, statx, unlinkat relative to it), nothing below
// the base is ever followed, and the whole tree is checked before the first entry goes. Also the
// names under which folders hold their entries, which on a folder that ignores letter case may
// be other letters than the ones asked.

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

#include "platform/error.h"
#include "platform/filesystem_std.h"
#include "platform/unique_handle.h"

namespace seedwell::platform {
namespace {

struct FdTraits {
    static constexpr int Invalid() noexcept { return -1; }
    static void Close(int fd) noexcept { ::close(fd); }
};
using Fd = UniqueHandle<int, FdTraits>;

using Outcome = FolderRemoval::Outcome;

std::string Reason(int error) { return std::generic_category().message(error); }

constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
constexpr unsigned kStatxWanted = STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO | STATX_MNT_ID;

/// A failure found while checking or removing, with the path it concerns.
struct Stop {
    Outcome outcome;
    std::string detail;
};

struct Entry {
    std::string name;
    unsigned char type;
};

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

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && !(IsAsciiLetter(a[i]) && (a[i] ^ 0x20) == b[i])) return false;
    }
    return true;
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
            return SameIgnoringAsciiCase(listed, name);
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
        Fd fd(::openat(dirFd, name.c_str(), mode));
        if (fd && ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0) flags = 0;
    }
    if (flags & FS_IMMUTABLE_FL) return "it is immutable";
    if (flags & FS_APPEND_FL) return "it is append-only";
    return {};
}

class TreeRemoval {
  public:
    TreeRemoval(bool force, std::string top) : force_(force), top_(std::move(top)) {}

    /// Stops with kInUse unless the folder `fd` (`info`, at `shown`) and everything in it can
    /// be removed from its parent `parent`.
    void Check(int fd, const struct statx& parent, const struct statx& info,
               const std::string& shown) {
        CheckEntry(parent, info, shown);
        // Entries can be removed from the folder, or will be once the removal makes it
        // writable for its owner.
        if (::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
            const int error = errno;
            if (!(error == EACCES && force_ && info.stx_uid == me_)) {
                throw InUse(shown, Reason(error));
            }
        }
        for (const Entry& entry : Names(fd, shown)) {
            const std::string path = shown + "/" + entry.name;
            struct statx child {};
            Fd sub;
            // A folder is looked at through its descriptor; anything else, or a folder that is
            // something else by now, by its name without following it.
            if (entry.type == DT_DIR || entry.type == DT_UNKNOWN) {
                sub.reset(::openat(fd, entry.name.c_str(), kOpenFolder));
                if (!sub && errno != ENOTDIR && errno != ELOOP) {
                    if (errno == ENOENT) continue;
                    throw InUse(path, Reason(errno));
                }
            }
            if (!sub) {
                if (::statx(fd, entry.name.c_str(), AT_SYMLINK_NOFOLLOW, kStatxWanted, &child) !=
                    0) {
                    if (errno == ENOENT) continue;
                    throw InUse(path, Reason(errno));
                }
                if (S_ISDIR(child.stx_mode)) {
                    sub.reset(::openat(fd, entry.name.c_str(), kOpenFolder));
                    // Gone, or swapped for something that is removed as itself.
                    if (!sub && (errno == ENOENT || errno == ENOTDIR || errno == ELOOP)) continue;
                    if (!sub) throw InUse(path, Reason(errno));
                }
            }
            if (sub && ::statx(sub.get(), "", AT_EMPTY_PATH, kStatxWanted, &child) != 0) {
                throw InUse(path, Reason(errno));
            }
            if (const std::string locked = LockedFlag(fd, entry.name, child); !locked.empty()) {
                throw InUse(path, locked);
            }
            if (!sub) {
                CheckEntry(info, child, path);
                continue;
            }
            const bool mountIds = (child.stx_mask & info.stx_mask & STATX_MNT_ID) != 0;
            if (child.stx_dev_major != info.stx_dev_major ||
                child.stx_dev_minor != info.stx_dev_minor ||
                (mountIds && child.stx_mnt_id != info.stx_mnt_id)) {
                throw InUse(path, "another file system is mounted there");
            }
            Check(sub.get(), info, child, path);
        }
    }

    /// Empties the folder `fd` (`info`, at `shown`).
    void Empty(int fd, const struct stat& info, const std::string& shown) {
        constexpr mode_t kOwnerAll = S_IRWXU;
        if (force_ && info.st_uid == me_ && (info.st_mode & kOwnerAll) != kOwnerAll &&
            ::fchmod(fd, (info.st_mode & 07777) | kOwnerAll) != 0) {
            throw Failed(shown, Reason(errno));
        }
        for (const Entry& entry : Names(fd, shown)) {
            RemoveEntry(fd, info, entry, shown + "/" + entry.name);
        }
    }

    /// Removes the entry `entry` of the folder `parent`: a real folder with what is in it,
    /// anything else (links included) as itself.
    void RemoveEntry(int parent, const struct stat& parentInfo, const Entry& entry,
                     const std::string& shown) {
        bool folder = entry.type == DT_DIR || entry.type == DT_UNKNOWN;
        // Whatever an entry is swapped for, it is opened or unlinked as what it is now; an entry
        // swapped over and over is given up after a few rounds.
        for (int round = 0; round < 8; ++round, folder = !folder) {
            if (!folder) {
                if (::unlinkat(parent, entry.name.c_str(), 0) == 0) {
                    ++removed_;
                    return;
                }
                if (errno == ENOENT) return;
                if (errno == EISDIR) continue;
                throw Failed(shown, Reason(errno));
            }
            Fd sub(::openat(parent, entry.name.c_str(), kOpenFolder));
            if (!sub) {
                if (errno == ENOENT) return;
                if (errno == ENOTDIR || errno == ELOOP) continue;
                throw Failed(shown, Reason(errno));
            }
            struct stat info {};
            if (::fstat(sub.get(), &info) != 0) throw Failed(shown, Reason(errno));
            if (info.st_dev != parentInfo.st_dev) {
                throw Failed(shown, "another file system is mounted there");
            }
            Empty(sub.get(), info, shown);
            sub.reset();
            if (::unlinkat(parent, entry.name.c_str(), AT_REMOVEDIR) == 0) {
                ++removed_;
                return;
            }
            if (errno == ENOENT) return;
            if (errno == ENOTDIR) continue;
            throw Failed(shown, Reason(errno));
        }
        throw Failed(shown, "it kept changing while it was being removed");
    }

    bool RemovedAny() const { return removed_ != 0; }

  private:
    Stop InUse(const std::string& path, const std::string& reason) const {
        return {Outcome::kInUse, "cannot delete " + Where(path) + ": " + reason};
    }
    Stop Failed(const std::string& path, const std::string& reason) const {
        return {removed_ ? Outcome::kPartlyRemoved : Outcome::kInUse,
                "cannot delete " + Where(path) + ": " + reason};
    }
    std::string Where(const std::string& path) const {
        if (path == top_) return "the folder '" + top_ + "'";
        return "'" + path + "' in the folder '" + top_ + "'";
    }

    /// The entry `info` of the folder `parent` can be unlinked from it.
    void CheckEntry(const struct statx& parent, const struct statx& info,
                    const std::string& shown) const {
        // In a sticky folder only root, the folder's owner and the entry's owner may unlink.
        if ((parent.stx_mode & S_ISVTX) && me_ != 0 && parent.stx_uid != me_ &&
            info.stx_uid != me_) {
            throw InUse(shown, "it belongs to another user in a folder with the sticky bit");
        }
        if (!force_ && S_ISREG(info.stx_mode) && !(info.stx_mode & S_IWUSR)) {
            throw InUse(shown, "it is read-only");
        }
    }

    /// The names in the folder `fd`, read from its start.
    std::vector<Entry> Names(int fd, const std::string& shown) const {
        std::vector<Entry> entries;
        const int error = ForEachEntry(fd, [&](std::string_view name, ino64_t, unsigned char type) {
            entries.push_back({std::string(name), type});
        });
        if (error != 0) throw Failed(shown, Reason(error));
        return entries;
    }

    bool force_;
    std::string top_;
    uid_t me_ = ::geteuid();
    long removed_ = 0;
};

}  // namespace

FolderRemoval RemoveFolderTree(const std::string& base, const std::vector<std::string>& levels,
                               const std::string& top, bool force, char separator) {
    auto cannot = [&](const std::string& what, int error) {
        return FolderRemoval{Outcome::kInUse, "cannot delete the folder '" + top +
                                                  "': cannot open " + what + ": " + Reason(error)};
    };
    Fd parent(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent) {
        if (errno == ENOENT || errno == ENOTDIR) return {Outcome::kMissing, {}};
        return cannot("'" + base + "'", errno);
    }
    struct statx parentInfo {};
    if (::statx(parent.get(), "", AT_EMPTY_PATH, kStatxWanted, &parentInfo) != 0) {
        return cannot("'" + base + "'", errno);
    }
    Fd folder;
    struct statx info {};
    std::string shown, held;
    bool otherLetters = false;
    for (const std::string& level : levels) {
        const std::string joiner = shown.empty() ? "" : std::string(1, separator);
        shown += joiner + level;
        if (folder) {
            parent = std::move(folder);
            parentInfo = info;
        }
        folder.reset(::openat(parent.get(), level.c_str(), kOpenFolder));
        if (!folder) {
            if (errno == ENOENT) return {Outcome::kMissing, {}};
            if (errno != ENOTDIR && errno != ELOOP) return cannot("'" + shown + "'", errno);
            // Not a folder: a link, or something else that no mailbox folder is below.
            const bool link =
                ::statx(parent.get(), level.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &info) == 0 &&
                S_ISLNK(info.stx_mode);
            return link ? FolderRemoval{Outcome::kLink, shown}
                        : FolderRemoval{Outcome::kMissing, {}};
        }
        if (::statx(folder.get(), "", AT_EMPTY_PATH, kStatxWanted, &info) != 0) {
            return cannot("'" + shown + "'", errno);
        }
        // The name of the folder opened, as its parent holds it.
        std::optional<std::string> name;
        if (const int error = ReadHeldName(parent.get(), level, IdentityOf(info), name)) {
            return cannot("'" + shown + "'", error);
        }
        if (!name) return {Outcome::kMissing, {}};  // gone from its parent meanwhile
        otherLetters = otherLetters || *name != level;
        held += joiner + *name;
    }
    if (otherLetters) return {Outcome::kOtherLetters, held};

    TreeRemoval removal(force, top);
    const std::string& name = levels.back();
    try {
        // The folder holding the tree must let its entry go.
        if (::faccessat(parent.get(), ".", W_OK | X_OK, AT_EACCESS) != 0) {
            return {Outcome::kInUse,
                    "cannot delete the folder '" + top +
                        "': its parent folder cannot be written: " + Reason(errno)};
        }
        if (const std::string locked = LockedFlag(parent.get(), ".", parentInfo); !locked.empty()) {
            return {Outcome::kInUse, "cannot delete the folder '" + top + "': its parent folder " +
                                         locked.substr(3)};
        }
        if (const std::string locked = LockedFlag(parent.get(), name, info); !locked.empty()) {
            return {Outcome::kInUse, "cannot delete the folder '" + top + "': " + locked};
        }
        removal.Check(folder.get(), parentInfo, info, top);
        // The folder checked is the one emptied, whatever now stands at its name.
        struct stat opened {};
        if (::fstat(folder.get(), &opened) != 0) return cannot("'" + top + "'", errno);
        removal.Empty(folder.get(), opened, top);
        folder.reset();
        if (::unlinkat(parent.get(), name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
            return {removal.RemovedAny() ? Outcome::kPartlyRemoved : Outcome::kInUse,
                    "cannot delete the folder '" + top + "': " + Reason(errno)};
        }
    } catch (const Stop& stop) {
        return {stop.outcome, stop.detail};
    }
    return {Outcome::kRemoved, {}};
}

std::optional<std::string> HeldEntryName(const std::string& dir, const std::string& name) {
    auto cannot = [&](int error) {
        return Error("cannot read the folder '" + dir + "': " + Reason(error));
    };
    // No entry is named so: the name would lead elsewhere or nowhere.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        return std::nullopt;
    }
    Fd folder(
        ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
    if (!folder) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throw cannot(errno);
    }
    // Held open, the entry stays the one looked at, and its inode stays known to file systems
    // that number only the inodes they hold.
    Fd entry(::openat(folder.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
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
