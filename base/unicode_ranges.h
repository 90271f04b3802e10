#pragma once

// The general categories of the Unicode Character Database that the program tells apart, as
// tables written from the database by scripts/unicode-tables (unicode_tables.cpp).

#include <span>

namespace seedwell::base {

/// The code points `first` to `last`, both included.
struct CodeRange {
    char32_t first;
    char32_t last;
};

// Each table holds every code point of its categories, ASCII's included, as ranges sorted by
// code point, no two of them overlapping or touching.

/// The letters (L: Lu, Ll, Lt, Lm, Lo).
std::span<const CodeRange> LetterRanges() noexcept;
/// The marks (M: Mn, Mc, Me), such as the combining accents.
std::span<const CodeRange> MarkRanges() noexcept;
/// The decimal digits (Nd) of every script.
std::span<const CodeRange> DecimalDigitRanges() noexcept;
/// What a message shows escaped (see Printable): the controls (Cc), the format characters (Cf:
/// the bidirectional controls, zero-width characters, the soft hyphen, tags, ...), the line
/// separator (Zl) and the paragraph separator (Zp).
std::span<const CodeRange> EscapedRanges() noexcept;

/// True when `code` lies in one of `ranges`, a table as above.
bool InRanges(std::span<const CodeRange> ranges, char32_t code) noexcept;

}  // namespace seedwell::base
