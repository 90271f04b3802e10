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

namespace seedwell::server {

/// The largest registry file that is read; a bigger one is not a registry file.
inline constexpr std::size_t kMaxRegFileSize = 16 * 1024 * 1024;

/// One value of a registry file: its type code and the bytes a lookup answers, or no bytes when
/// its text cannot be represented in the code page (the value is then unreadable).
struct RegFileValue {
    std::uint32_t type = platform::kRegNone;
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
    std::optional<platform::RegistryValue> FindValue(std::string_view path,
                                                     std::string_view name) const;

    /// Keys by full path in ASCII lower case.
    std::map<std::string, RegFileKey, std::less<>> keys;
};

/// The header lines that make a registry file: the first is read as UTF-16LE text with its
/// byte-order mark or as 8-bit text, the second only as 8-bit text.
inline constexpr std::string_view kRegFileHeader5 = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kRegFileHeader4 = "REGEDIT4";

/// One line of a registry file.
struct RegFileLine {
    std::string raw;                  ///< its bytes, the CR before the line end included
    std::optional<std::string> text;  ///< as UTF-8 without the CR; nullopt when not valid text
};

/// A registry file line by line, each line kept in its own bytes: joining them again gives the
/// file's bytes.
struct RegFileLines {
    bool utf16 = false;        ///< the lines are UTF-16LE text, split at LF units
    bool unicodeData = false;  ///< a 5.00 file: its hex(2) and hex(7) data is UTF-16LE
    std::string byteOrderMark;
    /// Split at LF, the header line first; the last one has no line end, and is empty when the
    /// file ends in one. Never empty.
    std::vector<RegFileLine> lines;
};

/// The lines of the bytes of a registry file: "Windows Registry Editor Version 5.00" as UTF-16LE
/// text with its byte-order mark (or as 8-bit text), or "REGEDIT4" as 8-bit text in `codePage`.
/// Returns nullopt when the bytes are not a registry file or are larger than kMaxRegFileSize.
std::optional<RegFileLines> SplitRegFile(std::string_view bytes,
                                         const platform::CodePage& codePage);

/// The code page the lines of a file are written in: UTF-16LE when `utf16`, else `codePage`.
const platform::CodePage& RegFileLineCodePage(bool utf16, const platform::CodePage& codePage);

/// What the text of one line means on its own. Which key a value line belongs to, and whether a
/// line goes on a hex list that an earlier line ends in a backslash, depend on the lines before.
struct RegFileLineMeaning {
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

/// The meaning of `text`, a line's text; the views point into `text`.
RegFileLineMeaning ClassifyRegFileLine(std::string_view text);

/// The keys and values that the lines after the header define, in file order. Lines that cannot
/// be understood are skipped and the rest still counts; time and memory grow only in proportion
/// to the lines.
RegFileTree ParseRegFileLines(const RegFileLines& file, const platform::CodePage& codePage);

/// The keys and values of a registry file, as SplitRegFile then ParseRegFileLines give them,
/// read a line at a time: memory beyond the bytes and the keys stays that of one line. Returns
/// nullopt when the bytes are not a registry file or are larger than kMaxRegFileSize. Throws
/// only for lack of memory.
std::optional<RegFileTree> ParseRegFile(std::string_view bytes, const platform::CodePage& codePage);

}  // namespace seedwell::server
