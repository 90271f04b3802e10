#include "support/import_file.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/error.h"
#include "tests/fakes/temp_folder.h"

namespace seedwell::support {
namespace {

using Lines = std::vector<std::string>;

const platform::CodePage kUtf8("UTF-8");
const platform::CodePage kLatin1("ISO-8859-1");

class ImportFileTest : public ::testing::Test {
  protected:
    /// Every line of a file holding `bytes`, read through the system file system.
    Lines ReadAll(std::string_view bytes, const platform::CodePage& codePage = kUtf8) {
        ImportFile file(
            files->OpenTextFile(temp.Write("list.txt", bytes), platform::LineUnits::kBytes),
            codePage);
        Lines lines;
        while (!file.AtEndOfStream()) {
            lines.push_back(file.ReadLine());
            EXPECT_EQ(file.LineNumber(), long(lines.size()));
        }
        return lines;
    }
    /// The description of the failure reading a file holding `bytes`, after the lines before it.
    std::string FailureOf(std::string_view bytes, const platform::CodePage& codePage = kUtf8) {
        try {
            ReadAll(bytes, codePage);
        } catch (const Error& error) {
            return error.what();
        }
        return "no error";
    }

    test_support::TempFolder temp;
    std::unique_ptr<platform::FileSystem> files = platform::MakeSystemFileSystem();
};

TEST_F(ImportFileTest, ReadsLinesWithEitherLineEnd) {
    EXPECT_EQ(ReadAll("main,a@x.com,pw\r\nmain,b@x.com,pw\r\n"),
              (Lines{"main,a@x.com,pw", "main,b@x.com,pw"}));
    EXPECT_EQ(ReadAll("a\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(ReadAll("a\r\n\r\nb\r\n"), (Lines{"a", "", "b"}));
    EXPECT_EQ(ReadAll(""), Lines{});
}

TEST_F(ImportFileTest, Utf8ByteOrderMarkIsSkippedOnlyForUtf8) {
    EXPECT_EQ(ReadAll("\xEF\xBB\xBFmain,a@x.com\r\nsecond"), (Lines{"main,a@x.com", "second"}));
    EXPECT_EQ(ReadAll("\xEF\xBB\xBF"), Lines{""});
    EXPECT_EQ(ReadAll("\xEF\xBB\xBF\r\n"), Lines{""});
    EXPECT_EQ(ReadAll("a\n\xEF\xBB\xBF"), (Lines{"a", "\xEF\xBB\xBF"}));  // only at the start
    EXPECT_EQ(ReadAll("\xEF\xBB\xBFx", kLatin1), Lines{"\xC3\xAF\xC2\xBB\xC2\xBFx"});
}

TEST_F(ImportFileTest, Utf16FileIsRefusedBeforeAnyLine) {
    const std::string refused = "the file is UTF-16 text; save it as 8-bit text";
    EXPECT_EQ(FailureOf(std::string("\xFF\xFEm\0a\0\r\0\n\0", 10)), refused);
    EXPECT_EQ(FailureOf(std::string("\xFE\xFF\0m\0a", 6)), refused);
    EXPECT_EQ(FailureOf(std::string("\xFF\xFEm\0", 4), kLatin1), refused);

    ImportFile file(
        files->OpenTextFile(temp.Write("u16.txt", "\xFF\xFE"), platform::LineUnits::kBytes), kUtf8);
    EXPECT_THROW(file.AtEndOfStream(), Error);
    EXPECT_THROW(file.ReadLine(), Error);  // stays refused
    EXPECT_EQ(file.LineNumber(), 0);
}

TEST_F(ImportFileTest, BadBytesNameTheirLine) {
    EXPECT_EQ(FailureOf("ok\r\nfine\r\ncaf\xE9\r\n"), "line 3 is not valid UTF-8 text");
    EXPECT_EQ(FailureOf("\xC0\xAF"), "line 1 is not valid UTF-8 text");
    EXPECT_EQ(FailureOf("a\nb\n" + std::string("c\0d", 3)),
              "line 3 holds a NUL byte; the file is not 8-bit text");
    EXPECT_EQ(FailureOf("ok\n\x81\n", platform::CodePage("CP1252")),
              "line 2 is not valid CP1252 text");
    EXPECT_EQ(FailureOf("ok\n" + std::string(1048577, 'x')), "line 2 is longer than 1048576 bytes");
}

TEST_F(ImportFileTest, OtherCodePagesAreConvertedToUtf8) {
    EXPECT_EQ(ReadAll("Z\xFCrich,j\xF6rg@x.ch,pw\r\n", kLatin1),
              Lines{"Z\xC3\xBCrich,j\xC3\xB6rg@x.ch,pw"});
}

TEST_F(ImportFileTest, CloseReleasesTheFile) {
    ImportFile file(
        files->OpenTextFile(temp.Write("list.txt", "a\nb\n"), platform::LineUnits::kBytes), kUtf8);
    EXPECT_EQ(file.ReadLine(), "a");
    file.Close();
    file.Close();
    EXPECT_THROW(file.AtEndOfStream(), Error);
    EXPECT_EQ(file.LineNumber(), 1);
}

}  // namespace
}  // namespace seedwell::support
