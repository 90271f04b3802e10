#include "base/unicode_ranges.h"

#include <algorithm>
#include <iterator>

namespace seedwell::base {

bool InRanges(std::span<const CodeRange> ranges, char32_t code) noexcept {
    const auto after = std::upper_bound(
        ranges.begin(), ranges.end(), code,
        [](char32_t value, const CodeRange& range) { return value < range.first; });
    return after != ranges.begin() && code <= std::prev(after)->last;
}

}  // namespace seedwell::base
