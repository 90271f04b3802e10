#pragma once

#include <memory>

#include "platform/objects.h"
#include "platform/registry.h"

namespace seedwell::app {

/// The factory of the mail server's administration objects on this build: the stand-in
/// server's classes off Windows, the real server's COM objects on Windows. `registry` must
/// outlive the factory. Throws seedwell::Error when the factory cannot be set up.
std::unique_ptr<platform::ObjectFactory> MakeAdministrationObjects(platform::Registry& registry);

}  // namespace seedwell::app
