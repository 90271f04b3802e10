// Import benchmark: the real Import run against a fresh stand-in server, and a re-run of the same
// file, each against a floor loop that issues the very same SQL statements, folder creations and
// password hashes with no object layer and no window. Also the per-line cost of adding lines to
// a server that already holds many mailboxes, the cost of the progress window (the same fresh
// import with and without it), and a naive shell script for comparison.
//
//   bench_import [N ...]     (default 10000 100000)
//   bench_import --listed    peak memory of runs listing 1,000,000 short lines and 100,000
//                            lines of 1,100-byte fields, each against a hundredth as many

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "bench/harness.h"
#include "server/password.h"
#include "support/fields.h"
#include "support/import_file.h"

namespace seedwell::bench {
namespace {

using support::GetField;

enum class Hashing { kEveryLogin, kOnce };

// The same work as the Import run, straight against the store and the file system. With
// kOnce, every login gets the hash of one password: a quick way to fill a server for re-runs.
void FloorImport(const Server& server, const std::string& file,
                 Hashing hashing = Hashing::kEveryLogin) {
    const std::string oneHash =
        hashing == Hashing::kOnce ? server::HashPassword("password") : std::string();
    Floor floor(server.StorePath());
    using server::Statement;
    namespace sql = server::sql;
    Statement getDomain(floor.db, sql::kGetDomain), addDomain(floor.db, sql::kAddDomain);
    Statement getMailbox(floor.db, sql::kGetMailbox), addMailbox(floor.db, sql::kAddMailbox);
    Statement loginExists(floor.db, sql::kLoginExists), addLogin(floor.db, sql::kAddLogin);
    Statement getMap(floor.db, sql::kGetAddressMap), addMap(floor.db, sql::kAddAddressMap);
    const std::string root = server.Root();

    auto files = platform::MakeSystemFileSystem();
    support::ImportFile in(*files, file, platform::CodePage::System(),
                           support::FileEncoding::kCodePage);
    while (!in.AtEndOfStream()) {
        const std::string line = in.ReadLine();
        std::string postoffice = GetField(line, ",", 1);
        const std::string address = GetField(line, ",", 2);
        const std::string mailbox = GetField(address, "@", 1);
        const std::string domain = GetField(address, "@", 2);

        getDomain.Bind(1, domain);
        if (getDomain.Step()) {
            postoffice = getDomain.ColumnText(0);
            getDomain.Reset();
        } else {
            getDomain.Reset();
            addDomain.Bind(1, domain);
            addDomain.Bind(2, postoffice);
            addDomain.Bind(3, "");
            addDomain.Bind(4, std::int64_t{0});
            addDomain.Bind(5, std::int64_t{1});
            floor.Write(addDomain);
        }

        getMailbox.Bind(1, postoffice);
        getMailbox.Bind(2, mailbox);
        if (!floor.Found(getMailbox)) {
            addMailbox.Bind(1, postoffice);
            addMailbox.Bind(2, mailbox);
            addMailbox.Bind(3, std::int64_t{-1});
            addMailbox.Bind(4, "");
            addMailbox.Bind(5, std::int64_t{0});
            addMailbox.Bind(6, std::int64_t{1});
            addMailbox.Bind(7, std::int64_t{0});
            floor.Write(addMailbox);
        }
        const std::string user = mailbox + "@" + postoffice;
        loginExists.Bind(1, user);
        if (!floor.Found(loginExists)) {
            const std::string hash =
                hashing == Hashing::kOnce ? oneHash : server::HashPassword(GetField(line, ",", 3));
            addLogin.Bind(1, user);
            addLogin.Bind(2, postoffice);
            addLogin.Bind(3, hash);
            addLogin.Bind(4, "USER");
            addLogin.Bind(5, std::int64_t{1});
            addLogin.Bind(6, "");
            floor.Write(addLogin);
        }
        std::string folder = root;
        for (const std::string& level :
             {postoffice, std::string("mailroot"), mailbox, std::string("inbox")}) {
            folder += '/';
            folder += level;
            struct stat info {};
            if (stat(folder.c_str(), &info) != 0) mkdir(folder.c_str(), 0777);
        }

        const std::string source = "[SMTP:" + address + "]";
        getMap.Bind(1, source);
        if (!floor.Found(getMap)) {
            addMap.Bind(1, source);
            addMap.Bind(2, postoffice);
            addMap.Bind(3, "[SF:" + postoffice + "/" + mailbox + "]");
            addMap.Bind(4, "");
            floor.Write(addMap);
        }
    }
}

// A naive script: one sqlite3 process and one mkdir -p per line (and a hash per line).
const char kNaiveScript[] = R"sh(
set -e
db=$1; root=$2; file=$3
tr -d '\r' <"$file" | while IFS=, read -r po address password; do
    mailbox=${address%%@*}; domain=${address#*@}
    hash=$(openssl passwd -6 "$password")
    sqlite3 "$db" "PRAGMA busy_timeout=5000;
INSERT INTO domains VALUES ('$domain','$po','',0,1) ON CONFLICT DO NOTHING;
INSERT INTO mailboxes VALUES ('$po','$mailbox',-1,'',0,1,0) ON CONFLICT DO NOTHING;
INSERT INTO logins VALUES ('$mailbox@$po','$po','$hash','USER',1,'') ON CONFLICT DO NOTHING;
INSERT INTO addressmaps VALUES ('[SMTP:$address]','$po','[SF:$po/$mailbox]','') ON CONFLICT DO NOTHING;" >/dev/null
    mkdir -p "$root/$po/mailroot/$mailbox/inbox"
done
)sh";

void Report(const char* what, long lines, const Measure& ours, const Measure& floor) {
    std::printf("%-28s %8ld lines  %9.0f lines/s  floor %9.0f lines/s  ratio %.3f  peak %ld KiB\n",
                what, lines, lines / ours.seconds, lines / floor.seconds,
                ours.seconds / floor.seconds, ours.peakKiB);
}

void Compare(long lines) {
    TempFolder ours, floor;
    Server ourServer(ours.Path()), floorServer(floor.Path());
    const std::string file = WriteImportFile(ours / "in.csv", 0, lines);

    Measure fresh = InChild([&] { RunThroughObjects(ourServer, file, Run::kImport); });
    Measure freshFloor = InChild([&] { FloorImport(floorServer, file); });
    Report("fresh import", lines, fresh, freshFloor);

    Measure rerun = InChild([&] { RunThroughObjects(ourServer, file, Run::kImport); });
    Measure rerunFloor = InChild([&] { FloorImport(floorServer, file); });
    Report("re-run", lines, rerun, rerunFloor);

    // The progress window's cost: the same fresh import with and without it.
    TempFolder plain, shown;
    Server plainServer(plain.Path()), shownServer(shown.Path());
    Measure without = InChild([&] { RunThroughObjects(plainServer, file, Run::kImport); });
    Measure with =
        InChild([&] { RunThroughObjects(shownServer, file, Run::kImport, Shown::kProgress); });
    std::printf(
        "progress window              %8ld lines  with %9.0f lines/s  without %9.0f "
        "lines/s  cost %+.1f%%\n",
        lines, lines / with.seconds, lines / without.seconds,
        (with.seconds / without.seconds - 1) * 100);

    if (lines >= 100000) {
        // 1,000 new lines into this full server, against 1,000 into an empty one.
        TempFolder empty;
        Server emptyServer(empty.Path());
        const std::string more = WriteImportFile(empty / "more.csv", lines, 1000);
        Measure intoFull = InChild([&] { RunThroughObjects(ourServer, more, Run::kImport); });
        Measure intoEmpty = InChild([&] { RunThroughObjects(emptyServer, more, Run::kImport); });
        std::printf(
            "1000 new lines into %ld mailboxes: %.1f us/line, into none: %.1f us/line, "
            "ratio %.3f\n",
            lines, intoFull.seconds * 1e6 / 1000, intoEmpty.seconds * 1e6 / 1000,
            intoFull.seconds / intoEmpty.seconds);
    }
}

// A re-run over a full server alone, against the floor's: the server is filled by the floor
// loop with one password hash, which takes seconds instead of an import's minutes.
void CompareRerun(long lines) {
    TempFolder ours, floor;
    Server ourServer(ours.Path());
    const std::string file = WriteImportFile(ours / "in.csv", 0, lines);
    InChild([&] { FloorImport(ourServer, file, Hashing::kOnce); });
    Server floorServer = CopyServer(ourServer, floor.Path());
    Measure rerun = InChild([&] { RunThroughObjects(ourServer, file, Run::kImport); });
    Measure rerunFloor = InChild([&] { FloorImport(floorServer, file); });
    Report("re-run of a filled server", lines, rerun, rerunFloor);
    std::printf("re-run of a filled server    CPU time %.2f s  floor %.2f s  ratio %.3f\n",
                rerun.cpuSeconds, rerunFloor.cpuSeconds, rerun.cpuSeconds / rerunFloor.cpuSeconds);
}

// The memory a run keeps for the lines it lists: a run whose lines are all passed over (an
// empty password each) against one of a hundredth as many lines of the same kind, which keeps
// a list too small to count. Once with short lines, once with fields of 1,100 bytes, which the
// list cuts.
void CompareListOfLines() {
    TempFolder folder;
    Server server(folder.Path());
    auto compare = [&](std::string_view kind, long lines, std::size_t fieldBytes) {
        auto passedOver = [&](long count) {
            const fs::path path = folder / ("passed-" + std::to_string(count) + ".csv");
            std::ofstream out(path, std::ios::binary);
            const std::string padding(fieldBytes, 'p');
            for (long i = 0; i < count; ++i) {
                out << "main" << padding << ",user" << i << padding << "@domain.example,\r\n";
            }
            return path.string();
        };
        const std::string few = passedOver(lines / 100), many = passedOver(lines);
        auto run = [&](const std::string& file) {
            return InChild([&] {
                RunThroughObjects(server, file, Run::kImport, Shown::kNoProgress,
                                  Reports::kExpected);
            });
        };
        const Measure small = run(few), large = run(many);
        std::printf(
            "lines passed over, %-14.*s %8ld lines peak %7ld KiB  %8ld lines peak %7ld "
            "KiB  more %.1f MiB\n",
            static_cast<int>(kind.size()), kind.data(), lines / 100, small.peakKiB, lines,
            large.peakKiB, (large.peakKiB - small.peakKiB) / 1024.0);
    };
    compare("short", 1'000'000, 0);
    compare("1,100-byte", 100'000, 1'100);
}

void CompareWithScript(long lines) {
    TempFolder ours, script;
    Server ourServer(ours.Path()), scriptServer(script.Path());
    const std::string file = WriteImportFile(ours / "in.csv", 0, lines);
    const std::string scriptFile = script / "naive.sh";
    {
        std::ofstream out(scriptFile);
        out << kNaiveScript;
    }
    Measure run = InChild([&] { RunThroughObjects(ourServer, file, Run::kImport); });
    Measure shell = InChild([&] {
        std::string command = "bash '" + scriptFile + "' '" + scriptServer.StorePath() + "' '" +
                              scriptServer.Root() + "' '" + file + "'";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("the script failed");
    });
    std::printf(
        "naive shell script            %8ld lines  %9.0f lines/s  ours %9.0f lines/s  "
        "script/ours %.1f\n",
        lines, lines / shell.seconds, lines / run.seconds, shell.seconds / run.seconds);
}

}  // namespace
}  // namespace seedwell::bench

int main(int argc, char** argv) {
    constexpr const char* kUsage =
        "usage: bench_import [N ...] | --listed | --rerun N\n"
        "  N  the number of lines of an import (default 10000 100000)\n";
    std::vector<long> sizes;
    if (argc == 2 && std::string_view(argv[1]) == "--listed") {
        try {
            seedwell::bench::CompareListOfLines();
            return 0;
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "bench_import: %s\n", failure.what());
            return 1;
        }
    }
    if (argc == 3 && std::string_view(argv[1]) == "--rerun") {
        try {
            seedwell::bench::CompareRerun(seedwell::bench::CountArgument(argv[2], kUsage));
            return 0;
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "bench_import: %s\n", failure.what());
            return 1;
        }
    }
    for (int i = 1; i < argc; ++i) {
        sizes.push_back(seedwell::bench::CountArgument(argv[i], kUsage));
    }
    if (sizes.empty()) sizes = {10000, 100000};
    try {
        for (long lines : sizes) seedwell::bench::Compare(lines);
        seedwell::bench::CompareWithScript(2000);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_import: %s\n", failure.what());
        return 1;
    }
    return 0;
}
