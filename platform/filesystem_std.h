#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/filesystem.h"

namespace seedwell::platform {

/// Opens the existing regular file `path` (UTF-8, a path that the system's PathProblem lets
/// through) for reading, without ever waiting on a FIFO or a device. Throws seedwell::Error naming
/// the path and the reason when it cannot be opened, and "'<path>' is not a regular file" for
/// anything else that exists there. Each platform provides its own.
std::unique_ptr<ByteSource> OpenRegularFile(const std::string& path);

/// StdFileSystem::WriteFile for `path` (UTF-8, as for OpenRegularFile): the new file is created
/// exclusively beside the file that `path` finally leads to, under a name from TemporaryName,
/// written, flushed to disk and renamed over it (on Windows by ReplaceFileW, or MoveFileExW
/// when nothing is there yet); on any failure it is removed. Never opens a FIFO or a device.
/// Each platform provides its own.
void ReplaceWholeFile(const std::string& path, const std::function<void(ByteSink&)>& write);

/// StdFileSystem::SameFile for two paths that the rules let through. Each platform provides
/// its own. Never throws.
bool SameEntry(const std::string& a, const std::string& b) noexcept;

/// A name for a new file that no other file is likely to have: ".seedwell-" followed by sixteen
/// random hexadecimal digits and ".tmp". Throws only for lack of memory.
std::string TemporaryName();

/// The removal of StdFileSystem::RemoveFolderBelow, by open folder handles. `top` is the path
/// of the folder removed, `base` and `levels` joined, and `separator` joins the levels in what it
/// reports. Each platform runs TreeRemoval (platform/remove_tree.h) over its own primitives.
FolderRemoval RemoveFolderTree(const std::string& base, const std::vector<std::string>& levels,
                               const std::vector<bool>& lettersMatter, const std::string& top,
                               bool force, char separator);

/// StdFileSystem::HeldName, read from the folder's entries; `name` is one name that the file
/// system can hold. Each platform provides its own: on Windows the folder's listing answers with
/// the name as its mask; elsewhere the name is looked up in the other ASCII case, and only when
/// that finds the same device and inode again are the folder's entries read for the one that is
/// it. File systems that number one entry differently by the name it is reached by (some FUSE
/// file systems) are taken to tell letter case apart.
std::optional<std::string> HeldEntryName(const std::string& dir, const std::string& name);

/// The file system of this platform, through std::filesystem and the functions above. Its rules
/// are those of the system it runs on; paths that their PathProblem finds (a NUL byte, on Windows
/// a name read as another) are refused, as they would silently name another file.
class StdFileSystem : public FileSystem {
  public:
    StdFileSystem() noexcept : FileSystem(base::kSystemRules) {}

  protected:
    Kind KindOf(const std::string& path) noexcept override;
    std::optional<std::string> FindHeldName(const std::string& dir,
                                            const std::string& name) override {
        return HeldEntryName(dir, name);
    }
    void MakeFolder(const std::string& path) override;
    FolderRemoval RemoveTree(const std::string& base, const std::vector<std::string>& levels,
                             const std::vector<bool>& lettersMatter, const std::string& top,
                             bool force) override {
        return RemoveFolderTree(base, levels, lettersMatter, top, force, Separator());
    }
    std::unique_ptr<ByteSource> OpenForReading(const std::string& path) override {
        return OpenRegularFile(path);
    }
    bool IsSameEntry(const std::string& a, const std::string& b) noexcept override {
        return SameEntry(a, b);
    }
    void WriteAnew(const std::string& path, const std::function<void(ByteSink&)>& write) override {
        ReplaceWholeFile(path, write);
    }
};

}  // namespace seedwell::platform
