#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/filesystem.h"
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

/// The keys and values of a registry file: "Windows Registry Editor Version 5.00" as UTF-16LE
/// text with its byte-order mark (or as 8-bit text), or "REGEDIT4" as 8-bit text in `codePage`.
/// Lines that cannot be understood are skipped and the rest still counts. The file is read a
/// line at a time: memory beyond the bytes and the keys stays that of one line. Returns nullopt
/// when the bytes are not a registry file or are larger than kMaxRegFileSize. Throws only for
/// lack of memory.
std::optional<RegFileTree> ParseRegFile(std::string_view bytes, const platform::CodePage& codePage);

/// One line of a registry file.
struct RegFileLine {
    std::string raw;                  ///< its bytes, the CR before the line end included
    std::optional<std::string> text;  ///< as UTF-8 without the CR; nullopt when not valid text
};

/// A registry file line by line: joining the lines again, after the byte-order mark, at LF (or
/// at the LF units of UTF-16), gives the file's bytes.
struct RegFileLines {
    bool utf16 = false;        ///< the lines are UTF-16LE text
    bool unicodeData = false;  ///< a 5.00 file: its hex(2) and hex(7) data is UTF-16LE
    std::string byteOrderMark;
    /// The header line first; the last one is empty when the file ends in a line end. Never
    /// empty.
    std::vector<RegFileLine> lines;
};

/// A registry file line by line, each line kept in its own bytes, so that writing the file back
/// gives the same bytes except for what was edited: comments, blank lines, line ends, unknown
/// lines and text that is not valid in the code page stay as they are.
class RegFileEditor {
  public:
    /// Reads the bytes of a registry file (as ParseRegFile takes them); `codePage` must outlive
    /// the result. Returns nullopt when the bytes are not a registry file or are larger than
    /// kMaxRegFileSize.
    static std::optional<RegFileEditor> Parse(std::string_view bytes,
                                              const platform::CodePage& codePage);
    /// A file holding only the header: "REGEDIT4" in 8-bit text, or the 5.00 header in UTF-16LE
    /// when `utf16`; lines end in CR LF.
    static RegFileEditor Empty(bool utf16, const platform::CodePage& codePage);

    /// The keys and values the file defines, as ParseRegFile reads them.
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
    RegFileEditor(RegFileLines file, const platform::CodePage& codePage)
        : file_(std::move(file)), codePage_(&codePage) {}

    RegFileLines file_;
    const platform::CodePage* codePage_;
};

/// The whole regular file `path`, opened through `files` (which refuses the paths its rules
/// refuse). Throws seedwell::Error when it cannot be read or holds more than `maxBytes` bytes;
/// memory never exceeds `maxBytes` plus one read.
std::string ReadWholeFile(platform::FileSystem& files, const std::string& path,
                          std::size_t maxBytes);

/// The registry file off Windows: $SEEDWELL_REGISTRY when set and not empty, else
/// /etc/tarnwick/registry.reg.
std::string DefaultRegistryFile();

/// HKEY_LOCAL_MACHINE served from a registry file (see ParseRegFile). The file is read anew at
/// every OpenKey, through the file system given; an open key answers from what the file held
/// when it was opened. Files have no rights per key, so any access mask is granted.
class RegFileRegistry : public platform::Registry {
  public:
    /// Reads the file `path` of `files`; `files` and `codePage` must outlive this object.
    RegFileRegistry(platform::FileSystem& files, std::string path,
                    const platform::CodePage& codePage);
    /// nullptr when the key is missing. Throws seedwell::Error naming the file when it is missing,
    /// unreadable or not a registry file.
    std::unique_ptr<platform::RegistryKey> OpenKey(std::string_view keyPath,
                                                   std::uint32_t access) override;
    const std::string& Path() const { return path_; }

  private:
    platform::FileSystem& files_;
    std::string path_;
    const platform::CodePage& codePage_;
};

}  // namespace seedwell::server
