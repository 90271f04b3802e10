#include "app/administration.h"

#include "platform/com_objects.h"

namespace seedwell::app {

std::unique_ptr<platform::ObjectFactory> MakeAdministrationObjects(platform::Registry&) {
    return platform::MakeSystemObjectFactory();
}

}  // namespace seedwell::app
