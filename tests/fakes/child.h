#pragma once

// Running a piece of a test or a benchmark in a forked child process: what it hands back, how it
// ended, and what it used. POSIX only.

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace seedwell::test_support {

/// What a child's body hands back to the parent, and the code the child exits with.
struct ChildReport {
    std::string output;
    int exitCode = 0;
};

/// How a child process ended and what it used.
struct ChildResult {
    int exitCode = -1;      ///< -1 when it did not exit normally
    int signal = 0;         ///< the signal that ended it, if one did
    std::string output;     ///< what the body handed back
    double seconds = 0;     ///< wall time from the fork to the child's end
    long peakKiB = 0;       ///< its peak resident memory
    double cpuSeconds = 0;  ///< its user and system time
};

/// Runs `body` in a forked child, this process's buffered output written out first so that the
/// child does not write it again, and answers what the body handed back. A body that throws is
/// reported as "exception: <what>" with exit code 3. Throws std::runtime_error when the pipe,
/// the fork or the wait fails.
inline ChildResult InChild(const std::function<ChildReport()>& body) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(fds[0]);
        ChildReport report;
        try {
            report = body();
        } catch (const std::exception& error) {
            report = {std::string("exception: ") + error.what(), 3};
        } catch (...) {
            report = {"unknown exception", 3};
        }
        std::size_t done = 0;
        while (done < report.output.size()) {
            const ssize_t n =
                write(fds[1], report.output.data() + done, report.output.size() - done);
            if (n <= 0) break;
            done += std::size_t(n);
        }
        _exit(report.exitCode);
    }
    close(fds[1]);
    ChildResult result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.output.append(buffer, std::size_t(n));
    }
    close(fds[0]);
    int status = 0;
    struct rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) throw std::runtime_error("wait4 failed");
    }
    const auto stop = std::chrono::steady_clock::now();
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    auto secondsOf = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
    result.seconds = std::chrono::duration<double>(stop - start).count();
    result.peakKiB = usage.ru_maxrss;  // KiB on Linux
    result.cpuSeconds = secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
    return result;
}

}  // namespace seedwell::test_support
