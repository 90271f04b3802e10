#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/names.h"

namespace seedwell::platform {
namespace {

std::string Repeat(std::string_view piece, int times) {
    std::string out;
    while (times-- > 0) out += piece;
    return out;
}

struct NameCase {
    std::string name;
    std::optional<std::string> problem;  // after "the mailbox name "
};

class FolderNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(FolderNames, AreDescribedWithTheNameMadePrintable) {
    const NameCase& c = GetParam();
    const auto problem = FolderNameProblem("the mailbox name", c.name);
    if (!c.problem) {
        EXPECT_EQ(problem, std::nullopt);
    } else {
        EXPECT_EQ(problem, "the mailbox name " + *c.problem);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FolderNames,
    ::testing::Values(
        NameCase{"j.smith-01 x", std::nullopt}, NameCase{std::string(255, 'a'), std::nullopt},
        NameCase{"Z\xC3\xBCrich \xE2\x82\xAC\xC2\xA0", std::nullopt},  // no control among them
        NameCase{"", "is empty"}, NameCase{".", "'.' cannot be a folder name"},
        NameCase{"..", "'..' cannot be a folder name"},
        NameCase{std::string(256, 'a'), "'" + std::string(40, 'a') +
                                            "...' is longer than 255 bytes, too long for a "
                                            "folder name"},
        // The shown start is cut between characters, not inside one.
        NameCase{"a" + Repeat("\xC3\xA9", 150), "'a" + Repeat("\xC3\xA9", 19) +
                                                    "...' is longer than 255 bytes, too long for "
                                                    "a folder name"},
        NameCase{"a/b", "'a/b' holds a folder separator"},
        NameCase{"a\\b", "'a\\b' holds a folder separator"},
        NameCase{"a\tb", "'a\\x09b' holds a control character"},
        NameCase{"a\x7F", "'a\\x7F' holds a control character"},
        NameCase{"\x1B[2J", "'\\x1B[2J' holds a control character"},
        NameCase{"a\xC2\x85z", "'a\\x85z' holds a control character"},
        NameCase{"a\xC2\x9F", "'a\\x9F' holds a control character"}));

TEST(Printable, ShowsEveryControlCharacterByItsCodeAndKeepsTheRest) {
    EXPECT_EQ(Printable(std::string("a\0b\r\n", 5)), "a\\x00b\\x0D\\x0A");
    EXPECT_EQ(Printable("\xC2\x80\xC2\xA0\xC3\xA9\x7F"), "\\x80\xC2\xA0\xC3\xA9\\x7F");
    EXPECT_FALSE(HoldsControlCharacter("\xC2\xA0 plain \xE2\x80\xA6"));
    EXPECT_TRUE(HoldsControlCharacter("x\xC2\x9B"));
}

}  // namespace
}  // namespace seedwell::platform
