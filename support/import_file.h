#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "support/text_stream.h"

namespace seedwell::support {

/// How the bytes of an import file are text, decided once for the whole file.
enum class FileEncoding {
    kCodePage,  ///< 8-bit text in the system code page
    kUtf8,      ///< UTF-8, whatever the code page
    kUtf16Le,   ///< UTF-16, little end first
    kUtf16Be,   ///< UTF-16, big end first
};

/// What one reading of a whole import file found.
struct FileSurvey {
    long lines = 0;  ///< its lines, up to and with the first that cannot be read
    FileEncoding encoding = FileEncoding::kCodePage;
};

/// How a survey hands a line to its visitor: as text in the file's encoding, where that is known
/// as the line is read or the line reads the same in either encoding it may have; or, where the
/// encoding is decided only at the end of the file, in each of its two readings.
enum class Reading { kDecided, kAsUtf8, kAsCodePage };
/// Receives the lines of a survey as UTF-8 text without the byte-order mark, in file order. A
/// reading stops before its first line that is not valid text (or holds a NUL), as a run would.
using SurveyVisitor = std::function<void(const std::string& text, Reading reading)>;

/// Reads the file `path` once, a line at a time, counts its lines and decides how they are
/// text: a UTF-8 byte-order mark means UTF-8 whatever the code page; a UTF-16 mark, of either
/// order, UTF-16; a file without a mark that is valid UTF-8 throughout and holds a byte above
/// 0x7F is UTF-8; any other file is text in `codePage`. Each line is handed to `visit`, when
/// given, on the way. A failure to open the file throws seedwell::Error; a failure to read ends
/// the count at the line where reading fails.
FileSurvey SurveyImportFile(platform::FileSystem& files, const std::string& path,
                            const platform::CodePage& codePage,
                            const SurveyVisitor& visit = nullptr);

/// An import file read a line at a time in its encoding, converted to UTF-8; its byte-order
/// mark is skipped. Failures throw seedwell::Error with a description that names the line: a
/// line that is not valid text in its encoding ("line 12 is not valid UTF-8 text"), a line
/// holding a NUL, and whatever the stream reports.
class ImportFile {
  public:
    /// Opens the file `path` of `files` for its lines in `encoding`; `codePage` must outlive
    /// this object. Throws seedwell::Error when the file cannot be opened.
    ImportFile(platform::FileSystem& files, const std::string& path,
               const platform::CodePage& codePage, FileEncoding encoding);
    /// Reads the lines of `stream`, whose lines end in the units of `encoding`.
    ImportFile(TextStream stream, const platform::CodePage& codePage, FileEncoding encoding);

    bool AtEndOfStream();
    /// The next line, converted to UTF-8, without its line end.
    std::string ReadLine();
    /// The number of the line last read, from 1; 0 before the first.
    long LineNumber() const { return lineNumber_; }
    /// Releases the file. Never throws.
    void Close() noexcept;

  private:
    std::string Text(std::string raw) const;

    TextStream stream_;
    const platform::CodePage& codePage_;
    FileEncoding encoding_;
    long lineNumber_ = 0;
};

/// The line ends of a file in `encoding`.
LineUnits LineUnitsOf(FileEncoding encoding);

}  // namespace seedwell::support
