#include "server/regfile.h"

#include <cstddef>
#include <cstdlib>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "base/error.h"
#include "base/line_ends.h"
#include "base/printable.h"
#include "base/unicode.h"

namespace seedwell::server {

using base::AsciiLower;
using base::EqualsIgnoringCase;
using base::IsBlank;
using base::LineUnits;
using platform::CodePage;
using platform::kRegBinary;
using platform::kRegDword;
using platform::kRegExpandSz;
using platform::kRegMultiSz;
using platform::kRegSz;
using platform::RegistryKey;
using platform::RegistryValue;

namespace {

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

/// The text the lines of a file are written in: UTF-16LE when `utf16`, else `codePage`.
struct LineEncoding {
    bool utf16;
    const CodePage& codePage;

    std::optional<std::string> ToUtf8(std::string_view raw) const {
        return utf16 ? base::Utf16ToUtf8(raw, false) : codePage.ToUtf8(raw);
    }
    std::optional<std::string> FromUtf8(std::string_view text) const {
        return utf16 ? base::Utf8ToUtf16(text, false) : codePage.FromUtf8(text);
    }
    std::string Name() const { return utf16 ? "UTF-16LE" : codePage.Name(); }
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

/// Applies a key line, given the text between its brackets; the key that following values go
/// into, or nullptr.
RegFileKey* ApplyKeyLine(RegFileTree& tree, std::string_view inner) {
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
        const auto utf8 = base::Utf16ToUtf8(*bytes, false);
        if (utf8) value.data = codePage.FromUtf8(*utf8);
    } else {
        value.data = std::move(*bytes);
    }
    return value;
}

/// The header lines that make a registry file: the first is read as UTF-16LE text with its
/// byte-order mark or as 8-bit text, the second only as 8-bit text.
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

/// What the text of one line means on its own. Which key a value line belongs to, and whether a
/// line goes on a hex list that an earlier line ends in a backslash, depend on the lines before.
struct LineMeaning {
    enum class Kind {
        kBlank,  ///< nothing but blanks
        kKey,    ///< begins with '[': the lines after it go into the key it names, if any
        kValue,  ///< "name"=data or @=data
        kOther,  ///< a comment, or a line that is not understood
    };
    Kind kind = Kind::kOther;
    std::string_view text;  ///< the line without the blanks at its edges
    /// kKey: the text between the brackets ('-' first when it deletes the key), or nullopt when
    /// the line does not end in ']'.
    std::optional<std::string_view> key;
    std::string name;       ///< kValue: unescaped; "" for @, the default value
    std::string_view data;  ///< kValue: what follows the '=', without blanks at its edges
    bool hexList = false;   ///< kValue: the data begins with "hex", as a hex list does
};
using Kind = LineMeaning::Kind;

/// The meaning of `line`, a line's text; the views point into it.
LineMeaning Classify(std::string_view line) {
    LineMeaning meaning;
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
    std::size_t pos = 0;
    if (text.front() == '@') {
        pos = 1;
    } else if (!ParseQuoted(text, pos, meaning.name)) {
        return meaning;
    }
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos >= text.size() || text[pos] != '=') return meaning;
    meaning.kind = Kind::kValue;
    meaning.data = Trim(text.substr(pos + 1));
    meaning.hexList = StartsWithIgnoringCase(meaning.data, "hex");
    return meaning;
}

/// Calls `visit(file, raw, text, last)` for each line of the registry file `bytes`, the header
/// first, split at LF (or at the LF units of UTF-16) with the CR before a line end kept in `raw`;
/// `file` is what the header made of the file, without lines, `text` is as RegFileLine has it,
/// and `last` marks the piece after the final LF. Returns that `file`, or nullopt before any call
/// when the bytes are not a registry file or are too large; memory beyond the bytes stays that of
/// one line.
template <typename Visit>
std::optional<RegFileLines> ForEachLine(std::string_view bytes, const CodePage& codePage,
                                        Visit&& visit) {
    if (bytes.size() > kMaxRegFileSize) return std::nullopt;
    const bool utf16 = bytes.starts_with("\xFF\xFE");
    const std::size_t bomSize =
        utf16 ? 2 : (codePage.IsUtf8() && bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0);
    RegFileLines file{utf16, false, std::string(bytes.substr(0, bomSize)), {}};
    const std::string_view body = bytes.substr(bomSize);
    const LineUnits units = utf16 ? LineUnits::kUtf16Le : LineUnits::kBytes;
    const std::size_t unit = base::UnitSize(units);
    for (std::size_t pos = 0;;) {
        // Only a LF ends a line: a CR before it stays in the line's bytes, not in its text.
        const std::size_t lf = base::FindLineEnd(body.substr(pos), units, false);
        const std::size_t end = lf == std::string_view::npos ? lf : pos + lf;
        const std::string_view raw = body.substr(pos, end - pos);
        const bool cr = raw.size() >= unit && base::UnitAt(raw, raw.size() - unit, units) == '\r';
        std::optional<std::string> text =
            LineEncoding{utf16, codePage}.ToUtf8(raw.substr(0, raw.size() - (cr ? unit : 0)));
        if (pos == 0) {
            // Either header may be 8-bit text; only the 5.00 one may be UTF-16 text.
            const std::string_view header = text ? Trim(*text) : "";
            if (header != kHeader5 && (header != kHeader4 || utf16)) return std::nullopt;
            file.unicodeData = header == kHeader5;
        }
        visit(std::as_const(file), raw, std::move(text), end == std::string_view::npos);
        if (end == std::string_view::npos) return file;
        pos = end + unit;
    }
}

/// The keys and values of the lines after the header, given one at a time in file order.
class TreeBuilder {
  public:
    TreeBuilder(bool unicodeData, const CodePage& codePage)
        : unicodeData_(unicodeData), codePage_(codePage) {}

