#include "support/line_checks.h"
#include "base/ascii.h"
#include "base/printable.h"
#include "base/unicode.h"
#include "base/unicode_ranges.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace seedwell::support {
namespace {

constexpr std::size_t kMaxAddress = 254;
constexpr std::size_t kMaxLocalPart = 64;
constexpr std::size_t kMaxDomain = 253;
constexpr std::size_t kMaxLabel = 63;
constexpr std::size_t kShownBytes = 320;  // the longest address, and a little more
constexpr std::string_view kLocalSymbols = "!#$%&'*+-/=?^_`{|}~";
constexpr std::string_view kOtherSeparators = "; \t|";
constexpr std::string_view kCommas = ": the fields must be separated by commas";

using base::IsBlank;

bool IsAsciiLetterOrDigit(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// `text` for a message, quoted and cut between two characters after kShownBytes bytes.
std::string Shown(std::string_view text) { return base::Quoted(base::Cut(text, kShownBytes)); }

// True when the non-empty UTF-8 `part` begins with a combining mark, which would sit on what
// comes before it: the "@", a dot, or the quote of a message.
bool BeginsWithMark(std::string_view part) {
    return base::InRanges(base::MarkRanges(), base::DecodeUtf8(part, 0).first);
}

bool AllDecimalDigits(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto [code, length] = base::DecodeUtf8(text, at);
        if (!base::InRanges(base::DecimalDigitRanges(), code)) return false;
        at += length;
    }
    return true;
}

// Why the dots of `part` do not stand between two other characters; `what` names the part.
std::optional<std::string> DotProblem(std::string_view what, std::string_view part) {
    if (part.front() == '.') return std::string(what) + " begins with a dot";
    if (part.back() == '.') return std::string(what) + " ends with a dot";
    if (part.find("..") != std::string_view::npos) {
        return std::string(what) + " holds two dots in a row";
    }
    return std::nullopt;
}

// Why the characters of `part` other than dots are not all letters, digits or `symbols`.
std::optional<std::string> CharacterProblem(std::string_view part, std::string_view symbols,
                                            std::string_view where) {
    for (std::size_t at = 0; at < part.size();) {
        const auto [code, length] = base::DecodeUtf8(part, at);
        const bool allowed =
            code == '.' || (code < 0x80 ? IsAsciiLetterOrDigit(code) ||
                                              symbols.find(char(code)) != std::string_view::npos
                                        : IsAddressLetter(code));
        if (!allowed) {
            return "the character " + base::Quoted(part.substr(at, length)) + " is not allowed " +
                   std::string(where);
        }
        at += length;
    }
    return std::nullopt;
}

std::optional<std::string> LocalPartProblem(std::string_view local) {
    if (local.empty()) return "the part before the @ is empty";
    if (local.size() > kMaxLocalPart) {
        return "the part before the @ is longer than " + std::to_string(kMaxLocalPart) + " bytes";
    }
    if (auto problem = DotProblem("the part before the @", local)) return problem;
    if (auto problem = CharacterProblem(local, kLocalSymbols, "before the @")) return problem;
    if (BeginsWithMark(local)) return "the part before the @ begins with a combining mark";
    return std::nullopt;
}

std::optional<std::string> DomainProblem(std::string_view domain) {
    if (domain.empty()) return "the domain is empty";
    if (domain.size() > kMaxDomain) {
        return "the domain is longer than " + std::to_string(kMaxDomain) + " bytes";
    }
    if (auto problem = DotProblem("the domain", domain)) return problem;
    if (auto problem = CharacterProblem(domain, "-", "in the domain")) return problem;
    for (std::size_t start = 0; start <= domain.size();) {
        std::size_t end = domain.find('.', start);
        if (end == std::string_view::npos) end = domain.size();
        const std::string_view label = domain.substr(start, end - start);
        const std::string shown = "the domain's part " + Shown(label);
        if (label.size() > kMaxLabel) {
            return shown + " is longer than " + std::to_string(kMaxLabel) + " bytes";
        }
        if (label.front() == '-') return shown + " begins with a hyphen";
        if (label.back() == '-') return shown + " ends with a hyphen";
        if (BeginsWithMark(label)) return shown + " begins with a combining mark";
        start = end + 1;
    }
    // A top-level domain is never all digits, of whatever script; such a domain is a dotted IP
    // address or a typo.
    const std::string_view last = domain.substr(domain.rfind('.') + 1);
    if (AllDecimalDigits(last)) {
        return "the domain's last part " + Shown(last) + " holds only digits";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> SeparatorProblem(std::string_view line) {
    if (line.find(',') != std::string_view::npos) return std::nullopt;
    std::vector<std::string> found;
    if (line.find(';') != std::string_view::npos) found.push_back("semicolons");
    if (line.find('\t') != std::string_view::npos) found.push_back("tabs");
    if (line.find('|') != std::string_view::npos) found.push_back("vertical bars");
    if (found.empty() && line.find(' ') != std::string_view::npos) found.push_back("blanks");
    if (found.empty()) return std::nullopt;
    std::string joined;
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (i > 0) joined += i + 1 == found.size() ? " and " : ", ";
        joined += found[i];
    }
    return "it holds no comma but " + joined + std::string(kCommas);
}

bool HoldsOtherSeparator(std::string_view field) noexcept {
    return field.find_first_of(kOtherSeparators) != std::string_view::npos;
}

std::string NamedField(std::string_view what, std::string_view field) {
    if (HoldsOtherSeparator(field)) return std::string(what);
    return std::string(what) + " " + Shown(field);
}

std::optional<std::string> FieldSeparatorProblem(std::string_view what, std::string_view field) {
    const bool semicolon = field.find(';') != std::string_view::npos;
    const bool bar = field.find('|') != std::string_view::npos;
    if (!semicolon && !bar) return std::nullopt;
    const char* found = semicolon && bar ? "a semicolon and a vertical bar"
                        : semicolon      ? "a semicolon"
                                         : "a vertical bar";
    return std::string(what) + " holds " + found + std::string(kCommas);
}

std::optional<std::string> BlankProblem(std::string_view what, std::string_view field) {
    if (field.empty()) return std::nullopt;
    const char* edge = IsBlank(field.front()) ? "begins" : IsBlank(field.back()) ? "ends" : nullptr;
    if (!edge) return std::nullopt;
    return std::string(what) + " " + edge + " with a blank";
}

std::optional<std::string> QuoteProblem(std::string_view what, std::string_view field) {
    if (field.find('"') == std::string_view::npos) return std::nullopt;
    return NamedField(what, field) + " holds a double quote: the fields must not be quoted";
}

std::optional<std::string> PasswordQuoteProblem(std::string_view password) {
    if (!password.starts_with('"')) return std::nullopt;
    return "the password begins with a double quote: the fields must not be quoted";
}

std::optional<std::string> AddressProblem(std::string_view address) {
    auto invalid = [address](const std::string& reason) {
        return NamedField("the address", address) + " is not a valid e-mail address: " + reason;
    };
    const auto signs = std::count(address.begin(), address.end(), '@');
    if (signs == 0) return invalid("it holds no @ sign");
    if (signs == 2) return invalid("it holds two @ signs");
    if (signs > 2) return invalid("it holds " + std::to_string(signs) + " @ signs");
    const std::size_t at = address.find('@');
    if (auto problem = LocalPartProblem(address.substr(0, at))) return invalid(*problem);
    if (auto problem = DomainProblem(address.substr(at + 1))) return invalid(*problem);
    if (address.size() > kMaxAddress) {
        return invalid("it is longer than " + std::to_string(kMaxAddress) + " bytes");
    }
    return std::nullopt;
}

bool IsAddressLetter(char32_t code) noexcept {
    if (code < 0x80) return IsAsciiLetterOrDigit(static_cast<unsigned char>(code));
    return base::InRanges(base::LetterRanges(), code) || base::InRanges(base::MarkRanges(), code) ||
           base::InRanges(base::DecimalDigitRanges(), code);
}

}  // namespace seedwell::support
