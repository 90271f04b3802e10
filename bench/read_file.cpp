// Reads a large and a small import file, each in its own child process, and prints the peak
// resident memory of both: reading must not hold the file in memory, so the two peaks should
// differ by no more than a few hundred KiB. Prints the reading speed too.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "support/fields.h"
#include "support/import_file.h"
#include "tests/fakes/temp_folder.h"

namespace {

using seedwell::platform::CodePage;

struct Measure {
    long lines = 0;
    std::size_t fieldBytes = 0;  // what the fields added up to, so their extraction counts
    double seconds = 0;
    long peakKiB = 0;
};

void WriteFile(const std::string& path, long lines) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string chunk;
    for (long i = 0; i < lines; ++i) {
        chunk += "main,user" + std::to_string(i) + "@example.com,Secret" + std::to_string(i * 7) +
                 "\r\n";
        if (chunk.size() > (1 << 16)) {
            out << chunk;
            chunk.clear();
        }
    }
    out << chunk;
    if (!out) {
        std::perror(path.c_str());
        std::exit(2);
    }
}

/// Reads `path` as the runs do (every line taken apart) in a child process.
Measure ReadInChild(const std::string& path) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        std::perror("pipe");
        std::exit(2);
    }
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        std::exit(2);
    }
    if (child == 0) {
        close(pipeEnds[0]);
        Measure result;
        int status = 0;
        try {
            const auto started = std::chrono::steady_clock::now();
            auto files = seedwell::platform::MakeSystemFileSystem();
            const CodePage utf8("UTF-8");
            seedwell::support::ImportFile file(*files, path, utf8,
                                               seedwell::support::FileEncoding::kUtf8);
            std::size_t total = 0;
            while (!file.AtEndOfStream()) {
                const std::string line = file.ReadLine();
                const std::string address = seedwell::support::GetField(line, ",", 2);
                total += seedwell::support::GetField(line, ",", 1).size() +
                         seedwell::support::GetField(address, "@", 1).size() +
                         seedwell::support::GetField(address, "@", 2).size();
            }
            result.lines = file.LineNumber();
            result.fieldBytes = total;
            result.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), error.what());
            status = 1;
        }
        if (write(pipeEnds[1], &result, sizeof result) != sizeof result) status = 1;
        _exit(status);
    }
    close(pipeEnds[1]);
    Measure result;
    if (read(pipeEnds[0], &result, sizeof result) != sizeof result) result.lines = -1;
    close(pipeEnds[0]);
    int status = 0;
    struct rusage usage {};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0 || result.lines < 0) {
        std::fprintf(stderr, "reading %s failed\n", path.c_str());
        std::exit(1);
    }
    result.peakKiB = usage.ru_maxrss;  // KiB on Linux
    return result;
}

}  // namespace

int main(int argc, char**) {
    if (argc > 1) {
        std::fputs("usage: bench_read_file (it takes no arguments)\n", stderr);
        return 2;
    }
    const seedwell::test_support::TempFolder folder;
    const std::string large = folder / "large.txt";
    const std::string small = folder / "small.txt";
    WriteFile(large, 1000000);
    WriteFile(small, 1000);

    const Measure big = ReadInChild(large);
    const Measure little = ReadInChild(small);
    if (big.lines != 1000000 || little.lines != 1000) {
        std::fprintf(stderr, "wrong line counts: %ld and %ld\n", big.lines, little.lines);
        return 1;
    }

    auto report = [](const char* name, const Measure& m) {
        std::printf("%-18s %9ld lines  peak RSS %7ld KiB  %12.0f lines/s\n", name, m.lines,
                    m.peakKiB, m.seconds > 0 ? double(m.lines) / m.seconds : 0.0);
    };
    report("1,000,000 lines:", big);
    report("1,000 lines:", little);
    std::printf("peak RSS difference: %ld KiB\n", big.peakKiB - little.peakKiB);
    return 0;
}
