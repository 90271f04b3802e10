#pragma once

// Recording fakes of the platform interfaces for tests. Every call that a test may want to see
// in order goes into one shared Log, so that the order across objects, folders, message boxes
// and the pointer can be checked in one place.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/error.h"
#include "platform/filesystem.h"
#include "platform/filesystem_std.h"
#include "platform/objects.h"

namespace seedwell::fakes {

/// The calls made, one line each, in the order they were made.
using Log = std::vector<std::string>;

/// "string 'x'", "i16 -1" or "i32 5": a value with its kind.
std::string Describe(const platform::Value& value);

class FakeObjectFactory;

/// An object created by FakeObjectFactory. Logs "set <Class>.<Prop> <kind value>",
/// "call <Class>.<Method>" and "get <Class>.<Prop>".
class FakeObject : public platform::AdminObject {
  public:
    FakeObject(FakeObjectFactory& factory, std::string progId);
    ~FakeObject() override;
    void SetProperty(std::string_view name, const platform::Value& value) override;
    std::int32_t CallMethod(std::string_view name) override;
    std::string GetProperty(std::string_view name) override;

    const std::string& ProgId() const { return progId_; }
    /// The text of property `name` as last set ("" when never set).
    std::string Text(std::string_view name) const;

  private:
    FakeObjectFactory& factory_;
    std::string progId_;
    std::map<std::string, platform::Value> properties_;
};

/// Creates FakeObjects for any identifier, logging "create <ProgId>" and "release <ProgId>".
/// Method results come from `methods` (keyed by "Class.Method", e.g. "TWAOSM.Domain.GetDomain";
/// default 0); a method can throw by returning through `Fail`. Property reads come from
/// `reads` (keyed the same way, e.g. "TWAOSM.Domain.AccountName").
class FakeObjectFactory : public platform::ObjectFactory {
  public:
    using Method = std::function<std::int32_t(const FakeObject&)>;
    explicit FakeObjectFactory(Log& log) : log(log) {}

    std::unique_ptr<platform::AdminObject> CreateObject(std::string_view progId) override;

    /// Makes method `key` answer `result` always.
    void Answer(const std::string& key, std::int32_t result);
    /// Makes method `key` throw seedwell::Error(description).
    void Fail(const std::string& key, const std::string& description);

    Log& log;
    std::map<std::string, Method> methods;
    std::map<std::string, std::string> reads;
    std::map<std::string, std::string> failCreate;  ///< progId -> description
    int live = 0;                                   ///< objects not yet released
};

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

/// An in-memory file system with the path and name rules of POSIX or of Windows (the real ones,
/// base/path_rules.h). Folders and files are sets of paths; CreateFolder needs the parent (the text
/// before the last separator) to exist, unless the parent is empty. Logs "exists <path>", "mkdir
/// <path>", "rmdir <path>", "open <path>". RemoveFolderBelow answers for the joined path, in this
/// order: a level in `links` (kLink), `failDelete` (kInUse), `partDelete` (kPartlyRemoved), not in
/// `folders` (kMissing). A path in `heldAs` stands for an entry held in other letters, as a file
/// system that ignores letter case holds it: HeldName answers its letters and RemoveFolderBelow
/// kOtherLetters. Logs "held? <path>" for HeldName. A file opened is read as its bytes. WriteFile
/// logs "write <path>" and writes into a new file "<folder>/.new" that, once all is written,
/// becomes the file (the one `linkTo` says a link there leads to); a path in `failWrite` fails
/// before anything is written, with its reason, and with `spaceLeft` set, a write beyond it writes
/// what fits and fails as a full disk does. On a failure the new file is gone. SameFile answers
/// whether both paths lead to the same file of `files`, through `linkTo`.
/// PathExists answers for folders and files. NameProblem is the rules' and then `unholdable`'s.
class FakeFileSystem : public platform::FileSystem {
  public:
    /// With the rules of Windows for the separator '\\', else those of POSIX.
    FakeFileSystem(Log& log, char separator = '/')
        : platform::FileSystem(separator == '\\' ? base::kWindowsRules : base::kPosixRules),
          log(log) {}
    std::optional<std::string> NameProblem(std::string_view what,
                                           std::string_view name) const override;
    bool FileExists(const std::string& path) noexcept override;
    bool FolderExists(const std::string& path) noexcept override;
    bool PathExists(const std::string& path) noexcept override {
        return folders.count(path) != 0 || files.count(path) != 0;
    }
    std::optional<std::string> HeldName(const std::string& dir, const std::string& name) override;
    void CreateFolder(const std::string& path) override;
    using platform::FileSystem::RemoveFolderBelow;
    platform::FolderRemoval RemoveFolderBelow(const std::string& base,
                                              const std::vector<std::string>& levels, bool force,
                                              const std::vector<bool>& lettersMatter) override;
    std::unique_ptr<platform::ByteSource> OpenFile(const std::string& path) override;
    bool SameFile(const std::string& a, const std::string& b) noexcept override;
    void WriteFile(const std::string& path,
                   const std::function<void(platform::ByteSink&)>& write) override;
    /// The file `path` leads to through `linkTo`: `path` itself when it is no link.
    std::string Target(const std::string& path) const;

