#include "base/line_ends.h"

#include <gtest/gtest.h>

#include <string>

namespace seedwell::base {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

struct LineEndCase {
    std::string text;
    LineUnits units;
    std::size_t withCr;  // FindLineEnd with crEnds
    std::size_t lfOnly;  // and without
};

class FindLineEndTest : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(FindLineEndTest, FindsTheFirstWholeUnitThatEndsALine) {
    const LineEndCase& c = GetParam();
    EXPECT_EQ(FindLineEnd(c.text, c.units, true), c.withCr);
    EXPECT_EQ(FindLineEnd(c.text, c.units, false), c.lfOnly);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FindLineEndTest,
    ::testing::Values(LineEndCase{"", LineUnits::kBytes, kNone, kNone},
                      LineEndCase{"ab", LineUnits::kBytes, kNone, kNone},
                      LineEndCase{"ab\r\nc\n", LineUnits::kBytes, 2, 3},
                      LineEndCase{"a\nb\r", LineUnits::kBytes, 1, 1},
                      LineEndCase{"a\r", LineUnits::kBytes, 1, kNone},
                      LineEndCase{std::string("a\0\r\0\n\0", 6), LineUnits::kUtf16Le, 2, 4},
                      LineEndCase{std::string("\0a\0\r\0\n", 6), LineUnits::kUtf16Be, 2, 4},
                      // Bytes of a line end inside other units, or a unit cut short, end nothing.
                      LineEndCase{std::string("\0\n\0\r", 4), LineUnits::kUtf16Le, kNone, kNone},
                      LineEndCase{std::string("\n\0\r\0", 4), LineUnits::kUtf16Be, kNone, kNone},
                      LineEndCase{std::string("a\0\n", 3), LineUnits::kUtf16Le, kNone, kNone}));

}  // namespace
}  // namespace seedwell::base
