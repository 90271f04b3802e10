#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/filesystem.h"

namespace seedwell::platform {

/// The bytes of an open file, read from the start to the end. Destroying it closes the file.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    /// Reads up to `size` bytes into `buffer`; 0 only at the end of the file. Throws
    /// seedwell::Error naming the file and the reason when reading fails.
    virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

/// Opens the existing regular file `path` (UTF-8) for reading, without ever waiting on a FIFO or
/// a device. Throws seedwell::Error naming the path and the reason when it cannot be opened, and
/// "'<path>' is not a regular file" for anything else that exists there. Each platform provides
/// its own.
std::unique_ptr<ByteSource> OpenRegularFile(const std::string& path);

/// The removal of StdFileSystem::RemoveFolderBelow, by open folder handles. `top` is the path
/// of the folder removed, `base` and `levels` joined, and `separator` joins the levels in what it
/// reports. Each platform runs TreeRemoval (platform/remove_tree.h) over its own primitives.
FolderRemoval RemoveFolderTree(const std::string& base, const std::vector<std::string>& levels,
                               const std::string& top, bool force, char separator);

/// StdFileSystem::HeldName, read from the folder's entries. Each platform provides its own: on
/// Windows the folder's listing answers with the name as its mask; elsewhere the name is looked
/// up in the other ASCII case, and only when that finds the same device and inode again are the
/// folder's entries read for the one that is it. File systems that number one entry differently
/// by the name it is reached by (some FUSE file systems) are taken to tell letter case apart.
std::optional<std::string> HeldEntryName(const std::string& dir, const std::string& name);

/// The whole regular file `path`. Throws seedwell::Error when it cannot be read or holds more
/// than `maxBytes` bytes; memory never exceeds `maxBytes` plus one read.
std::string ReadWholeFile(const std::string& path, std::size_t maxBytes);

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
    explicit BufferedTextStream(std::unique_ptr<ByteSource> source);
    bool AtEndOfStream() override;
    std::string ReadLine() override;
    void Close() noexcept override;

  private:
    bool Fill();
    void RequireOpen() const;

    std::unique_ptr<ByteSource> source_;
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
    Utf16TextStream(std::unique_ptr<ByteSource> source, bool bigEndian);
    bool AtEndOfStream() override;
    std::string ReadLine() override;
    void Close() noexcept override;

  private:
    /// Makes at least `bytes` bytes available, unless the source ends first.
    bool Have(std::size_t bytes);
    unsigned Unit(std::size_t at) const;
    void RequireOpen() const;

    std::unique_ptr<ByteSource> source_;
    bool bigEndian_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool exhausted_ = false;
    long linesRead_ = 0;
};

/// The TextStream for `source` whose lines end in `units`.
std::unique_ptr<TextStream> MakeTextStream(std::unique_ptr<ByteSource> source, LineUnits units);

/// The file system through std::filesystem, with the platform's separator. Paths holding a NUL
/// byte are refused (they would silently name another file).
class StdFileSystem : public FileSystem {
  public:
    explicit StdFileSystem(char separator) : separator_(separator) {}
    char Separator() const override { return separator_; }
    std::string BuildPath(std::string_view dir, std::string_view name) const override;
    /// POSIX file systems hold every name that FolderNameProblem lets through.
    std::optional<std::string> NameProblem(std::string_view, std::string_view) const override {
        return std::nullopt;
    }
    bool FileExists(const std::string& path) noexcept override;
    bool FolderExists(const std::string& path) noexcept override;
    std::optional<std::string> HeldName(const std::string& dir, const std::string& name) override;
    void CreateFolder(const std::string& path) override;
    FolderRemoval RemoveFolderBelow(const std::string& base, const std::vector<std::string>& levels,
                                    bool force) override;
    std::unique_ptr<TextStream> OpenTextFile(const std::string& path, LineUnits units) override;

  private:
    char separator_;
};

}  // namespace seedwell::platform
