#include "support/line_checks.h"
#include "base/ascii.h"
#include "base/printable.h"
#include "base/unicode.h"
#include "support/letter_ranges.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <span>
#include <utility>

namespace seedwell::support {
namespace {

using base::Printable;

constexpr std::size_t kMaxAddress = 254;
constexpr std::size_t kMaxLocalPart = 64;
constexpr std::size_t kMaxDomain = 253;
constexpr std::size_t kMaxLabel = 63;
constexpr std::size_t kShownBytes = 320;  // the longest address, and a little more
constexpr std::string_view kLocalSymbols = "!#$%&'*+-/=?^_`{|}~";

using base::IsBlank;

bool IsAsciiLetterOrDigit(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// `text` for a message, cut between two characters after kShownBytes bytes.
std::string Shown(std::string_view text) {
    if (text.size() <= kShownBytes) return Printable(text);
    return Printable(base::Utf8Prefix(text, kShownBytes)) + "...";
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
            return "the character '" + Printable(part.substr(at, length)) + "' is not allowed " +
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
    return CharacterProblem(local, kLocalSymbols, "before the @");
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
        const std::string shown = "the domain's part '" + Shown(label) + "'";
        if (label.size() > kMaxLabel) {
            return shown + " is longer than " + std::to_string(kMaxLabel) + " bytes";
        }
        if (label.front() == '-') return shown + " begins with a hyphen";
        if (label.back() == '-') return shown + " ends with a hyphen";
        start = end + 1;
    }
    // A top-level domain is never all digits; such a domain is a dotted IP address or a typo.
    const std::string_view last = domain.substr(domain.rfind('.') + 1);
    if (std::all_of(last.begin(), last.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return "the domain's last part '" + Shown(last) + "' holds only digits";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> SeparatorProblem(std::string_view line) {
    if (line.find(',') != std::string_view::npos) return std::nullopt;
    const bool semicolons = line.find(';') != std::string_view::npos;
    const bool tabs = line.find('\t') != std::string_view::npos;
    if (!semicolons && !tabs) return std::nullopt;
    const char* found = semicolons && tabs ? "semicolons and tabs"
                        : semicolons       ? "semicolons"
                                           : "tabs";
    return std::string("it holds no comma but ") + found +
           ": the fields must be separated by commas";
}

std::optional<std::string> BlankProblem(std::string_view what, std::string_view field) {
    if (field.empty()) return std::nullopt;
    const char* edge = IsBlank(field.front()) ? "begins" : IsBlank(field.back()) ? "ends" : nullptr;
    if (!edge) return std::nullopt;
    return std::string(what) + " '" + Shown(field) + "' " + edge + " with a blank";
}

std::optional<std::string> QuoteProblem(std::string_view what, std::string_view field) {
    if (field.find('"') == std::string_view::npos) return std::nullopt;
    return std::string(what) + " '" + Shown(field) +
           "' holds a double quote: the fields must not be quoted";
}

std::optional<std::string> PasswordQuoteProblem(std::string_view password) {
    if (!password.starts_with('"')) return std::nullopt;
    return "the password begins with a double quote: the fields must not be quoted";
}

std::optional<std::string> AddressProblem(std::string_view address) {
    auto invalid = [address](const std::string& reason) {
        return "the address '" + Shown(address) + "' is not a valid e-mail address: " + reason;
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
    const std::span<const CodeRange> ranges = LetterRanges();
    const auto after = std::upper_bound(
        ranges.begin(), ranges.end(), code,
        [](char32_t value, const CodeRange& range) { return value < range.first; });
    return after != ranges.begin() && code <= std::prev(after)->last;
}

}  // namespace seedwell::support
