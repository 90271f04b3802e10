#pragma once

#include "platform/codepage.h"
#include "provisioning/operations.h"
#include "tests/fakes/fake_registry.h"
#include "tests/fakes/recording.h"

namespace seedwell::fakes {

/// Every fake an operation reaches, sharing one log. Test fixtures derive from it.
struct FakePlatform {
    /// The services an operation is given: these fakes, and `codePage`.
    provisioning::Services MakeServices(
        const platform::CodePage& codePage = platform::CodePage::System()) {
        return {objects, files, registry, codePage};
    }

    Log log;
    FakeObjectFactory objects{log};
    FakeFileSystem files{log};
    FakeRegistry registry;
};

}  // namespace seedwell::fakes
