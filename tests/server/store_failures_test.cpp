#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/error.h"
#include "platform/registry.h"
#include "server/install.h"
#include "server/sqlite.h"
#include "server_fixture.h"
#include "support/settings.h"

namespace seedwell::server_test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class StoreFailures : public ServerFixture {
  protected:
    void SetUp() override {}  // each test installs what it needs

    std::string CreationFailure() {
        try {
            table_.CreateObject("TWAOPO.Mailbox");
        } catch (const Error& error) {
            return error.what();
        }
        return "(created)";
    }
    void PointRegistryAt(const std::string& dataDirectory) {
        server::SetRegistryString(registryFile_, support::kServerKeyPath,
                                  support::kDataDirectoryValueName, dataDirectory);
    }
};

TEST_F(StoreFailures, NoDataDirectoryMeansNotInstalledAndAFailedOpenIsRetried) {
    EXPECT_EQ(CreationFailure(),
              "the mail server is not installed: no \"Data Directory\" value under "
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick");

    PointRegistryAt(temp_ / "elsewhere");
    EXPECT_EQ(CreationFailure(), "the mail server's record store '" + temp_.Path() +
                                     "/elsewhere/Config/server.db' does not exist; install the "
                                     "server with 'twao install'");

    Install();  // the same class table now reaches the store
    EXPECT_EQ(AddMailbox("main", "alice"), 1);
}

TEST_F(StoreFailures, StorePathJoinsWithoutDoublingTheSeparator) {
    EXPECT_EQ(server::StorePathFor("/srv/mail"), "/srv/mail/Config/server.db");
    EXPECT_EQ(server::StorePathFor("/srv/mail/"), "/srv/mail/Config/server.db");
}

TEST_F(StoreFailures, AFileThatIsNotADatabaseIsNamedWithSqlitesReason) {
    Install();
    WriteBytes(StorePath(), std::string(4096, 'x'));
    const std::string failure = CreationFailure();
    EXPECT_THAT(failure, HasSubstr("'" + StorePath() + "'"));
    EXPECT_THAT(failure, HasSubstr("file is not a database"));
}

TEST_F(StoreFailures, ADatabaseWithoutTheTablesIsNamed) {
    Install();
    std::filesystem::remove(StorePath());
    { server::Database other(StorePath(), server::Database::Mode::kCreate, 100); }
    EXPECT_THAT(CreationFailure(), HasSubstr("no such table"));
}

TEST_F(StoreFailures, AReadOnlyStoreFailsAtTheFirstWriteNamingThePath) {
    Install();
    ASSERT_EQ(AddMailbox("main", "alice"), 1);
    table_ = server::ClassTable();  // closes this process's connection
    // Only the file is read-only; its folder, the user's own, stays writable for SQLite's
    // shared-memory file.
    ::chmod(temp_.Path().c_str(), 0755);
    ::chmod(dataDir_.c_str(), 0755);
    for (const std::string& owned :
         {dataDir_ + "/Config", StorePath(), StorePath() + "-wal", StorePath() + "-shm"}) {
        [[maybe_unused]] int ignored = ::chown(owned.c_str(), 65534, 65534);
    }
    ::chmod(StorePath().c_str(), 0444);
    ::chmod(registryFile_.c_str(), 0644);

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        std::string report;
        // Root writes whatever the mode says; a plain user cannot.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        try {
            const auto files = platform::MakeSystemFileSystem();
            server::RegFileRegistry registry(*files, registryFile_, platform::CodePage::System());
            server::ClassTable table;
            server::RegisterServerClasses(table, registry);
            auto get = table.CreateObject("TWAOPO.Mailbox");
            get->SetProperty("Postoffice", std::string("main"));
            get->SetProperty("Mailbox", std::string("alice"));
            report = "get=" + std::to_string(get->CallMethod("GetMailbox")) + "\n";
            auto add = table.CreateObject("TWAOPO.Mailbox");
            add->SetProperty("Postoffice", std::string("main"));
            add->SetProperty("Mailbox", std::string("bob"));
            add->CallMethod("AddMailbox");
            report += "added";
        } catch (const std::exception& error) {
            report += error.what();
        }
        if (write(pipeFds[1], report.data(), report.size()) < 0) _exit(4);
        _exit(0);
    }
    close(pipeFds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, n);
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
    EXPECT_EQ(report, "get=1\nthe record store '" + StorePath() +
                          "' is read-only, so its records cannot be changed");
}

TEST_F(StoreFailures, AStoreLockedPastTheBusyTimeoutIsReportedAsLocked) {
    Install();
    server::Database holder(StorePath(), server::Database::Mode::kOpenExisting, 100);
    holder.Execute("BEGIN IMMEDIATE", "hold the write lock");

    server::Store store(StorePath(), /*busyTimeoutMs=*/50);
    // Readers are not held up in WAL mode.
    EXPECT_THAT(store.List(server::sql::kListPostoffices),
                testing::Contains(std::vector<std::string>{"main"}));
    server::MailboxRecord mailbox;
    mailbox.postoffice = "main";
    mailbox.name = "alice";
    try {
        store.AddMailbox(mailbox);
        ADD_FAILURE() << "the add went through a held lock";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "the record store '" + StorePath() + "' is locked by another process");
    }

    holder.Execute("ROLLBACK", "release the write lock");
    EXPECT_TRUE(store.AddMailbox(mailbox));  // the failed call left no transaction open
}

}  // namespace
}  // namespace seedwell::server_test
