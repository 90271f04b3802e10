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

std::string StdFileSystem::BuildPath(std::string_view dir, std::string_view name) const {
    if (dir.empty()) return std::string(name);
    std::string path(dir);
    if (path.back() != separator_) path += separator_;
    path += name;
    return path;
}

bool StdFileSystem::FileExists(const std::string& path) noexcept {
    if (!Usable(path)) return false;
    std::error_code ec;
    return fs::is_regular_file(fs::status(ToPath(path), ec));
}

bool StdFileSystem::FolderExists(const std::string& path) noexcept {
    if (!Usable(path)) return false;
    std::error_code ec;
    return fs::is_directory(fs::status(ToPath(path), ec));
}

void StdFileSystem::CreateFolder(const std::string& path) {
    auto fail = [&path](const std::string& reason) {
        return Error("cannot create the folder " + Quoted(path) + ": " + reason);
    };
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
    if (levels.empty()) throw Error("cannot delete below " + Quoted(base) + ": no folder named");
    for (const std::string& level : levels) {
        if (level.empty() || level == "." || level == ".." ||
            level.find_first_of(std::string("/\0", 2) + separator_) != std::string::npos) {
            throw Error("cannot delete below " + Quoted(base) + ": " + Quoted(level) +
                        " is not one folder name");
        }
    }
    if (HoldsNul(base))
        throw Error("cannot delete below " + Quoted(base) + ": the path holds a NUL byte");
    std::string top = base;
    for (const std::string& level : levels) top = BuildPath(top, level);
    return RemoveFolderTree(base, levels, top, force, separator_);
}

std::unique_ptr<TextStream> StdFileSystem::OpenTextFile(const std::string& path) {
    if (HoldsNul(path)) {
        throw Error("cannot open the file " + Quoted(path) + ": the path holds a NUL byte");
    }
    return std::make_unique<BufferedTextStream>(OpenRegularFile(path));
}

}  // namespace seedwell::platform
