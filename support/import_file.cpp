#include "support/import_file.h"

#include <cstring>

#include "platform/error.h"

namespace seedwell::support {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool StartsWithUtf16Bom(std::string_view line) {
    return line.starts_with("\xFF\xFE") || line.starts_with("\xFE\xFF");
}

}  // namespace

ImportFile::ImportFile(std::unique_ptr<platform::TextStream> stream,
                       const platform::CodePage& codePage)
    : stream_(std::move(stream)), codePage_(codePage) {}

ImportFile::~ImportFile() { Close(); }

bool ImportFile::AtEndOfStream() {
    if (!started_) ReadFirstLine();
    if (firstLine_) return false;
    if (!stream_) throw Error("the file is closed");
    return stream_->AtEndOfStream();
}

void ImportFile::ReadFirstLine() {
    if (!stream_) throw Error("the file is closed");
    started_ = true;
    if (stream_->AtEndOfStream()) return;
    std::string line = stream_->ReadLine();
    if (StartsWithUtf16Bom(line)) {
        Close();
        throw Error("the file is UTF-16 text; save it as 8-bit text");
    }
    if (codePage_.IsUtf8() && line.starts_with(kUtf8Bom)) line.erase(0, kUtf8Bom.size());
    firstLine_ = std::move(line);
}

std::string ImportFile::ReadLine() {
    if (AtEndOfStream()) throw Error("there is no line left to read");
    std::string raw;
    if (firstLine_) {
        raw = std::move(*firstLine_);
        firstLine_.reset();
    } else {
        raw = stream_->ReadLine();
    }
    ++lineNumber_;
    if (std::memchr(raw.data(), '\0', raw.size())) {
        throw Error("line " + std::to_string(lineNumber_) +
                    " holds a NUL byte; the file is not 8-bit text");
    }
    auto invalid = [this] {
        return Error("line " + std::to_string(lineNumber_) + " is not valid " + codePage_.Name() +
                     " text");
    };
    if (codePage_.IsUtf8()) {
        if (!platform::IsValidUtf8(raw)) throw invalid();
        return raw;
    }
    auto text = codePage_.ToUtf8(raw);
    if (!text) throw invalid();
    return std::move(*text);
}

void ImportFile::Close() noexcept {
    if (!stream_) return;
    stream_->Close();
    stream_.reset();
    firstLine_.reset();
}

}  // namespace seedwell::support
