#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "server/regfile.h"

namespace seedwell::server {

/// A registry file line by line, each line kept in its own bytes, so that writing the file back
/// gives the same bytes except for what was edited: comments, blank lines, line ends, unknown
/// lines and text that is not valid in the code page stay as they are.
class RegFileEditor {
  public:
    /// Reads the bytes of a registry file (see server::SplitRegFile); `codePage` must outlive
    /// the result. Returns nullopt when the bytes are not a registry file or are larger than
    /// server::kMaxRegFileSize.
    static std::optional<RegFileEditor> Parse(std::string_view bytes,
                                              const platform::CodePage& codePage);
    /// A file holding only the header: "REGEDIT4" in 8-bit text, or the 5.00 header in UTF-16LE
    /// when `utf16`; lines end in CR LF.
    static RegFileEditor Empty(bool utf16, const platform::CodePage& codePage);

    /// The keys and values the file defines (see server::ParseRegFileLines).
    server::RegFileTree Tree() const;

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
    RegFileEditor(server::RegFileLines file, const platform::CodePage& codePage)
        : file_(std::move(file)), codePage_(&codePage) {}

    server::RegFileLines file_;
    const platform::CodePage* codePage_;
};

}  // namespace seedwell::server