    /// One line's text, nullopt when the line is not valid text.
    void Add(const std::optional<std::string>& text) {
        if (!text) {
            continued_.reset();  // a hex list cut short by a line that is not text is lost
            return;
        }
        Value value;
        if (continued_) {
            value = std::move(*continued_);
            continued_.reset();
            value.data += Trim(*text);
        } else {
            const auto line = Classify(*text);
            if (line.kind == Kind::kKey) key_ = line.key ? ApplyKeyLine(tree_, *line.key) : nullptr;
            if (line.kind != Kind::kValue) return;
            value = {key_, AsciiLower(line.name), std::string(line.data), line.hexList};
        }
        if (value.hexList && value.data.ends_with('\\')) {  // it goes on on the next line
            value.data.pop_back();
            continued_ = std::move(value);
            return;
        }
        if (!value.key) return;
        if (value.data == "-") {
            value.key->values.erase(value.name);
        } else if (auto parsed = ParseData(value.data, unicodeData_, codePage_)) {
            value.key->values.insert_or_assign(std::move(value.name), std::move(*parsed));
        }
    }

    /// The tree; a hex list still going on at the end is cut short and lost.
    RegFileTree Finish() { return std::move(tree_); }

  private:
    struct Value {
        RegFileKey* key = nullptr;  // the key it goes into, if any
        std::string name;           // in ASCII lower case
        std::string data;
        bool hexList = false;
    };

