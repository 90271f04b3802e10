#include "support/line_checks.h"

#include <gtest/gtest.h>
#include <cstdint>

namespace seedwell::support {
namespace {

struct AddressCase {
    std::string address;
    std::string reason;  // after "is not a valid e-mail address: "; empty when valid
    bool shown = true;   // false for an address that holds a blank, a semicolon, a tab or a bar
};

class Addresses : public ::testing::TestWithParam<AddressCase> {};

TEST_P(Addresses, AreMailAddressesOrSayWhichRuleTheyBreak) {
    const AddressCase& c = GetParam();
    const auto problem = AddressProblem(c.address);
    if (c.reason.empty()) {
        EXPECT_EQ(problem, std::nullopt);
    } else {
        EXPECT_EQ(problem, (c.shown ? "the address '" + c.address + "'" : "the address") +
                               " is not a valid e-mail address: " + c.reason);
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
        AddressCase{k64 + "@" + k63 + "." + k63 + "." + std::string(61, 'c'), ""},  // 254 bytes
        AddressCase{k64 + "@" + k63 + "." + k63 + "." + std::string(62, 'c'),
                    "it is longer than 254 bytes"},
        AddressCase{"a@1.2.3.x4", ""}, AddressCase{"x-1@a-b.c-d", ""},
        AddressCase{"nodomain", "it holds no @ sign"},
        AddressCase{"dan@x@example.com", "it holds two @ signs"},
        AddressCase{"a@b@c@d", "it holds 3 @ signs"},
        AddressCase{"@example.com", "the part before the @ is empty"},
        AddressCase{k64 + "a@x", "the part before the @ is longer than 64 bytes"},
        AddressCase{".a@x", "the part before the @ begins with a dot"},
        AddressCase{"a.@x", "the part before the @ ends with a dot"},
        AddressCase{"a..b@x", "the part before the @ holds two dots in a row"},
        AddressCase{"a b@x", "the character ' ' is not allowed before the @", false},
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
        AddressCase{"fay@exa mple.com", "the character ' ' is not allowed in the domain", false},
        AddressCase{"bob@example.com;Hunter2", "the character ';' is not allowed in the domain",
                    false},
        AddressCase{"a|b@example.com|x", "the character '|' is not allowed in the domain", false},
        AddressCase{"a@ex_ample.com", "the character '_' is not allowed in the domain"},
        AddressCase{"a@" + k63 + "b.com",
                    "the domain's part '" + k63 + "b' is longer than 63 bytes"},
        AddressCase{"a@" + k63 + "." + k63 + "." + k63 + "." + std::string(62, 'c'),
                    "the domain is longer than 253 bytes"},
        AddressCase{"a@-x.com", "the domain's part '-x' begins with a hyphen"},
        AddressCase{"a@x-.com", "the domain's part 'x-' ends with a hyphen"},
        AddressCase{"test@iana.123", "the domain's last part '123' holds only digits"},
        AddressCase{"test@255.255.255.255", "the domain's last part '255' holds only digits"},
        // Decimal digits of any script are digits; a letter among them makes a name.
        AddressCase{"a@example.\xEF\xBC\x91\xEF\xBC\x92\xEF\xBC\x93",
                    "the domain's last part '\xEF\xBC\x91\xEF\xBC\x92\xEF\xBC\x93' holds only "
                    "digits"},
        AddressCase{"a@example.\xD9\xA1\xD9\xA2",
                    "the domain's last part '\xD9\xA1\xD9\xA2' holds only digits"},
        AddressCase{"a@example.\xD9\xA1x", ""},
        // A combining mark begins neither the local part nor a label; within them it is a letter.
        AddressCase{"\xCC\x81@x", "the part before the @ begins with a combining mark"},
        AddressCase{"\xF3\xA0\x84\x80"
                    "a@x",
                    "the part before the @ begins with a combining mark"},
        AddressCase{"a@x.\xCC\x81y", "the domain's part '\xCC\x81y' begins with a combining mark"},
        AddressCase{"a@\xF3\xA0\x84\x80.com",
                    "the domain's part '\xF3\xA0\x84\x80' begins with a combining mark"},
        AddressCase{"e\xCC\x81@e\xCC\x81.com", ""}));

struct LetterCase {
    char32_t code;
    const char* category;  // its general category, for the failure message
    bool letter;
};

class Letters : public ::testing::TestWithParam<LetterCase> {};

TEST_P(Letters, AreTheLettersMarksAndDecimalDigitsOfUnicode) {
    EXPECT_EQ(IsAddressLetter(GetParam().code), GetParam().letter)
        << "U+" << std::hex << std::uppercase << static_cast<std::uint32_t>(GetParam().code) << " ("
        << GetParam().category << ")";
}

INSTANTIATE_TEST_SUITE_P(
    Table, Letters,
    ::testing::Values(
        LetterCase{U'z', "Ll", true}, LetterCase{U'7', "Nd", true}, LetterCase{U'_', "Pc", false},
        LetterCase{0xC9, "Lu", true}, LetterCase{0x3B1, "Ll", true}, LetterCase{0x1C5, "Lt", true},
        LetterCase{0x2B0, "Lm", true}, LetterCase{0x5D0, "Lo", true},
        LetterCase{0x4E2D, "Lo, within a range of the database", true},
        LetterCase{0xD7A3, "Lo, the end of a range", true}, LetterCase{0x30000, "Lo", true},
        LetterCase{0x301, "Mn", true}, LetterCase{0xFE0F, "Mn", true},
        LetterCase{0xE0100, "Mn", true}, LetterCase{0x903, "Mc", true},
        LetterCase{0x1D165, "Mc", true}, LetterCase{0x20DD, "Me", true},
        LetterCase{0x660, "Nd", true}, LetterCase{0xBE6, "Nd", true},
        LetterCase{0x1FBF0, "Nd", true}, LetterCase{0x216B, "Nl", false},
        LetterCase{0xB2, "No", false}, LetterCase{0xBD, "No", false},
        LetterCase{0x203F, "Pc", false}, LetterCase{0x2014, "Pd", false},
        LetterCase{0x300C, "Ps", false}, LetterCase{0xAB, "Pi", false},
        LetterCase{0xBB, "Pf", false}, LetterCase{0x3002, "Po", false},
        LetterCase{0x2212, "Sm", false}, LetterCase{0x20AC, "Sc", false},
        LetterCase{0x2C2, "Sk", false}, LetterCase{0x2122, "So", false},
        LetterCase{0xBF3, "So", false}, LetterCase{0x1F600, "So", false},
        LetterCase{0xA0, "Zs", false}, LetterCase{0x2028, "Zl", false},
        LetterCase{0x2029, "Zp", false}, LetterCase{0x85, "Cc", false},
        LetterCase{0x200D, "Cf", false}, LetterCase{0xFEFF, "Cf", false},
        LetterCase{0x13430, "Cf", false}, LetterCase{0x13438, "Cf", false},
        LetterCase{0xD800, "Cs", false}, LetterCase{0xE000, "Co", false},
        LetterCase{0xD7A4, "Cn, just after a range", false}, LetterCase{0x378, "Cn", false},
        LetterCase{0xFFFE, "Cn", false}, LetterCase{0x10FFFF, "Cn", false},
        LetterCase{0x110000, "beyond Unicode", false}));

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
        FieldCase{BlankProblem, " carol@example.com", "the address begins with a blank"},
        FieldCase{BlankProblem, "carol@example.com\t", "the address ends with a blank"},
        FieldCase{BlankProblem, "a b", std::nullopt}, FieldCase{BlankProblem, "", std::nullopt},
        FieldCase{QuoteProblem, "\"ivy@example.com\"",
                  "the address '\"ivy@example.com\"' holds a double quote: the fields must not "
                  "be quoted"},
        FieldCase{QuoteProblem, "iv\"y",
                  "the address 'iv\"y' holds a double quote: the fields "
                  "must not be quoted"},
        FieldCase{QuoteProblem, "ivy'@x", std::nullopt},
        FieldCase{QuoteProblem, "\"ivy@example.com pw\"",
                  "the address holds a double quote: the fields must not be quoted"}));

