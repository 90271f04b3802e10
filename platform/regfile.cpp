#include "platform/regfile.h"

#include "platform/ascii.h"
#include "platform/error.h"

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

/// The code page of the lines of a UTF-16 file and of UTF-16 data in a 5.00 file.
const CodePage& Utf16() {
    static const CodePage page("UTF-16LE");
    return page;
}

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
        const auto utf8 = Utf16().ToUtf8(*bytes);
        if (utf8) value.data = codePage.FromUtf8(*utf8);
    } else {
        value.data = std::move(*bytes);
    }
    return value;
}

/// A value line `"name"=data` or `@=data`: the name (unescaped, "" for @) and the data, trimmed.
struct ValueLine {
    std::string name;
    std::string_view data;
};

std::optional<ValueLine> SplitValueLine(std::string_view text) {
    ValueLine line;
    std::size_t pos = 0;
    if (!text.empty() && text.front() == '@') {
        pos = 1;
    } else if (!ParseQuoted(text, pos, line.name)) {
        return std::nullopt;
    }
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos >= text.size() || text[pos] != '=') return std::nullopt;
    line.data = Trim(text.substr(pos + 1));
    return line;
}

std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

std::optional<RegFile> RegFile::Parse(std::string_view bytes, const CodePage& codePage) {
    if (bytes.size() > kMaxRegFileSize) return std::nullopt;
    const bool utf16 = bytes.starts_with("\xFF\xFE");
    RegFile file(utf16, codePage);
    if (utf16 || (codePage.IsUtf8() && bytes.starts_with("\xEF\xBB\xBF"))) {
        file.prefix_ = bytes.substr(0, utf16 ? 2 : 3);
        bytes.remove_prefix(file.prefix_.size());
    }
    const CodePage& lineCodePage = file.LineCodePage();
    const std::size_t unit = utf16 ? 2 : 1;
    for (std::size_t pos = 0;;) {
        std::size_t end = pos;
        while (end + unit <= bytes.size() &&
               !(bytes[end] == '\n' && (!utf16 || bytes[end + 1] == '\0'))) {
            end += unit;
        }
        const bool ended = end + unit <= bytes.size();
        Line& line = file.lines_.emplace_back();
        line.raw = bytes.substr(pos, ended ? end - pos : std::string_view::npos);
        std::string_view body = line.raw;
        if (body.size() >= unit && body[body.size() - unit] == '\r' &&
            (!utf16 || body.back() == '\0')) {
            body.remove_suffix(unit);
        }
        line.text = lineCodePage.ToUtf8(body);
        if (!ended) break;
        pos = end + unit;
    }
    const std::string_view header = file.lines_[0].text ? Trim(*file.lines_[0].text) : "";
    if (header == kHeader5) {
        file.unicodeData_ = true;
    } else if (header != kHeader4 || utf16) {
        return std::nullopt;
    }
    return file;
}

RegFile RegFile::Empty(bool utf16, const CodePage& codePage) {
    RegFile file(utf16, codePage);
    file.unicodeData_ = utf16;
    if (utf16) file.prefix_ = "\xFF\xFE";
    file.lines_.push_back(file.MakeLine(utf16 ? kHeader5 : kHeader4, true));
    file.lines_.push_back({"", ""});
    return file;
}

const CodePage& RegFile::LineCodePage() const { return utf16_ ? Utf16() : *codePage_; }

RegFile::Line RegFile::MakeLine(std::string_view text, bool crlf) const {
    auto raw = LineCodePage().FromUtf8(std::string(text) + (crlf ? "\r" : ""));
    if (!raw) throw Error("the line cannot be written in the code page " + LineCodePage().Name());
    return {std::move(*raw), std::string(text)};
}

