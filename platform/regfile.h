#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/registry.h"

namespace seedwell::platform {

/// The largest registry file that is read; a bigger one is not a registry file.
inline constexpr std::size_t kMaxRegFileSize = 16 * 1024 * 1024;

/// One value of a registry file: its type code and the bytes a lookup answers, or no bytes when
/// its text cannot be represented in the code page (the value is then unreadable).
struct RegFileValue {
    std::uint32_t type = kRegNone;
    std::optional<std::string> data;
};

/// The values of one key, by name in ASCII lower case ("" is the default value).
struct RegFileKey {
    std::map<std::string, RegFileValue, std::less<>> values;
};

/// The keys a registry file defines, by full path from the root key ("HKEY_LOCAL_MACHINE\..."),
/// matched ignoring ASCII case.
class RegFileTree {
  public:
    /// The key at `path`, or nullptr when the file neither defines it nor any key below it (a key
    /// that only has keys below it exists, without values).
    const RegFileKey* FindKey(std::string_view path) const;
    /// The type and bytes of the value `name` of the key at `path`, or nullopt when the key or
    /// the value is missing or the value is unreadable.
    std::optional<RegistryValue> FindValue(std::string_view path, std::string_view name) const;

    /// Keys by full path in ASCII lower case.
    std::map<std::string, RegFileKey, std::less<>> keys;
};

/// A registry file line by line, each line kept in its own bytes, so that writing the file back
/// gives the same bytes except for what was edited: comments, blank lines, line ends, unknown
/// lines and text that is not valid in the code page stay as they are.
class RegFile {
  public:
    /// Parses the bytes of a registry file: "Windows Registry Editor Version 5.00" as UTF-16LE
    /// text with its byte-order mark (or as 8-bit text), or "REGEDIT4" as 8-bit text in
    /// `codePage`, which must outlive the result. Returns nullopt when the bytes are not a
    /// registry file or are larger than kMaxRegFileSize.
    static std::optional<RegFile> Parse(std::string_view bytes, const CodePage& codePage);
    /// A file holding only the header: "REGEDIT4" in 8-bit text, or the 5.00 header in UTF-16LE
    /// when `utf16`; lines end in CR LF.
    static RegFile Empty(bool utf16, const CodePage& codePage);

    /// The keys and values the file defines. Lines that cannot be understood are skipped and
    /// the rest still counts; time and memory grow only in proportion to the file.
    RegFileTree Tree() const;

    /// Sets the string value `name` of the key at `keyPath` (the full path, as a key line gives
    /// it) to `value` (UTF-8), keeping every other line: the last line that sets the value under
    /// that key (the one a lookup sees) is rewritten in place, else the value is added after the
    /// key's last line, else the key is added at the end; and at the end too when a lookup would
    /// not see the value where it was put. Throws seedwell::Error when the line cannot be written
    /// in the file's text (a line break, or a character the code page lacks) or would not be read
    /// back even at the end, leaving the file as it was.
    void SetString(std::string_view keyPath, std::string_view name, std::string_view value);

    /// The file's bytes.
    std::string Serialise() const;

  private:
    struct Line {
        std::string raw;                  // the bytes, the CR before the line end included
        std::optional<std::string> text;  // as UTF-8 without the CR; nullopt when not text
    };

    RegFile(bool utf16, const CodePage& codePage) : utf16_(utf16), codePage_(&codePage) {}
    const CodePage& LineCodePage() const;
    Line MakeLine(std::string_view text, bool crlf) const;
    /// Puts `newLine` in place of the value's last line under the key, else after the key's
    /// last line; false when the file has no such key.
    bool PlaceInKey(std::string_view keyLine, std::string_view name, const Line& newLine);
    /// True when a lookup in the file as written finds the string value `name` of `keyPath`
    /// holding `data`.
    bool Holds(std::string_view keyPath, std::string_view name,
               const std::optional<std::string>& data) const;

    bool utf16_;
    bool unicodeData_ = false;  // a 5.00 file: hex(2) and hex(7) data is UTF-16LE
    const CodePage* codePage_;
    std::string prefix_;       // a byte-order mark
    std::vector<Line> lines_;  // split at LF; the last one has no line end
};

/// The keys and values of a registry file (see RegFile). Returns nullopt when the bytes are not a
/// registry file or are larger than kMaxRegFileSize. Throws only for lack of memory.
std::optional<RegFileTree> ParseRegFile(std::string_view bytes, const CodePage& codePage);

}  // namespace seedwell::platform
