#pragma once

// The removal of a folder tree, written once over the few primitives that each platform gives
// (platform/remove_tree_posix.cpp, platform/remove_tree_win.cpp) and that a tree in memory gives
// the tests: every step goes from the open handle of the folder it works in, nothing below the
// base is followed, and the whole tree is checked before the first entry goes.

#include <concepts>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/printable.h"

namespace seedwell::base {

/// How a removal of a folder tree ended.
struct FolderRemoval {
    enum class Outcome {
        kRemoved,        ///< the folder and everything in it are gone
        kMissing,        ///< no folder was there (a level missing, or not a folder): nothing done
        kLink,           ///< a level is a link: nothing removed
        kInUse,          ///< something in the tree cannot be removed: nothing removed
        kPartlyRemoved,  ///< the removal failed after removing some of the tree
        kOtherLetters,   ///< a level is held in other letters than asked: nothing removed
    };
    Outcome outcome = Outcome::kRemoved;
    /// kLink: the levels from the first down to the link, joined with the separator
    /// ("main/mailroot"). kOtherLetters: every level down to the folder as the file system
    /// holds it, joined with the separator ("main/mailroot/kim" when "Kim" was asked).
    /// kInUse, kPartlyRemoved: what could not be removed and why.
    std::string detail;
};

/// What one primitive came to.
struct TreeStep {
    enum Kind {
        kDone,
        kGone,      ///< nothing there (any more), or no folder where a level should be
        kChanged,   ///< not of the kind asked (any more): to be tried as the other kind
        kLink,      ///< a level is a link (on Windows any reparse point)
        kReplaced,  ///< the level opened is not the entry its parent lists under that name
        kFailed,
    };
    TreeStep(Kind kind = kDone, std::string reason = {}) : kind(kind), reason(std::move(reason)) {}
    Kind kind;
    std::string reason;  ///< why, for kFailed and kChanged
};

/// An entry as its folder lists it; `folder` (a real folder, not a link) may be stale by now.
template <typename Name>
struct TreeEntry {
    Name name;
    bool folder;
};

/// The primitives of one platform (or of a tree in memory) that TreeRemoval runs over. `Name`
/// is a name as the platform holds it; `Node` the movable owner of an open folder or entry (an
/// entry that is no folder may be reached by its name only); `kRounds` how often an entry that
/// keeps changing its kind is tried. Most answer a TreeStep:
/// - `Native(utf8)` (nullopt for what is no name there), `Shown(name)`: a name from and to
/// UTF-8;
/// - `OpenBase(path, node)`: the base, followed wherever it leads;
/// - `OpenLevel(parent, name, last, node, held)`: a level as itself, `held` the name its parent
///   holds it under; the last one is opened to be removed;
/// - `TopBlocker(parent, name, folder)`: what would stop the removal of that last one, or
/// nullopt;
/// - `List(folder, entries)`: its entries but "." and "..";
/// - `Look(dir, entry, folder, node)` to check (failing for what would stop its removal),
///   `Open(...)` to remove: the entry, as a folder when `folder`;
/// - `IsFolder(node)`: a real folder, checked and removed with what it holds;
/// - `Prepare(folder)`: readies an open folder for the removal of its entries;
/// - `Delete(dir, entry, node)`: removes the entry (a folder once emptied) and closes `node`.
template <typename Ops>
concept TreePrimitives = std::default_initializable<typename Ops::Node> &&
    std::movable<typename Ops::Node> &&
    requires(Ops& ops, const std::string& utf8, const typename Ops::Name& name,
             typename Ops::Name& held, typename Ops::Node& node, bool flag,
             const TreeEntry<typename Ops::Name>& entry,
             std::vector<TreeEntry<typename Ops::Name>>& entries) {
    { Ops::kRounds } -> std::convertible_to<int>;
    { ops.Native(utf8) } -> std::same_as<std::optional<typename Ops::Name>>;
    { ops.Shown(name) } -> std::convertible_to<std::string>;
    { ops.OpenBase(utf8, node) } -> std::same_as<TreeStep>;
    { ops.OpenLevel(node, name, flag, node, held) } -> std::same_as<TreeStep>;
    { ops.TopBlocker(node, name, node) } -> std::same_as<std::optional<std::string>>;
    { ops.List(node, entries) } -> std::same_as<TreeStep>;
    { ops.Look(node, entry, flag, node) } -> std::same_as<TreeStep>;
    { ops.Open(node, entry, flag, node) } -> std::same_as<TreeStep>;
    { ops.IsFolder(node) } -> std::same_as<bool>;
    { ops.Prepare(node) } -> std::same_as<TreeStep>;
    { ops.Delete(node, entry, node) } -> std::same_as<TreeStep>;
};

/// Why a removal stopped once it had begun: the entry that could not be checked or removed (a
/// path from the top of the tree), and the reason. TreeRemoval throws it inside and answers it
/// as kInUse or kPartlyRemoved.
struct TreeFailure {
    std::string path;
    std::string reason;
};

/// The removal over the primitives `Ops`.
template <TreePrimitives Ops>
class TreeRemoval {
  public:
    using Name = typename Ops::Name;
    using Node = typename Ops::Node;
    using Entry = TreeEntry<Name>;
    using Outcome = FolderRemoval::Outcome;
    using enum TreeStep::Kind;

    /// `top` is the path of the folder removed; `separator` joins levels and entries in
    /// messages.
    TreeRemoval(Ops& ops, std::string top, char separator)
        : ops_(ops), top_(std::move(top)), separator_(separator) {}

