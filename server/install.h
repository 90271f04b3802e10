#pragma once

#include <string>
#include <string_view>

namespace seedwell::server {

/// Makes the record store at `path` ready: creates the file with owner-only permissions (0600;
/// its -wal and -shm files follow) when it is missing, and the tables that are missing. Records
/// already there are kept. Throws seedwell::Error naming the path when the file cannot be made
/// or is not a record store.
void CreateStore(const std::string& path);

/// Installs the stand-in server: creates `dataDirectory` (made absolute when relative), its
/// Config/server.db (see CreateStore) and Postoffices folders, and sets "Data Directory" under
/// HKEY_LOCAL_MACHINE\SOFTWARE\Tarnwick\Tarnwick in the registry file `registryFile`, keeping
/// everything else that file holds. Re-installing keeps the records. Returns the data directory
/// as written to the registry. Throws seedwell::Error naming what failed.
std::string InstallServer(const std::string& dataDirectory, const std::string& registryFile);

/// Adds the post office `name` to the store of the server installed in `dataDirectory`: true
/// when added, false when it existed. Throws seedwell::Error when the store cannot be used or
/// the name is empty or cannot name a folder (a separator, ".", "..", a control character).
bool AddPostoffice(const std::string& dataDirectory, std::string_view name);

}  // namespace seedwell::server
