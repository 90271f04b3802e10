#include "platform/regfile.h"

#include <cstring>

#include "platform/objects.h"

namespace seedwell::platform {
namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/// `digits` (1 to `maxDigits` hex digits) as a number, or nullopt.
std::optional<std::uint32_t> ParseHex(std::string_view digits, std::size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    std::uint32_t number = 0;
    for (char c : digits) {
        const int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        number = (number << 4) | std::uint32_t(digit);
    }
    return number;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

/// UTF-16LE `bytes` as UTF-8, or nullopt for an odd length or a lone surrogate.
std::optional<std::string> Utf16LeToUtf8(std::string_view bytes) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&bytes](std::size_t i) {
        return std::uint32_t(static_cast<unsigned char>(bytes[i])) |
               (std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8);
    };
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        std::uint32_t code = unit(i);
        if (code >= 0xDC00 && code <= 0xDFFF) return std::nullopt;
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 2 >= bytes.size()) return std::nullopt;
            const std::uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(out, code);
    }
    return out;
}

/// Hands out the lines of the file as UTF-8, one at a time, so that memory follows the longest
/// line rather than the number of lines. A line that is not valid text comes out as nullopt.
class LineReader {
  public:
    LineReader(std::string_view bytes, bool utf16, const CodePage& codePage)
        : bytes_(bytes), utf16_(utf16), codePage_(codePage) {}

    bool Next(std::optional<std::string>& line) {
        if (pos_ >= bytes_.size()) return false;
        std::string_view raw;
        if (utf16_) {
            std::size_t i = pos_;
            while (i + 1 < bytes_.size() && !(bytes_[i] == '\n' && bytes_[i + 1] == '\0')) i += 2;
            const bool ended = i + 1 < bytes_.size();
            raw = bytes_.substr(pos_, ended ? i - pos_ : std::string_view::npos);
            pos_ = ended ? i + 2 : bytes_.size();
            if (raw.size() >= 2 && raw[raw.size() - 2] == '\r' && raw.back() == '\0') {
                raw.remove_suffix(2);
            }
            line = Utf16LeToUtf8(raw);
            return true;
        }
        const char* start = bytes_.data() + pos_;
        const auto* newline =
            static_cast<const char*>(std::memchr(start, '\n', bytes_.size() - pos_));
        raw = newline ? std::string_view(start, std::size_t(newline - start)) : bytes_.substr(pos_);
        pos_ = newline ? pos_ + raw.size() + 1 : bytes_.size();
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        line = codePage_.ToUtf8(raw);
        return true;
    }

  private:
    std::string_view bytes_;
    bool utf16_;
    const CodePage& codePage_;
    std::size_t pos_ = 0;
};

/// Reads a double-quoted string starting at `pos` (escapes \\ and \"), leaving `pos` after the
/// closing quote. False when it is not closed or holds another escape.
bool ParseQuoted(std::string_view text, std::size_t& pos, std::string& out) {
    if (pos >= text.size() || text[pos] != '"') return false;
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= text.size() || (text[pos] != '\\' && text[pos] != '"')) return false;
        }
        out += text[pos];
    }
    return false;
}

/// A key path with no empty component.
bool IsValidKeyPath(std::string_view path) {
    if (path.empty() || path.front() == '\\' || path.back() == '\\') return false;
    return path.find("\\\\") == std::string_view::npos;
}

/// Applies a key line; the key that following values go into, or nullptr.
RegFileKey* ApplyKeyLine(RegFileTree& tree, std::string_view text) {
    if (text.size() < 2 || text.back() != ']') return nullptr;
    std::string_view inner = text.substr(1, text.size() - 2);
    const bool remove = !inner.empty() && inner.front() == '-';
    if (remove) inner.remove_prefix(1);
    if (!IsValidKeyPath(inner)) return nullptr;
    std::string path = AsciiLower(inner);
    if (!remove) return &tree.keys[path];
    tree.keys.erase(path);
    path += '\\';
    auto it = tree.keys.lower_bound(path);
    while (it != tree.keys.end() && it->first.starts_with(path)) it = tree.keys.erase(it);
    return nullptr;
}

/// Comma-separated hex bytes; nullopt when any piece is not one or two hex digits.
std::optional<std::string> ParseHexList(std::string_view list) {
    std::string bytes;
    if (Trim(list).empty()) return bytes;
    bytes.reserve(list.size() / 3 + 1);
    for (;;) {
        const std::size_t comma = list.find(',');
        const auto piece = ParseHex(Trim(list.substr(0, comma)), 2);
        if (!piece) return std::nullopt;
        bytes += char(*piece);
        if (comma == std::string_view::npos) return bytes;
        list.remove_prefix(comma + 1);
    }
}

