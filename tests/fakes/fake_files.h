#pragma once

// An in-memory file system for tests: a tree of folders, files and links under the path and name
// rules of POSIX or of Windows, whose folder removal is the real TreeRemoval run over primitives
// that work on the tree.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/ascii.h"
#include "base/error.h"
#include "base/path_rules.h"
#include "base/unicode.h"
#include "platform/filesystem.h"
#include "platform/remove_tree.h"

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

/// The tree: every entry by its full path as held, in the letters it was made with. An entry's
/// folder is the text before its last separator; a folder, link or file is found only where its
/// folder is. Paths are looked up level by level: a level is matched by its letter, and in a
/// folder of `caseless` in any ASCII letter case too, as file systems that ignore letter case
/// match names; links on the way are followed (at most 40).
struct MemoryTree {
    explicit MemoryTree(base::PathRules rules) : rules(rules) {}

    /// The path of the entry that `path` names as the tree holds it, links followed at every
    /// level or, when `followLast` is false, at every level but the last; nullopt when none.
    std::optional<std::string> Find(const std::string& path, bool followLast = true) const;
    /// The entry of the folder `dir` (a held path) that answers to `name`, not followed.
    std::optional<std::string> Entry(const std::string& dir, std::string_view name) const;
    /// True when the tree holds an entry at `path` by its letter.
    bool Holds(const std::string& path) const {
        return folders.count(path) || files.count(path) || links.count(path);
    }
    /// The entries of the folder `dir` (a held path), each by its path.
    std::vector<std::string> Children(const std::string& dir) const;
    /// Adds the folder `path` and every folder above it that is missing.
    void AddFolder(const std::string& path) {
        for (std::string at = path; !at.empty() && folders.insert(at).second; at = Parent(at)) {
        }
    }
    /// Removes the entry `path` and everything below it.
    void Erase(const std::string& path);
    /// The text of `path` before its last separator (empty for "/srv"), and after it.
    std::string Parent(const std::string& path) const;
    std::string Last(const std::string& path) const;

    base::PathRules rules;
    std::set<std::string> folders;
    std::map<std::string, std::string> files;  ///< path -> content
    std::map<std::string, std::string> links;  ///< path of a link -> the path it leads to
    /// Folders that find their entries in any letter case.
    std::set<std::string> caseless;
    /// What a primitive of the removal answers at an entry before the tree's own, in turn, keyed
    /// "<path> <primitive>" ("/r/box/inbox Delete"): a failure, kChanged, or kGone, which first
    /// takes the entry and all it holds away, as another hand would.
    std::map<std::string, std::vector<platform::TreeStep>> answers;
    /// The entries that the removal removed, in order.
    std::vector<std::string> removed;
};

/// The primitives of TreeRemoval over a MemoryTree. A node is the held path of an entry. A name
/// that is not UTF-8 is no name there.
class MemoryTreeOps {
  public:
    using Name = std::string;
    using Entry = platform::TreeEntry<Name>;
    using TreeStep = platform::TreeStep;
    struct Node {
        std::string path;
        bool folder = false;
    };
    static constexpr int kRounds = 3;

    explicit MemoryTreeOps(MemoryTree& tree) : tree_(tree) {}

    std::optional<Name> Native(const std::string& utf8) const {
        if (!base::IsValidUtf8(utf8)) return std::nullopt;
        return utf8;
    }
    const std::string& Shown(const Name& name) const { return name; }
    TreeStep OpenBase(const std::string& base, Node& out) const {
        if (TreeStep step = Answer(base, "OpenBase"); step.kind != TreeStep::kDone) return step;
        const auto found = tree_.Find(base);
        if (!found || !tree_.folders.count(*found)) return TreeStep::kGone;
        out = {*found, true};
        return {};
    }
    TreeStep OpenLevel(Node& parent, const Name& name, bool, Node& out, Name& held) const {
        const std::string path = tree_.rules.BuildPath(parent.path, name);
        if (TreeStep step = Answer(path, "OpenLevel"); step.kind != TreeStep::kDone) return step;
        const auto found = tree_.Entry(parent.path, name);
        if (!found) return TreeStep::kGone;
        if (tree_.links.count(*found)) return TreeStep::kLink;
        if (!tree_.folders.count(*found)) return TreeStep::kGone;
        out = {*found, true};
        held = tree_.Last(*found);
        return {};
    }
    std::optional<std::string> TopBlocker(const Node&, const Name&, const Node& folder) const {
        const TreeStep step = Answer(folder.path, "TopBlocker");
        if (step.kind == TreeStep::kDone) return std::nullopt;
        return step.reason;
    }
    TreeStep List(Node& folder, std::vector<Entry>& entries) const {
        if (TreeStep step = Answer(folder.path, "List"); step.kind != TreeStep::kDone) return step;
        for (const std::string& path : tree_.Children(folder.path)) {
            entries.push_back({tree_.Last(path), tree_.folders.count(path) != 0});
        }
        return {};
    }
    TreeStep Look(Node& dir, const Entry& entry, bool folder, Node& out) const {
        return Reach(dir, entry, folder, out, "Look");
    }
    TreeStep Open(Node& dir, const Entry& entry, bool folder, Node& out) const {
        return Reach(dir, entry, folder, out, "Open");
    }
    bool IsFolder(const Node& node) const { return node.folder; }
    TreeStep Prepare(Node& folder) const { return Answer(folder.path, "Prepare"); }
    TreeStep Delete(Node&, const Entry&, Node& node) const {
        if (TreeStep step = Answer(node.path, "Delete"); step.kind != TreeStep::kDone) return step;
        if (node.folder && !tree_.Children(node.path).empty()) {
            return {TreeStep::kFailed, "Directory not empty"};
        }
        tree_.Erase(node.path);
        tree_.removed.push_back(node.path);
        return {};
    }

