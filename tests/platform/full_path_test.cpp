#include <gtest/gtest.h>

#include <string>

#include "platform/filesystem.h"

namespace seedwell::platform {
namespace {

TEST(FullPath, EachPlatformsFileSystemHasItsOwnRule) {
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
    const auto files = MakeSystemFileSystem();
    const bool windows = files->Separator() == '\\';
    for (const Case& c : cases) {
        EXPECT_EQ(files->IsFullPath(c.path), windows ? c.windows : c.posix) << c.path;
    }
}

}  // namespace
}  // namespace seedwell::platform
