#pragma once

#include "platform/codepage.h"
#include "platform/registry.h"

namespace seedwell::platform {

/// HKEY_LOCAL_MACHINE of the Windows registry, through the ANSI functions RegOpenKeyExA,
/// RegQueryValueExA and RegCloseKey. Key paths and value names are UTF-8 and are converted to
/// `codePage` (the ANSI code page) for those functions; one that cannot be converted exactly is
/// a failed lookup. A process sees the registry view of its own bitness.
class WinRegistry : public Registry {
  public:
    /// `codePage` must be the ANSI code page and outlive this object.
    explicit WinRegistry(const CodePage& codePage = CodePage::System()) : codePage_(codePage) {}
    /// Opens the key with exactly the rights in `access`; nullptr when that fails.
    std::unique_ptr<RegistryKey> OpenKey(std::string_view keyPath, std::uint32_t access) override;

  private:
    const CodePage& codePage_;
};

}  // namespace seedwell::platform
