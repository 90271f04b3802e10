#include "tests/fuzz/checks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "base/error.h"
#include "platform/filesystem_std.h"
#include "platform/registry.h"
#include "server/regfile.h"
#include "support/fields.h"
#include "support/import_file.h"
#include "support/settings.h"
#include "support/text_stream.h"

namespace seedwell::fuzz {
namespace {

constexpr std::size_t kWholeReads = std::numeric_limits<std::size_t>::max();

const platform::CodePage& Utf8() {
    static const platform::CodePage codePage("UTF-8");
    return codePage;
}

const platform::CodePage& Latin1() {
    static const platform::CodePage codePage("ISO-8859-1");
    return codePage;
}

/// Well-formed UTF-8, written apart from the program's own check so that each tests the other.
bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
        const unsigned lead = byte(i);
        std::size_t length;
        std::uint32_t code;
        std::uint32_t least;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, code = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, code = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, code = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) return false;
            code = (code << 6) | (byte(i + k) & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

std::string AsciiCase(std::string_view text, bool upper) {
    std::string out(text);
    for (char& c : out) {
        if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool IsAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

/// `text` quoted for a message, with bytes outside printable ASCII as \xHH and long text cut.
std::string Show(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown = "\"";
    for (const char c : text.substr(0, 80)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\') {
            shown += c;
        } else {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0xF];
        }
    }
    return shown + (text.size() > 80 ? "\"..." : "\"");
}

// ---- GetField ----

/// How many times `delimiter` (not empty) occurs in `text`, counting from the left without
/// overlaps.
std::size_t Occurrences(std::string_view text, std::string_view delimiter) {
    std::size_t count = 0;
    for (std::size_t at = text.find(delimiter); at != std::string_view::npos;
         at = text.find(delimiter, at + delimiter.size())) {
        ++count;
    }
    return count;
}

}  // namespace

// The fields are checked against what any cutting must satisfy, not against a second cutting:
// joined with the delimiter they give the text back, none holds the delimiter, and a non-empty
// text has one field more than it has delimiters.
std::string CheckGetField(std::string_view input) {
    if (input.size() < 2) return {};
    const int index = static_cast<unsigned char>(input[0]) % 13 - 2;
    const std::size_t delimiterSize =
        std::min<std::size_t>(static_cast<unsigned char>(input[1]) % 4, input.size() - 2);
    const std::string_view delimiter = input.substr(2, delimiterSize);
    const std::string_view text = input.substr(2 + delimiterSize);
    const auto field = [&](int i) { return support::GetField(text, delimiter, i); };
    const std::string where = " of " + Show(text) + " at " + Show(delimiter);
    const std::size_t count = text.empty()        ? 0
                              : delimiter.empty() ? 1
                                                  : Occurrences(text, delimiter) + 1;

    const std::string wanted = field(index);
    if (!wanted.empty() && text.find(wanted) == std::string_view::npos) {
        return "field " + std::to_string(index) + where + " is not part of the text";
    }
    for (const int outside : {std::numeric_limits<int>::min(), -1, 0, int(count) + 1,
                              std::numeric_limits<int>::max()}) {
        if (!field(outside).empty()) {
            return "field " + std::to_string(outside) + where + " is not empty";
        }
    }
    // Every field in turn: each O(text), so only for texts of a moderate number of pieces.
    if (count == 0 || count > 512) return {};
    std::string joined;
    for (std::size_t i = 1; i <= count; ++i) {
        const std::string piece = field(int(i));
        if (!delimiter.empty() && piece.find(delimiter) != std::string::npos) {
            return "field " + std::to_string(i) + where + " holds the delimiter";
        }
        if (i > 1) joined += delimiter;
        joined += piece;
    }
    if (joined != text) return "the fields" + where + " joined give " + Show(joined);
    return {};
}

// ---- The import file ----

namespace {

/// A file's bytes from memory, handed out at most `chunk` bytes per read.
class MemorySource : public platform::ByteSource {
  public:
    MemorySource(std::string_view bytes, std::size_t chunk) : bytes_(bytes), chunk_(chunk) {}
    std::size_t Read(char* buffer, std::size_t size) override {
        const std::size_t count = std::min({size, chunk_, bytes_.size()});
        if (count == 0) return 0;
        std::memcpy(buffer, bytes_.data(), count);
        bytes_.remove_prefix(count);
        return count;
    }