    bool unicodeData_;
    const CodePage& codePage_;
    RegFileTree tree_;
    RegFileKey* key_ = nullptr;       // the key that values go into
    std::optional<Value> continued_;  // a hex list that goes on on the next line
};

/// The lines of a registry file, as ParseRegFile takes its bytes.
std::optional<RegFileLines> Split(std::string_view bytes, const CodePage& codePage) {
    std::vector<RegFileLine> lines;
    auto file = ForEachLine(
        bytes, codePage,
        [&](const RegFileLines&, std::string_view raw, std::optional<std::string> text, bool) {
            lines.push_back({std::string(raw), std::move(text)});
        });
    if (file) file->lines = std::move(lines);
    return file;
}

/// The keys and values of the lines after the header.
RegFileTree TreeOf(const RegFileLines& file, const CodePage& codePage) {
    TreeBuilder tree(file.unicodeData, codePage);
    // A file that ends in a line end has an empty last line, which holds nothing.
    const std::size_t end = file.lines.size() - (file.lines.back().raw.empty() ? 1 : 0);
    for (std::size_t i = 1; i < end; ++i) tree.Add(file.lines[i].text);
    return tree.Finish();
}

std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

/// `text` as a line in the encoding `page`, ending in CR when `crlf`.
RegFileLine MakeLine(const LineEncoding& page, std::string_view text, bool crlf) {
    auto raw = page.FromUtf8(std::string(text) + (crlf ? "\r" : ""));
    if (!raw) throw Error("the line cannot be written in the code page " + page.Name());
    return {std::move(*raw), std::string(text)};
}

/// True when `line` is text that ends in a backslash, so that a hex list it holds goes on.
bool EndsInBackslash(const RegFileLine& line) {
    return line.text && Classify(*line.text).text.ends_with('\\');
}

/// Puts `newLine` in place of the last line that sets the value `name` under the key at
/// `keyPath`, else after the key's last line; false when the file has no such key.
bool PlaceInKey(std::vector<RegFileLine>& lines, std::string_view keyPath, std::string_view name,
                const RegFileLine& newLine) {
    // The last line that sets the value is the one a lookup sees; it spans [first, last].
    std::optional<std::size_t> lastInKey;
    std::optional<std::pair<std::size_t, std::size_t>> found;
    bool inKey = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (!lines[i].text) {  // not text: kept, and counts as a line of the key it is in
            if (inKey) lastInKey = i;
            continue;
        }
        const auto line = Classify(*lines[i].text);
        if (line.kind == Kind::kKey) {
            inKey = line.key && EqualsIgnoringCase(*line.key, keyPath);
            if (inKey) lastInKey = i;
            continue;
        }
        if (!inKey || line.kind == Kind::kBlank) continue;
        lastInKey = i;
        if (line.kind != Kind::kValue || !EqualsIgnoringCase(line.name, name)) continue;
        found = {i, i};
        if (line.hexList) {
            while (i + 1 < lines.size() && EndsInBackslash(lines[i])) {
                lastInKey = found->second = ++i;
            }
        }
    }
    if (found) {
        lines.erase(lines.begin() + std::ptrdiff_t(found->first + 1),
                    lines.begin() + std::ptrdiff_t(found->second + 1));
        lines[found->first] = newLine;
        return true;
    }
    if (!lastInKey) return false;
    lines.insert(lines.begin() + std::ptrdiff_t(*lastInKey + 1), newLine);
    return true;
}

/// True when a lookup in the registry file `bytes` finds the string value `name` of `keyPath`
/// holding `data`.
bool Holds(const std::string& bytes, const CodePage& codePage, std::string_view keyPath,
           std::string_view name, const std::optional<std::string>& data) {
    const auto tree = ParseRegFile(bytes, codePage);
    const RegFileKey* key = tree ? tree->FindKey(keyPath) : nullptr;
    if (!key) return false;
    const auto it = key->values.find(AsciiLower(name));
    return it != key->values.end() && it->second.type == kRegSz && it->second.data == data;
}

constexpr std::string_view kRootKey = "HKEY_LOCAL_MACHINE";

/// A key as the file held it when it was opened: the key at `path` of the file's tree.
class RegFileRegistryKey : public RegistryKey {
  public:
    RegFileRegistryKey(RegFileTree tree, std::string path)
        : tree_(std::move(tree)), path_(std::move(path)) {}

    std::optional<RegistryValue> QueryValue(std::string_view valueName) override {
        return tree_.FindValue(path_, valueName);
    }

