#pragma once

#include <memory>

#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/objects.h"
#include "platform/registry.h"
#include "provisioning/operations.h"

namespace seedwell::app {

/// The registry of this build: the stand-in's registry file off Windows (SEEDWELL_REGISTRY,
/// else /etc/tarnwick/registry.reg, read anew at every lookup through `files`, which must outlive
/// the registry), the real registry on Windows.
std::unique_ptr<platform::Registry> MakeSystemRegistry(platform::FileSystem& files);

/// The factory of the mail server's administration objects on this build: the stand-in
/// server's classes off Windows, the real server's COM objects on Windows. `registry` must
/// outlive the factory. Throws seedwell::Error when the factory cannot be set up.
std::unique_ptr<platform::ObjectFactory> MakeAdministrationObjects(platform::Registry& registry);

/// What the operations reach on this machine, as both programs wire it: the system's registry,
/// its file system and code page, and the administration objects of this build. Owns all of it
/// for its own life. Throws seedwell::Error when a part cannot be set up.
class SystemServices {
  public:
    SystemServices()
        : files_(platform::MakeSystemFileSystem()),
          registry_(MakeSystemRegistry(*files_)),
          objects_(MakeAdministrationObjects(*registry_)),
          services_{*objects_, *files_, *registry_, platform::CodePage::System()} {}
    SystemServices(const SystemServices&) = delete;
    SystemServices& operator=(const SystemServices&) = delete;

    const provisioning::Services& Get() const { return services_; }

  private:
    std::unique_ptr<platform::FileSystem> files_;
    std::unique_ptr<platform::Registry> registry_;
    std::unique_ptr<platform::ObjectFactory> objects_;
    provisioning::Services services_;
};

}  // namespace seedwell::app
