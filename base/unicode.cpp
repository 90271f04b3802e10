#include "base/unicode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace seedwell::base {
namespace {

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

/// The `count` UTF-16 code units that `unit(i)` gives as UTF-8, or nullopt at a lone surrogate.
template <typename Unit>
std::optional<std::string> DecodeUtf16(std::size_t count, Unit unit) {
    std::string out;
    out.reserve(count);
    for (std::size_t at = 0; at < count; ++at) {
        char32_t code = unit(at);
        if (code >= 0xDC00 && code <= 0xDFFF) return std::nullopt;
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (at + 1 >= count) return std::nullopt;
            const char32_t low = unit(at + 1);
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            ++at;
        }
        AppendUtf8(out, code);
    }
    return out;
}

void AppendUnit(std::string& out, char32_t unit, bool bigEndian) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if (word & 0x8080808080808080ULL) break;
            p += 8;
        }
        if (p == end) break;
        const unsigned lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        std::ptrdiff_t trail;
        std::uint32_t code;
        if (lead >= 0xC2 && lead <= 0xDF) {
            trail = 1;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trail = 2;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trail = 3;
            code = lead & 0x07;
        } else {
            return false;  // a continuation byte, an overlong lead (C0, C1) or beyond U+10FFFF
        }
        if (end - p - 1 < trail) return false;
        for (std::ptrdiff_t i = 1; i <= trail; ++i) {
            const unsigned next = p[i];
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (trail == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) return false;
        if (trail == 3 && (code < 0x10000 || code > 0x10FFFF)) return false;
        p += trail + 1;
    }
    return true;
}

std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view text, std::size_t at) noexcept {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) return {lead, 1};
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length && at + i < text.size(); ++i) {
        code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    return {code, std::min(length, text.size() - at)};
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view units) {
    return DecodeUtf16(units.size(), [units](std::size_t at) -> char32_t { return units[at]; });
}

std::optional<std::string> Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    return DecodeUtf16(bytes.size() / 2, [bytes, bigEndian](std::size_t at) -> char32_t {
        const auto first = static_cast<unsigned char>(bytes[2 * at]);
        const auto second = static_cast<unsigned char>(bytes[2 * at + 1]);
        return bigEndian ? (first << 8) | second : (second << 8) | first;
    });
}

std::optional<std::string> Utf8ToUtf16(std::string_view utf8, bool bigEndian) {
    if (!IsValidUtf8(utf8)) return std::nullopt;
    std::string out;
    out.reserve(utf8.size() * 2);
    for (std::size_t at = 0; at < utf8.size();) {
        const auto [code, length] = DecodeUtf8(utf8, at);
        at += length;
        if (code < 0x10000) {
            AppendUnit(out, code, bigEndian);
        } else {
            AppendUnit(out, 0xD800 + ((code - 0x10000) >> 10), bigEndian);
            AppendUnit(out, 0xDC00 + ((code - 0x10000) & 0x3FF), bigEndian);
        }
    }
    return out;
}

}  // namespace seedwell::base
