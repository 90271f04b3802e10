#include "app/line_list.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "base/printable.h"

namespace seedwell::app {
namespace {

constexpr std::string_view kSaveTitle = "Save the list of lines";
constexpr std::string_view kNotSaved = "The list could not be saved: ";
constexpr std::string_view kOverImportFile =
    "The list cannot be saved over the import file. Choose another name.";

constexpr std::size_t kMaxFieldBytes = 1024;
constexpr std::size_t kMaxReasonBytes = 4096;
constexpr std::size_t kChunk = 1024 * 1024;

// The field from outside shown printable and cut to `bytes`, without copying more of it than
// is kept.
std::string KeptPrintable(std::string_view field, std::size_t bytes) {
    const std::string_view start = base::Utf8Prefix(field, bytes);
    const std::string shown = base::Printable(start);
    if (shown.size() > bytes || start.size() == field.size()) return base::Cut(shown, bytes);
    return shown + "...";
}

// `field` as one field of a row: quoted when it holds a comma, a quote or a line end, and
// preceded by an apostrophe when a spreadsheet would take it for a formula.
void AppendField(std::string& out, std::string_view field) {
    std::string text;
    if (!field.empty() && std::string_view("=+-@").find(field.front()) != std::string_view::npos) {
        text = "'";
    }
    text += field;
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string RowText(long line, std::string_view postoffice, std::string_view address,
                    std::string_view reason) {
    std::string out = std::to_string(line) + ',';
    AppendField(out, postoffice);
    out += ',';
    AppendField(out, address);
    out += ',';
    AppendField(out, reason);
    out += "\r\n";
    return out;
}

}  // namespace

std::string Grouped(long number) {
    const unsigned long magnitude =
        number < 0 ? 0UL - static_cast<unsigned long>(number) : static_cast<unsigned long>(number);
    const std::string digits = std::to_string(magnitude);
    std::string grouped = number < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

void ListOfLines::Add(long line, std::string_view postoffice, std::string_view address,
                      std::string_view reason) {
    if (last_ && last_->line == line) {
        if (last_->reason.size() < kMaxReasonBytes) {
            last_->reason =
                base::Cut(last_->reason + "\r\n" + std::string(reason), kMaxReasonBytes);
        }
        return;
    }
    Settle();
    ++count_;
    if (full_) return;
    last_ = Row{line, KeptPrintable(postoffice, kMaxFieldBytes),
                KeptPrintable(address, kMaxFieldBytes), base::Cut(reason, kMaxReasonBytes)};
}

void ListOfLines::Settle() {
    if (!last_) return;
    const std::string text = RowText(last_->line, last_->postoffice, last_->address, last_->reason);
    last_.reset();
    if (!Fits(text)) {
        full_ = true;
        return;
    }
    if (chunks_.empty() || chunks_.back().size() + text.size() > chunks_.back().capacity()) {
        chunks_.emplace_back().reserve(std::max(kChunk, text.size()));
    }
    chunks_.back() += text;
    keptBytes_ += text.size();
    ++kept_;
}

void ListOfLines::Write(platform::ByteSink& sink) const {
    sink.Write("\xEF\xBB\xBFline,postoffice,address,what went wrong\r\n");
    for (const std::string& chunk : chunks_) sink.Write(chunk);
    long kept = kept_;
    std::string out;
    if (last_) {
        const std::string text =
            RowText(last_->line, last_->postoffice, last_->address, last_->reason);
        if (Fits(text)) {
            out = text;
            ++kept;
        }
    }
    if (const long unkept = count_ - kept; unkept > 0) {
        out += ",,,";
        AppendField(out,
                    "\xE2\x80\xA6"
                    "and " +
                        Grouped(unkept) +
                        " more lines were listed; correct these and run the file again to "
                        "see the rest.");
        out += "\r\n";
    }
    sink.Write(out);
}

std::string ProposedListPath(const platform::FileSystem& files, const std::string& importPath) {
    const std::size_t cut = importPath.find_last_of(std::string{'/', files.Separator()});
    const std::string folder = cut == std::string::npos ? "" : importPath.substr(0, cut + 1);
    std::string name = cut == std::string::npos ? importPath : importPath.substr(cut + 1);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return folder + name + "-lines.csv";
}

void OfferList(platform::FileSystem& files, MessageBox& messages, SaveDialog& save,
               const std::string& importPath, const ListOfLines& list, std::string_view question,
               const std::optional<std::string>& title) {
    while (messages.Show(question, kMbYesNoExclamation, title) == kAnswerYes) {
        std::string failure;
        try {
            const auto chosen = save.ShowSave(kSaveTitle, ProposedListPath(files, importPath));
            if (!chosen) return;
            // The list holds no passwords: written over the import file, it would lose them.
            if (files.SameFile(*chosen, importPath)) {
                messages.Show(kOverImportFile, kMbOkExclamation, std::nullopt);
                continue;
            }
            files.WriteFile(*chosen, [&list](platform::ByteSink& sink) { list.Write(sink); });
            return;
        } catch (const std::exception& error) {
            failure = error.what();
        }
        messages.Show(std::string(kNotSaved) + failure, kMbOk, std::nullopt);
    }
}

}  // namespace seedwell::app