    Log& log;
    std::set<std::string> folders;
    std::map<std::string, std::string> files;      ///< path -> content
    std::set<std::string> failCreate;              ///< paths whose creation fails
    std::set<std::string> failDelete;              ///< paths whose removal fails, removing nothing
    std::set<std::string> partDelete;              ///< paths whose removal fails part way
    std::set<std::string> links;                   ///< paths that are links
    std::map<std::string, std::string> heldAs;     ///< path -> the letters its last name is held in
    std::map<std::string, std::string> failWrite;  ///< path -> why writing it fails
    std::map<std::string, std::string> linkTo;     ///< path of a link -> the file it leads to
    std::optional<std::size_t> spaceLeft;          ///< bytes the disk has left, when it may fill
    /// Names this file system cannot hold beyond its rules -> why, as NameProblem describes them.
    std::map<std::string, std::string, std::less<>> unholdable;
    int opened = 0;
};

/// Every log line that starts with `prefix`.
std::vector<std::string> Filter(const Log& log, std::string_view prefix);

// ---- implementation (header-only so the fakes library stays an interface library) ----

inline std::string Describe(const platform::Value& value) {
    switch (value.index()) {
        case 0:
            return "string '" + std::get<std::string>(value) + "'";
        case 1:
            return "i16 " + std::to_string(std::get<std::int16_t>(value));
        default:
            return "i32 " + std::to_string(std::get<std::int32_t>(value));
    }
}

inline FakeObject::FakeObject(FakeObjectFactory& factory, std::string progId)
    : factory_(factory), progId_(std::move(progId)) {
    ++factory_.live;
}

inline FakeObject::~FakeObject() {
    --factory_.live;
    factory_.log.push_back("release " + progId_);
}

inline void FakeObject::SetProperty(std::string_view name, const platform::Value& value) {
    factory_.log.push_back("set " + progId_ + "." + std::string(name) + " " + Describe(value));
    properties_[std::string(name)] = value;
}

inline std::int32_t FakeObject::CallMethod(std::string_view name) {
    std::string key = progId_ + "." + std::string(name);
    factory_.log.push_back("call " + key);
    auto it = factory_.methods.find(key);
    return it == factory_.methods.end() ? 0 : it->second(*this);
}

inline std::string FakeObject::GetProperty(std::string_view name) {
    std::string key = progId_ + "." + std::string(name);
    factory_.log.push_back("get " + key);
    auto it = factory_.reads.find(key);
    return it == factory_.reads.end() ? Text(name) : it->second;
}

inline std::string FakeObject::Text(std::string_view name) const {
    auto it = properties_.find(std::string(name));
    if (it == properties_.end()) return {};
    if (auto* s = std::get_if<std::string>(&it->second)) return *s;
    if (auto* s = std::get_if<std::int16_t>(&it->second)) return std::to_string(*s);
    return std::to_string(std::get<std::int32_t>(it->second));
}

inline std::unique_ptr<platform::AdminObject> FakeObjectFactory::CreateObject(
    std::string_view progId) {
    std::string id(progId);
    auto failure = failCreate.find(id);
    if (failure != failCreate.end()) {
        log.push_back("create-failed " + id);
        throw Error(failure->second);
    }
    log.push_back("create " + id);
    return std::make_unique<FakeObject>(*this, id);
}

inline void FakeObjectFactory::Answer(const std::string& key, std::int32_t result) {
    methods[key] = [result](const FakeObject&) { return result; };
}

inline void FakeObjectFactory::Fail(const std::string& key, const std::string& description) {
    methods[key] = [description](const FakeObject&) -> std::int32_t { throw Error(description); };
}

inline std::optional<std::string> FakeFileSystem::NameProblem(std::string_view what,
                                                              std::string_view name) const {
    if (auto problem = platform::FileSystem::NameProblem(what, name)) return problem;
    const auto it = unholdable.find(name);
    if (it == unholdable.end()) return std::nullopt;
    return std::string(what) + " '" + std::string(name) + "' " + it->second;
}

inline bool FakeFileSystem::FileExists(const std::string& path) noexcept {
    log.push_back("file? " + path);
    return files.count(path) != 0;
}

inline bool FakeFileSystem::FolderExists(const std::string& path) noexcept {
    log.push_back("exists " + path);
    return folders.count(path) != 0;
}

inline std::optional<std::string> FakeFileSystem::HeldName(const std::string& dir,
                                                           const std::string& name) {
    const std::string path = BuildPath(dir, name);
    log.push_back("held? " + path);
    if (const auto it = heldAs.find(path); it != heldAs.end()) return it->second;
    if (folders.count(path) || files.count(path)) return name;
    return std::nullopt;
}

inline void FakeFileSystem::CreateFolder(const std::string& path) {
    log.push_back("mkdir " + path);
    std::size_t cut = path.rfind(Separator());
    std::string parent = cut == std::string::npos ? std::string() : path.substr(0, cut);
    if (failCreate.count(path) || (!parent.empty() && !folders.count(parent))) {
        throw Error("cannot create the folder '" + path + "': No such file or directory");
    }
    if (folders.count(path)) throw Error("cannot create the folder '" + path + "': File exists");
    folders.insert(path);
}

inline platform::FolderRemoval FakeFileSystem::RemoveFolderBelow(
    const std::string& base, const std::vector<std::string>& levels, bool force,
    const std::vector<bool>& lettersMatter) {
    using Outcome = platform::FolderRemoval::Outcome;
    std::string path = base, shown, held;
    bool otherLetters = false;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const std::string& level = levels[i];
        path = BuildPath(path, level);
        shown = shown.empty() ? level : shown + Separator() + level;
        const auto letters = heldAs.find(path);
        const bool matter = lettersMatter.empty() || lettersMatter.at(i);
        otherLetters = otherLetters || (matter && letters != heldAs.end());
        held = (held.empty() ? "" : held + Separator()) +
               (letters != heldAs.end() ? letters->second : level);
        if (links.count(path)) {
            log.push_back("rmdir-link " + path);
            return {Outcome::kLink, shown};
        }
    }
    if (otherLetters) {
        log.push_back("rmdir-letters " + path);
        return {Outcome::kOtherLetters, held};
    }
    log.push_back(std::string("rmdir ") + (force ? "" : "(no force) ") + path);
    if (failDelete.count(path)) return {Outcome::kInUse, "'" + path + "': Device or resource busy"};
    if (partDelete.count(path)) return {Outcome::kPartlyRemoved, "'" + path + "': I/O error"};
    if (!folders.count(path)) return {Outcome::kMissing, {}};
    std::string prefix = path + Separator();
    for (auto it = folders.begin(); it != folders.end();) {
        if (*it == path || it->rfind(prefix, 0) == 0) {
            it = folders.erase(it);
        } else {
            ++it;
        }
    }
    return {Outcome::kRemoved, {}};
}

inline std::unique_ptr<platform::ByteSource> FakeFileSystem::OpenFile(const std::string& path) {
    log.push_back("open " + path);
    auto it = files.find(path);
    if (it == files.end()) throw Error("cannot open '" + path + "': No such file or directory");
    ++opened;
    return std::make_unique<MemoryBytes>(it->second);
}

inline std::string FakeFileSystem::Target(const std::string& path) const {
    const auto link = linkTo.find(path);
    return link == linkTo.end() ? path : link->second;
}

inline bool FakeFileSystem::SameFile(const std::string& a, const std::string& b) noexcept {
    return files.count(Target(a)) != 0 && Target(a) == Target(b);
}

inline void FakeFileSystem::WriteFile(const std::string& path,
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
    const std::string target = Target(path);
    const std::size_t cut = target.rfind(Separator());
    const std::string temp = (cut == std::string::npos ? "" : target.substr(0, cut + 1)) + ".new";
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

inline std::vector<std::string> Filter(const Log& log, std::string_view prefix) {
    std::vector<std::string> out;
    for (const auto& line : log) {
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    }
    return out;
}

}  // namespace seedwell::fakes
