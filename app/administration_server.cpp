#include "app/administration.h"

#include "server/regfile.h"
#include "server/server.h"

namespace seedwell::app {

std::unique_ptr<platform::Registry> MakeSystemRegistry(platform::FileSystem& files) {
    return std::make_unique<server::RegFileRegistry>(files, server::DefaultRegistryFile(),
                                                     platform::CodePage::System());
}

std::unique_ptr<platform::ObjectFactory> MakeAdministrationObjects(platform::Registry& registry) {
    auto classes = std::make_unique<server::ClassTable>();
    server::RegisterServerClasses(*classes, registry);
    return classes;
}

}  // namespace seedwell::app
