#pragma once

#include <string>
#include <string_view>

namespace seedwell::support {

/// Field `index` (counted from 1) of `text` cut at every occurrence of `delimiter`, or empty
/// text when there is no such field: an index below 1 or past the last field, or an empty
/// text. Empty pieces count like any other; matching is exact and case-sensitive. Never throws.
std::string GetField(std::string_view text, std::string_view delimiter, int index) noexcept;

}  // namespace seedwell::support
