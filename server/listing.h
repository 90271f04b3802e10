#pragma once

#include <string>
#include <string_view>

namespace seedwell::server {

/// One field of a record listing: tab, line breaks and backslash written as \t, \n, \r and \\,
/// so that every record stays one line of tab-separated columns.
inline std::string ListingField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace seedwell::server
