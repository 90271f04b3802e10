#include "support/text_stream.h"

#include <cstring>

#include "base/error.h"

namespace seedwell::support {

TextStream::TextStream(std::unique_ptr<platform::ByteSource> source, LineUnits units)
    : source_(std::move(source)), units_(units), buffer_(kTextBufferSize) {}

void TextStream::RequireOpen() const {
    if (!source_) throw Error("the file is closed");
}

bool TextStream::Have(std::size_t bytes) {
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

bool TextStream::AtEndOfStream() {
    RequireOpen();
    if (skipLf_) {
        // A LF right after a CR, in this read or the next, is part of the same line end.
        skipLf_ = false;
        const std::size_t unit = base::UnitSize(units_);
        if (Have(unit) && base::UnitAt(Held(), 0, units_) == '\n') begin_ += unit;
    }
    return !Have(1);
}

std::string TextStream::ReadLine() {
    if (AtEndOfStream()) throw Error("there is no line left to read");
    const long number = linesRead_ + 1;
    const std::size_t unit = base::UnitSize(units_);
    std::string line;
    while (Have(unit)) {
        const std::string_view held = Held();
        const std::size_t stop = base::FindLineEnd(held, units_, /*crEnds=*/true);
        const bool ends = stop != std::string_view::npos;
        const std::size_t length = ends ? stop : held.size() - held.size() % unit;
        if (length > kMaxLineLength - line.size()) {
            throw Error("line " + std::to_string(number) + " is longer than " +
                        std::to_string(kMaxLineLength) + " bytes");
        }
        line.append(held.data(), length);
        begin_ += length;
        if (ends) {
            skipLf_ = base::UnitAt(held, stop, units_) == '\r';
            begin_ += unit;
            linesRead_ = number;
            return line;
        }
    }
    // A last byte without its pair stays in the last line, which is then not UTF-16 text.
    if (Have(1)) line += buffer_[begin_++];
    linesRead_ = number;
    return line;
}

void TextStream::Close() noexcept {
    source_.reset();
    std::vector<char>().swap(buffer_);  // frees the buffer
    begin_ = end_ = 0;
}

}  // namespace seedwell::support
