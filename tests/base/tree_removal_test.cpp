// The removal over the in-memory tree of the fakes, for what the file systems seldom let happen
// on cue: entries that vanish or change their kind meanwhile, and failures at each step. Links,
// letter case, missing levels and what stops a removal are tested against the real file systems in
// filesystem_test.cpp and tests/windows.

#include "base/tree_removal.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/fakes/memory_tree.h"

namespace seedwell::base {
namespace {

using enum TreeStep::Kind;
using Outcome = FolderRemoval::Outcome;

/// What the tree removed, below "B/po/", in order.
std::string Removed(const fakes::MemoryTree& tree) {
    std::string removed;
    for (const std::string& path : tree.removed) {
        removed += (removed.empty() ? "" : " ") + path.substr(5);
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
        {"an entry gone during the check", "B/po/box/a Look", kGone, 1, Outcome::kRemoved, "",
         "box/inbox/m1 box/inbox box"},
        {"an entry gone during the removal", "B/po/box/inbox/m1 Open", kGone, 1, Outcome::kRemoved,
         "", "box/a box/inbox box"},
        {"an entry changed is taken as it is now", "B/po/box/a Open", kChanged, 1,
         Outcome::kRemoved, "", all},
        {"the base", "B OpenBase", TreeStep(kFailed, "denied"), 1, Outcome::kInUse,
         top + "cannot open 'B': denied", ""},
        {"a level", "B/po/box OpenLevel", TreeStep(kFailed, "denied"), 1, Outcome::kInUse,
         top + "cannot open 'po/box': denied", ""},
        {"a level's name", "", TreeStep(), 0, Outcome::kInUse,
         top + "cannot open 'po/b\xFFx': its name is not valid UTF-8 text", "", "b\xFFx"},
        {"a level replaced", "B/po OpenLevel", kReplaced, 1, Outcome::kInUse,
         top + "'po' was replaced while it was being opened", ""},
        {"the folder itself", "B/po/box TopBlocker", TreeStep(kFailed, "it is immutable"), 1,
         Outcome::kInUse, top + "it is immutable", ""},
        {"an entry", "B/po/box/inbox/m1 Look", TreeStep(kFailed, "it is read-only"), 1,
         Outcome::kInUse, "cannot delete 'B/po/box/inbox/m1" + in + "it is read-only", ""},
        {"a folder's entries", "B/po/box/inbox List", TreeStep(kFailed, "I/O error"), 1,
         Outcome::kInUse, "cannot delete 'B/po/box/inbox" + in + "I/O error", ""},
        {"the first removal", "B/po/box/a Delete", TreeStep(kFailed, "busy"), 1, Outcome::kInUse,
         "cannot delete 'B/po/box/a" + in + "busy", ""},
        {"a removal after another", "B/po/box/inbox/m1 Open", kChanged, 3, Outcome::kPartlyRemoved,
         "cannot delete 'B/po/box/inbox/m1" + in + "it kept changing while it was being removed",
         "box/a"},
        {"the folder's own removal", "B/po/box Delete", TreeStep(kChanged, "Not a directory"), 1,
         Outcome::kPartlyRemoved, top + "Not a directory", "box/a box/inbox/m1 box/inbox"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fakes::MemoryTree tree(base::kPosixRules);
        tree.AddFolder("B/po/box/inbox");
        tree.files = {{"B/po/box/inbox/m1", ""}, {"B/po/box/a", ""}};
        tree.answers[c.at].assign(c.times, c.step);
        fakes::MemoryTreeOps ops(tree);
        const FolderRemoval removal = TreeRemoval(ops, "B/po/box", '/').Run("B", {"po", c.box}, {});
        EXPECT_EQ(removal.outcome, c.outcome);
        EXPECT_EQ(removal.detail, c.detail);
        EXPECT_EQ(Removed(tree), c.removed);
    }
}

}  // namespace
}  // namespace seedwell::base
