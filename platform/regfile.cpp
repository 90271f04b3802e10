#include "platform/regfile.h"

#include "platform/ascii.h"

namespace seedwell::platform {
namespace {

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

/// Applies a key line, given the text between its brackets; the key that following values go
/// into, or nullptr.
RegFileKey* ApplyKeyLine(RegFileTree& tree, std::optional<std::string_view> key) {
    if (!key) return nullptr;
    std::string_view inner = *key;
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

/// The lines of a file's bytes (after any byte-order mark), split at LF, or at the LF units of
/// UTF-16; the CR before a line end stays in its line. A file that ends in a line end ends
/// with an empty line.
class LineSplitter {
  public:
    LineSplitter(std::string_view bytes, bool utf16) : bytes_(bytes), utf16_(utf16) {}

    /// The next line, or nullopt after the last one.
    std::optional<std::string_view> Next() {
        if (done_) return std::nullopt;
        std::size_t end = utf16_ ? pos_ : bytes_.find('\n', pos_);
        while (utf16_ && end + 1 < bytes_.size() &&
               !(bytes_[end] == '\n' && bytes_[end + 1] == 0)) {
            end += 2;
        }
        if (end == std::string_view::npos || end + (utf16_ ? 1 : 0) >= bytes_.size()) {
            done_ = true;
            return bytes_.substr(pos_);
        }
        const std::string_view line = bytes_.substr(pos_, end - pos_);
        pos_ = end + (utf16_ ? 2 : 1);
        return line;
    }
    /// True once the last line has been handed out.
    bool Done() const { return done_; }

  private:
    std::string_view bytes_;
    bool utf16_;
    std::size_t pos_ = 0;
    bool done_ = false;
};

/// Whether a file is UTF-16, and how long its byte-order mark is.
struct Form {
    bool utf16;
    std::size_t bomSize;
};

Form FormOf(std::string_view bytes, const CodePage& codePage) {
    if (bytes.starts_with("\xFF\xFE")) return {true, 2};
    if (codePage.IsUtf8() && bytes.starts_with("\xEF\xBB\xBF")) return {false, 3};
    return {false, 0};
}

/// The text of a line as UTF-8 without its CR, or nullopt when it is not valid text.
std::optional<std::string> LineText(std::string_view raw, bool utf16, const CodePage& codePage) {
    const std::size_t unit = utf16 ? 2 : 1;
    if (raw.size() >= unit && raw[raw.size() - unit] == '\r' && (!utf16 || raw.back() == 0)) {
        raw.remove_suffix(unit);
    }
    return RegFileLineCodePage(utf16, codePage).ToUtf8(raw);
}

/// For the first line of a file: whether its hex(2) and hex(7) data is UTF-16LE (a 5.00 file),
/// or nullopt when the line is no registry file's header.
std::optional<bool> UnicodeDataFor(const std::optional<std::string>& header, bool utf16) {
    const std::string_view text = header ? Trim(*header) : "";
    if (text == kRegFileHeader5) return true;
    if (text == kRegFileHeader4 && !utf16) return false;
    return std::nullopt;
}

/// The start of a registry file: its form, its header line, and its lines after the header.
struct Opening {
    Form form;
    bool unicodeData;
    std::string_view header;
    std::optional<std::string> headerText;
    LineSplitter rest;
};

/// Nullopt when `bytes` are not a registry file or are larger than kMaxRegFileSize.
std::optional<Opening> Open(std::string_view bytes, const CodePage& codePage) {
    if (bytes.size() > kMaxRegFileSize) return std::nullopt;
    const Form form = FormOf(bytes, codePage);
    LineSplitter lines(bytes.substr(form.bomSize), form.utf16);
    const std::string_view header = *lines.Next();
    auto headerText = LineText(header, form.utf16, codePage);
    const auto unicodeData = UnicodeDataFor(headerText, form.utf16);
    if (!unicodeData) return std::nullopt;
    return Opening{form, *unicodeData, header, std::move(headerText), lines};
}

/// Builds the keys and values from the lines that follow the header, in file order.
class TreeBuilder {
  public:
    TreeBuilder(bool unicodeData, const CodePage& codePage)
        : unicodeData_(unicodeData), codePage_(codePage) {}

    /// The next line's text, or nullopt when it is not valid text.
    void Add(const std::optional<std::string>& line) {
        if (pending_) {  // a hex list goes on over the lines after one that ends in a backslash
            if (!line) {
                pending_.reset();  // cut short: the value is lost
                return;
            }
            pending_->data += Trim(*line);
            if (pending_->data.ends_with('\\')) {
                pending_->data.pop_back();
                return;
            }
            Apply(std::move(*pending_));
            pending_.reset();
            return;
        }
        if (!line) return;
        auto meaning = ClassifyRegFileLine(*line);
        if (meaning.kind == RegFileLineMeaning::Kind::kKey) {
            key_ = ApplyKeyLine(tree_, meaning.key);
            return;
        }
        if (meaning.kind != RegFileLineMeaning::Kind::kValue) return;
        Entry entry{std::move(meaning.name), std::string(meaning.data)};
        if (meaning.hexList && entry.data.ends_with('\\')) {
            entry.data.pop_back();
            pending_ = std::move(entry);
            return;
        }
        Apply(std::move(entry));
    }

    /// The tree; a hex list still going on at the end of the file is lost.
    RegFileTree Finish() && { return std::move(tree_); }

  private:
    struct Entry {
        std::string name;
        std::string data;
    };

    void Apply(Entry entry) {
        if (!key_) return;
        std::string name = AsciiLower(entry.name);
        if (entry.data == "-") {
            key_->values.erase(name);
        } else if (auto value = ParseData(entry.data, unicodeData_, codePage_)) {
            key_->values.insert_or_assign(std::move(name), std::move(*value));
        }
    }

    bool unicodeData_;
    const CodePage& codePage_;
    RegFileTree tree_;
    RegFileKey* key_ = nullptr;
    std::optional<Entry> pending_;
};

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

std::optional<RegFileLines> SplitRegFile(std::string_view bytes, const CodePage& codePage) {
    auto opening = Open(bytes, codePage);
    if (!opening) return std::nullopt;
    const bool utf16 = opening->form.utf16;
    RegFileLines file{
        utf16, opening->unicodeData, std::string(bytes.substr(0, opening->form.bomSize)), {}};
    file.lines.push_back({std::string(opening->header), std::move(opening->headerText)});
    while (const auto raw = opening->rest.Next()) {
        file.lines.push_back({std::string(*raw), LineText(*raw, utf16, codePage)});
    }
    return file;
}

const CodePage& RegFileLineCodePage(bool utf16, const CodePage& codePage) {
    return utf16 ? Utf16() : codePage;
}

RegFileLineMeaning ClassifyRegFileLine(std::string_view line) {
    using Kind = RegFileLineMeaning::Kind;
    RegFileLineMeaning meaning;
    const std::string_view text = meaning.text = Trim(line);
    if (text.empty()) {
        meaning.kind = Kind::kBlank;
        return meaning;
    }
    if (text.front() == '[') {
        meaning.kind = Kind::kKey;
        if (text.size() >= 2 && text.back() == ']') meaning.key = text.substr(1, text.size() - 2);
        return meaning;
    }
    std::string name;
    std::size_t pos = 0;
    if (text.front() == '@') {
        pos = 1;
    } else if (!ParseQuoted(text, pos, name)) {
        return meaning;
    }
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos >= text.size() || text[pos] != '=') return meaning;
    meaning.kind = Kind::kValue;
    meaning.name = std::move(name);
    meaning.data = Trim(text.substr(pos + 1));
    meaning.hexList = StartsWithIgnoringCase(meaning.data, "hex");
    return meaning;
}

RegFileTree ParseRegFileLines(const RegFileLines& file, const CodePage& codePage) {
    TreeBuilder tree(file.unicodeData, codePage);
    // A file that ends in a line end has an empty last line, which holds nothing.
    const std::size_t end = file.lines.size() - (file.lines.back().raw.empty() ? 1 : 0);
    for (std::size_t i = 1; i < end; ++i) tree.Add(file.lines[i].text);
    return std::move(tree).Finish();
}

std::optional<RegFileTree> ParseRegFile(std::string_view bytes, const CodePage& codePage) {
    // Line by line, keeping no line: memory follows the tree, not the file.
    auto opening = Open(bytes, codePage);
    if (!opening) return std::nullopt;
    TreeBuilder tree(opening->unicodeData, codePage);
    while (const auto raw = opening->rest.Next()) {
        if (raw->empty() && opening->rest.Done()) break;  // the end of the last line, not a line
        tree.Add(LineText(*raw, opening->form.utf16, codePage));
    }
    return std::move(tree).Finish();
}

}  // namespace seedwell::platform
