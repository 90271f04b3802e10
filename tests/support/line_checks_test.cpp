#include "support/line_checks.h"

#include <gtest/gtest.h>

namespace seedwell::support {
namespace {

struct AddressCase {
    std::string address;
    std::string reason;  // after "is not a valid e-mail address: "; empty when valid
};

class Addresses : public ::testing::TestWithParam<AddressCase> {};

TEST_P(Addresses, AreMailAddressesOrSayWhichRuleTheyBreak) {
    const AddressCase& c = GetParam();
    const auto problem = AddressProblem(c.address);
    if (c.reason.empty()) {
        EXPECT_EQ(problem, std::nullopt);
    } else {
        EXPECT_EQ(problem,
                  "the address '" + c.address + "' is not a valid e-mail address: " + c.reason);
    }
}

const std::string k64(64, 'a');
const std::string k63(63, 'b');

INSTANTIATE_TEST_SUITE_P(
    Table, Addresses,
    ::testing::Values(
        AddressCase{"jsmith@example.com", ""}, AddressCase{"a.b+tag@mail.example.co.uk", ""},
        AddressCase{"!#$%&'*+-/=?^_`{|}~@x", ""},  // every symbol; a domain of one label
        AddressCase{"zo\xC3\xAB@b\xC3\xBC"
                    "cher.de",
                    ""},  // letters of any script
        AddressCase{"\xE7\x94\xB0\xE4\xB8\xAD@\xE4\xBE\x8B.jp", ""},
        AddressCase{k64 + "@" + k63 + "." + k63 + "." + k63 + "." + std::string(61, 'c'), ""},
        AddressCase{"x-1@a-b.c-d", ""}, AddressCase{"nodomain", "it holds no @ sign"},
        AddressCase{"dan@x@example.com", "it holds two @ signs"},
        AddressCase{"a@b@c@d", "it holds 3 @ signs"},
        AddressCase{"@example.com", "the part before the @ is empty"},
        AddressCase{k64 + "a@x", "the part before the @ is longer than 64 bytes"},
        AddressCase{".a@x", "the part before the @ begins with a dot"},
        AddressCase{"a.@x", "the part before the @ ends with a dot"},
        AddressCase{"a..b@x", "the part before the @ holds two dots in a row"},
        AddressCase{"a b@x", "the character ' ' is not allowed before the @"},
        AddressCase{"a(b)@x", "the character '(' is not allowed before the @"},
        AddressCase{"a\xC2\xA0"
                    "b@x",
                    "the character '\xC2\xA0' is not allowed before the @"},
        AddressCase{"\xE2\x80\x9C"
                    "a\xE2\x80\x9D@x",
                    "the character '\xE2\x80\x9C' is not allowed before the @"},
        AddressCase{"a@", "the domain is empty"},
        AddressCase{"gus@.com", "the domain begins with a dot"},
        AddressCase{"a@example.com.", "the domain ends with a dot"},
        AddressCase{"hal@example..com", "the domain holds two dots in a row"},
        AddressCase{"fay@exa mple.com", "the character ' ' is not allowed in the domain"},
        AddressCase{"a@ex_ample.com", "the character '_' is not allowed in the domain"},
        AddressCase{"a@" + k63 + "b.com",
                    "the domain's part '" + k63 + "b' is longer than 63 bytes"},
        AddressCase{"a@" + k63 + "." + k63 + "." + k63 + "." + std::string(62, 'c'),
                    "the domain is longer than 253 bytes"},
        AddressCase{"a@-x.com", "the domain's part '-x' begins with a hyphen"},
        AddressCase{"a@x-.com", "the domain's part 'x-' ends with a hyphen"}));

struct FieldCase {
    std::optional<std::string> (*check)(std::string_view, std::string_view);
    std::string field;
    std::optional<std::string> problem;
};

class Fields : public ::testing::TestWithParam<FieldCase> {};

TEST_P(Fields, WithABlankAtAnEdgeOrAQuoteAreNamed) {
    EXPECT_EQ(GetParam().check("the address", GetParam().field), GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Fields,
    ::testing::Values(
        FieldCase{BlankProblem, " carol@example.com",
                  "the address ' carol@example.com' begins with a blank"},
        FieldCase{BlankProblem, "carol@example.com\t",
                  "the address 'carol@example.com\\x09' ends with a blank"},
        FieldCase{BlankProblem, "a b", std::nullopt}, FieldCase{BlankProblem, "", std::nullopt},
        FieldCase{QuoteProblem, "\"ivy@example.com\"",
                  "the address '\"ivy@example.com\"' holds a double quote: the fields must not "
                  "be quoted"},
        FieldCase{QuoteProblem, "iv\"y",
                  "the address 'iv\"y' holds a double quote: the fields "
                  "must not be quoted"},
        FieldCase{QuoteProblem, "ivy'@x", std::nullopt}));

TEST(LineChecks, ALineWithoutCommasButOtherSeparatorsIsNamed) {
    const std::string advice = ": the fields must be separated by commas";
    EXPECT_EQ(SeparatorProblem("main;a@x.com;pw"), "it holds no comma but semicolons" + advice);
    EXPECT_EQ(SeparatorProblem("main\ta@x.com"), "it holds no comma but tabs" + advice);
    EXPECT_EQ(SeparatorProblem("a;b\tc"), "it holds no comma but semicolons and tabs" + advice);
    EXPECT_EQ(SeparatorProblem("main,a@x.com;x\ty"), std::nullopt);
    EXPECT_EQ(SeparatorProblem("main"), std::nullopt);
    EXPECT_EQ(PasswordQuoteProblem("\"pw\""),
              "the password begins with a double quote: the fields must not be quoted");
    EXPECT_EQ(PasswordQuoteProblem("p\"w"), std::nullopt);
}

}  // namespace
}  // namespace seedwell::support
