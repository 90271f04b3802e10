#pragma once

#include <string>
#include <string_view>

namespace seedwell::base {

/// True for the blanks that may stand around a field or a token: a space or a tab.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

/// ASCII case-insensitive equality, as member names, identifiers and registry names are matched.
inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

/// `text` with ASCII letters in lower case.
inline std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

}  // namespace seedwell::base
