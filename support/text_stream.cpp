#include "support/text_stream.h"

#include <cstring>

#include "base/error.h"

namespace seedwell::support {

BufferedTextStream::BufferedTextStream(std::unique_ptr<platform::ByteSource> source)
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

Utf16TextStream::Utf16TextStream(std::unique_ptr<platform::ByteSource> source, bool bigEndian)
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

std::unique_ptr<TextStream> MakeTextStream(std::unique_ptr<platform::ByteSource> source,
                                           LineUnits units) {
    if (units == LineUnits::kBytes) return std::make_unique<BufferedTextStream>(std::move(source));
    return std::make_unique<Utf16TextStream>(std::move(source), units == LineUnits::kUtf16Be);
}

}  // namespace seedwell::support
