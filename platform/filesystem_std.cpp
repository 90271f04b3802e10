#include "platform/filesystem_std.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/codepage.h"
#include "platform/error.h"

namespace seedwell::platform {
namespace fs = std::filesystem;

namespace {

fs::path ToPath(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

bool HoldsNul(std::string_view path) { return path.find('\0') != std::string_view::npos; }

/// True when `path` can name something: not empty, no NUL byte, and UTF-8 that converts to the
/// platform's own path text.
bool Usable(std::string_view path) { return !path.empty() && !HoldsNul(path) && IsValidUtf8(path); }

/// `path` in quotes for a message, a NUL shown as \0 so that the message is not cut short.
std::string Quoted(std::string_view path) {
    std::string quoted = "'";
    for (char c : path) {
        if (c == '\0') {
            quoted += "\\0";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

}  // namespace

std::string ReadWholeFile(const std::string& path, std::size_t maxBytes) {
    std::unique_ptr<ByteSource> source = OpenRegularFile(path);
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const std::size_t got = source->Read(chunk, sizeof chunk);
        if (got == 0) return bytes;
        if (got > maxBytes - bytes.size()) {
            throw Error("the file " + Quoted(path) + " is larger than " + std::to_string(maxBytes) +
                        " bytes");
        }
        bytes.append(chunk, got);
    }
}

BufferedTextStream::BufferedTextStream(std::unique_ptr<ByteSource> source)
    : source_(std::move(source)), buffer_(kTextBufferSize) {}

void BufferedTextStream::RequireOpen() const {
    if (!source_) throw Error("the file is closed");
}

bool BufferedTextStream::Fill() {
    if (exhausted_) return false;
    begin_ = 0;
    end_ = source_->Read(buffer_.data(), buffer_.size());
    if (end_ == 0) exhausted_ = true;
    return end_ != 0;
}

bool BufferedTextStream::AtEndOfStream() {
    RequireOpen();
    if (begin_ == end_ && !Fill()) return true;
    if (skipLf_) {
        skipLf_ = false;
        if (buffer_[begin_] == '\n' && ++begin_ == end_) return !Fill();
    }
    return false;
}

std::string BufferedTextStream::ReadLine() {
    if (AtEndOfStream()) throw Error("there is no line left to read");
    const long number = linesRead_ + 1;
    std::string line;
    while (begin_ != end_ || Fill()) {
        const char* start = buffer_.data() + begin_;
        const std::size_t available = end_ - begin_;
        const auto* stop = static_cast<const char*>(std::memchr(start, '\n', available));
        const std::size_t beforeLf = stop ? std::size_t(stop - start) : available;
        if (const auto* cr = static_cast<const char*>(std::memchr(start, '\r', beforeLf))) {
            stop = cr;
        }
        const std::size_t length = stop ? std::size_t(stop - start) : available;
        if (length > kMaxLineLength - line.size()) {
            throw Error("line " + std::to_string(number) + " is longer than " +
                        std::to_string(kMaxLineLength) + " bytes");
        }
        line.append(start, length);
        begin_ += length;
        if (stop) {
            // A CR ends the line; a LF right after it, in this read or the next, is part of the
            // same line end.
            skipLf_ = *stop == '\r';
            ++begin_;
            break;
        }
    }
    linesRead_ = number;
    return line;
}

void BufferedTextStream::Close() noexcept {
    source_.reset();
    std::vector<char>().swap(buffer_);  // frees the buffer
    begin_ = end_ = 0;
}

Utf16TextStream::Utf16TextStream(std::unique_ptr<ByteSource> source, bool bigEndian)
    : source_(std::move(source)), bigEndian_(bigEndian), buffer_(kTextBufferSize) {}

void Utf16TextStream::RequireOpen() const {
    if (!source_) throw Error("the file is closed");
}

bool Utf16TextStream::Have(std::size_t bytes) {
    while (end_ - begin_ < bytes && !exhausted_) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        const std::size_t got = source_->Read(buffer_.data() + end_, buffer_.size() - end_);
        if (got == 0) exhausted_ = true;
        end_ += got;
    }
    return end_ - begin_ >= bytes;
}

unsigned Utf16TextStream::Unit(std::size_t at) const {
    const auto first = static_cast<unsigned char>(buffer_[at]);
    const auto second = static_cast<unsigned char>(buffer_[at + 1]);
    return bigEndian_ ? (first << 8) | second : (second << 8) | first;
}

bool Utf16TextStream::AtEndOfStream() {
    RequireOpen();
    return !Have(1);
}

std::string Utf16TextStream::ReadLine() {
    if (AtEndOfStream()) throw Error("there is no line left to read");
    const long number = linesRead_ + 1;
    std::string line;
    while (Have(2)) {
        const unsigned unit = Unit(begin_);
        if (unit == '\r' || unit == '\n') {
            begin_ += 2;
            if (unit == '\r' && Have(2) && Unit(begin_) == '\n') begin_ += 2;
            linesRead_ = number;
            return line;
        }
        if (line.size() + 2 > kMaxLineLength) {
            throw Error("line " + std::to_string(number) + " is longer than " +
                        std::to_string(kMaxLineLength) + " bytes");
        }
        line.append(buffer_.data() + begin_, 2);
        begin_ += 2;
    }
    // A last byte without its pair stays in the last line, which is then not UTF-16 text.
    if (Have(1)) line += buffer_[begin_++];
    linesRead_ = number;
    return line;
}

void Utf16TextStream::Close() noexcept {
    source_.reset();
    std::vector<char>().swap(buffer_);
    begin_ = end_ = 0;
}

std::unique_ptr<TextStream> MakeTextStream(std::unique_ptr<ByteSource> source, LineUnits units) {
    if (units == LineUnits::kBytes) return std::make_unique<BufferedTextStream>(std::move(source));
    return std::make_unique<Utf16TextStream>(std::move(source), units == LineUnits::kUtf16Be);
}

std::string StdFileSystem::BuildPath(std::string_view dir, std::string_view name) const {
    if (dir.empty()) return std::string(name);
    std::string path(dir);
    if (path.back() != Separator()) path += Separator();
    path += name;
    return path;
}

bool StdFileSystem::FileExists(const std::string& path) noexcept {
    if (!Usable(path) || PathProblem(path)) return false;
    std::error_code ec;
    return fs::is_regular_file(fs::status(ToPath(path), ec));
}

std::optional<std::string> StdFileSystem::HeldName(const std::string& dir,
                                                   const std::string& name) {
    if (const auto problem = PathProblem(dir)) {
        throw Error("cannot read the folder " + Quoted(dir) + ": " + *problem);
    }
    if (NameProblem("the name", name)) return std::nullopt;
    if (HoldsNul(dir) || HoldsNul(name)) {
        throw Error("cannot read the folder " + Quoted(dir) + ": the path holds a NUL byte");
    }
    return HeldEntryName(dir, name);
}

bool StdFileSystem::FolderExists(const std::string& path) noexcept {
    if (!Usable(path) || PathProblem(path)) return false;
    std::error_code ec;
    return fs::is_directory(fs::status(ToPath(path), ec));
}

void StdFileSystem::CreateFolder(const std::string& path) {
    auto fail = [&path](const std::string& reason) {
        return Error("cannot create the folder " + Quoted(path) + ": " + reason);
    };
    if (const auto problem = PathProblem(path)) throw fail(*problem);
    if (HoldsNul(path)) throw fail("the path holds a NUL byte");
    if (path.empty())
        throw fail(std::make_error_code(std::errc::no_such_file_or_directory).message());
    std::error_code ec;
    const bool created = fs::create_directory(ToPath(path), ec);
    if (ec) throw fail(ec.message());
    if (!created) throw fail(std::make_error_code(std::errc::file_exists).message());
}

FolderRemoval StdFileSystem::RemoveFolderBelow(const std::string& base,
                                               const std::vector<std::string>& levels, bool force) {
    std::string top = base;
    for (const std::string& level : levels) top = BuildPath(top, level);
    if (const auto problem = PathProblem(top)) {
        throw Error("cannot delete the folder " + Quoted(top) + ": " + *problem);
    }
    if (levels.empty()) throw Error("cannot delete below " + Quoted(base) + ": no folder named");
    for (const std::string& level : levels) {
        if (level.empty() || level == "." || level == ".." ||
            level.find_first_of(std::string("/\0", 2) + Separator()) != std::string::npos) {
            throw Error("cannot delete below " + Quoted(base) + ": " + Quoted(level) +
                        " is not one folder name");
        }
    }
    if (HoldsNul(base))
        throw Error("cannot delete below " + Quoted(base) + ": the path holds a NUL byte");
    return RemoveFolderTree(base, levels, top, force, Separator());
}

std::unique_ptr<TextStream> StdFileSystem::OpenTextFile(const std::string& path, LineUnits units) {
    if (const auto problem = PathProblem(path)) {
        throw Error("cannot open the file " + Quoted(path) + ": " + *problem);
    }
    if (HoldsNul(path)) {
        throw Error("cannot open the file " + Quoted(path) + ": the path holds a NUL byte");
    }
    return MakeTextStream(OpenRegularFile(path), units);
}

}  // namespace seedwell::platform