/// The value that `data` (what follows the '=') describes, or nullopt when it is malformed.
std::optional<RegFileValue> ParseData(std::string_view data, bool unicodeData,
                                      const CodePage& codePage) {
    RegFileValue value;
    if (!data.empty() && data.front() == '"') {
        std::string text;
        std::size_t pos = 0;
        if (!ParseQuoted(data, pos, text) || pos != data.size()) return std::nullopt;
        value.type = kRegSz;
        value.data = codePage.FromUtf8(text);
        if (value.data) value.data->push_back('\0');
        return value;
    }
    if (StartsWithIgnoringCase(data, "dword:")) {
        const auto number = ParseHex(data.substr(6), 8);
        if (!number) return std::nullopt;
        value.type = kRegDword;
        value.data = std::string{char(*number & 0xFF), char((*number >> 8) & 0xFF),
                                 char((*number >> 16) & 0xFF), char((*number >> 24) & 0xFF)};
        return value;
    }
    if (!StartsWithIgnoringCase(data, "hex")) return std::nullopt;
    data.remove_prefix(3);
    value.type = kRegBinary;
    if (!data.empty() && data.front() == '(') {
        const std::size_t close = data.find(')');
        if (close == std::string_view::npos) return std::nullopt;
        const auto type = ParseHex(data.substr(1, close - 1), 8);
        if (!type) return std::nullopt;
        value.type = *type;
        data.remove_prefix(close + 1);
    }
    if (data.empty() || data.front() != ':') return std::nullopt;
    auto bytes = ParseHexList(data.substr(1));
    if (!bytes) return std::nullopt;
    const bool isText =
        value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz;
    if (unicodeData && isText) {
        // Strings in a Unicode export are UTF-16LE; a lookup answers them in the code page.
        const auto utf8 = Utf16LeToUtf8(*bytes);
        if (utf8) value.data = codePage.FromUtf8(*utf8);
    } else {
        value.data = std::move(*bytes);
    }
    return value;
}

/// Applies a value line, first joining the lines that continue a hex list.
void ApplyValueLine(std::string_view text, LineReader& reader, RegFileKey* key, bool unicodeData,
                    const CodePage& codePage) {
    std::string name;
    std::size_t pos = 0;
    if (text.front() == '@') {
        pos = 1;
    } else if (!ParseQuoted(text, pos, name)) {
        return;
    }
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos >= text.size() || text[pos] != '=') return;
    std::string data(Trim(text.substr(pos + 1)));
    if (StartsWithIgnoringCase(data, "hex")) {
        while (!data.empty() && data.back() == '\\') {
            data.pop_back();
            std::optional<std::string> next;
            if (!reader.Next(next) || !next) return;  // cut short: the value is lost
            data += Trim(*next);
        }
    }
    if (!key) return;
    name = AsciiLower(name);
    if (data == "-") {
        key->values.erase(name);
        return;
    }
    if (auto value = ParseData(data, unicodeData, codePage)) {
        key->values.insert_or_assign(std::move(name), std::move(*value));
    }
}

std::optional<RegFileTree> Parse(std::string_view bytes, const CodePage& codePage) {
    if (bytes.size() > kMaxRegFileSize) return std::nullopt;
    const bool utf16 = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
    if (utf16) {
        bytes.remove_prefix(2);
    } else if (codePage.IsUtf8() && bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    LineReader reader(bytes, utf16, codePage);
    std::optional<std::string> line;
    if (!reader.Next(line) || !line) return std::nullopt;
    const std::string_view header = Trim(*line);
    bool unicodeData;
    if (header == kHeader5) {
        unicodeData = true;
    } else if (header == kHeader4 && !utf16) {
        unicodeData = false;
    } else {
        return std::nullopt;
    }
    RegFileTree tree;
    RegFileKey* key = nullptr;
    while (reader.Next(line)) {
        if (!line) continue;
        const std::string_view text = Trim(*line);
        if (text.empty() || text.front() == ';') continue;
        if (text.front() == '[') {
            key = ApplyKeyLine(tree, text);
        } else if (text.front() == '"' || text.front() == '@') {
            ApplyValueLine(text, reader, key, unicodeData, codePage);
        }
    }
    return tree;
}

}  // namespace

const RegFileKey* RegFileTree::FindKey(std::string_view path) const {
    static const RegFileKey kWithoutValues;
    std::string lower = AsciiLower(path);
    if (auto it = keys.find(lower); it != keys.end()) return &it->second;
    lower += '\\';
    auto below = keys.lower_bound(lower);
    if (below != keys.end() && below->first.starts_with(lower)) return &kWithoutValues;
    return nullptr;
}

std::optional<RegistryValue> RegFileTree::FindValue(std::string_view path,
                                                    std::string_view name) const {
    const RegFileKey* key = FindKey(path);
    if (!key) return std::nullopt;
    auto it = key->values.find(AsciiLower(name));
    if (it == key->values.end() || !it->second.data) return std::nullopt;
    return RegistryValue{it->second.type, *it->second.data};
}

std::optional<RegFileTree> ParseRegFile(std::string_view bytes, const CodePage& codePage) noexcept {
    try {
        return Parse(bytes, codePage);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace seedwell::platform
