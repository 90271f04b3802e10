#pragma once

// The runs against everything real but the screen: the POSIX file system, a registry file in a
// temporary folder, and the stand-in server's classes over a store installed there. Message
// boxes and the pointer are recording fakes. Every run gets a fresh set of these, so that no
// store connection outlives it or is open when a test forks.

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/runs.h"
#include "platform/codepage.h"
#include "platform/filesystem_std.h"
#include "platform/objects.h"
#include "server/regfile.h"
#include "server/schema.h"
#include "server/server.h"
#include "server/store.h"
#include "tests/fakes/child.h"
#include "tests/fakes/fake_screen.h"
#include "tests/fakes/fake_window.h"
#include "tests/fakes/installed_server.h"
#include "tests/fakes/recording.h"
#include "tests/fakes/temp_folder.h"

namespace seedwell::hardening {

namespace fs = std::filesystem;

/// An object factory whose objects hand every call to the inner factory's objects, after
/// `before(method)` and followed by `after(method)`.
class WatchingFactory : public platform::ObjectFactory {
  public:
    using Hook = std::function<void(std::string_view method)>;
    WatchingFactory(platform::ObjectFactory& inner, Hook before, Hook after)
        : inner_(inner), before_(std::move(before)), after_(std::move(after)) {}

    std::unique_ptr<platform::AdminObject> CreateObject(std::string_view progId) override {
        return std::make_unique<Object>(*this, inner_.CreateObject(progId));
    }

  private:
    class Object : public platform::AdminObject {
      public:
        Object(WatchingFactory& factory, std::unique_ptr<platform::AdminObject> inner)
            : factory_(factory), inner_(std::move(inner)) {}
        void SetProperty(std::string_view name, const platform::Value& value) override {
            inner_->SetProperty(name, value);
        }
        std::int32_t CallMethod(std::string_view name) override {
            if (factory_.before_) factory_.before_(name);
            const std::int32_t result = inner_->CallMethod(name);
            if (factory_.after_) factory_.after_(name);
            return result;
        }
        std::string GetProperty(std::string_view name) override {
            return inner_->GetProperty(name);
        }

      private:
        WatchingFactory& factory_;
        std::unique_ptr<platform::AdminObject> inner_;
    };

    platform::ObjectFactory& inner_;
    Hook before_;
    Hook after_;
};

/// Ways to change what one run sees: each wraps the real piece in a decorator.
struct Decorators {
    /// The system's file system, as a class derived from StdFileSystem changes it.
    std::function<std::unique_ptr<platform::FileSystem>()> files;
    std::function<std::unique_ptr<platform::ObjectFactory>(platform::ObjectFactory&)> objects;
    /// Sets up the screen before the run: its clock, a Stop on the progress window.
    std::function<void(fakes::FakeScreen&)> screen;
};

/// What a run showed, and whether it left the hourglass up.
struct Outcome {
    std::vector<fakes::FakeMessageBox::Shown> shown;
    bool busy = false;
    int focused = 0;

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& box : shown) texts.push_back(box.text);
        return texts;
    }
    /// All texts in one string, for failure output.
    std::string Joined() const {
        std::string all;
        for (const auto& box : shown) all += "[" + box.text + "] ";
        return all;
    }
};

/// A stand-in server installed in a fresh temporary folder with the post offices "main" and
/// "sales"; the import files of a test go beside it.
class ServerTest : public ::testing::Test {
  protected:
    enum class Kind { kImport, kDelete };

    void SetUp() override { Install(); }

    /// Installs the server anew, dropping whatever an earlier install held.
    void Install() { installed.Reinstall(); }

    std::string Root() const { return installed.Root(); }
    std::string StorePath() const { return installed.StorePath(); }

    /// Writes `content` to the file `name` beside the server; its path.
    std::string File(std::string_view name, std::string_view content) const {
        return temp.Write(name, content);
    }

