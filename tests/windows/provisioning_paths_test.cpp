// The operations with Windows paths: the same objects, values and folders as elsewhere, the
// folders joined with backslashes below the data directory that the registry gives.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/registry.h"
#include "provisioning/operations.h"
#include "support/settings.h"
#include "tests/fakes/fake_registry.h"
#include "tests/fakes/recording.h"

namespace seedwell::provisioning {
namespace {

using fakes::Filter;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class WindowsPaths : public ::testing::Test {
  protected:
    WindowsPaths() {
        registry.SetString("SOFTWARE\\Tarnwick\\Tarnwick", "Data Directory", "D:\\Mail");
        root = files.BuildPath(support::GetDataDirectory(registry, kUtf8), "Postoffices");
        files.folders = {"D:\\Mail", root};
    }

    const platform::CodePage kUtf8{"UTF-8"};
    fakes::Log log;
    fakes::FakeObjectFactory objects{log};
    fakes::FakeFileSystem files{log, base::kWindowsRules};
    fakes::FakeRegistry registry;
    Services services{objects, files, registry, kUtf8};
    const platform::Value rights = std::string("USER");
    std::string root;
};

TEST_F(WindowsPaths, CreateThenDeleteUseTheSameBackslashedFolders) {
    EXPECT_EQ(root, "D:\\Mail\\Postoffices");
    EXPECT_EQ(CreateMailbox(services, "main", "jsmith", "pw", -1, root, rights).failure,
              std::nullopt);
    EXPECT_THAT(Filter(log, "mkdir"),
                ElementsAre("mkdir D:\\Mail\\Postoffices\\main",
                            "mkdir D:\\Mail\\Postoffices\\main\\mailroot",
                            "mkdir D:\\Mail\\Postoffices\\main\\mailroot\\jsmith",
                            "mkdir D:\\Mail\\Postoffices\\main\\mailroot\\jsmith\\inbox"));
    EXPECT_THAT(Filter(log, "set TWAOAU.Login.UserName"),
                ElementsAre("set TWAOAU.Login.UserName string 'jsmith@main'"));

    log.clear();
    EXPECT_EQ(DeleteMailbox(services, "main", "jsmith").failure, std::nullopt);
    EXPECT_THAT(Filter(log, "rmdir"),
                ElementsAre("rmdir D:\\Mail\\Postoffices\\main\\mailroot\\jsmith"));
    EXPECT_THAT(Filter(log, "set TWAOAM.AddressMap.DestinationAddress"),
                ElementsAre("set TWAOAM.AddressMap.DestinationAddress string '[SF:main/jsmith]'"));
    EXPECT_EQ(files.folders, (std::set<std::string>{"D:\\Mail", root, root + "\\main",
                                                    root + "\\main\\mailroot"}));
    EXPECT_EQ(objects.live, 0);
}

TEST_F(WindowsPaths, DataDirectoryEndingInABackslashGivesTheSameFolder) {
    registry.SetString("SOFTWARE\\Tarnwick\\Tarnwick", "Data Directory", "D:\\Mail\\");
    files.AddFolder("D:\\Mail\\Postoffices\\main\\mailroot\\jsmith");
    EXPECT_EQ(DeleteMailbox(services, "main", "jsmith").failure, std::nullopt);
    EXPECT_FALSE(files.Holds("D:\\Mail\\Postoffices\\main\\mailroot\\jsmith"));
    EXPECT_THAT(Filter(log, "rmdir"),
                ElementsAre("rmdir D:\\Mail\\Postoffices\\main\\mailroot\\jsmith"));
}

}  // namespace
}  // namespace seedwell::provisioning