  private:
    std::string_view bytes_;
    std::size_t chunk_;
};

/// What reading a file should give: its lines, and the failure (by the start of its
/// description) that ends the reading after them, if any.
struct Outcome {
    std::vector<std::string> lines;
    std::optional<std::string> failure;
};

/// The import file format written plainly: lines end at CR LF, LF or a lone CR; a
/// line over the length limit, a NUL byte and bytes that
/// are not text in the code page stop the reading at that line.
Outcome Model(std::string_view bytes, bool utf8) {
    Outcome outcome;
    for (std::size_t start = 0, number = 1; start < bytes.size(); ++number) {
        const std::size_t end = std::min(bytes.find_first_of("\r\n", start), bytes.size());
        std::string_view line = bytes.substr(start, end - start);
        start = bytes.substr(end).starts_with("\r\n") ? end + 2 : end + 1;
        const std::string prefix = "line " + std::to_string(number) + " ";
        if (line.size() > support::kMaxLineLength) {
            outcome.failure = prefix;
            break;
        }
        if (number == 1) {
            if (utf8 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
        }
        if (line.find('\0') != std::string_view::npos || (utf8 && !IsUtf8(line))) {
            outcome.failure = prefix;
            break;
        }
        outcome.lines.push_back(utf8 ? std::string(line) : Latin1ToUtf8(line));
    }
    return outcome;
}

std::string ReadImportFile(std::string_view bytes, const platform::CodePage& codePage,
                           std::size_t chunk) {
    const std::string how =
        codePage.Name() + (chunk == kWholeReads ? std::string(" in whole reads")
                                                : " in reads of " + std::to_string(chunk));
    const Outcome expected = Model(bytes, codePage.IsUtf8());
    support::ImportFile file(support::TextStream(std::make_unique<MemorySource>(bytes, chunk)),
                             codePage, support::FileEncoding::kCodePage);
    Outcome actual;
    try {
        while (!file.AtEndOfStream()) {
            actual.lines.push_back(file.ReadLine());
            if (file.LineNumber() != long(actual.lines.size())) {
                return how + ": line number " + std::to_string(file.LineNumber()) + " after " +
                       std::to_string(actual.lines.size()) + " lines";
            }
        }
    } catch (const Error& error) {
        actual.failure = error.what();
    }
    const std::size_t common = std::min(expected.lines.size(), actual.lines.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (actual.lines[i] != expected.lines[i]) {
            return how + ": line " + std::to_string(i + 1) + " is " + Show(actual.lines[i]) +
                   ", not " + Show(expected.lines[i]);
        }
    }
    if (actual.lines.size() != expected.lines.size()) {
        return how + ": " + std::to_string(actual.lines.size()) + " lines read, not " +
               std::to_string(expected.lines.size()) +
               (actual.failure ? " (" + *actual.failure + ")" : std::string());
    }
    for (const std::string& line : actual.lines) {
        if (line.find_first_of("\r\n") != std::string::npos) {
            return how + ": a line holds a line end";
        }
        if (!IsUtf8(line)) return how + ": line " + Show(line) + " is not UTF-8";
    }
    if (expected.failure.has_value() != actual.failure.has_value()) {
        return how + (actual.failure ? ": failed with '" + *actual.failure + "'"
                                     : ": no failure after the last line");
    }
    if (actual.failure && !actual.failure->starts_with(*expected.failure)) {
        return how + ": the failure '" + *actual.failure + "' does not start with '" +
               *expected.failure + "'";
    }
    if (!actual.failure) {
        try {
            file.ReadLine();
            return how + ": a line was read past the end";
        } catch (const Error&) {
        }
    }
    return {};
}

}  // namespace

std::string CheckImportFile(std::string_view input) {
    const std::size_t small = 1 + input.size() % 5;
    for (const platform::CodePage* codePage : {&Utf8(), &Latin1()}) {
        for (const std::size_t chunk : {kWholeReads, small}) {
            if (std::string broken = ReadImportFile(input, *codePage, chunk); !broken.empty()) {
                return broken;
            }
        }
    }
    return {};
}

// ---- The registry file ----

namespace {

std::string CheckValueText(const platform::RegistryValue& value, const platform::CodePage& codePage,
                           const std::string& where) {
    const std::string text = support::RegistryValueToText(value, codePage);
    if (!IsUtf8(text)) return where + " reads as text that is not UTF-8: " + Show(text);
    if (value.type == platform::kRegDword && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            number |= std::uint32_t(static_cast<unsigned char>(value.data[i])) << (8 * i);
        }
        if (text != std::to_string(static_cast<std::int32_t>(number))) {
            return where + " is the number " + Show(text);
        }
    }
    return {};
}

std::string CheckTree(const server::RegFileTree& tree, const platform::CodePage& codePage) {
    const std::string in = " (" + codePage.Name() + ")";
    static constexpr std::string_view kServerKey =
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick";
    for (const std::string_view path : {kServerKey, std::string_view("HKEY_LOCAL_MACHINE"),
                                        std::string_view(), std::string_view("\\")}) {
        tree.FindKey(path);
        for (const std::string_view name : {"Data Directory", "", "@"}) {
            if (auto value = tree.FindValue(path, name)) {
                if (auto broken = CheckValueText(*value, codePage, Show(name) + in);
                    !broken.empty()) {
                    return broken;
                }
            }
        }
    }
    for (const auto& [path, key] : tree.keys) {
        const std::string where = "key " + Show(path) + in;
        if (path != AsciiCase(path, false)) return where + " is not kept in lower case";
        if (path.empty() || path.front() == '\\' || path.back() == '\\' ||
            path.find("\\\\") != std::string::npos) {
            return where + " has an empty component";
        }
        const std::string upper = AsciiCase(path, true);
        if (tree.FindKey(path) != &key || tree.FindKey(upper) != &key) {
            return where + " is not found by its path";
        }
        for (std::size_t cut = path.find('\\'); cut != std::string::npos;
             cut = path.find('\\', cut + 1)) {
            if (!tree.FindKey(upper.substr(0, cut))) return where + ": a parent is not found";
        }
        for (const auto& [name, value] : key.values) {
            const std::string at = where + " value " + Show(name);
            if (name != AsciiCase(name, false)) return at + " is not kept in lower case";
            const auto found = tree.FindValue(upper, AsciiCase(name, true));
            if (found.has_value() != value.data.has_value()) {
                return at + (found ? " is found without data" : " is not found");
            }
            if (!found) continue;
            if (found->type != value.type || found->data != *value.data) {
                return at + " is found with other type or data";
            }
            if (auto broken = CheckValueText(*found, codePage, at); !broken.empty()) return broken;
        }
    }
    return {};
}

/// The keys, value names and types of `tree`, which do not depend on the code page when the
/// file is ASCII.
std::vector<std::string> Shape(const server::RegFileTree& tree) {
    std::vector<std::string> shape;
    for (const auto& [path, key] : tree.keys) {
        shape.push_back(path);
        for (const auto& [name, value] : key.values) {
            shape.push_back(name + "=" + std::to_string(value.type));
        }
    }
    return shape;
}

/// Everything `tree` holds, in order, for comparing two trees.
std::vector<std::string> Contents(const server::RegFileTree& tree) {
    std::vector<std::string> contents;
    for (const auto& [path, key] : tree.keys) {
        contents.push_back(path);
        for (const auto& [name, value] : key.values) {
            contents.push_back(name + "=" + std::to_string(value.type) + ":" +
                               (value.data ? "(" + *value.data + ")" : std::string("none")));
        }
    }
    return contents;
}

/// `bytes` (after a UTF-16LE byte-order mark, in 16-bit units) with every line end rewritten:
/// each line that ends at a lone LF gets CR LF, and `blanks` go just before every line end
/// (CR LF, LF, a CR at the end of the file, or the end of the file). A registry file means the
/// same after either. Nullopt for a UTF-16 file with half a unit at its end.
std::optional<std::string> RewriteLineEnds(std::string_view bytes, bool crlf,
                                           std::string_view blanks) {
    const bool utf16 = bytes.starts_with("\xFF\xFE");
    const std::size_t unit = utf16 ? 2 : 1;
    if (utf16 && bytes.size() % 2 != 0) return std::nullopt;
    const auto encode = [utf16](std::string_view ascii) {
        std::string out;
        for (const char c : ascii) {
            out += c;
            if (utf16) out += '\0';
        }
        return out;
    };
    const std::string lf = encode("\n"), cr = encode("\r"), spaces = encode(blanks);
    const auto at = [&](std::size_t i, const std::string& what) {
        return i + unit <= bytes.size() && bytes.substr(i, unit) == what;
    };
    std::string out(bytes.substr(0, utf16 ? 2 : 0));
    std::size_t start = out.size();
    for (std::size_t i = start; i < bytes.size(); i += unit) {
        if (!at(i, lf)) continue;
        const bool hadCr = i >= start + unit && at(i - unit, cr);
        out += bytes.substr(start, i - start - (hadCr ? unit : 0));
        out += spaces;
        if (hadCr || crlf) out += cr;
        out += lf;
        start = i + unit;
    }
    std::string_view last = bytes.substr(start);
    const bool endsInCr = last.size() >= unit && last.substr(last.size() - unit) == cr;
    if (endsInCr) last.remove_suffix(unit);
    out += last;
    if (start < bytes.size()) out += spaces;
    if (endsInCr) out += cr;
    return out;
}

}  // namespace

std::string CheckRegFile(std::string_view input) {
    const auto utf8 = server::ParseRegFile(input, Utf8());
    const auto latin1 = server::ParseRegFile(input, Latin1());
    for (const auto* tree : {&utf8, &latin1}) {
        if (!*tree) continue;
        const auto& codePage = tree == &utf8 ? Utf8() : Latin1();
        if (auto broken = CheckTree(**tree, codePage); !broken.empty()) return broken;
        const auto file = server::RegFileEditor::Parse(input, codePage);
        if (!file) return "a registry file's lines cannot be read as one";
        if (file->Serialise() != input) return "a registry file is not written back as it was read";
        if (Contents(file->Tree()) != Contents(**tree)) {
            return "a registry file's lines mean something else than the file read at once";
        }
        auto edited = *file;
        try {
            edited.SetString("HKEY_LOCAL_MACHINE\\Edited", "Value", "text");
        } catch (const Error&) {  // refused: the file must be as it was
            if (edited.Serialise() != input) return "a refused edit changed the registry file";
            continue;
        }
        const auto reread = server::ParseRegFile(edited.Serialise(), codePage);
        if (!reread || !reread->FindValue("HKEY_LOCAL_MACHINE\\Edited", "value")) {
            return "a value set in a registry file is not there when it is read again";
        }
    }
    if (IsAscii(input)) {
        if (utf8.has_value() != latin1.has_value()) {
            return "an ASCII file is a registry file in one code page only";
        }
        if (utf8 && Shape(*utf8) != Shape(*latin1)) {
            return "an ASCII file gives other keys or values in another code page";
        }
    }
    struct Rewrite {
        bool crlf;
        std::string_view blanks;
        const char* what;
    };
    for (const Rewrite& rewrite : {Rewrite{true, "", "every line ending in CR LF"},
                                   Rewrite{false, " \t", "blanks at the end of every line"}}) {
        const auto rewritten = RewriteLineEnds(input, rewrite.crlf, rewrite.blanks);
        if (!rewritten) continue;
        const auto again = server::ParseRegFile(*rewritten, Utf8());
        if (again.has_value() != utf8.has_value() ||
            (utf8 && Contents(*again) != Contents(*utf8))) {
            return std::string("the file means something else with ") + rewrite.what;
        }
    }
    return {};
}

}  // namespace seedwell::fuzz
