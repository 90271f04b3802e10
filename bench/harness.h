#pragma once

// Shared pieces of the import and delete benchmarks: a stand-in server in a temporary folder,
// generated import files, the real runs with silent user-interface stand-ins, and the floor
// loop's direct connection to the store. Every measurement runs in a forked child so that its
// peak memory is its own.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include <QApplication>

#include "app/qt/qt_ui.h"
#include "app/runs.h"
#include "app/screen.h"
#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/objects.h"
#include "server/regfile.h"
#include "server/schema.h"
#include "server/server.h"
#include "server/sqlite.h"
#include "server/store.h"
#include "tests/fakes/child.h"
#include "tests/fakes/fake_window.h"
#include "tests/fakes/installed_server.h"
#include "tests/fakes/temp_folder.h"

namespace seedwell::bench {

namespace fs = std::filesystem;

inline const char* const kPostoffices[] = {"main", "sales", "support"};

/// Prints `usage` to the standard error and ends the program with exit code 2, for arguments
/// the program does not take.
[[noreturn]] inline void ExitWithUsage(const char* usage) {
    std::fputs(usage, stderr);
    std::exit(2);
}

/// The count `text` names: a whole number from 1 up, in decimal digits alone. Anything else
/// ("--help", "10k", "0", one too large for a long) prints `usage` to the standard error and
/// ends the program with exit code 2.
inline long CountArgument(std::string_view text, const char* usage) {
    long count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || count < 1) {
        ExitWithUsage(usage);
    }
    return count;
}

using test_support::TempFolder;

/// A stand-in server installed below `folder`, with the three post offices.
struct Server : test_support::InstalledServer {
    explicit Server(const std::string& folder)
        : InstalledServer(folder, {std::begin(kPostoffices), std::end(kPostoffices)}) {
        Install();
    }
};

/// Writes `count` lines `postoffice,user<i>@domain<d>.example,password<i>` starting at `first`.
/// Every domain belongs to one post office, so the lines name the post office the mailboxes
/// end up in, and the same file serves for deleting them.
inline std::string WriteImportFile(const fs::path& path, long first, long count) {
    std::ofstream out(path, std::ios::binary);
    for (long i = first; i < first + count; ++i) {
        const long domain = i % 97;
        out << kPostoffices[domain % 3] << ",user" << i << "@domain" << domain
            << ".example,password" << i << "\r\n";
    }
    return path.string();
}

/// Answers Yes to the Delete question and OK to the end of a run; any other message ends the
/// process, unless the run is expected to report lines (`reports`), whose boxes are closed and
/// whose offer of a list is declined.
class SilentBox : public app::MessageBox {
  public:
    explicit SilentBox(bool reports = false) : reports_(reports) {}
    int Show(std::string_view text, app::BoxStyle style, std::optional<std::string>) override {
        if (style == app::kMbYesNoCritical) return app::kAnswerYes;
        if (reports_) return style == app::kMbYesNoExclamation ? app::kAnswerNo : app::kAnswerOk;
        if (text != "Mailboxes created." && text != "Mailboxes deleted.") {
            std::fprintf(stderr, "unexpected message: %.*s\n", int(text.size()), text.data());
            std::_Exit(3);
        }
        return app::kAnswerOk;
    }

  private:
    bool reports_;
};

class NoPointer : public app::BusyPointer {
  public:
    void SetHourglass() override {}
    void Restore() override {}
};

/// No progress window, and a clock that never moves, so that the run never paces itself.
class NoProgress : public app::Progress, public app::Clock {
  public:
    void Open(std::string_view, long) override {}
    void Update(long, std::string_view) override {}
    bool Pump() noexcept override { return false; }
    void Close() noexcept override {}
    std::chrono::steady_clock::time_point Now() const noexcept override { return {}; }
};

/// A save dialog that is always cancelled.
class NoSave : public app::SaveDialog {
  public:
    std::optional<std::string> ShowSave(std::string_view, const std::string&) override {
        return std::nullopt;
    }
};

