#include "support/names.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace seedwell::support {
namespace {

struct NameCase {
    std::string name;
    std::optional<std::string> problem;  // after "the mailbox name "
};

class FolderNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(FolderNames, AreDescribedWithTheNameMadePrintable) {
    const NameCase& c = GetParam();
    EXPECT_EQ(
        FolderNameProblem("the mailbox name", c.name),
        c.problem ? std::optional<std::string>("the mailbox name " + *c.problem) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FolderNames,
    ::testing::Values(
        NameCase{std::string(255, 'a'), std::nullopt},
        NameCase{"Z\xC3\xBCrich \xC2\xA0", std::nullopt}, NameCase{"", "is empty"},
        NameCase{"..", "'..' cannot be a folder name"},
        // The start shown of a long name is cut between characters, not inside the two bytes.
        NameCase{std::string(39, 'x') + "\xC3\xA9" + std::string(230, 'y'),
                 "'" + std::string(39, 'x') +
                     "...' is longer than 255 bytes, too long for a "
                     "folder name"},
        NameCase{"a\\b", "'a\\b' holds a folder separator"},
        NameCase{"\x1B[2J", "'\\x1B[2J' holds a control or format character"},
        NameCase{"a\xC2\x85z\x7F", "'a\\x85z\\x7F' holds a control or format character"},
        NameCase{"ma\xE2\x80\xAEin", "'ma\\u{202E}in' holds a control or format character"}));

TEST(FolderNameProblem, CanDescribeANameWithoutShowingIt) {
    EXPECT_EQ(FolderNameProblem("the post office name", "a\tb", false),
              "the post office name holds a control or format character");
    EXPECT_EQ(FolderNameProblem("the post office name", "a b/c", false),
              "the post office name holds a folder separator");
    EXPECT_EQ(FolderNameProblem("the post office name", std::string(300, 'x') + " y", false),
              "the post office name is longer than 255 bytes, too long for a folder name");
}

}  // namespace
}  // namespace seedwell::support
