// The removal over an in-memory tree, for what the file systems seldom let happen on cue: entries
// that vanish or change their kind meanwhile, and failures at each step. Links, letter case,
// missing levels and what stops a removal are tested against the real file systems in
// filesystem_test.cpp and tests/windows.

#include "platform/remove_tree.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace seedwell::platform {
namespace {

using enum TreeStep::Kind;
using Outcome = FolderRemoval::Outcome;

/// Entries by their path below the base, joined with '/'.
struct FakeTree {
    using Name = std::string;
    using Entry = TreeEntry<Name>;
    struct Node {
        std::string path;
    };
    static constexpr int kRounds = 3;

    std::map<std::string, bool> entries{{"", true}};  ///< path: whether a folder
    /// "path primitive": what the primitive answers there before the tree's own, in turn; kGone
    /// takes the entry away.
    std::map<std::string, std::vector<TreeStep>> answers;
    std::vector<std::string> removed;

    std::optional<Name> Native(const std::string& utf8) const {
        if (utf8.find('?') != std::string::npos) return std::nullopt;
        return utf8;
    }
    std::string Shown(const Name& name) const { return name; }
    TreeStep OpenBase(const std::string&, Node& out) { return Answer(out.path = "", "OpenBase"); }
    TreeStep OpenLevel(Node& parent, const Name& name, bool, Node& out, Name& held) {
        held = name;
        return Reach(parent, name, out, "OpenLevel");
    }
    std::optional<std::string> TopBlocker(const Node&, const Name&, const Node& folder) {
        const TreeStep step = Answer(folder.path, "TopBlocker");
        return step.kind == kFailed ? std::optional(step.reason) : std::nullopt;
    }
    TreeStep List(Node& folder, std::vector<Entry>& listed) {
        for (const auto& [path, isFolder] : entries) {
            if (!path.empty() && Parent(path) == folder.path) {
                listed.push_back({path.substr(path.rfind('/') + 1), isFolder});
            }
        }
        return Answer(folder.path, "List");
    }
    TreeStep Look(Node& dir, const Entry& entry, bool folder, Node& out) {
        const TreeStep step = Reach(dir, entry.name, out, "Look");
        if (step.kind != kDone) return step;
        return IsFolder(out) == folder ? kDone : kChanged;
    }
    TreeStep Open(Node& dir, const Entry& entry, bool folder, Node& out) {
        const TreeStep step = Reach(dir, entry.name, out, "Open");
        return step.kind == kDone && IsFolder(out) != folder ? kChanged : step;
    }
    bool IsFolder(const Node& node) const { return entries.at(node.path); }
    TreeStep Prepare(Node& folder) { return Answer(folder.path, "Prepare"); }
    TreeStep Delete(Node&, const Entry&, Node& node) {
        if (TreeStep step = Answer(node.path, "Delete"); step.kind != kDone) return step;
        for (const auto& [path, isFolder] : entries) {
            if (Parent(path) == node.path) return {kFailed, "Directory not empty"};
        }
        entries.erase(node.path);
        removed.push_back(node.path);
        return {};
    }

