#pragma once

// What a line of the import file must look like to be used as it stands. Each check answers
// why a line or a field cannot be what the operator meant, or nullopt when it can; the runs
// pass such a line over with that reason. Names are shown through base::Printable; a
// password is never shown.

#include <optional>
#include <string>
#include <string_view>

namespace seedwell::support {

/// Why a line that holds no comma is no line of fields: "it holds no comma but semicolons: the
/// fields must be separated by commas" (or "but tabs", "but semicolons and tabs"). nullopt for
/// a line with a comma, or with neither semicolons nor tabs.
std::optional<std::string> SeparatorProblem(std::string_view line);

/// Why `field` begins or ends with a blank (a space or a tab): "the address ' a@x.com' begins
/// with a blank". `what` names the field ("the address").
std::optional<std::string> BlankProblem(std::string_view what, std::string_view field);

/// Why `field` holds a double quote, as a spreadsheet quotes a field: "the post office
/// '"main"' holds a double quote: the fields must not be quoted".
std::optional<std::string> QuoteProblem(std::string_view what, std::string_view field);

/// Why the password begins with a double quote, without showing it.
std::optional<std::string> PasswordQuoteProblem(std::string_view password);

/// Why the UTF-8 `address` is not a mail address: "the address 'dan@x@example.com' is not a
/// valid e-mail address: it holds two @ signs", naming the rule it breaks. An address is one
/// "@" between a local part and a domain, at most 254 bytes in all. The local part is 1 to 64
/// bytes of letters of any script, digits and !#$%&'*+-/=?^_`{|}~, with a dot only between two
/// of these. The domain is 1 to 253 bytes of labels joined by single dots, each 1 to 63 bytes of
/// letters, digits and hyphens, not beginning or ending with a hyphen; one label is enough, but
/// the last label is not all digits (as in a dotted IP address).
std::optional<std::string> AddressProblem(std::string_view address);

/// True when the code point is a letter or a digit as far as an address goes: ASCII letters and
/// digits, and every code point above U+007F whose general category in the Unicode Character
/// Database is a letter (L), a mark (M) or a decimal digit (Nd): see LetterRanges().
bool IsAddressLetter(char32_t code) noexcept;

}  // namespace seedwell::support
