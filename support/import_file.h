#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/codepage.h"
#include "platform/filesystem.h"

namespace seedwell::support {

/// An import file read a line at a time as text in a code page, converted to UTF-8. A UTF-8
/// byte-order mark at the very start is skipped when the code page is UTF-8. Failures throw
/// seedwell::Error with a description that names the line where there is one: a file that
/// starts with a UTF-16 byte-order mark ("the file is UTF-16 text; save it as 8-bit text"), a
/// line that is not valid text in the code page ("line 12 is not valid UTF-8 text"), a line
/// holding a NUL byte, and whatever the stream reports.
class ImportFile {
  public:
    /// Takes ownership of `stream`; `codePage` must outlive this object.
    ImportFile(std::unique_ptr<platform::TextStream> stream, const platform::CodePage& codePage);
    ~ImportFile();
    ImportFile(const ImportFile&) = delete;
    ImportFile& operator=(const ImportFile&) = delete;

    bool AtEndOfStream();
    /// The next line, converted to UTF-8, without its line end.
    std::string ReadLine();
    /// The number of the line last read, from 1; 0 before the first.
    long LineNumber() const { return lineNumber_; }
    /// Releases the file. Never throws.
    void Close() noexcept;

  private:
    void ReadFirstLine();

    std::unique_ptr<platform::TextStream> stream_;
    const platform::CodePage& codePage_;
    long lineNumber_ = 0;
    bool started_ = false;
    std::optional<std::string> firstLine_;  // read ahead to check the byte-order mark
};

}  // namespace seedwell::support
