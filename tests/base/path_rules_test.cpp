#include "base/path_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace seedwell::base {
namespace {

TEST(FullPath, EachSystemHasItsOwnRule) {
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
        {"\xE9:\\Mail", false, false},  // a letter in Latin-1, never a drive
        {"\\\\server\\share", false, true},
        {"\\\\server\\share\\Mail", false, true},
        {"\\\\server", false, false},
        {"\\\\server\\", false, false},
        {"\\\\\\share", false, false},
        {"\\\\x", false, false},
        {"\\\\\\\\", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kPosixRules.IsFullPath(c.path), c.posix) << c.path;
        EXPECT_EQ(kWindowsRules.IsFullPath(c.path), c.windows) << c.path;
    }
}

TEST(BuildPath, JoinsWithOneSeparatorOfTheSystem) {
    struct Case {
        PathRules rules;
        const char* dir;
        const char* name;
        const char* path;
    };
    const Case cases[] = {
        {kPosixRules, "/srv/mail", "Postoffices", "/srv/mail/Postoffices"},
        {kPosixRules, "/srv/mail/", "Postoffices", "/srv/mail/Postoffices"},
        {kPosixRules, "/srv/mail//", "x", "/srv/mail//x"},
        {kPosixRules, "", "Postoffices", "Postoffices"},
        {kPosixRules, "/", "x", "/x"},
        {kWindowsRules, "D:\\Mail", "Postoffices", "D:\\Mail\\Postoffices"},
        {kWindowsRules, "D:\\Mail\\", "Postoffices", "D:\\Mail\\Postoffices"},
        {kWindowsRules, "D:\\", "x", "D:\\x"},
        {kWindowsRules, "", "x", "x"},
        {kWindowsRules, "D:/Mail", "x", "D:/Mail\\x"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.rules.BuildPath(c.dir, c.name), c.path) << c.dir;
    EXPECT_EQ(kPosixRules.Separator(), '/');
    EXPECT_EQ(kWindowsRules.Separator(), '\\');
}

TEST(NameProblem, WindowsSaysWhichFolderNamesItCannotHoldAndPosixHoldsThemAll) {
    const PathRules& windows = kWindowsRules;
    for (const std::string bad :
         {"jsmith.", "jsmith ", "a:b", "a*", "a?", "a\"b", "a<b", "a>b", "a|b", "CON", "prn", "Aux",
          "nul.txt", "nul .txt", "COM1", "lpt9.log", "conin$"}) {
        EXPECT_NE(windows.NameProblem("the mailbox name", bad), std::nullopt) << bad;
        EXPECT_EQ(kPosixRules.NameProblem("the mailbox name", bad), std::nullopt) << bad;
    }
    for (const std::string good : {"jsmith", "j.smith", ".hidden", "console", "com10", "com0",
                                   "lpt", "nullify", "Z\xC3\xBCrich"}) {
        EXPECT_EQ(windows.NameProblem("the mailbox name", good), std::nullopt) << good;
    }
    EXPECT_EQ(windows.NameProblem("the post office name", "com1.txt"),
              "the post office name 'com1.txt' is a device on Windows");
    EXPECT_EQ(windows.NameProblem("the mailbox name", "jsmith."),
              "the mailbox name 'jsmith.' ends in a dot or a blank, which Windows drops");
}

TEST(PathProblem, ANulByteEverywhereAndOnWindowsANameReadAsAnother) {
    struct Case {
        std::string path;
        std::optional<std::string> posix;
        std::optional<std::string> windows;
    };
    const std::string nul = "the path holds a NUL byte";
    const Case cases[] = {
        {"/srv/mail/nul", std::nullopt, "the name 'nul' is a device on Windows"},
        {"D:\\Mail\\..\\.\\main\\\\x", std::nullopt, std::nullopt},
        {std::string("/srv/a\0b", 8), nul, nul},
        {std::string("\\\\?\\D:\\a\0b", 10), nul, nul},
        {"D:\\Mail\\nul", std::nullopt, "the name 'nul' is a device on Windows"},
        {"D:/Mail/kim./inbox", std::nullopt,
         "the name 'kim.' ends in a dot or a blank, which Windows drops"},
        {"D:\\a:b", std::nullopt,
         "the name 'a:b' holds a character that Windows does not allow in names"},
        {"\\\\?\\D:\\Mail\\nul", std::nullopt, std::nullopt},
        {"\\\\.\\COM1", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kPosixRules.PathProblem(c.path), c.posix) << c.path;
        EXPECT_EQ(kWindowsRules.PathProblem(c.path), c.windows) << c.path;
    }
}

}  // namespace
}  // namespace seedwell::base
