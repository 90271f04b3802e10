#include "support/import_file.h"

#include <algorithm>
#include <cstring>

#include "base/error.h"
#include "base/unicode.h"

namespace seedwell::support {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool HoldsHighByte(std::string_view bytes) {
    return std::any_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) > 0x7F; });
}

// `raw`, line `lineNumber` of a file in `encoding` without its mark, as UTF-8 text. Throws
// seedwell::Error naming the line when it is not valid text or holds a NUL.
std::string LineText(std::string raw, FileEncoding encoding, const platform::CodePage& codePage,
                     long lineNumber) {
    // The line's number is written only for a failure: this runs for every line.
    auto line = [lineNumber] { return std::to_string(lineNumber); };
    auto invalid = [&line](const std::string& name) {
        return Error("line " + line() + " is not valid " + name + " text");
    };
    std::optional<std::string> text;
    switch (encoding) {
        case FileEncoding::kUtf16Le:
        case FileEncoding::kUtf16Be:
            text = base::Utf16ToUtf8(raw, encoding == FileEncoding::kUtf16Be);
            if (!text) throw invalid("UTF-16");
            break;
        case FileEncoding::kUtf8:
            if (!base::IsValidUtf8(raw)) throw invalid("UTF-8");
            text = std::move(raw);
            break;
        case FileEncoding::kCodePage:
            if (std::memchr(raw.data(), '\0', raw.size())) break;  // told below
            text = codePage.ToUtf8(raw);
            if (!text) throw invalid(codePage.Name());
            break;
    }
    if (!text || std::memchr(text->data(), '\0', text->size())) {
        throw Error("line " + line() +
                    (LineUnitsOf(encoding) == LineUnits::kBytes
                         ? " holds a NUL byte; the file is not 8-bit text"
                         : " holds a NUL character"));
    }
    return std::move(*text);
}

// Hands the lines of a survey to its visitor, each reading until its first line that is not
// text.
class SurveyLines {
  public:
    SurveyLines(const SurveyVisitor& visit, const platform::CodePage& codePage)
        : visit_(visit), codePage_(codePage) {}

    // Line `number`, `raw` without its mark, in the one encoding it has.
    void Decided(const std::string& raw, FileEncoding encoding, long number) {
        if (!visit_ || !asUtf8_ || !asCodePage_) return;
        if (!Give(raw, encoding, number, Reading::kDecided)) asUtf8_ = asCodePage_ = false;
    }
    // Line `number` of a file whose encoding is decided only at its end. A line without a byte
    // above 0x7F reads the same either way.
    void Undecided(const std::string& raw, long number) {
        if (!HoldsHighByte(raw)) return Decided(raw, FileEncoding::kCodePage, number);
        if (!visit_) return;
        if (asUtf8_) asUtf8_ = Give(raw, FileEncoding::kUtf8, number, Reading::kAsUtf8);
        if (asCodePage_) {
            asCodePage_ = Give(raw, FileEncoding::kCodePage, number, Reading::kAsCodePage);
        }
    }

  private:
    // False, giving nothing, when the line is not text in `encoding`.
    bool Give(const std::string& raw, FileEncoding encoding, long number, Reading reading) {
        std::string text;
        try {
            text = LineText(raw, encoding, codePage_, number);
        } catch (const Error&) {
            return false;
        }
        visit_(text, reading);
        return true;
    }

    const SurveyVisitor& visit_;
    const platform::CodePage& codePage_;
    bool asUtf8_ = true;
    bool asCodePage_ = true;
};

}  // namespace

LineUnits LineUnitsOf(FileEncoding encoding) {
    switch (encoding) {
        case FileEncoding::kUtf16Le:
            return LineUnits::kUtf16Le;
        case FileEncoding::kUtf16Be:
            return LineUnits::kUtf16Be;
        default:
            return LineUnits::kBytes;
    }
}

FileSurvey SurveyImportFile(platform::FileSystem& files, const std::string& path,
                            const platform::CodePage& codePage, const SurveyVisitor& visit) {
    FileSurvey survey;
    SurveyLines lines(visit, codePage);
    TextStream stream(files.OpenFile(path));
    // Undecided until the end: whether a file without a mark is UTF-8 on another code page.
    bool decided = codePage.IsUtf8();
    survey.encoding = decided ? FileEncoding::kUtf8 : FileEncoding::kCodePage;
    bool utf8 = true;
    bool high = false;
    try {
        while (!stream.AtEndOfStream()) {
            std::string line = stream.ReadLine();
            ++survey.lines;
            if (survey.lines == 1) {
                if (line.starts_with(kUtf16LeBom) || line.starts_with(kUtf16BeBom)) {
                    // Counted again in its own line ends.
                    stream.Close();
                    survey.encoding = line.starts_with(kUtf16LeBom) ? FileEncoding::kUtf16Le
                                                                    : FileEncoding::kUtf16Be;
                    survey.lines = 0;
                    stream = TextStream(files.OpenFile(path), LineUnitsOf(survey.encoding));
                    while (!stream.AtEndOfStream()) {
                        std::string units = stream.ReadLine();
                        if (++survey.lines == 1) units.erase(0, kUtf16LeBom.size());
                        lines.Decided(units, survey.encoding, survey.lines);
                    }
                    break;
                }
                if (line.starts_with(kUtf8Bom)) {
                    decided = true;
                    survey.encoding = FileEncoding::kUtf8;
                    line.erase(0, kUtf8Bom.size());
                }
            }
            if (decided) {
                lines.Decided(line, survey.encoding, survey.lines);
            } else {
                if (utf8) {
                    utf8 = base::IsValidUtf8(line);
                    high = high || HoldsHighByte(line);
                }
                lines.Undecided(line, survey.lines);
            }
        }
    } catch (const std::exception&) {
        ++survey.lines;
    }
    stream.Close();
    if (!decided && utf8 && high) survey.encoding = FileEncoding::kUtf8;
    return survey;
}

ImportFile::ImportFile(platform::FileSystem& files, const std::string& path,
                       const platform::CodePage& codePage, FileEncoding encoding)
    : ImportFile(TextStream(files.OpenFile(path), LineUnitsOf(encoding)), codePage, encoding) {}

ImportFile::ImportFile(TextStream stream, const platform::CodePage& codePage, FileEncoding encoding)
    : stream_(std::move(stream)),
      codePage_(codePage),
      encoding_(encoding == FileEncoding::kCodePage && codePage.IsUtf8() ? FileEncoding::kUtf8
                                                                         : encoding) {}

bool ImportFile::AtEndOfStream() { return stream_.AtEndOfStream(); }

std::string ImportFile::ReadLine() {
    std::string raw = stream_.ReadLine();
    ++lineNumber_;
    if (lineNumber_ == 1) {
        const std::string_view mark = encoding_ == FileEncoding::kUtf8      ? kUtf8Bom
                                      : encoding_ == FileEncoding::kUtf16Le ? kUtf16LeBom
                                      : encoding_ == FileEncoding::kUtf16Be ? kUtf16BeBom
                                                                            : std::string_view();
        if (!mark.empty() && raw.starts_with(mark)) raw.erase(0, mark.size());
    }
    return Text(std::move(raw));
}

std::string ImportFile::Text(std::string raw) const {
    return LineText(std::move(raw), encoding_, codePage_, lineNumber_);
}

void ImportFile::Close() noexcept { stream_.Close(); }

}  // namespace seedwell::support
