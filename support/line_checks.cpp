#include "support/line_checks.h"
#include "base/ascii.h"
#include "base/printable.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace seedwell::support {
namespace {

using base::Printable;

constexpr std::size_t kMaxLocalPart = 64;
constexpr std::size_t kMaxDomain = 253;
constexpr std::size_t kMaxLabel = 63;
constexpr std::size_t kShownBytes = 320;  // the longest address, and a little more
constexpr std::string_view kLocalSymbols = "!#$%&'*+-/=?^_`{|}~";

// Code points above U+007F that are no letters or digits: controls, spaces, punctuation,
// symbols, format characters, private use and non-characters, block by block. Sorted, so that
// a code point is found by a binary search.
constexpr std::pair<char32_t, char32_t> kNotLetters[] = {
    {0x0080, 0x00A9},   {0x00AB, 0x00B4},   {0x00B6, 0x00B9},   {0x00BB, 0x00BF},
    {0x00D7, 0x00D7},   {0x00F7, 0x00F7},   {0x02C2, 0x02C5},   {0x02D2, 0x02DF},
    {0x02E5, 0x02EB},   {0x02ED, 0x02ED},   {0x02EF, 0x02FF},   {0x0375, 0x0375},
    {0x037E, 0x037E},   {0x0384, 0x0385},   {0x0387, 0x0387},   {0x03F6, 0x03F6},
    {0x0482, 0x0482},   {0x055A, 0x055F},   {0x0589, 0x058A},   {0x058D, 0x058F},
    {0x05BE, 0x05BE},   {0x05C0, 0x05C0},   {0x05C3, 0x05C3},   {0x05C6, 0x05C6},
    {0x05F3, 0x05F4},   {0x0600, 0x060F},   {0x061B, 0x061F},   {0x066A, 0x066D},
    {0x06D4, 0x06D4},   {0x06DD, 0x06DE},   {0x06E9, 0x06E9},   {0x06FD, 0x06FE},
    {0x0700, 0x070F},   {0x0964, 0x0965},   {0x0970, 0x0970},   {0x0E3F, 0x0E3F},
    {0x0E4F, 0x0E4F},   {0x0E5A, 0x0E5B},   {0x10FB, 0x10FB},   {0x1360, 0x1368},
    {0x166D, 0x166E},   {0x1680, 0x1680},   {0x169B, 0x169C},   {0x16EB, 0x16ED},
    {0x17D4, 0x17D6},   {0x17D8, 0x17DB},   {0x1800, 0x180F},   {0x1FBD, 0x1FBD},
    {0x1FBF, 0x1FC1},   {0x1FCD, 0x1FCF},   {0x1FDD, 0x1FDF},   {0x1FED, 0x1FEF},
    {0x1FFD, 0x1FFE},   {0x2000, 0x206F},   {0x207A, 0x207E},   {0x208A, 0x208E},
    {0x20A0, 0x20FF},   {0x2190, 0x2BFF},   {0x2CE5, 0x2CEA},   {0x2CF9, 0x2CFC},
    {0x2CFE, 0x2CFF},   {0x2E00, 0x2FFF},   {0x3000, 0x3004},   {0x3008, 0x3020},
    {0x3030, 0x3030},   {0x3036, 0x3037},   {0x303D, 0x303F},   {0x309B, 0x309C},
    {0x30A0, 0x30A0},   {0x30FB, 0x30FB},   {0x31C0, 0x31EF},   {0x3200, 0x33FF},
    {0x4DC0, 0x4DFF},   {0xA490, 0xA4CF},   {0xA4FE, 0xA4FF},   {0xA60D, 0xA60F},
    {0xA673, 0xA673},   {0xA67E, 0xA67E},   {0xA6F2, 0xA6F7},   {0xA700, 0xA716},
    {0xA720, 0xA721},   {0xA789, 0xA78A},   {0xA828, 0xA82B},   {0xA836, 0xA839},
    {0xA874, 0xA877},   {0xA8CE, 0xA8CF},   {0xA8F8, 0xA8FA},   {0xA8FC, 0xA8FC},
    {0xA92E, 0xA92F},   {0xA95F, 0xA95F},   {0xA9C1, 0xA9CD},   {0xA9DE, 0xA9DF},
    {0xAA5C, 0xAA5F},   {0xAA77, 0xAA79},   {0xAADE, 0xAADF},   {0xAAF0, 0xAAF1},
    {0xAB5B, 0xAB5B},   {0xAB6A, 0xAB6B},   {0xABEB, 0xABEB},   {0xD800, 0xF8FF},
    {0xFB29, 0xFB29},   {0xFD3E, 0xFD3F},   {0xFDD0, 0xFDEF},   {0xFDFC, 0xFE1F},
    {0xFE30, 0xFE6F},   {0xFEFF, 0xFEFF},   {0xFF01, 0xFF0F},   {0xFF1A, 0xFF20},
    {0xFF3B, 0xFF40},   {0xFF5B, 0xFF65},   {0xFFE0, 0xFFFF},   {0x1D000, 0x1D24F},
    {0x1D300, 0x1D35F}, {0x1F000, 0x1FBFF}, {0xE0000, 0xE0FFF}, {0xF0000, 0x10FFFF},
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsAsciiLetterOrDigit(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The code point that starts at `text[at]` and its length in bytes; the text is valid UTF-8.
std::pair<char32_t, std::size_t> Decode(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) return {lead, 1};
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length && at + i < text.size(); ++i) {
        code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    return {code, std::min(length, text.size() - at)};
}

// `text` for a message, cut between two characters after kShownBytes bytes.
std::string Shown(std::string_view text) {
    if (text.size() <= kShownBytes) return Printable(text);
    std::size_t cut = kShownBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return Printable(text.substr(0, cut)) + "...";
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
        const auto [code, length] = Decode(part, at);
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
    return std::nullopt;
}

bool IsAddressLetter(char32_t code) noexcept {
    if (code < 0x80) return IsAsciiLetterOrDigit(static_cast<unsigned char>(code));
    if (code > 0x10FFFF || (code & 0xFFFE) == 0xFFFE) return false;  // no character
    const auto* after =
        std::upper_bound(std::begin(kNotLetters), std::end(kNotLetters), code,
                         [](char32_t value, const std::pair<char32_t, char32_t>& range) {
                             return value < range.first;
                         });
    return after == std::begin(kNotLetters) || code > std::prev(after)->second;
}

}  // namespace seedwell::support
