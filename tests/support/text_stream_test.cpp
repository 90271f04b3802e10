#include "support/text_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/error.h"

namespace seedwell::support {
namespace {

using platform::ByteSource;

/// Hands out `bytes` at most `chunk` bytes per read, then fails if `failAtEnd`.
class MemorySource : public ByteSource {
  public:
    MemorySource(std::string bytes, std::size_t chunk, bool failAtEnd = false)
        : bytes_(std::move(bytes)), chunk_(chunk), failAtEnd_(failAtEnd) {}
    std::size_t Read(char* buffer, std::size_t size) override {
        const std::size_t count = std::min({size, chunk_, bytes_.size() - pos_});
        if (count == 0 && failAtEnd_) throw Error("cannot read the file 'x': Input/output error");
        std::memcpy(buffer, bytes_.data() + pos_, count);
        pos_ += count;
        return count;
    }

  private:
    std::string bytes_;
    std::size_t chunk_;
    bool failAtEnd_;
    std::size_t pos_ = 0;
};

std::vector<std::string> ReadAll(std::string bytes, std::size_t chunk,
                                 LineUnits units = LineUnits::kBytes) {
    TextStream stream(std::make_unique<MemorySource>(std::move(bytes), chunk), units);
    std::vector<std::string> lines;
    while (!stream.AtEndOfStream()) lines.push_back(stream.ReadLine());
    return lines;
}

using Lines = std::vector<std::string>;

class TextStreamChunks : public ::testing::TestWithParam<std::size_t> {};

TEST_P(TextStreamChunks, SplitsLinesWhereverTheReadsEnd) {
    const std::size_t chunk = GetParam();
    EXPECT_EQ(ReadAll("", chunk), Lines{});
    EXPECT_EQ(ReadAll("a,b\r\nc,d\r\n", chunk), (Lines{"a,b", "c,d"}));
    EXPECT_EQ(ReadAll("a\nb\n", chunk), (Lines{"a", "b"}));
    EXPECT_EQ(ReadAll("a\r\nlast", chunk), (Lines{"a", "last"}));
    EXPECT_EQ(ReadAll("a\r\n\r\nb", chunk), (Lines{"a", "", "b"}));
    EXPECT_EQ(ReadAll("\n", chunk), Lines{""});
    // A lone CR ends a line too (old Mac files); a CR LF split between two reads is one end.
    EXPECT_EQ(ReadAll("one\rtwo\rthree", chunk), (Lines{"one", "two", "three"}));
    EXPECT_EQ(ReadAll("ends in cr\r", chunk), Lines{"ends in cr"});
    EXPECT_EQ(ReadAll("a\r\r\nb", chunk), (Lines{"a", "", "b"}));
    EXPECT_EQ(ReadAll("a\n\rb\r\n\n", chunk), (Lines{"a", "", "b", ""}));
    EXPECT_EQ(ReadAll("\r\n\r", chunk), (Lines{"", ""}));
}

/// Each character of `text` as one 16-bit unit.
std::string Units(std::string_view text, bool bigEndian) {
    std::string units;
    for (char c : text) units += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return units;
}

TEST_P(TextStreamChunks, SplitsUtf16LinesAtWholeUnitsWhereverTheReadsEnd) {
    const std::size_t chunk = GetParam();
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "big end first" : "little end first");
        const LineUnits units = big ? LineUnits::kUtf16Be : LineUnits::kUtf16Le;
        const auto u = [big](std::string_view text) { return Units(text, big); };
        EXPECT_EQ(ReadAll(u("a,b\r\nc\nd"), chunk, units), (Lines{u("a,b"), u("c"), u("d")}));
        EXPECT_EQ(ReadAll(u("one\rtwo\r"), chunk, units), (Lines{u("one"), u("two")}));
        EXPECT_EQ(ReadAll(u("a\r\r\nb\n\n"), chunk, units), (Lines{u("a"), u(""), u("b"), u("")}));
        // A byte 0x0A or 0x0D in a unit that is no line end is text.
        const std::string notEnds = big ? std::string("\x0A\x0D\x0D\x0A", 4) : "\x0D\x0A\x0A\x0D";
        EXPECT_EQ(ReadAll(notEnds, chunk, units), Lines{notEnds});
        // A last byte without its pair ends the last line.
        EXPECT_EQ(ReadAll(u("a\n") + "x", chunk, units), (Lines{u("a"), "x"}));
        EXPECT_EQ(ReadAll(u("a") + "x", chunk, units), Lines{u("a") + "x"});
    }
}

INSTANTIATE_TEST_SUITE_P(ReadSizes, TextStreamChunks,
                         ::testing::Values(std::size_t{1}, std::size_t{2}, std::size_t{3},
                                           kTextBufferSize));

TEST(TextStream, LineLengthIsBoundedNotCountingTheLineEnd) {
    const std::string longest(kMaxLineLength, 'x');
    EXPECT_EQ(ReadAll(longest + "\r\nnext", kTextBufferSize), (Lines{longest, "next"}));
    EXPECT_EQ(ReadAll(longest, 7000), Lines{longest});

    EXPECT_EQ(ReadAll(longest + "\r" + longest, kTextBufferSize), (Lines{longest, longest}));

    for (const std::string& tail : {std::string("x"), std::string("x\r\n"), std::string("x\r")}) {
        TextStream stream(
            std::make_unique<MemorySource>("first\n" + longest + tail, kTextBufferSize));
        EXPECT_EQ(stream.ReadLine(), "first");
        try {
            stream.ReadLine();
            FAIL() << "a line over the limit was handed out";
        } catch (const Error& error) {
            EXPECT_STREQ(error.what(), "line 2 is longer than 1048576 bytes");
        }
    }
}

TEST(TextStream, MisuseAndReadErrorsAreReported) {
    TextStream stream(std::make_unique<MemorySource>("only", 2, /*failAtEnd=*/true));
    EXPECT_THROW(stream.ReadLine(), Error);  // the read error at the end is not swallowed

    TextStream done(std::make_unique<MemorySource>("x\n", 10));
    EXPECT_EQ(done.ReadLine(), "x");
    EXPECT_TRUE(done.AtEndOfStream());
    EXPECT_THROW(done.ReadLine(), Error);
    done.Close();
    done.Close();
    EXPECT_THROW(done.AtEndOfStream(), Error);
}

}  // namespace
}  // namespace seedwell::support
