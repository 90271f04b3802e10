#include <cstdint>
#include <cstring>

#include "platform/codepage.h"

namespace seedwell::platform {

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

}  // namespace seedwell::platform