  private:
    /// The entry `entry` of `dir` as the kind asked: kChanged when it is the other kind now.
    TreeStep Reach(Node& dir, const Entry& entry, bool folder, Node& out,
                   const char* primitive) const {
        const std::string path = tree_.rules.BuildPath(dir.path, entry.name);
        if (TreeStep step = Answer(path, primitive); step.kind != TreeStep::kDone) return step;
        if (!tree_.Holds(path)) return TreeStep::kGone;
        out = {path, tree_.folders.count(path) != 0};
        return out.folder == folder ? TreeStep() : TreeStep::kChanged;
    }
    /// The next of `answers` for `primitive` at `path`, kDone when there is none.
    TreeStep Answer(const std::string& path, const char* primitive) const {
        const auto it = tree_.answers.find(path + " " + primitive);
        if (it == tree_.answers.end() || it->second.empty()) return {};
        const TreeStep step = it->second.front();
        it->second.erase(it->second.begin());
        if (step.kind == TreeStep::kGone) tree_.Erase(path);
        return step;
    }

    MemoryTree& tree_;
};
static_assert(platform::TreePrimitives<MemoryTreeOps>);

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
        return platform::TreeRemoval<MemoryTreeOps>(ops, top, Separator())
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

inline std::string MemoryTree::Parent(const std::string& path) const {
    const std::size_t cut = path.rfind(rules.Separator());
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

inline std::string MemoryTree::Last(const std::string& path) const {
    const std::size_t cut = path.rfind(rules.Separator());
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

inline std::optional<std::string> MemoryTree::Entry(const std::string& dir,
                                                    std::string_view name) const {
    const std::string exact = rules.BuildPath(dir, name);
    if (Holds(exact)) return exact;
    if (!caseless.count(dir)) return std::nullopt;
    for (const std::string& child : Children(dir)) {
        if (base::EqualsIgnoringCase(Last(child), name)) return child;
    }
    return std::nullopt;
}

inline std::optional<std::string> MemoryTree::Find(const std::string& path, bool followLast) const {
    std::string at = path;
    for (int hops = 0; hops <= 40; ++hops) {
        std::optional<std::string> found;
        if (Holds(at)) {
            found = at;
        } else if (const std::string parent = Parent(at); !parent.empty()) {
            if (const auto dir = Find(parent)) found = Entry(*dir, Last(at));
        }
        if (!found) return std::nullopt;
        const auto link = links.find(*found);
        if (!followLast || link == links.end()) return found;
        at = link->second;
    }
    return std::nullopt;
}

inline std::vector<std::string> MemoryTree::Children(const std::string& dir) const {
    std::vector<std::string> children;
    const auto collect = [&](const std::string& path) {
        if (path != dir && Parent(path) == dir) children.push_back(path);
    };
    for (const std::string& path : folders) collect(path);
    for (const auto& [path, content] : files) collect(path);
    for (const auto& [path, target] : links) collect(path);
    std::sort(children.begin(), children.end());
    return children;
}

inline void MemoryTree::Erase(const std::string& path) {
    for (const std::string& child : Children(path)) {
        if (folders.count(child)) Erase(child);
    }
    const std::string prefix = rules.BuildPath(path, "");
    const auto below = [&](const std::string& entry) {
        return entry == path || entry.starts_with(prefix);
    };
    std::erase_if(folders, below);
    std::erase_if(files, [&](const auto& entry) { return below(entry.first); });
    std::erase_if(links, [&](const auto& entry) { return below(entry.first); });
}

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
