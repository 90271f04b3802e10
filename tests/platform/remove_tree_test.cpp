// The removal over an in-memory tree: the walk, the check, the removal and what they say. Each
// platform's own primitives are tested against its file system in filesystem_test.cpp and
// tests/windows.

#include "platform/remove_tree.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace seedwell::platform {
namespace {

using enum TreeStep::Kind;

using Outcome = FolderRemoval::Outcome;

/// Entries by their path below the base "B" ("" is the base itself), joined with '/'.
class FakeTree {
  public:
    using Name = std::string;
    using Entry = TreeEntry<Name>;
    struct Node {
        std::string path;
    };
    static constexpr int kRounds = 3;

    struct File {
        bool folder = true, link = false;
        std::string held;     ///< the name its parent holds it under, when not the one asked
        std::string blocker;  ///< what stops its removal
        /// Steps a primitive answers before the tree's own; kGone takes the entry away.
        std::map<std::string, std::vector<TreeStep>> answers;
    };
    std::map<std::string, File> files{{"", {}}};
    std::vector<std::string> removed;

    std::optional<Name> Native(const std::string& utf8) const {
        if (utf8.find('?') != std::string::npos) return std::nullopt;
        return utf8;
    }
    std::string Shown(const Name& name) const { return name; }
    TreeStep OpenBase(const std::string&, Node& out) { return Answer(out.path = "", "OpenBase"); }
    TreeStep OpenLevel(Node& parent, const Name& name, bool, Node& out, Name& held) {
        if (TreeStep step = Reach(parent, name, out, "OpenLevel"); step.kind != kDone) {
            return step;
        }
        const File& file = files.at(out.path);
        if (file.link) return kLink;
        held = file.held.empty() ? name : file.held;
        return file.folder ? kDone : kGone;
    }
    std::optional<std::string> TopBlocker(const Node&, const Name&, const Node& folder) const {
        return Blocker(folder);
    }
    TreeStep List(Node& folder, std::vector<Entry>& entries) {
        if (TreeStep step = Answer(folder.path, "List"); step.kind != kDone) return step;
        for (const auto& [path, file] : files) {
            if (!path.empty() && Parent(path) == folder.path) {
                entries.push_back({path.substr(path.rfind('/') + 1), file.folder});
            }
        }
        return {};
    }
    TreeStep Look(Node& dir, const Entry& entry, bool folder, Node& out) {
        TreeStep step = Reach(dir, entry.name, out, "Look");
        if (step.kind != kDone) return step;
        if (IsFolder(out) != folder) return kChanged;
        if (auto reason = Blocker(out)) return {kFailed, *reason};
        return {};
    }
    TreeStep Open(Node& dir, const Entry& entry, bool folder, Node& out) {
        TreeStep step = Reach(dir, entry.name, out, "Open");
        return step.kind == kDone && IsFolder(out) != folder ? kChanged : step;
    }
    bool IsFolder(const Node& node) const { return files.at(node.path).folder; }
    TreeStep Prepare(Node& folder) { return Answer(folder.path, "Prepare"); }
    TreeStep Delete(Node&, const Entry&, Node& node) {
        if (TreeStep step = Answer(node.path, "Delete"); step.kind != kDone) return step;
        for (const auto& [path, file] : files) {
            if (Parent(path) == node.path) return {kFailed, "Directory not empty"};
        }
        files.erase(node.path);
        removed.push_back(node.path);
        return {};
    }

