#include "base/line_ends.h"

namespace seedwell::base {

unsigned UnitAt(std::string_view text, std::size_t at, LineUnits units) noexcept {
    const auto byte = [&](std::size_t i) {
        return unsigned(static_cast<unsigned char>(text[at + i]));
    };
    switch (units) {
        case LineUnits::kBytes:
            return byte(0);
        case LineUnits::kUtf16Le:
            return byte(0) | byte(1) << 8;
        case LineUnits::kUtf16Be:
            break;
    }
    return byte(0) << 8 | byte(1);
}

std::size_t FindLineEnd(std::string_view text, LineUnits units, bool crEnds) noexcept {
    if (units == LineUnits::kBytes) {
        const std::size_t lf = text.find('\n');
        const std::size_t cr = crEnds ? text.substr(0, lf).find('\r') : std::string_view::npos;
        return cr != std::string_view::npos ? cr : lf;
    }
    for (std::size_t at = 0; at + 2 <= text.size(); at += 2) {
        const unsigned unit = UnitAt(text, at, units);
        if (unit == '\n' || (crEnds && unit == '\r')) return at;
    }
    return std::string_view::npos;
}

}  // namespace seedwell::base
