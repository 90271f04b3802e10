#include "app/administration.h"

#include "platform/com_objects.h"
#include "platform/registry_win.h"

namespace seedwell::app {

std::unique_ptr<platform::Registry> MakeSystemRegistry(platform::FileSystem&) {
    return std::make_unique<platform::WinRegistry>();
}

std::unique_ptr<platform::ObjectFactory> MakeAdministrationObjects(platform::Registry&) {
    return platform::MakeSystemObjectFactory();
}

}  // namespace seedwell::app