  private:
    static std::string Parent(const std::string& path) {
        const auto slash = path.rfind('/');
        return slash == std::string::npos ? "" : path.substr(0, slash);
    }
    TreeStep Reach(const Node& dir, const Name& name, Node& out, const std::string& primitive) {
        out.path = dir.path.empty() ? name : dir.path + "/" + name;
        const TreeStep step = Answer(out.path, primitive);
        return step.kind == kDone && !files.count(out.path) ? kGone : step;
    }
    TreeStep Answer(const std::string& path, const std::string& primitive) {
        const auto file = files.find(path);
        if (file == files.end() || file->second.answers[primitive].empty()) return {};
        std::vector<TreeStep>& answers = file->second.answers[primitive];
        const TreeStep step = answers.front();
        answers.erase(answers.begin());
        if (step.kind == kGone) {
            std::erase_if(files, [&](const auto& file) {
                return file.first == path || file.first.starts_with(path + "/");
            });
        }
        return step;
    }
    std::optional<std::string> Blocker(const Node& node) const {
        const std::string& blocker = files.at(node.path).blocker;
        return blocker.empty() ? std::nullopt : std::optional(blocker);
    }
};

FakeTree::File& At(FakeTree& tree, const std::string& path) { return tree.files.at(path); }
void Answer(FakeTree& tree, const std::string& path, const std::string& primitive, TreeStep step,
            int times = 1) {
    for (int i = 0; i < times; ++i) At(tree, path).answers[primitive].push_back(step);
}

TEST(TreeRemoval, WalksChecksAndRemovesWhatItSays) {
    const std::string kTop = "cannot delete the folder 'B/po/box': ";
    const std::string kInBox = "' in the folder 'B/po/box': ";
    const std::vector<std::string> everything = {"po/box/a", "po/box/inbox/m1", "po/box/inbox",
                                                 "po/box"};
    const struct {
        std::string name;
        std::function<void(FakeTree&)> setUp;
        Outcome outcome;
        std::string detail;
        std::vector<std::string> removed;
        std::vector<std::string> levels = {"po", "box"};
    } cases[] = {
        {"entries before their folder, the folder last", [](FakeTree&) {}, Outcome::kRemoved, "",
         everything},
        {"an entry taken away meanwhile is no failure",
         [](FakeTree& t) {
             Answer(t, "po/box/a", "Look", kGone);
             Answer(t, "po/box/inbox/m1", "Open", kGone);
         },
         Outcome::kRemoved,
         "",
         {"po/box/inbox", "po/box"}},
        {"an entry that changed is taken as what it is now",
         [](FakeTree& t) { Answer(t, "po/box/a", "Open", kChanged); }, Outcome::kRemoved, "",
         everything},
        {"no base",
         [](FakeTree& t) { Answer(t, "", "OpenBase", kGone); },
         Outcome::kMissing,
         "",
         {}},
        {"the base cannot be opened",
         [](FakeTree& t) {
             Answer(t, "", "OpenBase", {kFailed, "denied"});
         },
         Outcome::kInUse,
         kTop + "cannot open 'B': denied",
         {}},
        {"a level that is no folder",
         [](FakeTree& t) { At(t, "po/box").folder = false; },
         Outcome::kMissing,
         "",
         {}},
        {"a link", [](FakeTree& t) { At(t, "po/box").link = true; }, Outcome::kLink, "po/box", {}},
        {"other letters",
         [](FakeTree& t) { At(t, "po").held = "PO"; },
         Outcome::kOtherLetters,
         "PO/box",
         {}},
        {"a level replaced",
         [](FakeTree& t) { Answer(t, "po", "OpenLevel", kReplaced); },
         Outcome::kInUse,
         kTop + "'po' was replaced while it was being opened",
         {}},
        {"a level that cannot be opened",
         [](FakeTree& t) {
             Answer(t, "po/box", "OpenLevel", {kFailed, "denied"});
         },
         Outcome::kInUse,
         kTop + "cannot open 'po/box': denied",
         {}},
        {"a name that is no text",
         [](FakeTree&) {},
         Outcome::kInUse,
         kTop + "cannot open 'po/b?x': its name is not valid UTF-8 text",
         {},
         {"po", "b?x"}},
        {"the folder cannot go",
         [](FakeTree& t) { At(t, "po/box").blocker = "it is immutable"; },
         Outcome::kInUse,
         kTop + "it is immutable",
         {}},
        {"an entry deep inside cannot go",
         [](FakeTree& t) { At(t, "po/box/inbox/m1").blocker = "it is read-only"; },
         Outcome::kInUse,
         "cannot delete 'B/po/box/inbox/m1" + kInBox + "it is read-only",
         {}},
        {"a folder cannot be read",
         [](FakeTree& t) {
             Answer(t, "po/box/inbox", "List", {kFailed, "I/O error"});
         },
         Outcome::kInUse,
         "cannot delete 'B/po/box/inbox" + kInBox + "I/O error",
         {}},
        {"the folder cannot be readied",
         [](FakeTree& t) {
             Answer(t, "po/box", "Prepare", {kFailed, "not permitted"});
         },
         Outcome::kInUse,
         kTop + "not permitted",
         {}},
        {"the first removal fails",
         [](FakeTree& t) {
             Answer(t, "po/box/a", "Delete", {kFailed, "busy"});
         },
         Outcome::kInUse,
         "cannot delete 'B/po/box/a" + kInBox + "busy",
         {}},
        {"a removal fails after another",
         [](FakeTree& t) {
             Answer(t, "po/box/inbox/m1", "Delete", {kFailed, "busy"});
         },
         Outcome::kPartlyRemoved,
         "cannot delete 'B/po/box/inbox/m1" + kInBox + "busy",
         {"po/box/a"}},
        {"an entry keeps changing",
         [](FakeTree& t) { Answer(t, "po/box/inbox/m1", "Open", kChanged, 3); },
         Outcome::kPartlyRemoved,
         "cannot delete 'B/po/box/inbox/m1" + kInBox +
             "it kept changing while it was being removed",
         {"po/box/a"}},
        {"the folder itself stays",
         [](FakeTree& t) {
             Answer(t, "po/box", "Delete", {kChanged, "Not a directory"});
         },
         Outcome::kPartlyRemoved,
         kTop + "Not a directory",
         {"po/box/a", "po/box/inbox/m1", "po/box/inbox"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTree tree;
        for (const char* folder : {"po", "po/box", "po/box/inbox"}) tree.files[folder];
        tree.files["po/box/a"].folder = tree.files["po/box/inbox/m1"].folder = false;
        c.setUp(tree);
        const FolderRemoval removal =
            TreeRemoval<FakeTree>(tree, "B/po/box", '/').Run("B", c.levels);
        EXPECT_EQ(removal.outcome, c.outcome);
        EXPECT_EQ(removal.detail, c.detail);
        EXPECT_EQ(tree.removed, c.removed);
    }
}

}  // namespace
}  // namespace seedwell::platform
