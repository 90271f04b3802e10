#pragma once

// A tree of folders, files and links in memory, and the primitives of the folder removal over
// it, so that tests run the real removal (base/tree_removal.h) where the file systems seldom let
// things happen on cue.

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/ascii.h"
#include "base/path_rules.h"
#include "base/tree_removal.h"
#include "base/unicode.h"

namespace seedwell::fakes {

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
    std::map<std::string, std::vector<base::TreeStep>> answers;
    /// The entries that the removal removed, in order.
    std::vector<std::string> removed;
};

/// The primitives of TreeRemoval over a MemoryTree. A node is the held path of an entry. A name
/// that is not UTF-8 is no name there.
class MemoryTreeOps {
  public:
    using Name = std::string;
    using Entry = base::TreeEntry<Name>;
    using TreeStep = base::TreeStep;
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
static_assert(base::TreePrimitives<MemoryTreeOps>);

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
    const std::string prefix = rules.BuildPath(path, "");
    const auto below = [&](const std::string& entry) {
        return entry == path || entry.starts_with(prefix);
    };
    std::erase_if(folders, below);
    std::erase_if(files, [&](const auto& entry) { return below(entry.first); });
    std::erase_if(links, [&](const auto& entry) { return below(entry.first); });
}

}  // namespace seedwell::fakes