TEST(LineChecks, ALineWithoutCommasButOtherSeparatorsIsNamed) {
    const std::string advice = ": the fields must be separated by commas";
    EXPECT_EQ(SeparatorProblem("main;a@x.com;pw"), "it holds no comma but semicolons" + advice);
    EXPECT_EQ(SeparatorProblem("main\ta@x.com"), "it holds no comma but tabs" + advice);
    EXPECT_EQ(SeparatorProblem("main|a@x.com"), "it holds no comma but vertical bars" + advice);
    EXPECT_EQ(SeparatorProblem("a;b\tc"), "it holds no comma but semicolons and tabs" + advice);
    EXPECT_EQ(SeparatorProblem("a;b c|d"),
              "it holds no comma but semicolons and vertical bars" + advice);
    EXPECT_EQ(SeparatorProblem("main a@x.com pw"), "it holds no comma but blanks" + advice);
    EXPECT_EQ(SeparatorProblem("main,a@x.com;x\ty"), std::nullopt);
    EXPECT_EQ(SeparatorProblem("main"), std::nullopt);
    EXPECT_EQ(FieldSeparatorProblem("the post office", "main"), std::nullopt);
    EXPECT_EQ(FieldSeparatorProblem("the post office", "main office\t"), std::nullopt);
    EXPECT_EQ(PasswordQuoteProblem("\"pw\""),
              "the password begins with a double quote: the fields must not be quoted");
    EXPECT_EQ(PasswordQuoteProblem("p\"w"), std::nullopt);
}

}  // namespace
}  // namespace seedwell::support