enum class Run { kImport, kDelete };
enum class Shown { kNoProgress, kProgress };
enum class Reports { kNone, kExpected };

/// Runs the real Import or Delete run on `file` against `server`, as the program does. With
/// kProgress the run shows its real progress window, on Qt's offscreen platform unless
/// QT_QPA_PLATFORM says otherwise; with kNoProgress it paces nothing.
inline void RunThroughObjects(const Server& server, const std::string& file, Run run,
                              Shown shown = Shown::kNoProgress, Reports reports = Reports::kNone) {
    auto files = platform::MakeSystemFileSystem();
    server::RegFileRegistry registry(*files, server.registryFile, platform::CodePage::System());
    server::ClassTable classes;
    server::RegisterServerClasses(classes, registry);
    SilentBox box(reports == Reports::kExpected);
    NoPointer pointer;
    fakes::Log focusMoves;
    fakes::FakeWindow window(focusMoves, file, server.Root());
    NoProgress none;
    std::unique_ptr<QApplication> application;
    std::unique_ptr<app::QtProgress> qtProgress;
    app::SteadyClock steadyClock;
    if (shown == Shown::kProgress) {
        if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "bench";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QApplication>(argc, argv);
        qtProgress = std::make_unique<app::QtProgress>();
    }
    app::Progress& progress = qtProgress ? static_cast<app::Progress&>(*qtProgress) : none;
    const app::Clock& clock = qtProgress ? static_cast<const app::Clock&>(steadyClock) : none;
    const provisioning::Services services{classes, *files, registry, platform::CodePage::System()};
    NoSave save;
    const app::Screen screen{box, pointer, progress, clock, save};
    if (run == Run::kImport) {
        app::RunImport(window, services, screen);
    } else {
        app::RunDelete(window, services, screen);
    }
}

/// The floor loop's connection: the very statements the store runs, with nothing around them.
struct Floor {
    explicit Floor(const std::string& path)
        : db(path, server::Database::Mode::kOpenExisting, server::sql::kBusyTimeoutMs),
          begin(Setup(db), server::sql::kBegin),
          commit(db, server::sql::kCommit),
          rollback(db, server::sql::kRollback) {}

    static server::Database& Setup(server::Database& db) {
        db.Execute(server::sql::kConnectionSetup, "setting up the connection");
        return db;
    }

    /// Runs `insert` (already bound) in its own transaction; true when it changed a row.
    bool Write(server::Statement& statement) {
        server::Transaction transaction(begin, commit, rollback);
        statement.Run();
        bool changed = db.Changes() > 0;
        statement.Reset();
        transaction.Commit();
        return changed;
    }

    bool Found(server::Statement& lookup) {
        bool found = lookup.Step();
        lookup.Reset();
        return found;
    }

    server::Database db;
    server::Statement begin, commit, rollback;
};

struct Measure {
    double seconds = 0;
    long peakKiB = 0;
    double cpuSeconds = 0;  ///< user and system time: less moved by other work on the machine
};

/// Runs `work` in a forked child and answers its wall time and peak resident memory. Throws
/// std::runtime_error, with what the child reported, when the work fails.
inline Measure InChild(const std::function<void()>& work) {
    const test_support::ChildResult child = test_support::InChild([&] {
        work();
        return test_support::ChildReport{};
    });
    if (child.exitCode != 0) {
        throw std::runtime_error("a measured child failed: " +
                                 (child.output.empty() ? "it ended with no report" : child.output));
    }
    return {child.seconds, child.peakKiB, child.cpuSeconds};
}

/// Copies a server's data directory and registry file to `folder`, pointing the copy's
/// registry at the copied data.
inline Server CopyServer(const Server& original, const std::string& folder) {
    fs::copy(original.data, folder + "/data", fs::copy_options::recursive);
    return Server(folder);  // installing over the copy keeps its records
}

}  // namespace seedwell::bench
