// Runs every kept fuzz input (the seed corpora and the inputs that once broke something) through
// the fuzz programs' checks, in the normal build and under the sanitized one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/filesystem_std.h"
#include "support/text_stream.h"
#include "tests/fuzz/checks.h"

namespace seedwell::fuzz {
namespace {

namespace fs = std::filesystem;

struct Target {
    const char* name;
    std::string (*check)(std::string_view);
};

void PrintTo(const Target& target, std::ostream* out) { *out << target.name; }

std::vector<fs::path> FilesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    if (!fs::is_directory(dir)) return files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class Replay : public ::testing::TestWithParam<Target> {};

TEST_P(Replay, EveryKeptInputKeepsTheInvariants) {
    const fs::path root = SEEDWELL_FUZZ_DIR;
    const auto corpus = FilesIn(root / "corpus" / GetParam().name);
    EXPECT_GE(corpus.size(), 3u) << "the seed corpus of " << GetParam().name << " is missing";
    auto inputs = corpus;
    for (const auto& file : FilesIn(root / "regressions" / GetParam().name)) inputs.push_back(file);
    for (const auto& file : inputs) {
        EXPECT_EQ(GetParam().check(Bytes(file)), "") << file;
    }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, Replay,
                         ::testing::Values(Target{"getfield", CheckGetField},
                                           Target{"import_file", CheckImportFile},
                                           Target{"regfile", CheckRegFile}),
                         [](const auto& info) { return std::string(info.param.name); });

// Inputs larger than the fuzzer makes: lines at and past the length limit, with line ends at
// and across the edge of the stream's buffer.
TEST(ReplayLarge, LongLinesKeepTheInvariants) {
    const std::size_t limit = support::kMaxLineLength;
    const std::size_t buffer = support::kTextBufferSize;
    for (const std::string& file : {
             std::string(limit, 'a') + "\r\n" + std::string(limit, 'b'),
             std::string(limit, 'a') + "\r",                 // the lone CR counts
             "ok\n" + std::string(limit + 1, 'x') + "\r\n",  // one over
             std::string(buffer - 1, 'a') + "\r\nb\r\n",     // CR LF across the buffer's edge
             std::string(buffer, 'a') + "\r\n\xC3\xA9\r\n",
             std::string(buffer - 1, 'a') + "\xC3\xA9\n",  // a character across the edge
         }) {
        EXPECT_EQ(CheckImportFile(file), "") << "a file of " << file.size() << " bytes";
    }
}

}  // namespace
}  // namespace seedwell::fuzz
