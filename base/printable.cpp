#include "base/printable.h"

namespace seedwell::base {
namespace {

// The length in bytes of the control character at the start of `text`, or 0 when none is.
std::size_t ControlLength(std::string_view text) noexcept {
    const auto first = static_cast<unsigned char>(text[0]);
    if (first < 0x20 || first == 0x7F) return 1;
    // U+0080 to U+009F are C2 80 to C2 9F in UTF-8.
    if (first == 0xC2 && text.size() > 1) {
        const auto second = static_cast<unsigned char>(text[1]);
        if (second >= 0x80 && second <= 0x9F) return 2;
    }
    return 0;
}

}  // namespace

bool HoldsControlCharacter(std::string_view text) noexcept {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ControlLength(text.substr(i)) != 0) return true;
    }
    return false;
}

std::string Printable(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = ControlLength(text.substr(i));
        if (length == 0) {
            shown += text[i++];
            continue;
        }
        const auto code = static_cast<unsigned char>(text[i + length - 1]);
        shown += "\\x";
        shown += kDigits[code >> 4];
        shown += kDigits[code & 0xF];
        i += length;
    }
    return shown;
}

std::string_view Utf8Prefix(std::string_view text, std::size_t bytes) noexcept {
    if (text.size() <= bytes) return text;
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
    return text.substr(0, bytes);
}

}  // namespace seedwell::base
