// Delete benchmark: the real Delete run removing N imported mailboxes, against a floor loop that
// does the same lookups, recursive folder removals and SQL deletes with no object layer.
//
//   bench_delete [N]     (default 10000)

#include <cstdio>
#include <string>

#include "bench/harness.h"
#include "support/fields.h"
#include "support/import_file.h"

namespace seedwell::bench {
namespace {

using support::GetField;

void FloorDelete(const Server& server, const std::string& file) {
    Floor floor(server.StorePath());
    using server::Statement;
    namespace sql = server::sql;
    Statement getMailbox(floor.db, sql::kGetMailbox), removeMailbox(floor.db, sql::kRemoveMailbox);
    Statement removeMaps(floor.db, sql::kRemoveAddressMaps),
        removeLogin(floor.db, sql::kRemoveLogin);
    const std::string root = server.Root();

    auto files = platform::MakeSystemFileSystem();
    support::ImportFile in(*files, file, platform::CodePage::System(),
                           support::FileEncoding::kCodePage);
    while (!in.AtEndOfStream()) {
        const std::string line = in.ReadLine();
        const std::string postoffice = GetField(line, ",", 1);
        const std::string mailbox = GetField(GetField(line, ",", 2), "@", 1);
        getMailbox.Bind(1, postoffice);
        getMailbox.Bind(2, mailbox);
        if (!floor.Found(getMailbox)) continue;

        const fs::path folder = fs::path(root) / postoffice / "mailroot" / mailbox;
        if (fs::is_directory(folder)) fs::remove_all(folder);
        removeMailbox.Bind(1, postoffice);
        removeMailbox.Bind(2, mailbox);
        floor.Write(removeMailbox);
        removeMaps.Bind(1, postoffice);
        removeMaps.Bind(2, "[SF:" + postoffice + "/" + mailbox + "]");
        floor.Write(removeMaps);
        removeLogin.Bind(1, postoffice);
        removeLogin.Bind(2, mailbox + "@" + postoffice);
        floor.Write(removeLogin);
    }
}

}  // namespace
}  // namespace seedwell::bench

int main(int argc, char** argv) {
    using namespace seedwell::bench;
    constexpr const char* kUsage =
        "usage: bench_delete [N]\n  N  the number of mailboxes to delete (default 10000)\n";
    if (argc > 2) ExitWithUsage(kUsage);
    const long lines = argc > 1 ? CountArgument(argv[1], kUsage) : 10000;
    try {
        TempFolder setup, ours, floor;
        Server original(setup.Path());
        const std::string file = WriteImportFile(setup / "in.csv", 0, lines);
        InChild([&] { RunThroughObjects(original, file, Run::kImport); });
        Server ourServer = CopyServer(original, ours.Path());
        Server floorServer = CopyServer(original, floor.Path());

        Measure run = InChild([&] { RunThroughObjects(ourServer, file, Run::kDelete); });
        Measure base = InChild([&] { FloorDelete(floorServer, file); });
        std::printf(
            "delete %ld mailboxes: %.0f lines/s, floor %.0f lines/s, ratio %.3f, "
            "peak %ld KiB\n",
            lines, lines / run.seconds, lines / base.seconds, run.seconds / base.seconds,
            run.peakKiB);
        for (const Server* server : {&ourServer, &floorServer}) {
            auto left = seedwell::server::Store(server->StorePath())
                            .List(seedwell::server::sql::kListMailboxes);
            if (!left.empty()) {
                std::fprintf(stderr, "bench_delete: %zu mailboxes were left behind in %s\n",
                             left.size(), server->data.c_str());
                return 1;
            }
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_delete: %s\n", failure.what());
        return 1;
    }
    return 0;
}
