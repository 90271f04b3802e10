#include <gtest/gtest.h>
#include <signal.h>

#include <set>
#include <sstream>

#include "server/sqlite.h"
#include "server_fixture.h"

namespace seedwell::server_test {
namespace {

// A running writer whose standard output is a pipe to this process.
class Writer {
  public:
    Writer(const std::string& registryFile, const std::string& prefix, int count) {
        int fds[2];
        if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            dup2(fds[1], STDOUT_FILENO);
            const std::string countText = std::to_string(count);
            execl(SERVER_TEST_WRITER, SERVER_TEST_WRITER, registryFile.c_str(), prefix.c_str(),
                  countText.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        out_ = fds[0];
    }
    ~Writer() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
        if (out_ >= 0) close(out_);
    }

    /// Reads reports until `lines` have come or the pipe ends; answers the lines read so far.
    std::vector<long> ReadReports(std::size_t lines = SIZE_MAX) {
        char buffer[4096];
        while (Reports().size() < lines) {
            const ssize_t n = read(out_, buffer, sizeof buffer);
            if (n <= 0) break;
            text_.append(buffer, static_cast<std::size_t>(n));
        }
        return Reports();
    }
    void Kill() { kill(pid_, SIGKILL); }
    /// The exit status, or -1 when it did not exit normally.
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    std::vector<long> Reports() const {
        std::vector<long> numbers;
        std::istringstream in(text_.substr(0, text_.rfind('\n') + 1));
        for (long n; in >> n;) numbers.push_back(n);
        return numbers;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string text_;
};

using Processes = ServerFixture;

TEST_F(Processes, EveryAddThatReturnedSurvivesTheWriterBeingKilled) {
    Writer writer(registryFile_, "k", 0);
    ASSERT_GE(writer.ReadReports(300).size(), 300u);
    writer.Kill();
    const std::vector<long> reported = writer.ReadReports();
    EXPECT_EQ(writer.Wait(), -1);

    {
        server::Database db(StorePath(), server::Database::Mode::kOpenExisting, 5000);
        server::Statement check(db, "PRAGMA integrity_check");
        ASSERT_TRUE(check.Step());
        EXPECT_EQ(check.ColumnText(0), "ok");
    }
    server::Store store(StorePath());
    for (long i : reported) {
        const std::string name = "k" + std::to_string(i);
        ASSERT_TRUE(store.GetMailbox("main", name)) << name;
        ASSERT_TRUE(store.GetAddressMap("[SMTP:" + name + "@example.com]")) << name;
    }
}

TEST_F(Processes, TwoWritersAtOnceBothFinishWithoutALockFailure) {
    constexpr int kEach = 1000;
    Writer first(registryFile_, "a", kEach);
    Writer second(registryFile_, "b", kEach);
    EXPECT_EQ(first.ReadReports().size(), std::size_t{kEach});
    EXPECT_EQ(second.ReadReports().size(), std::size_t{kEach});
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);
    server::Store store(StorePath());
    EXPECT_EQ(store.List(server::sql::kListMailboxes).size(), std::size_t{2 * kEach});
    EXPECT_EQ(store.List(server::sql::kListAddressMaps).size(), std::size_t{2 * kEach});
}

}  // namespace
}  // namespace seedwell::server_test
