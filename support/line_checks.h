#pragma once

// What a line of the import file must look like to be used as it stands. Each check answers
// why a line or a field cannot be what the operator meant, or nullopt when it can; the runs
// pass such a line over with that reason. Names are shown through base::Printable, a field
// that holds another export's separator never (HoldsOtherSeparator), a password never.

#include <optional>
#include <string>
#include <string_view>

namespace seedwell::support {

/// Why a line that holds no comma is no line of fields: "it holds no comma but semicolons: the
/// fields must be separated by commas" (or "but tabs", "but vertical bars", "but semicolons and
/// tabs", "but semicolons, tabs and vertical bars"; "but blanks" when it holds none of these).
/// nullopt for a line with a comma, or with none of these separators.
std::optional<std::string> SeparatorProblem(std::string_view line);

/// True when `field` holds a semicolon, a tab, a blank or a vertical bar: the separators of
/// other exports. A field that holds one and fails its check may hold the rest of its line, a
/// password among it, so the checks below never show it (see NamedField), nor do the runs.
bool HoldsOtherSeparator(std::string_view field) noexcept;

/// `what` followed by the field as the checks show it: "the address 'a@x.com'", through
/// base::Printable and cut after 320 bytes; `what` alone when HoldsOtherSeparator(field).
std::string NamedField(std::string_view what, std::string_view field);

/// Why `field` holds a semicolon or a vertical bar, which no post office may: "the post office
/// holds a semicolon: the fields must be separated by commas" (a semicolon export whose next
/// column held a comma). `what` names the field; the field itself is not shown.
std::optional<std::string> FieldSeparatorProblem(std::string_view what, std::string_view field);

/// Why `field` begins or ends with a blank (a space or a tab): "the address begins with a
/// blank". `what` names the field ("the address"); the field, which holds a blank, is not shown.
std::optional<std::string> BlankProblem(std::string_view what, std::string_view field);

/// Why `field` holds a double quote, as a spreadsheet quotes a field: "the post office
/// '"main"' holds a double quote: the fields must not be quoted" (the field as NamedField
/// shows it).
std::optional<std::string> QuoteProblem(std::string_view what, std::string_view field);

/// Why the password begins with a double quote, without showing it.
std::optional<std::string> PasswordQuoteProblem(std::string_view password);

/// Why the UTF-8 `address` is not a mail address: "the address 'dan@x@example.com' is not a
/// valid e-mail address: it holds two @ signs", naming the rule it breaks (the address as
/// NamedField shows it). An address is one "@" between a local part and a domain, at most 254
/// bytes in all. The local part is 1 to 64 bytes of letters of any script, digits and
/// !#$%&'*+-/=?^_`{|}~, with a dot only between two of these, and does not begin with a
/// combining mark. The domain is 1 to 253 bytes of labels joined by single dots, each 1 to 63
/// bytes of letters, digits and hyphens, not beginning or ending with a hyphen nor beginning
/// with a combining mark; one label is enough, but the last label is not all decimal digits of
/// any script (as in a dotted IP address).
std::optional<std::string> AddressProblem(std::string_view address);

/// True when the code point is a letter or a digit as far as an address goes: ASCII letters and
/// digits, and every code point above U+007F whose general category in the Unicode Character
/// Database is a letter (L), a mark (M) or a decimal digit (Nd): see base/unicode_ranges.h.
bool IsAddressLetter(char32_t code) noexcept;

}  // namespace seedwell::support
