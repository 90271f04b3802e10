#pragma once

// The lines of the import file: a file's bytes handed out a line at a time, whatever line ends
// its maker's system writes.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/filesystem.h"

namespace seedwell::support {

/// How a TextStream finds its line ends: in single bytes, or in 16-bit units of either byte
/// order (a UTF-16 file).
enum class LineUnits { kBytes, kUtf16Le, kUtf16Be };

/// A file opened for reading, handed out a line at a time as its raw bytes. A line ends at
/// CR LF, at a lone LF or at a lone CR, none of which is part of it; the last line may lack its
/// line end, and a line end at the very end adds no empty line. In 16-bit units these are the
/// units 0x000D and 0x000A, and a line is an even number of bytes. Only one buffer's worth is
/// held in memory.
class TextStream {
  public:
    virtual ~TextStream() = default;
    /// True when no further line can be read. Throws seedwell::Error when reading fails.
    virtual bool AtEndOfStream() = 0;
    /// The next line without its line end. Throws seedwell::Error when reading fails or the
    /// stream is at its end.
    virtual std::string ReadLine() = 0;
    /// Releases the file; later calls fail. Closing twice is harmless. Never throws.
    virtual void Close() noexcept = 0;
};

/// The longest line a TextStream hands out, line end excluded.
inline constexpr std::size_t kMaxLineLength = 1048576;
/// The size of a TextStream's read buffer.
inline constexpr std::size_t kTextBufferSize = 65536;

/// A TextStream over a ByteSource through one fixed buffer. A line ends at CR LF, a lone LF or a
/// lone CR, also when a CR LF is split between two reads. A line longer than kMaxLineLength
/// throws seedwell::Error ("line N is longer than 1048576 bytes"), so memory stays bounded
/// whatever the source holds.
class BufferedTextStream : public TextStream {
  public:
    explicit BufferedTextStream(std::unique_ptr<platform::ByteSource> source);
    bool AtEndOfStream() override;
    std::string ReadLine() override;
    void Close() noexcept override;

  private:
    bool Fill();
    void RequireOpen() const;

    std::unique_ptr<platform::ByteSource> source_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool exhausted_ = false;
    bool skipLf_ = false;  // the last line ended at a CR: a LF next belongs to that line end
    long linesRead_ = 0;
};

/// A TextStream over a ByteSource whose lines end in 16-bit units of the given byte order. A
/// line is handed out as its raw bytes; a last byte without its pair ends the last line, which
/// then has an odd length. A line longer than kMaxLineLength bytes throws as above.
class Utf16TextStream : public TextStream {
  public:
    Utf16TextStream(std::unique_ptr<platform::ByteSource> source, bool bigEndian);
    bool AtEndOfStream() override;
    std::string ReadLine() override;
    void Close() noexcept override;

  private:
    /// Makes at least `bytes` bytes available, unless the source ends first.
    bool Have(std::size_t bytes);
    unsigned Unit(std::size_t at) const;
    void RequireOpen() const;

    std::unique_ptr<platform::ByteSource> source_;
    bool bigEndian_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool exhausted_ = false;
    long linesRead_ = 0;
};

/// The TextStream for `source` whose lines end in `units`.
std::unique_ptr<TextStream> MakeTextStream(std::unique_ptr<platform::ByteSource> source,
                                           LineUnits units);

}  // namespace seedwell::support
