#include "support/fields.h"

namespace seedwell::support {

std::string GetField(std::string_view text, std::string_view delimiter, int index) {
    if (text.empty() || index < 1) return {};
    if (delimiter.empty()) return index == 1 ? std::string(text) : std::string();
    std::size_t start = 0;
    for (int piece = 1; piece < index; ++piece) {
        const std::size_t found = text.find(delimiter, start);
        if (found == std::string_view::npos) return {};
        start = found + delimiter.size();
    }
    const std::size_t end = text.find(delimiter, start);
    return std::string(text.substr(start, end == std::string_view::npos ? end : end - start));
}

}  // namespace seedwell::support
