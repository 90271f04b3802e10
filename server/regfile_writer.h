#pragma once

#include <string>
#include <string_view>

namespace seedwell::server {

/// Sets the string value `valueName` of the key HKEY_LOCAL_MACHINE\`keyPath` to `value` (UTF-8)
/// in the registry file `file` (the .reg text format), keeping everything else the file holds:
/// a value already there is rewritten in place, a missing one is added at the end of its key,
/// a missing key at the end of the file. A missing file is written new in the 8-bit "REGEDIT4"
/// form (text in the system code page, parent folders made); a UTF-16LE "Windows Registry Editor
/// Version 5.00" file stays in its form. `\` and `"` in the value are escaped. The file is
/// replaced atomically (a temporary file beside it, then a rename), keeping its permissions.
/// Throws seedwell::Error naming the file and the reason when it cannot be read or written, or
/// when the value cannot be written in the file's form (a line break, or a character the code
/// page lacks).
void SetRegistryString(const std::string& file, std::string_view keyPath,
                       std::string_view valueName, std::string_view value);

}  // namespace seedwell::server
