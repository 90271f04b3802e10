#include "app/administration.h"

#include "platform/codepage.h"

namespace seedwell::app {

SystemServices::SystemServices()
    : registry_(MakeSystemRegistry()),
      objects_(MakeAdministrationObjects(*registry_)),
      files_(platform::MakeSystemFileSystem()),
      services_{*objects_, *files_, *registry_, platform::CodePage::System()} {}

}  // namespace seedwell::app