RegFileTree RegFile::Tree() const {
    RegFileTree tree;
    RegFileKey* key = nullptr;
    // A file that ends in a line end has an empty last line, which holds nothing.
    const std::size_t end = lines_.size() - (lines_.back().raw.empty() ? 1 : 0);
    for (std::size_t i = 1; i < end; ++i) {
        if (!lines_[i].text) continue;
        const std::string_view text = Trim(*lines_[i].text);
        if (text.empty() || text.front() == ';') continue;
        if (text.front() == '[') {
            key = ApplyKeyLine(tree, text);
            continue;
        }
        auto line = SplitValueLine(text);
        if (!line) continue;
        std::string data(line->data);
        if (StartsWithIgnoringCase(data, "hex")) {
            // A hex list goes on over the lines that follow a line ending in a backslash.
            bool cut = false;
            while (!cut && !data.empty() && data.back() == '\\') {
                data.pop_back();
                cut = ++i >= end || !lines_[i].text;
                if (!cut) data += Trim(*lines_[i].text);
            }
            if (cut) continue;  // the value is lost
        }
        if (!key) continue;
        std::string name = AsciiLower(line->name);
        if (data == "-") {
            key->values.erase(name);
        } else if (auto value = ParseData(data, unicodeData_, *codePage_)) {
            key->values.insert_or_assign(std::move(name), std::move(*value));
        }
    }
    return tree;
}

void RegFile::SetString(std::string_view keyPath, std::string_view name, std::string_view value) {
    for (std::string_view text : {name, value}) {
        if (text.find_first_of("\r\n") != std::string_view::npos) {
            throw Error("the value holds a line break, which a registry file cannot hold");
        }
        if (!IsValidUtf8(text)) throw Error("the value is not valid UTF-8 text");
    }
    const std::string keyLine = "[" + std::string(keyPath) + "]";
    const std::string valueLine = "\"" + Escape(name) + "\"=\"" + Escape(value) + "\"";
    const std::string_view cr = utf16_ ? std::string_view("\r\0", 2) : "\r";
    bool crlf = false;
    for (std::size_t i = 0; i + 1 < lines_.size(); ++i) crlf = crlf || lines_[i].raw.ends_with(cr);
    const Line newLine = MakeLine(valueLine, crlf);

    // The last line that sets the value is the one a lookup sees; it spans [first, last].
    std::optional<std::size_t> lastInKey;
    std::optional<std::pair<std::size_t, std::size_t>> found;
    bool inKey = false;
    for (std::size_t i = 1; i < lines_.size(); ++i) {
        if (!lines_[i].text) {  // not text: kept, and counts as a line of the key it is in
            if (inKey) lastInKey = i;
            continue;
        }
        const std::string_view text = Trim(*lines_[i].text);
        if (text.starts_with('[')) {
            inKey = EqualsIgnoringCase(text, keyLine);
            if (inKey) lastInKey = i;
            continue;
        }
        if (!inKey || text.empty()) continue;
        lastInKey = i;
        const auto line = SplitValueLine(text);
        if (!line || !EqualsIgnoringCase(line->name, name)) continue;
        found = {i, i};
        if (StartsWithIgnoringCase(line->data, "hex")) {
            while (i + 1 < lines_.size() && lines_[i].text &&
                   Trim(*lines_[i].text).ends_with('\\')) {
                lastInKey = found->second = ++i;
            }
        }
    }
    if (found) {
        lines_.erase(lines_.begin() + std::ptrdiff_t(found->first + 1),
                     lines_.begin() + std::ptrdiff_t(found->second + 1));
        lines_[found->first] = newLine;
        return;
    }
    if (lastInKey) {
        lines_.insert(lines_.begin() + std::ptrdiff_t(*lastInKey + 1), newLine);
        return;
    }
    if (!lines_.back().raw.empty()) {  // end the last line
        if (crlf && !lines_.back().raw.ends_with(cr)) lines_.back().raw += cr;
        lines_.push_back({});
    }
    lines_.back() = MakeLine("", crlf);  // a blank line before the new key
    lines_.push_back(MakeLine(keyLine, crlf));
    lines_.push_back(newLine);
    lines_.push_back({"", ""});
}

std::string RegFile::Serialise() const {
    const std::string_view newline = utf16_ ? std::string_view("\n\0", 2) : "\n";
    std::string bytes = prefix_;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (i) bytes += newline;
        bytes += lines_[i].raw;
    }
    return bytes;
}

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
        const auto file = RegFile::Parse(bytes, codePage);
        if (!file) return std::nullopt;
        return file->Tree();
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace seedwell::platform
