#pragma once

#include <string>
#include <string_view>

namespace seedwell::support {

/// Field `index` (counted from 1) of `text` cut at every occurrence of `delimiter`, or empty
/// text when there is no such field: an index below 1 or past the last field, or an empty
/// text. Empty pieces count like any other; matching is exact and case-sensitive. Throws
/// std::bad_alloc when memory runs out, rather than answering an empty field, and nothing else.
std::string GetField(std::string_view text, std::string_view delimiter, int index);

}  // namespace seedwell::support
