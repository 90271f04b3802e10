#include "support/import_file.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/error.h"
#include "tests/fakes/temp_folder.h"

namespace seedwell::support {
namespace {

using Lines = std::vector<std::string>;

const platform::CodePage kUtf8("UTF-8");
const platform::CodePage kLatin1("ISO-8859-1");

class ImportFileTest : public ::testing::Test {
  protected:
    /// Every line of a file holding `bytes`, read through the system file system in the
    /// encoding its survey decides.
    Lines ReadAll(std::string_view bytes, const platform::CodePage& codePage = kUtf8) {
        const std::string path = temp.Write("list.txt", bytes);
        survey = SurveyImportFile(*files, path, codePage);
        ImportFile file(*files, path, codePage, survey.encoding);
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

    FileSurvey survey;
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

TEST_F(ImportFileTest, Utf8ByteOrderMarkIsSkippedOnlyAtTheStart) {
    EXPECT_EQ(ReadAll("\xEF\xBB\xBFmain,a@x.com\r\nsecond"), (Lines{"main,a@x.com", "second"}));
    EXPECT_EQ(ReadAll("\xEF\xBB\xBF"), Lines{""});
    EXPECT_EQ(ReadAll("\xEF\xBB\xBF\r\n"), Lines{""});
    EXPECT_EQ(ReadAll("a\n\xEF\xBB\xBF"), (Lines{"a", "\xEF\xBB\xBF"}));
}

struct EncodingCase {
    std::string bytes;
    const char* codePage;
    FileEncoding encoding;
    Lines lines;
};

class EncodingDecision : public ImportFileTest,
                         public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(EncodingDecision, IsMadeOnceForTheWholeFile) {
    const EncodingCase& c = GetParam();
    EXPECT_EQ(ReadAll(c.bytes, platform::CodePage(c.codePage)), c.lines);
    EXPECT_EQ(survey.encoding, c.encoding);
    EXPECT_EQ(survey.lines, long(c.lines.size()));
    // The survey hands over, in the reading that the file turns out to have, the very lines
    // that are read; the other reading, where there is one, stops at a line it cannot read.
    Lines asUtf8, asCodePage;
    const platform::CodePage codePage(c.codePage);
    SurveyImportFile(*files, temp / "list.txt", codePage, [&](const std::string& text, Reading r) {
        if (r != Reading::kAsCodePage) asUtf8.push_back(text);
        if (r != Reading::kAsUtf8) asCodePage.push_back(text);
    });
    EXPECT_EQ(c.encoding == FileEncoding::kCodePage ? asCodePage : asUtf8, c.lines);
}

const std::string kLe16 = std::string("\xFF\xFEm\0a\0,\0z\0o\0\xEB\0\r\0\n\0=\xD8\x00\xDE\n\0", 24);
const std::string kBe16 = std::string("\xFE\xFF\0a\0\r\0b", 8);

INSTANTIATE_TEST_SUITE_P(
    Files, EncodingDecision,
    ::testing::Values(
        // A mark decides on every code page.
        EncodingCase{"\xEF\xBB\xBFzo\xC3\xAB", "CP1252", FileEncoding::kUtf8, {"zo\xC3\xAB"}},
        EncodingCase{
            kLe16, "CP1252", FileEncoding::kUtf16Le, {"ma,zo\xC3\xAB", "\xF0\x9F\x98\x80"}},
        EncodingCase{kLe16, "UTF-8", FileEncoding::kUtf16Le, {"ma,zo\xC3\xAB", "\xF0\x9F\x98\x80"}},
        EncodingCase{kBe16, "ISO-8859-1", FileEncoding::kUtf16Be, {"a", "b"}},
        // Without a mark: UTF-8 throughout, with a byte above 0x7F, is UTF-8.
        EncodingCase{"main,zo\xC3\xAB@x.com\nmain,b@x.com",
                     "CP1252",
                     FileEncoding::kUtf8,
                     {"main,zo\xC3\xAB@x.com", "main,b@x.com"}},
        // Anything else is the code page's.
        EncodingCase{"main,a@x.com", "CP1252", FileEncoding::kCodePage, {"main,a@x.com"}},
        EncodingCase{"zo\xC3\xAB\nZ\xFC",
                     "CP1252",
                     FileEncoding::kCodePage,
                     {"zo\xC3\x83\xC2\xAB", "Z\xC3\xBC"}},
        EncodingCase{"Z\xFCrich,j\xF6rg@x.ch,pw\r\n",
                     "ISO-8859-1",
                     FileEncoding::kCodePage,
                     {"Z\xC3\xBCrich,j\xC3\xB6rg@x.ch,pw"}}));

TEST_F(ImportFileTest, BadBytesNameTheirLine) {
    EXPECT_EQ(FailureOf("ok\r\nfine\r\ncaf\xE9\r\n"), "line 3 is not valid UTF-8 text");
    EXPECT_EQ(FailureOf("\xC0\xAF"), "line 1 is not valid UTF-8 text");
    EXPECT_EQ(FailureOf("a\nb\n" + std::string("c\0d", 3)),
              "line 3 holds a NUL byte; the file is not 8-bit text");
    EXPECT_EQ(FailureOf("ok\n\x81\n", platform::CodePage("CP1252")),
              "line 2 is not valid CP1252 text");
    EXPECT_EQ(FailureOf("ok\n" + std::string(1048577, 'x')), "line 2 is longer than 1048576 bytes");
    EXPECT_EQ(FailureOf(std::string("\xFF\xFE"
                                    "x\0\n\0\x00\xDC",
                                    8)),
              "line 2 is not valid UTF-16 text");  // a lone low surrogate
    EXPECT_EQ(FailureOf(std::string("\xFF\xFE"
                                    "x\0y",
                                    5)),
              "line 1 is not valid UTF-16 text");
    EXPECT_EQ(FailureOf(std::string("\xFF\xFE"
                                    "x\0\0\0",
                                    6)),
              "line 1 holds a NUL character");
}

TEST_F(ImportFileTest, CloseReleasesTheFile) {
    ImportFile file(*files, temp.Write("list.txt", "a\nb\n"), kUtf8, FileEncoding::kUtf8);
    EXPECT_EQ(file.ReadLine(), "a");
    file.Close();
    file.Close();
    EXPECT_THROW(file.AtEndOfStream(), Error);
    EXPECT_EQ(file.LineNumber(), 1);
}

}  // namespace
}  // namespace seedwell::support
