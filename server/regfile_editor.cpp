#include "server/regfile_editor.h"

#include <cstddef>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/error.h"

namespace seedwell::server {
namespace {

using server::RegFileLine;
using Kind = server::RegFileLineMeaning::Kind;

std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

/// `text` as a line in the code page `page`, ending in CR when `crlf`.
RegFileLine MakeLine(const platform::CodePage& page, std::string_view text, bool crlf) {
    auto raw = page.FromUtf8(std::string(text) + (crlf ? "\r" : ""));
    if (!raw) throw Error("the line cannot be written in the code page " + page.Name());
    return {std::move(*raw), std::string(text)};
}

/// True when `line` is text that ends in a backslash, so that a hex list it holds goes on.
bool EndsInBackslash(const RegFileLine& line) {
    return line.text && server::ClassifyRegFileLine(*line.text).text.ends_with('\\');
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
        const auto line = server::ClassifyRegFileLine(*lines[i].text);
        if (line.kind == Kind::kKey) {
            inKey = line.key && platform::EqualsIgnoringCase(*line.key, keyPath);
            if (inKey) lastInKey = i;
            continue;
        }
        if (!inKey || line.kind == Kind::kBlank) continue;
        lastInKey = i;
        if (line.kind != Kind::kValue || !platform::EqualsIgnoringCase(line.name, name)) continue;
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
bool Holds(const std::string& bytes, const platform::CodePage& codePage, std::string_view keyPath,
           std::string_view name, const std::optional<std::string>& data) {
    const auto tree = server::ParseRegFile(bytes, codePage);
    const server::RegFileKey* key = tree ? tree->FindKey(keyPath) : nullptr;
    if (!key) return false;
    const auto it = key->values.find(platform::AsciiLower(name));
    return it != key->values.end() && it->second.type == platform::kRegSz &&
           it->second.data == data;
}

}  // namespace

std::optional<RegFileEditor> RegFileEditor::Parse(std::string_view bytes,
                                                  const platform::CodePage& codePage) {
    auto file = server::SplitRegFile(bytes, codePage);
    if (!file) return std::nullopt;
    return RegFileEditor(std::move(*file), codePage);
}

RegFileEditor RegFileEditor::Empty(bool utf16, const platform::CodePage& codePage) {
    const auto header = utf16 ? server::kRegFileHeader5 : server::kRegFileHeader4;
    return RegFileEditor(
        {utf16,
         utf16,
         utf16 ? "\xFF\xFE" : "",
         {MakeLine(server::RegFileLineCodePage(utf16, codePage), header, true), {"", ""}}},
        codePage);
}

server::RegFileTree RegFileEditor::Tree() const {
    return server::ParseRegFileLines(file_, *codePage_);
}

void RegFileEditor::SetString(std::string_view keyPath, std::string_view name,
                              std::string_view value) {
    for (std::string_view text : {name, value}) {
        if (text.find_first_of("\r\n") != std::string_view::npos) {
            throw Error("the value holds a line break, which a registry file cannot hold");
        }
        if (!platform::IsValidUtf8(text)) throw Error("the value is not valid UTF-8 text");
    }
    std::vector<RegFileLine>& lines = file_.lines;
    const platform::CodePage& page = server::RegFileLineCodePage(file_.utf16, *codePage_);
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

}  // namespace seedwell::server