    /// Removes `base`/levels[0]/.../levels.back() and all it holds: `base` is followed, every
    /// level below it must be a folder held in the letters asked where `lettersMatter` says so
    /// (kLink, kOtherLetters, kMissing otherwise, with nothing removed), and everything is
    /// checked before anything goes (kInUse); what vanishes meanwhile is no failure. `levels`
    /// is not empty, and `lettersMatter` empty (every level's letters matter) or as long as
    /// `levels`.
    FolderRemoval Run(const std::string& base, const std::vector<std::string>& levels,
                      const std::vector<bool>& lettersMatter) {
        Node parent, folder;
        TreeStep step = ops_.OpenBase(base, parent);
        if (step.kind == kGone) return {Outcome::kMissing, {}};
        if (step.kind != kDone) return CannotOpen(base, step.reason);
        Name name, heldName;
        std::string shown, held;
        bool otherLetters = false;
        for (std::size_t i = 0; i < levels.size(); ++i) {
            const std::string joiner = shown.empty() ? "" : std::string(1, separator_);
            shown += joiner + levels[i];
            if (i > 0) parent = std::move(folder);
            auto native = ops_.Native(levels[i]);
            if (!native) return CannotOpen(shown, "its name is not valid UTF-8 text");
            name = std::move(*native);
            step = ops_.OpenLevel(parent, name, i + 1 == levels.size(), folder, heldName);
            if (step.kind == kGone) return {Outcome::kMissing, {}};
            if (step.kind == kLink) return {Outcome::kLink, shown};
            if (step.kind == kReplaced) {
                return Failed(
                    {top_, base::Quoted(shown) + " was replaced while it was being opened"});
            }
            if (step.kind != kDone) return CannotOpen(shown, step.reason);
            const bool matter = lettersMatter.empty() || lettersMatter[i];
            otherLetters = otherLetters || (matter && heldName != name);
            held += joiner + ops_.Shown(heldName);
        }
        if (otherLetters) return {Outcome::kOtherLetters, held};
        try {
            if (auto reason = ops_.TopBlocker(parent, name, folder)) {
                throw TreeFailure{top_, *reason};
            }
            Check(folder, top_);
            Empty(folder, top_);
            step = ops_.Delete(parent, Entry{name, true}, folder);
            if (step.kind == kFailed || step.kind == kChanged) throw TreeFailure{top_, step.reason};
        } catch (const TreeFailure& failure) {
            return Failed(failure);
        }
        return {Outcome::kRemoved, {}};
    }

  private:
    /// Throws TreeFailure unless everything in the open folder `dir` (at `shown`) can be
    /// removed.
    void Check(Node& dir, const std::string& shown) {
        for (const Entry& entry : List(dir, shown)) {
            const std::string path = shown + separator_ + ops_.Shown(entry.name);
            Node node;
            const TreeStep step = Settle(
                entry.folder, [&](bool folder) { return ops_.Look(dir, entry, folder, node); });
            if (step.kind == kGone) continue;
            if (step.kind != kDone) throw TreeFailure{path, step.reason};
            if (ops_.IsFolder(node)) Check(node, path);
        }
    }

    /// Removes everything in the open folder `dir` (at `shown`); what is gone already is no
    /// failure, and whatever an entry is swapped for is removed as what it is now.
    void Empty(Node& dir, const std::string& shown) {
        if (TreeStep step = ops_.Prepare(dir); step.kind != kDone) {
            throw TreeFailure{shown, step.reason};
        }
        for (const Entry& entry : List(dir, shown)) {
            const std::string path = shown + separator_ + ops_.Shown(entry.name);
            const TreeStep step = Settle(entry.folder, [&](bool folder) {
                Node node;
                if (TreeStep opened = ops_.Open(dir, entry, folder, node); opened.kind != kDone) {
                    return opened;
                }
                if (ops_.IsFolder(node)) Empty(node, path);
                return ops_.Delete(dir, entry, node);
            });
            if (step.kind == kDone) ++removed_;
            if (step.kind == kFailed) throw TreeFailure{path, step.reason};
        }
    }

    /// `attempt(folder)` until it no longer answers kChanged, taking the entry as the other
    /// kind each time, for Ops::kRounds rounds at most.
    template <typename Attempt>
    static TreeStep Settle(bool folder, Attempt&& attempt) {
        for (int round = 0; round < Ops::kRounds; ++round, folder = !folder) {
            TreeStep step = attempt(folder);
            if (step.kind != kChanged) return step;
        }
        return {kFailed, "it kept changing while it was being removed"};
    }

    std::vector<Entry> List(Node& folder, const std::string& shown) const {
        std::vector<Entry> entries;
        if (TreeStep step = ops_.List(folder, entries); step.kind != kDone) {
            throw TreeFailure{shown, step.reason};
        }
        return entries;
    }

    FolderRemoval CannotOpen(const std::string& what, const std::string& reason) const {
        return Failed({top_, "cannot open " + base::Quoted(what) + ": " + reason});
    }

    /// kInUse until something was removed, kPartlyRemoved after.
    FolderRemoval Failed(const TreeFailure& failure) const {
        const std::string folder = "the folder " + base::Quoted(top_);
        const std::string where =
            failure.path == top_ ? folder : base::Quoted(failure.path) + " in " + folder;
        return {removed_ ? Outcome::kPartlyRemoved : Outcome::kInUse,
                "cannot delete " + where + ": " + failure.reason};
    }

    Ops& ops_;
    std::string top_;
    char separator_;
    long removed_ = 0;
};

}  // namespace seedwell::base
