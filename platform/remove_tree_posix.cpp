// Folder tree removal that nothing inside the tree can steer elsewhere: every step goes through
// a descriptor of the folder it works in (openat, statx, unlinkat relative to it), nothing below
// the base is ever followed, and the whole tree is checked before the first entry goes.

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
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
        if (::lseek(fd, 0, SEEK_SET) != 0) throw Failed(shown, Reason(errno));
        std::vector<Entry> entries;
        alignas(dirent64) char buffer[8192];
        for (;;) {
            const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
            if (got < 0) throw Failed(shown, Reason(errno));
            if (got == 0) return entries;
            for (ssize_t offset = 0; offset < got;) {
                const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
                offset += entry->d_reclen;
                const std::string_view name = entry->d_name;
                if (name != "." && name != "..")
                    entries.push_back({std::string(name), entry->d_type});
            }
        }
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
    std::string shown;
    for (const std::string& level : levels) {
        shown += (shown.empty() ? "" : std::string(1, separator)) + level;
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
    }

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

}  // namespace seedwell::platform
