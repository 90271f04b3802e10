#include "base/printable.h"

#include <gtest/gtest.h>

#include <string>

namespace seedwell::base {
namespace {

struct PrintableCase {
    std::string text;
    std::string shown;  // the text itself when it holds nothing to escape
};

class Printables : public ::testing::TestWithParam<PrintableCase> {};

TEST_P(Printables, EscapeControlFormatAndSeparatorCharactersAndKeepTheRest) {
    const PrintableCase& c = GetParam();
    EXPECT_EQ(Printable(c.text), c.shown);
    EXPECT_EQ(HoldsControlCharacter(c.text), c.shown != c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Printables,
    ::testing::Values(
        PrintableCase{"plain, Z\xC3\xBCrich \xC2\xA0\xE2\x80\x8A\xE2\x84\xA2 \xF0\x9F\x93\xAB",
                      "plain, Z\xC3\xBCrich \xC2\xA0\xE2\x80\x8A\xE2\x84\xA2 \xF0\x9F\x93\xAB"},
        PrintableCase{"a\tb\x1B[2J\x7F", "a\\x09b\\x1B[2J\\x7F"},
        PrintableCase{"c1 \xC2\x85\xC2\x9F", "c1 \\x85\\x9F"},
        PrintableCase{"soft\xC2\xADhyphen", "soft\\u{00AD}hyphen"},
        // The bidirectional controls, which would show the rest of a message reversed.
        PrintableCase{"ma\xE2\x80\xAA\xE2\x80\xAEin\xE2\x81\xA6\xE2\x81\xA9",
                      "ma\\u{202A}\\u{202E}in\\u{2066}\\u{2069}"},
        // Zero-width characters, and the line and paragraph separators.
        PrintableCase{"\xE2\x80\x8B\xE2\x80\x8F\xE2\x81\xA0\xEF\xBB\xBFx",
                      "\\u{200B}\\u{200F}\\u{2060}\\u{FEFF}x"},
        PrintableCase{"a\xE2\x80\xA8\x62\xE2\x80\xA9", "a\\u{2028}b\\u{2029}"},
        PrintableCase{"\xD8\x80\xF3\xA0\x80\x81\xF3\xA0\x81\xBF", "\\u{0600}\\u{E0001}\\u{E007F}"},
        // Bytes that are not UTF-8 are no characters and are kept, a cut sequence among them.
        PrintableCase{"\xFF\xC0\x85\xE2\x80", "\xFF\xC0\x85\xE2\x80"},
        PrintableCase{"\xE0\x82\x85", "\xE0\x82\x85"}));  // an overlong form of U+0085

TEST(Quoted, QuotesTheNameShownPrintable) {
    EXPECT_EQ(Quoted("bob"), "'bob'");
    EXPECT_EQ(Quoted(""), "''");
    EXPECT_EQ(Quoted(std::string_view("a\0b\x1B\xE2\x80\xAE", 7)), "'a\\x00b\\x1B\\u{202E}'");
}

struct CutCase {
    std::string_view text;
    std::size_t bytes;
    std::string cut;
};

class Cuts : public ::testing::TestWithParam<CutCase> {};

TEST_P(Cuts, KeepAStartThatEndsBetweenCharactersAndMarkTheCut) {
    EXPECT_EQ(Cut(GetParam().text, GetParam().bytes), GetParam().cut);
}

INSTANTIATE_TEST_SUITE_P(Table, Cuts,
                         ::testing::Values(CutCase{"short", 5, "short"}, CutCase{"", 0, ""},
                                           CutCase{"longer", 4, "long..."},
                                           // A two-byte character is not split.
                                           CutCase{"Z\xC3\xBCrich", 2, "Z..."},
                                           CutCase{"Z\xC3\xBCrich", 3, "Z\xC3\xBC..."}));

}  // namespace
}  // namespace seedwell::base
