#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/path_rules.h"
#include "base/tree_removal.h"

namespace seedwell::platform {

using base::FolderRemoval;

/// The bytes of an open file, read from the start to the end. Destroying it closes the file.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    /// Reads up to `size` bytes into `buffer`; 0 only at the end of the file. Throws
    /// seedwell::Error naming the file and the reason when reading fails.
    virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

/// Where the bytes of a file being written go, from its start (FileSystem::WriteFile).
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    /// Writes all of `bytes`. Throws seedwell::Error naming the file and the reason, when part
    /// of them may have been written.
    virtual void Write(std::string_view bytes) = 0;
};

/// The file system as the program uses it: the I/O, over the path and name rules of the system
/// it belongs to (base/path_rules.h). Paths are UTF-8. The public calls apply the rules, so that
/// no implementation can forget them, and hand what passes to the protected primitives, which are
/// all that an implementation provides.
class FileSystem {
  public:
    /// What is at a path, links followed.
    enum class Kind { kNothing, kFile, kFolder, kOther };

    explicit FileSystem(base::PathRules rules) noexcept : rules_(rules) {}
    virtual ~FileSystem() = default;
    /// The rules of its paths and names.
    const base::PathRules& Rules() const noexcept { return rules_; }
    /// The rules' separator, full path and join.
    char Separator() const noexcept { return rules_.Separator(); }
    bool IsFullPath(std::string_view path) const noexcept { return rules_.IsFullPath(path); }
    std::string BuildPath(std::string_view dir, std::string_view name) const {
        return rules_.BuildPath(dir, name);
    }
    /// Why this file system cannot hold `name` as one folder name by its letter: the rules'
    /// NameProblem.
    std::optional<std::string> NameProblem(std::string_view what, std::string_view name) const {
        return rules_.NameProblem(what, name);
    }
    /// True only for an existing regular file (links followed); a folder is not a file. A path
    /// that is empty, not UTF-8 or refused by the rules' PathProblem names nothing, here and in
    /// the two calls below. Never throws.
    bool FileExists(const std::string& path) noexcept { return KindAt(path) == Kind::kFile; }
    /// True when a folder exists at `path` (links followed). Never throws.
    bool FolderExists(const std::string& path) noexcept { return KindAt(path) == Kind::kFolder; }
    /// True when anything exists at `path` (links followed): a file, a folder or another kind.
    /// Never throws.
    bool PathExists(const std::string& path) noexcept { return KindAt(path) != Kind::kNothing; }
    /// The name under which the folder `dir` holds its entry `name`, read from the entry
    /// itself: `name` where the file system tells names apart by their letter case, the
    /// entry's own letters where it ignores letter case ("kim" when "Kim" is asked and "kim"
    /// was made). nullopt when there is no such entry or `dir` is no folder, and for a `name`
    /// that is no one folder name this file system can hold. Nothing is followed at `name`.
    /// Throws seedwell::Error naming the folder and the reason when it cannot be read.
    std::optional<std::string> HeldName(const std::string& dir, const std::string& name);
    /// Creates the one folder `path` inside its existing parent, with the process's default
    /// permissions. Throws seedwell::Error naming the path and the reason when it cannot.
    void CreateFolder(const std::string& path);
    /// Removes the folder `base`/levels[0]/.../levels.back() and everything inside it
    /// (read-only files too when `force`). `base` is followed wherever it leads; every level
    /// below it must be a real folder, and a link there (on Windows any reparse point) ends the
    /// call with kLink before anything is removed; a level held in other letters than asked
    /// (a file system that ignores letter case) ends it with kOtherLetters. Inside the tree nothing
    /// is followed: links are removed as links, and the walk goes by open folder handles, so that
    /// entries swapped for links meanwhile never lead outside. The whole tree is checked first, and
    /// kInUse means that nothing was removed; an entry that vanished meanwhile is no failure.
    /// A level whose entry in `lettersMatter` is false is a folder the program names itself
    /// ("mailroot"), the same folder in any letters; without `lettersMatter` every level's
    /// letters matter.
    /// Throws seedwell::Error only when `levels` is empty, a level is not one plain folder name,
    /// `lettersMatter` is given with another length than `levels`, or the rules refuse the path.
    FolderRemoval RemoveFolderBelow(const std::string& base, const std::vector<std::string>& levels,
                                    bool force, const std::vector<bool>& lettersMatter = {});
    /// Opens the existing regular file `path` for reading, without ever waiting on a FIFO or a
    /// device; never creates or writes it. Throws seedwell::Error naming the path and the reason
    /// when it cannot be opened, and "'<path>' is not a regular file" for anything else there.
    std::unique_ptr<ByteSource> OpenFile(const std::string& path);
    /// True when `a` and `b` lead to one and the same entry on disk, whatever the paths look
    /// like: links are followed, and a hard link is the file itself (the same device and inode;
    /// on Windows the same volume serial number and file index). False when either path names
    /// nothing, cannot be reached or read, or is refused by the rules. Never throws.
    bool SameFile(const std::string& a, const std::string& b) noexcept;
    /// Writes the file `path` anew, only ever at the operator's request. `write` writes every byte
    /// of the file into the sink it is handed (which lives only as long as the call), and they
    /// go to a new file in the folder of `path`; once `write` has returned and they are flushed
    /// to disk, that file takes the place of `path` in one step. A link at `path` is followed: the
    /// file it leads to is replaced and the link kept. Throws seedwell::Error naming `path` and
    /// the reason when it cannot (no such folder, no right to write, a full disk, anything but a
    /// regular file there: "'<path>' is not a regular file"), and lets through what `write`
    /// throws; either way what was at `path` is then as it was and the new file is gone.
    void WriteFile(const std::string& path, const std::function<void(ByteSink&)>& write);

  protected:
    // The primitives. Each is handed only paths that are not empty and that the rules'
    // PathProblem lets through, and keeps the promise of the public call of its name.

    /// FileExists, FolderExists and PathExists; the path is UTF-8 too.
    virtual Kind KindOf(const std::string& path) noexcept = 0;
    /// HeldName; `name` is one folder name that the rules let this file system hold.
    virtual std::optional<std::string> FindHeldName(const std::string& dir,
                                                    const std::string& name) = 0;
    /// CreateFolder.
    virtual void MakeFolder(const std::string& path) = 0;
    /// RemoveFolderBelow; `levels` is not empty, each level one folder name, `lettersMatter`
    /// empty or as long, and `top` is the path of the folder removed (`base` and `levels` joined).
    virtual FolderRemoval RemoveTree(const std::string& base,
                                     const std::vector<std::string>& levels,
                                     const std::vector<bool>& lettersMatter, const std::string& top,
                                     bool force) = 0;
    /// OpenFile.
    virtual std::unique_ptr<ByteSource> OpenForReading(const std::string& path) = 0;
    /// SameFile; both paths are UTF-8 too.
    virtual bool IsSameEntry(const std::string& a, const std::string& b) noexcept = 0;
    /// WriteFile.
    virtual void WriteAnew(const std::string& path,
                           const std::function<void(ByteSink&)>& write) = 0;

  private:
    /// True when `path` can name something: not empty, UTF-8, and nothing the rules refuse.
    bool Usable(std::string_view path) const noexcept;
    Kind KindAt(const std::string& path) noexcept {
        return Usable(path) ? KindOf(path) : Kind::kNothing;
    }

    base::PathRules rules_;
};

/// The file system of this platform.
std::unique_ptr<FileSystem> MakeSystemFileSystem();

}  // namespace seedwell::platform
