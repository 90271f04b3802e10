// Every file system refuses what its rules refuse before any of its primitives is reached: the
// fake's primitives log each call, so an empty log shows that nothing got through.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/fakes/error_of.h"
#include "tests/fakes/fake_files.h"

namespace seedwell::platform {
namespace {

using fakes::ErrorOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Refused {
    base::PathRules rules;
    std::string path;
    std::string problem;  // in every description
};

class RulesRefuse : public ::testing::TestWithParam<Refused> {};

TEST_P(RulesRefuse, APathBeforeAnyPrimitive) {
    const Refused& c = GetParam();
    fakes::Log log;
    fakes::FakeFileSystem files(log, c.rules);
    const auto writing = [](ByteSink& sink) { sink.Write("x"); };
    EXPECT_FALSE(files.FileExists(c.path));
    EXPECT_FALSE(files.FolderExists(c.path));
    EXPECT_FALSE(files.PathExists(c.path));
    EXPECT_FALSE(files.SameFile(c.path, c.path));
    for (const std::string& failure :
         {ErrorOf([&] { files.CreateFolder(c.path); }), ErrorOf([&] { files.OpenFile(c.path); }),
          ErrorOf([&] { files.WriteFile(c.path, writing); }),
          ErrorOf([&] { files.HeldName(c.path, "x"); }),
          ErrorOf([&] { files.RemoveFolderBelow(c.path, {"x"}, true); })}) {
        EXPECT_THAT(failure, HasSubstr(c.problem));
    }
    EXPECT_THAT(log, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RulesRefuse,
    ::testing::Values(Refused{base::kPosixRules, std::string("/srv/a\0b", 8), "NUL byte"},
                      Refused{base::kWindowsRules, std::string("D:\\a\0b", 6), "NUL byte"},
                      Refused{base::kWindowsRules, "D:\\Mail\\nul", "is a device on Windows"},
                      Refused{base::kWindowsRules, "D:\\Mail.", "which Windows drops"}));

// A name that is no one folder name the file system can hold names no entry.
TEST(RulesRefuse, ANameHeldByNoEntry) {
    fakes::Log log;
    fakes::FakeFileSystem files(log, base::kWindowsRules);
    files.AddFolder("D:\\Mail\\nul");  // as if made by another program
    for (const char* name : {"nul", "a\\b", "..", "a:b"}) {
        EXPECT_EQ(files.HeldName("D:\\Mail", name), std::nullopt) << name;
    }
    EXPECT_THAT(log, IsEmpty());
}

}  // namespace
}  // namespace seedwell::platform