    static std::string Parent(const std::string& path) {
        const auto slash = path.rfind('/');
        return slash == std::string::npos ? "" : path.substr(0, slash);
    }
    TreeStep Reach(const Node& dir, const Name& name, Node& out, const std::string& primitive) {
        out.path = dir.path.empty() ? name : dir.path + "/" + name;
        const TreeStep step = Answer(out.path, primitive);
        return step.kind == kDone && !entries.count(out.path) ? kGone : step;
    }
    TreeStep Answer(const std::string& path, const std::string& primitive) {
        std::vector<TreeStep>& queue = answers[path + " " + primitive];
        if (queue.empty()) return {};
        const TreeStep step = queue.front();
        queue.erase(queue.begin());
        if (step.kind == kGone) {
            std::erase_if(entries, [&](const auto& entry) {
                return entry.first == path || entry.first.starts_with(path + "/");
            });
        }
        return step;
    }
};

/// What the tree removed, below "po/", in order.
std::string Removed(const FakeTree& tree) {
    std::string removed;
    for (const std::string& path : tree.removed) {
        removed += (removed.empty() ? "" : " ") + path.substr(3);
    }
    return removed;
}

TEST(TreeRemoval, SaysWhatStoppedItAndWhetherAnythingWent) {
    const std::string top = "cannot delete the folder 'B/po/box': ";
    const std::string in = "' in the folder 'B/po/box': ";
    const std::string all = "box/a box/inbox/m1 box/inbox box";
    const struct {
        const char* what;
        std::string at;  ///< "path primitive" that answers `step` `times` times
        TreeStep step;
        int times;
        Outcome outcome;
        std::string detail, removed;
        std::string box = "box";
    } cases[] = {
        {"entries before their folder, the folder last", "", TreeStep(), 0, Outcome::kRemoved, "",
         all},
        {"an entry gone during the check", "po/box/a Look", kGone, 1, Outcome::kRemoved, "",
         "box/inbox/m1 box/inbox box"},
        {"an entry gone during the removal", "po/box/inbox/m1 Open", kGone, 1, Outcome::kRemoved,
         "", "box/a box/inbox box"},
        {"an entry changed is taken as it is now", "po/box/a Open", kChanged, 1, Outcome::kRemoved,
         "", all},
        {"the base", " OpenBase", TreeStep(kFailed, "denied"), 1, Outcome::kInUse,
         top + "cannot open 'B': denied", ""},
        {"a level", "po/box OpenLevel", TreeStep(kFailed, "denied"), 1, Outcome::kInUse,
         top + "cannot open 'po/box': denied", ""},
        {"a level's name", "", TreeStep(), 0, Outcome::kInUse,
         top + "cannot open 'po/b?x': its name is not valid UTF-8 text", "", "b?x"},
        {"a level replaced", "po OpenLevel", kReplaced, 1, Outcome::kInUse,
         top + "'po' was replaced while it was being opened", ""},
        {"the folder itself", "po/box TopBlocker", TreeStep(kFailed, "it is immutable"), 1,
         Outcome::kInUse, top + "it is immutable", ""},
        {"an entry", "po/box/inbox/m1 Look", TreeStep(kFailed, "it is read-only"), 1,
         Outcome::kInUse, "cannot delete 'B/po/box/inbox/m1" + in + "it is read-only", ""},
        {"a folder's entries", "po/box/inbox List", TreeStep(kFailed, "I/O error"), 1,
         Outcome::kInUse, "cannot delete 'B/po/box/inbox" + in + "I/O error", ""},
        {"the first removal", "po/box/a Delete", TreeStep(kFailed, "busy"), 1, Outcome::kInUse,
         "cannot delete 'B/po/box/a" + in + "busy", ""},
        {"a removal after another", "po/box/inbox/m1 Open", kChanged, 3, Outcome::kPartlyRemoved,
         "cannot delete 'B/po/box/inbox/m1" + in + "it kept changing while it was being removed",
         "box/a"},
        {"the folder's own removal", "po/box Delete", TreeStep(kChanged, "Not a directory"), 1,
         Outcome::kPartlyRemoved, top + "Not a directory", "box/a box/inbox/m1 box/inbox"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeTree tree;
        tree.entries.insert({{"po", true}, {"po/box", true}, {"po/box/inbox", true}});
        tree.entries.insert({{"po/box/inbox/m1", false}, {"po/box/a", false}});
        tree.answers[c.at].assign(c.times, c.step);
        const FolderRemoval removal =
            TreeRemoval(tree, "B/po/box", '/').Run("B", {"po", c.box}, {});
        EXPECT_EQ(removal.outcome, c.outcome);
        EXPECT_EQ(removal.detail, c.detail);
        EXPECT_EQ(Removed(tree), c.removed);
    }
}

}  // namespace
}  // namespace seedwell::platform
