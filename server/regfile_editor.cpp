#include "server/regfile_editor.h"

#include <cstddef>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/error.h"

namespace seedwell::server {
namespace {

using platform::RegFileLine;
using Kind = platform::RegFileLineMeaning::Kind;

std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

/// True when `line` is text that ends in a backslash, so that a hex list it holds goes on.
bool EndsInBackslash(const RegFileLine& line) {
    return line.text && platform::ClassifyRegFileLine(*line.text).text.ends_with('\\');
}

}  // namespace

std::optional<RegFileEditor> RegFileEditor::Parse(std::string_view bytes,
                                                  const platform::CodePage& codePage) {
    auto file = platform::SplitRegFile(bytes, codePage);
    if (!file) return std::nullopt;
    return RegFileEditor(std::move(*file), codePage);
}

RegFileEditor RegFileEditor::Empty(bool utf16, const platform::CodePage& codePage) {
    RegFileEditor file({utf16, utf16, utf16 ? "\xFF\xFE" : "", {}}, codePage);
    file.file_.lines.push_back(
        file.MakeLine(utf16 ? platform::kRegFileHeader5 : platform::kRegFileHeader4, true));
    file.file_.lines.push_back({"", ""});
    return file;
}

RegFileLine RegFileEditor::MakeLine(std::string_view text, bool crlf) const {
    const platform::CodePage& page = platform::RegFileLineCodePage(file_.utf16, *codePage_);
    auto raw = page.FromUtf8(std::string(text) + (crlf ? "\r" : ""));
    if (!raw) throw Error("the line cannot be written in the code page " + page.Name());
    return {std::move(*raw), std::string(text)};
}

platform::RegFileTree RegFileEditor::Tree() const {
    return platform::ParseRegFileLines(file_, *codePage_);
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
    const std::string keyLine = "[" + std::string(keyPath) + "]";
    const std::string valueLine = "\"" + Escape(name) + "\"=\"" + Escape(value) + "\"";
    const std::string_view cr = file_.utf16 ? std::string_view("\r\0", 2) : "\r";
    bool crlf = false;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) crlf = crlf || lines[i].raw.ends_with(cr);
    const RegFileLine newLine = MakeLine(valueLine, crlf);

    // A line may not mean what it seems (a hex list before it may swallow it, a later line may
    // delete its key): the edit must be what a lookup then sees, else the key goes at the end.
    auto data = codePage_->FromUtf8(value);
    if (data) data->push_back('\0');
    const std::vector<RegFileLine> before = lines;
    if (PlaceInKey(keyPath, name, newLine) && Holds(keyPath, name, data)) return;
    lines = before;
    if (!lines.back().raw.empty()) {  // end the last line
        if (crlf && !lines.back().raw.ends_with(cr)) lines.back().raw += cr;
        lines.push_back({});
    }
    lines.back() = MakeLine("", crlf);  // a blank line before the new key
    lines.push_back(MakeLine(keyLine, crlf));
    lines.push_back(newLine);
    lines.push_back({"", ""});
    if (!Holds(keyPath, name, data)) {
        lines = before;
        throw Error("the value would not be read back from the file");
    }
}

bool RegFileEditor::PlaceInKey(std::string_view keyPath, std::string_view name,
                               const RegFileLine& newLine) {
    std::vector<RegFileLine>& lines = file_.lines;
    // The last line that sets the value is the one a lookup sees; it spans [first, last].
    std::optional<std::size_t> lastInKey;
    std::optional<std::pair<std::size_t, std::size_t>> found;
    bool inKey = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (!lines[i].text) {  // not text: kept, and counts as a line of the key it is in
            if (inKey) lastInKey = i;
            continue;
        }
        const auto line = platform::ClassifyRegFileLine(*lines[i].text);
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

bool RegFileEditor::Holds(std::string_view keyPath, std::string_view name,
                          const std::optional<std::string>& data) const {
    const auto tree = platform::ParseRegFile(Serialise(), *codePage_);
    const platform::RegFileKey* key = tree ? tree->FindKey(keyPath) : nullptr;
    if (!key) return false;
    const auto it = key->values.find(platform::AsciiLower(name));
    return it != key->values.end() && it->second.type == platform::kRegSz &&
           it->second.data == data;
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
