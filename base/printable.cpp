#include "base/printable.h"

#include "base/unicode_ranges.h"

namespace seedwell::base {
namespace {

struct Escaped {
    std::size_t length;  // in bytes; 0 when the character at the start is not escaped
    char32_t code;
};

// The character at the start of the non-empty `text`, when Printable escapes it.
Escaped EscapedAt(std::string_view text) noexcept {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) return {lead < 0x20 || lead == 0x7F ? 1u : 0u, lead};
    // Only a well-formed sequence is decoded; any other byte is kept as it is.
    std::size_t length;
    char32_t least;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, least = 0x10000;
    } else {
        return {0, 0};
    }
    if (text.size() < length) return {0, 0};
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) return {0, 0};
        code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || !InRanges(EscapedRanges(), code)) return {0, 0};
    return {length, code};
}

}  // namespace

bool HoldsControlCharacter(std::string_view text) noexcept {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (EscapedAt(text.substr(i)).length != 0) return true;
    }
    return false;
}

std::string Printable(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Escaped escaped = EscapedAt(text.substr(i));
        if (escaped.length == 0) {
            shown += text[i++];
            continue;
        }
        i += escaped.length;
        const char32_t code = escaped.code;
        if (code < 0xA0) {
            shown += "\\x";
            shown += kDigits[code >> 4];
            shown += kDigits[code & 0xF];
            continue;
        }
        shown += "\\u{";
        int shift = code > 0xFFFFF ? 20 : code > 0xFFFF ? 16 : 12;
        for (; shift >= 0; shift -= 4) shown += kDigits[(code >> shift) & 0xF];
        shown += '}';
    }
    return shown;
}

std::string_view Utf8Prefix(std::string_view text, std::size_t bytes) noexcept {
    if (text.size() <= bytes) return text;
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
    return text.substr(0, bytes);
}

std::string Quoted(std::string_view name) { return "'" + Printable(name) + "'"; }

std::string Cut(std::string_view text, std::size_t bytes) {
    const std::string_view kept = Utf8Prefix(text, bytes);
    return kept.size() == text.size() ? std::string(text) : std::string(kept) + "...";
}

}  // namespace seedwell::base
