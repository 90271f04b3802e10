#pragma once

// An in-memory file system for tests: a MemoryTree under the path and name rules of POSIX or of
// Windows, whose folder removal is the real TreeRemoval over the tree's primitives.

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "base/path_rules.h"
#include "base/tree_removal.h"
#include "platform/filesystem.h"
#include "tests/fakes/memory_tree.h"

namespace seedwell::fakes {

/// The calls made, one line each, in the order they were made.
using Log = std::vector<std::string>;

/// The bytes of a string, read in one go.
class MemoryBytes : public platform::ByteSource {
  public:
    explicit MemoryBytes(std::string bytes) : bytes_(std::move(bytes)) {}
    std::size_t Read(char* buffer, std::size_t size) override {
        const std::size_t got = bytes_.copy(buffer, size, pos_);
        pos_ += got;
        return got;
    }

  private:
    std::string bytes_;
    std::size_t pos_ = 0;
};

/// A file system over a MemoryTree, with the path and name rules of POSIX or of Windows (the
/// real ones, base/path_rules.h): the public calls apply them as they do for every file system,
/// and only what they let through reaches the tree. CreateFolder needs the parent to be a
/// folder, unless the parent is empty. Logs "exists <path>" for FileExists, FolderExists and
/// PathExists, "held? <dir/name>", "mkdir <path>", "rmdir [(no force) ]<top>", "open <path>" and
/// "write <path>". A file opened is read as its bytes. WriteFile writes into a new file
/// "<folder>/.new" that, once all is written, becomes the file (the one a link there leads to);
/// a path in `failWrite` fails before anything is written, with its reason, and with `spaceLeft`
/// set, a write beyond it writes what fits and fails as a full disk does. On a failure the new
/// file is gone. SameFile answers whether both paths lead to the same file.
class FakeFileSystem : public platform::FileSystem, public MemoryTree {
  public:
    explicit FakeFileSystem(Log& log, base::PathRules rules = base::kPosixRules)
        : platform::FileSystem(rules), MemoryTree(rules), log(log) {}

    Log& log;
    std::set<std::string> failCreate;              ///< paths whose creation fails
    std::map<std::string, std::string> failWrite;  ///< path -> why writing it fails
    std::optional<std::size_t> spaceLeft;          ///< bytes the disk has left, when it may fill
    int opened = 0;

  protected:
    Kind KindOf(const std::string& path) noexcept override {
        log.push_back("exists " + path);
        const auto found = Find(path);
        if (!found) return Kind::kNothing;
        return folders.count(*found) ? Kind::kFolder : Kind::kFile;
    }
    std::optional<std::string> FindHeldName(const std::string& dir,
                                            const std::string& name) override {
        log.push_back("held? " + BuildPath(dir, name));
        const auto folder = Find(dir);
        if (!folder || !folders.count(*folder)) return std::nullopt;
        const auto entry = Entry(*folder, name);
        if (!entry) return std::nullopt;
        return Last(*entry);
    }
    void MakeFolder(const std::string& path) override;
    platform::FolderRemoval RemoveTree(const std::string& base,
                                       const std::vector<std::string>& levels,
                                       const std::vector<bool>& lettersMatter,
                                       const std::string& top, bool force) override {
        log.push_back(std::string("rmdir ") + (force ? "" : "(no force) ") + top);
        MemoryTreeOps ops(*this);
        return base::TreeRemoval<MemoryTreeOps>(ops, top, Separator())
            .Run(base, levels, lettersMatter);
    }
    std::unique_ptr<platform::ByteSource> OpenForReading(const std::string& path) override {
        log.push_back("open " + path);
        const auto found = Find(path);
        if (!found || !files.count(*found)) {
            throw Error("cannot open the file '" + path + "': No such file or directory");
        }
        ++opened;
        return std::make_unique<MemoryBytes>(files.at(*found));
    }
    bool IsSameEntry(const std::string& a, const std::string& b) noexcept override {
        const auto first = Find(a);
        return first && files.count(*first) && first == Find(b);
    }
    void WriteAnew(const std::string& path,
                   const std::function<void(platform::ByteSink&)>& write) override;
};

// ---- implementation (header-only so the fakes library stays an interface library) ----

inline void FakeFileSystem::MakeFolder(const std::string& path) {
    log.push_back("mkdir " + path);
    const std::string parent = Parent(path);
    const auto dir = parent.empty() ? std::optional<std::string>() : Find(parent);
    if (failCreate.count(path) || (!parent.empty() && (!dir || !folders.count(*dir)))) {
        throw Error("cannot create the folder '" + path + "': No such file or directory");
    }
    if (Find(path, false)) throw Error("cannot create the folder '" + path + "': File exists");
    folders.insert(dir ? BuildPath(*dir, Last(path)) : path);
}

inline void FakeFileSystem::WriteAnew(const std::string& path,
                                      const std::function<void(platform::ByteSink&)>& write) {
    class Sink : public platform::ByteSink {
      public:
        Sink(FakeFileSystem& owner, std::string path, std::string temp)
            : owner_(owner), path_(std::move(path)), temp_(std::move(temp)) {}
        void Write(std::string_view bytes) override {
            std::string& written = owner_.files[temp_];
            if (owner_.spaceLeft && bytes.size() > *owner_.spaceLeft) {
                written += bytes.substr(0, *owner_.spaceLeft);
                *owner_.spaceLeft = 0;
                throw Error("cannot write the file '" + path_ + "': No space left on device");
            }
            written += bytes;
            if (owner_.spaceLeft) *owner_.spaceLeft -= bytes.size();
        }

      private:
        FakeFileSystem& owner_;
        std::string path_, temp_;
    };
    log.push_back("write " + path);
    if (const auto it = failWrite.find(path); it != failWrite.end()) {
        throw Error("cannot write the file '" + path + "': " + it->second);
    }
    const std::string target = Find(path).value_or(path);
    const std::string temp = BuildPath(Parent(target), ".new");
    files[temp];
    try {
        Sink sink(*this, path, temp);
        write(sink);
    } catch (...) {
        files.erase(temp);
        throw;
    }
    files[target] = std::move(files[temp]);
    files.erase(temp);
}

}  // namespace seedwell::fakes
