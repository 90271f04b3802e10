#include "server/regfile_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "platform/ascii.h"
#include "platform/codepage.h"
#include "platform/error.h"

namespace seedwell::server {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUtf16Bom = "\xFF\xFE";

[[noreturn]] void Fail(const std::string& file, const std::string& why) {
    throw Error("cannot write the registry file '" + file + "': " + why);
}

std::string Utf16LeToUtf8(const std::string& file, std::string_view bytes) {
    if (bytes.size() % 2 != 0) Fail(file, "it is not valid UTF-16 text (odd length)");
    std::string out;
    out.reserve(bytes.size() / 2);
    auto unit = [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
            const char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) Fail(file, "it is not valid UTF-16 text");
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// `utf8` must be valid UTF-8.
std::string Utf8ToUtf16Le(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() * 2);
    auto put = [&](char32_t unit) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1   ? lead
                     : length == 2 ? lead & 0x1F
                     : length == 3 ? lead & 0x0F
                                   : lead & 0x07;
        for (int k = 1; k < length; ++k) {
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        i += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
    return out;
}

std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

std::string_view Trim(std::string_view line) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return line;
}

// For a line `"name"=data`: the unescaped name and the data; nullopt for any other line.
struct ValueLine {
    std::string name;
    std::string_view data;
};

std::optional<ValueLine> ParseValueLine(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '"') return std::nullopt;
    ValueLine value;
    std::size_t i = 1;
    for (; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        value.name += line[i];
    }
    if (i >= line.size()) return std::nullopt;
    std::string_view rest = Trim(line.substr(i + 1));
    if (rest.empty() || rest.front() != '=') return std::nullopt;
    value.data = Trim(rest.substr(1));
    return value;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) text += '\n';
        text += lines[i];
    }
    return text;
}

// `lines` with the value set: rewritten in place, added to the key, or added with its key.
void SetValue(std::vector<std::string>& lines, std::string_view keyLine, std::string_view valueName,
              const std::string& newLine, bool crlf) {
    const std::string cr = crlf ? "\r" : "";
    std::optional<std::size_t> lastInKey;
    bool inKey = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view trimmed = Trim(lines[i]);
        if (!trimmed.empty() && trimmed.front() == '[') {
            inKey = platform::EqualsIgnoringCase(trimmed, keyLine);
            if (inKey) lastInKey = i;
            continue;
        }
        if (!inKey || trimmed.empty()) continue;
        lastInKey = i;
        auto value = ParseValueLine(lines[i]);
        if (!value || !platform::EqualsIgnoringCase(value->name, valueName)) continue;
        // Hex data may go on over continuation lines ending in a backslash; text does not.
        std::size_t last = i;
        if (value->data.empty() || value->data.front() != '"') {
            while (last + 1 < lines.size() && !Trim(lines[last]).empty() &&
                   Trim(lines[last]).back() == '\\') {
                ++last;
            }
        }
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i + 1),
                    lines.begin() + static_cast<std::ptrdiff_t>(last + 1));
        lines[i] = newLine + cr;
        return;
    }
    if (lastInKey) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*lastInKey + 1), newLine + cr);
        return;
    }
    if (!lines.back().empty()) {  // end the last line
        if (lines.back().back() != '\r') lines.back() += cr;
        lines.push_back("");
    }
    lines.back() = cr;  // a blank line before the new key
    lines.push_back(std::string(keyLine) + cr);
    lines.push_back(newLine + cr);
    lines.push_back("");
}

std::optional<std::string> ReadFile(const std::string& file) {
    std::error_code error;
    if (fs::status(file, error).type() == fs::file_type::not_found) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw Error("cannot read the registry file '" + file + "': " + std::strerror(errno));
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw Error("cannot read the registry file '" + file + "'");
    return bytes;
}

void WriteAtomically(const std::string& file, const std::string& bytes, bool existed) {
    const fs::path path(file);
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    struct stat old {};
    const bool keepMode = existed && ::stat(file.c_str(), &old) == 0;
    if (!existed) {
        std::error_code error;
        fs::create_directories(parent, error);
        if (error) Fail(file, "cannot make its folder: " + error.message());
    }
    std::string temp = (parent / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        Fail(file, std::string("cannot make a temporary file beside it: ") + std::strerror(errno));
    auto failWith = [&](const char* what) {
        const std::string reason = std::strerror(errno);
        ::close(fd);
        ::unlink(temp.c_str());
        Fail(file, std::string(what) + ": " + reason);
    };
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) failWith("writing failed");
        done += static_cast<std::size_t>(n);
    }
    if (keepMode) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Keeping the owner is best effort; the mode below still applies.
        }
    }
    if (::fchmod(fd, keepMode ? (old.st_mode & 07777) : 0644) != 0) failWith("chmod failed");
    if (::fsync(fd) != 0) failWith("fsync failed");
    if (::close(fd) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(temp.c_str());
        Fail(file, "closing failed: " + reason);
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(temp.c_str());
        Fail(file, "renaming the temporary file failed: " + reason);
    }
    const int dir = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace

void SetRegistryString(const std::string& fileGiven, std::string_view keyPath,
                       std::string_view valueName, std::string_view value) {
    // Write through a link to the file it names, not over the link.
    std::string file = fileGiven;
    std::error_code linkError;
    if (fs::is_symlink(file, linkError)) {
        file = fs::weakly_canonical(file, linkError).string();
        if (linkError) Fail(fileGiven, linkError.message());
    }
    if (value.find_first_of("\r\n") != std::string_view::npos) {
        Fail(file, "the value holds a line break, which a registry file cannot hold");
    }
    if (!platform::IsValidUtf8(value)) Fail(file, "the value is not valid UTF-8 text");

    const std::optional<std::string> old = ReadFile(file);
    const bool utf16 = old && old->starts_with(kUtf16Bom);
    std::string text;
    if (utf16) {
        text = Utf16LeToUtf8(file, std::string_view(*old).substr(kUtf16Bom.size()));
    } else if (old) {
        text = *old;
    }
    const bool fresh = Trim(text).empty();
    const bool crlf = fresh || text.find("\r\n") != std::string::npos;

    std::string newLine = "\"" + Escape(valueName) + "\"=\"" + Escape(value) + "\"";
    const std::string keyLine = "[HKEY_LOCAL_MACHINE\\" + std::string(keyPath) + "]";
    std::vector<std::string> lines;
    if (fresh) {
        lines = {utf16 ? "Windows Registry Editor Version 5.00\r" : "REGEDIT4\r", ""};
    } else {
        lines = SplitLines(text);
    }
    if (!utf16) {
        // An 8-bit file holds text in the system code page; the edit is made in those bytes.
        auto converted = platform::CodePage::System().FromUtf8(newLine);
        if (!converted) {
            Fail(file, "the value cannot be written in the system code page " +
                           platform::CodePage::System().Name());
        }
        newLine = std::move(*converted);
    }
    SetValue(lines, keyLine, valueName, newLine, crlf);
    text = JoinLines(lines);
    WriteAtomically(file, utf16 ? std::string(kUtf16Bom) + Utf8ToUtf16Le(text) : text,
                    old.has_value());
}

}  // namespace seedwell::server
