#pragma once

// The lines of the import file: a file's bytes handed out a line at a time, whatever line ends
// its maker's system writes.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/line_ends.h"
#include "platform/filesystem.h"

namespace seedwell::support {

using base::LineUnits;

/// The longest line a TextStream hands out, line end excluded.
inline constexpr std::size_t kMaxLineLength = 1048576;
/// The size of a TextStream's read buffer.
inline constexpr std::size_t kTextBufferSize = 65536;

/// A file opened for reading, handed out a line at a time as its raw bytes through one fixed
/// buffer. A line ends at CR LF, at a lone LF or at a lone CR, none of which is part of it, also
/// when a CR LF is split between two reads; the last line may lack its line end, and a line end
/// at the very end adds no empty line. In 16-bit units these are the units 0x000D and 0x000A,
/// and a line is an even number of bytes but for a last byte without its pair, which ends the
/// last line. A line longer than kMaxLineLength bytes throws seedwell::Error ("line N is longer
/// than 1048576 bytes"), so memory stays bounded whatever the source holds.
class TextStream {
  public:
    /// Owns `source`, whose line ends are in `units`.
    explicit TextStream(std::unique_ptr<platform::ByteSource> source,
                        LineUnits units = LineUnits::kBytes);

    /// True when no further line can be read. Throws seedwell::Error when reading fails.
    bool AtEndOfStream();
    /// The next line without its line end. Throws seedwell::Error when reading fails or the
    /// stream is at its end.
    std::string ReadLine();
    /// Releases the file; later calls fail. Closing twice is harmless. Never throws.
    void Close() noexcept;

  private:
    /// Makes at least `bytes` bytes available, unless the source ends first.
    bool Have(std::size_t bytes);
    /// The bytes read and not yet handed out.
    std::string_view Held() const noexcept { return {buffer_.data() + begin_, end_ - begin_}; }
    void RequireOpen() const;

    std::unique_ptr<platform::ByteSource> source_;
    LineUnits units_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool exhausted_ = false;
    bool skipLf_ = false;  // the last line ended at a CR: a LF next belongs to that line end
    long linesRead_ = 0;
};

}  // namespace seedwell::support
