#pragma once

// Where lines end, written once for every reader of lines: the import file and the registry
// file, in single bytes or in the 16-bit units of UTF-16.

#include <cstddef>
#include <string_view>

namespace seedwell::base {

/// What line ends are made of: single bytes, or 16-bit units of either byte order.
enum class LineUnits { kBytes, kUtf16Le, kUtf16Be };

/// The bytes of one unit.
constexpr std::size_t UnitSize(LineUnits units) noexcept {
    return units == LineUnits::kBytes ? 1 : 2;
}

/// The unit that begins at `text[at]`; the whole unit must lie inside `text`.
unsigned UnitAt(std::string_view text, std::size_t at, LineUnits units) noexcept;

/// Where the first LF of `text` is, or the first CR when it comes earlier and `crEnds`: its
/// offset, counting only whole units from the start of `text`; npos when there is none.
std::size_t FindLineEnd(std::string_view text, LineUnits units, bool crEnds) noexcept;

}  // namespace seedwell::base