    /// One run through a fresh registry, class table and file system. `root` defaults to the
    /// data directory's post-office root.
    Outcome Run(Kind kind, const std::string& path, const Decorators& decorators = {},
                const std::string* root = nullptr) {
        // The registry reads its file through a file system of its own, which no decorator changes.
        platform::StdFileSystem registryFiles;
        server::RegFileRegistry registry(registryFiles, registryFile, platform::CodePage::System());
        server::ClassTable table;
        server::RegisterServerClasses(table, registry);
        const std::unique_ptr<platform::FileSystem> files =
            decorators.files ? decorators.files() : std::make_unique<platform::StdFileSystem>();
        std::unique_ptr<platform::ObjectFactory> wrappedObjects;
        if (decorators.objects) wrappedObjects = decorators.objects(table);
        fakes::Log log;
        fakes::FakeScreen screen(log);
        if (decorators.screen) decorators.screen(screen);
        fakes::FakeWindow window(log, path, root ? *root : Root());
        const provisioning::Services services{wrappedObjects ? *wrappedObjects : table, *files,
                                              registry, platform::CodePage::System()};
        if (kind == Kind::kImport) {
            app::RunImport(window, services, screen.RunScreen());
        } else {
            app::RunDelete(window, services, screen.RunScreen());
        }
        const auto focused = std::count_if(log.begin(), log.end(), [](const std::string& line) {
            return line.starts_with("focus ");
        });
        return {screen.messages.shown, screen.pointer.busy, int(focused)};
    }
    Outcome Import(const std::string& path, const Decorators& decorators = {}) {
        return Run(Kind::kImport, path, decorators);
    }
    Outcome Delete(const std::string& path, const Decorators& decorators = {}) {
        return Run(Kind::kDelete, path, decorators);
    }

    /// Every record of every table (no password hashes) and every folder below the temporary
    /// folder, as one text.
    std::string Snapshot() const {
        std::string text;
        {
            server::Store store(StorePath());
            const std::pair<const char*, const char*> tables[] = {
                {"postoffices", server::sql::kListPostoffices},
                {"domains", server::sql::kListDomains},
                {"mailboxes", server::sql::kListMailboxes},
                {"logins", server::sql::kListLogins},
                {"addressmaps", server::sql::kListAddressMaps},
            };
            for (const auto& [name, sql] : tables) {
                text += std::string("== ") + name + "\n";
                for (const auto& row : store.List(sql)) {
                    for (const auto& field : row) text += field + "\t";
                    text += "\n";
                }
            }
        }
        text += "== folders\n";
        for (const auto& folder : Folders()) text += folder + "\n";
        return text;
    }

    /// Every folder below the temporary folder, relative to it, sorted.
    std::vector<std::string> Folders() const {
        std::vector<std::string> folders;
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(temp.Path(), error);
             !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (it->is_directory() && !it->is_symlink()) {
                folders.push_back(fs::relative(it->path(), temp.Path()).string());
            }
        }
        std::sort(folders.begin(), folders.end());
        return folders;
    }

    std::string Hash(const std::string& username) const {
        server::Store store(StorePath());
        return store.LoginPasswordHash(username).value_or("");
    }

    test_support::TempFolder temp;
    test_support::InstalledServer installed{temp.Path()};
    const std::string& dataDir = installed.data;
    const std::string& registryFile = installed.registryFile;
};

using test_support::ChildReport;
using test_support::ChildResult;

/// Exit code of a child that could not take the identity it needed.
inline constexpr int kChildSkipped = 77;

/// Runs `body` in a child process (as the user nobody when `asNobody` and this process may
/// change its identity) and answers what it returned. A body that throws is reported in the
/// output with exit code 3; one that cannot become nobody exits with kChildSkipped.
inline ChildResult InChild(const std::function<std::string()>& body, bool asNobody = false) {
    return test_support::InChild([&] {
        if (asNobody) {
            const gid_t nogroup = 65534;
            if (setgroups(0, nullptr) != 0 || setgid(nogroup) != 0 || setuid(65534) != 0) {
                return ChildReport{
                    std::string("cannot become the user nobody: ") + std::strerror(errno),
                    kChildSkipped};
            }
        }
        return ChildReport{body(), 0};
    });
}

/// True when this process can take another user's identity in a child.
inline bool CanBecomeNobody() { return geteuid() == 0; }

/// Hands `path` and everything below it to `user` (and the group of the same number).
inline void GiveTo(const std::string& path, uid_t user) {
    auto give = [user](const fs::path& p) {
        if (lchown(p.c_str(), user, user) != 0) {
            throw std::runtime_error("cannot chown " + p.string() + ": " + std::strerror(errno));
        }
    };
    give(path);
    if (fs::is_directory(fs::symlink_status(path))) {
        for (const auto& entry : fs::recursive_directory_iterator(path)) give(entry.path());
    }
}
/// Hands `path` and everything below it to the user nobody.
inline void GiveToNobody(const std::string& path) { GiveTo(path, 65534); }

/// The permission bits of `path`.
inline unsigned Mode(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

}  // namespace seedwell::hardening
