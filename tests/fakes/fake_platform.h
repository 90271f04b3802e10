#pragma once

#include "tests/fakes/fake_progress.h"
#include "tests/fakes/fake_registry.h"
#include "tests/fakes/recording.h"

namespace seedwell::fakes {

/// Every fake a run or an operation reaches, sharing one log. Test fixtures derive from it.
struct FakePlatform {
    Log log;
    FakeObjectFactory objects{log};
    FakeFileSystem files{log, '/'};
    FakeRegistry registry;
    FakeMessageBox messages{log};
    FakeBusyPointer pointer{log};
    FakeProgress progress{log};
    FakeClock clock;
};

}  // namespace seedwell::fakes
