#pragma once

// The letters, marks and decimal digits of the Unicode Character Database, as a table the build
// generates from the database it finds (cmake/letter_ranges.cmake).

#include <span>

namespace seedwell::support {

/// The code points `first` to `last`, both included.
struct CodeRange {
    char32_t first;
    char32_t last;
};

/// Every code point whose general category is a letter (L), a mark (M) or a decimal digit (Nd),
/// ASCII's included, as ranges sorted by code point, no two of them overlapping or touching.
std::span<const CodeRange> LetterRanges() noexcept;

}  // namespace seedwell::support
