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

/// Makes the record store at `path` ready: creates the file with owner-only permissions (0600;
/// its -wal and -shm files follow) when it is missing, and the tables that are missing. Records
/// already there are kept. Throws seedwell::Error naming the path when the file cannot be made,
/// fails CheckStoreSafety or is not a record store.
void CreateStore(const std::string& path);

/// Installs the stand-in server: creates `dataDirectory` (made absolute when relative), its
/// Config folder (owner-only, 0700, whatever the umask) with Config/server.db (see CreateStore)
/// and its Postoffices folder, and sets "Data Directory" under
/// HKEY_LOCAL_MACHINE\SOFTWARE\Tarnwick\Tarnwick in the registry file `registryFile`, keeping
/// everything else that file holds. Re-installing keeps the records. Returns the data directory
/// as written to the registry. Throws seedwell::Error naming what failed.
std::string InstallServer(const std::string& dataDirectory, const std::string& registryFile);

/// Adds the post office `name` to the store of the server installed in `dataDirectory`: true
/// when added, false when it existed. Throws seedwell::Error when the store cannot be used or
/// the name is empty or cannot name a folder (a separator, ".", "..", a control character).
bool AddPostoffice(const std::string& dataDirectory, std::string_view name);

}  // namespace seedwell::server