  private:
    RegFileTree tree_;
    std::string path_;
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

std::optional<RegFileTree> ParseRegFile(std::string_view bytes, const CodePage& codePage) {
    std::optional<TreeBuilder> tree;
    const auto file = ForEachLine(bytes, codePage,
                                  [&](const RegFileLines& shape, std::string_view raw,
                                      std::optional<std::string> text, bool last) {
                                      if (!tree) {
                                          tree.emplace(shape.unicodeData, codePage);  // the header
                                      } else if (!last || !raw.empty()) {
                                          tree->Add(text);
                                      }
                                  });
    if (!file) return std::nullopt;
    return tree->Finish();
}

std::optional<RegFileEditor> RegFileEditor::Parse(std::string_view bytes,
                                                  const CodePage& codePage) {
    auto file = Split(bytes, codePage);
    if (!file) return std::nullopt;
    return RegFileEditor(std::move(*file), codePage);
}

RegFileEditor RegFileEditor::Empty(bool utf16, const CodePage& codePage) {
    const auto header = utf16 ? kHeader5 : kHeader4;
    return RegFileEditor({utf16,
                          utf16,
                          utf16 ? "\xFF\xFE" : "",
                          {MakeLine({utf16, codePage}, header, true), {"", ""}}},
                         codePage);
}

RegFileTree RegFileEditor::Tree() const { return TreeOf(file_, *codePage_); }

void RegFileEditor::SetString(std::string_view keyPath, std::string_view name,
                              std::string_view value) {
    for (std::string_view text : {name, value}) {
        if (text.find_first_of("\r\n") != std::string_view::npos) {
            throw Error("the value holds a line break, which a registry file cannot hold");
        }
        if (!base::IsValidUtf8(text)) throw Error("the value is not valid UTF-8 text");
    }
    std::vector<RegFileLine>& lines = file_.lines;
    const LineEncoding page{file_.utf16, *codePage_};
    const std::string keyLine = "[" + std::string(keyPath) + "]";
    const std::string valueLine = "\"" + Escape(name) + "\"=\"" + Escape(value) + "\"";
    const std::string_view cr = file_.utf16 ? std::string_view("\r\0", 2) : "\r";
    bool crlf = false;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) crlf = crlf || lines[i].raw.ends_with(cr);
    const RegFileLine newLine = MakeLine(page, valueLine, crlf);

    // A line may not mean what it seems (a hex list before it may swallow it, a later line may
    // delete its key): the edit must be what a lookup then sees, else the key goes at the end.
    auto data = codePage_->FromUtf8(value);
    if (data) data->push_back('\0');
    const std::vector<RegFileLine> before = lines;
    if (PlaceInKey(lines, keyPath, name, newLine) &&
        Holds(Serialise(), *codePage_, keyPath, name, data))
        return;
    lines = before;
    if (!lines.back().raw.empty()) {  // end the last line
        if (crlf && !lines.back().raw.ends_with(cr)) lines.back().raw += cr;
        lines.push_back({});
    }
    lines.back() = MakeLine(page, "", crlf);  // a blank line before the new key
    lines.push_back(MakeLine(page, keyLine, crlf));
    lines.push_back(newLine);
    lines.push_back({"", ""});
    if (!Holds(Serialise(), *codePage_, keyPath, name, data)) {
        lines = before;
        throw Error("the value would not be read back from the file");
    }
}

std::string RegFileEditor::Serialise() const {
    const std::string_view newline = file_.utf16 ? std::string_view("\n\0", 2) : "\n";
    std::string bytes = file_.byteOrderMark;
    for (std::size_t i = 0; i < file_.lines.size(); ++i) {
        if (i) bytes += newline;
        bytes += file_.lines[i].raw;
    }
    return bytes;
}

std::string ReadWholeFile(platform::FileSystem& files, const std::string& path,
                          std::size_t maxBytes) {
    std::unique_ptr<platform::ByteSource> source = files.OpenFile(path);
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const std::size_t got = source->Read(chunk, sizeof chunk);
        if (got == 0) return bytes;
        if (got > maxBytes - bytes.size()) {
            throw Error("the file " + base::Quoted(path) + " is larger than " +
                        std::to_string(maxBytes) + " bytes");
        }
        bytes.append(chunk, got);
    }
}

std::string DefaultRegistryFile() {
    const char* named = std::getenv("SEEDWELL_REGISTRY");
    return (named && *named) ? named : "/etc/tarnwick/registry.reg";
}

RegFileRegistry::RegFileRegistry(platform::FileSystem& files, std::string path,
                                 const CodePage& codePage)
    : files_(files), path_(std::move(path)), codePage_(codePage) {}

std::unique_ptr<RegistryKey> RegFileRegistry::OpenKey(std::string_view keyPath,
                                                      std::uint32_t /*access*/) {
    const std::string bytes = ReadWholeFile(files_, path_, kMaxRegFileSize);
    std::optional<RegFileTree> tree = ParseRegFile(bytes, codePage_);
    if (!tree) throw Error("the file " + base::Quoted(path_) + " is not a registry file");
    std::string fullPath(kRootKey);
    if (!keyPath.empty()) {
        fullPath += '\\';
        fullPath += keyPath;
    }
    if (!tree->FindKey(fullPath)) return nullptr;
    return std::make_unique<RegFileRegistryKey>(std::move(*tree), std::move(fullPath));
}

}  // namespace seedwell::server
