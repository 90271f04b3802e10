#pragma once

#include <cstddef>
#include <string>

#include "platform/codepage.h"
#include "platform/registry.h"

namespace seedwell::server {

/// The whole regular file `path`. Throws seedwell::Error when it cannot be read or holds more
/// than `maxBytes` bytes; memory never exceeds `maxBytes` plus one read.
std::string ReadWholeFile(const std::string& path, std::size_t maxBytes);

/// The registry file off Windows: $SEEDWELL_REGISTRY when set and not empty, else
/// /etc/tarnwick/registry.reg.
std::string DefaultRegistryFile();

/// HKEY_LOCAL_MACHINE served from a registry file (see ParseRegFile). The file is read anew at
/// every OpenKey; an open key answers from what the file held when it was opened. Files have no
/// rights per key, so any access mask is granted.
class RegFileRegistry : public platform::Registry {
  public:
    /// `codePage` must outlive this object.
    RegFileRegistry(std::string path, const platform::CodePage& codePage);
    /// nullptr when the key is missing. Throws seedwell::Error naming the file when it is missing,
    /// unreadable or not a registry file.
    std::unique_ptr<platform::RegistryKey> OpenKey(std::string_view keyPath,
                                                   std::uint32_t access) override;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    const platform::CodePage& codePage_;
};

}  // namespace seedwell::server
