#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/filesystem.h"

namespace seedwell::platform {

/// A name for a new file that no other file is likely to have: ".seedwell-" followed by sixteen
/// random hexadecimal digits and ".tmp". Throws only for lack of memory.
std::string TemporaryName();

/// The file system of this platform. Its rules are those of the system it runs on; paths that
/// their PathProblem finds (a NUL byte, on Windows a name read as another) are refused, as they
/// would silently name another file. Each platform gives its own primitives: the file I/O in
/// file_io_posix.cpp or file_io_win.cpp, the removal and the held names in remove_tree_posix.cpp
/// or remove_tree_win.cpp; the rest is std::filesystem.
class StdFileSystem : public FileSystem {
  public:
    StdFileSystem() noexcept : FileSystem(base::kSystemRules) {}

  protected:
    Kind KindOf(const std::string& path) noexcept override;
    /// On Windows the folder's listing answers with the name as its mask; elsewhere the name is
    /// looked up in the other ASCII case, and only when that finds the same device and inode
    /// again are the folder's entries read for the one that is it. File systems that number one
    /// entry differently by the name it is reached by (some FUSE file systems) are taken to tell
    /// letter case apart.
    std::optional<std::string> FindHeldName(const std::string& dir,
                                            const std::string& name) override;
    void MakeFolder(const std::string& path) override;
    /// TreeRemoval over the platform's primitives, by open folder handles.
    FolderRemoval RemoveTree(const std::string& base, const std::vector<std::string>& levels,
                             const std::vector<bool>& lettersMatter, const std::string& top,
                             bool force) override;
    /// Never waits on a FIFO or a device, whatever the path names.
    std::unique_ptr<ByteSource> OpenForReading(const std::string& path) override;
    bool IsSameEntry(const std::string& a, const std::string& b) noexcept override;
    /// The new file is created exclusively beside the file that `path` finally leads to, under a
    /// name from TemporaryName, written, flushed to disk and renamed over it (on Windows by
    /// ReplaceFileW, or MoveFileExW when nothing is there yet); on any failure it is removed.
    /// Never opens a FIFO or a device.
    void WriteAnew(const std::string& path, const std::function<void(ByteSink&)>& write) override;
};

}  // namespace seedwell::platform
