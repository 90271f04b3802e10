#include "platform/full_path.h"

#include <gtest/gtest.h>

#include <string>

namespace seedwell::platform {
namespace {

TEST(FullPath, EachPlatformHasItsOwnRule) {
    struct Case {
        const char* path;
        bool posix;
        bool windows;
    };
    const Case cases[] = {
        {"", false, false},
        {"/srv/mail", true, false},
        {"srv/mail", false, false},
        {"./Postoffices", false, false},
        {"C:\\Mail", false, true},
        {"c:/Mail", false, true},
        {"C:", false, false},
        {"C:Mail", false, false},
        {"\\Mail", false, false},
        {"1:\\Mail", false, false},
        {"\\\\server\\share", false, true},
        {"\\\\server\\share\\Mail", false, true},
        {"\\\\server", false, false},
        {"\\\\server\\", false, false},
        {"\\\\\\share", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsFullPath(c.path, '/'), c.posix) << c.path;
        EXPECT_EQ(IsFullPath(c.path, '\\'), c.windows) << c.path;
    }
}

}  // namespace
}  // namespace seedwell::platform
