#pragma once

// The list of the lines a run reports, which the operator may save when the run's end cannot
// show them all: one row per line with its fields and what went wrong on it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/screen.h"
#include "platform/filesystem.h"

namespace seedwell::app {

/// `number` as the screen writes counts: "999", "2,562", "100,000", "-1,000".
std::string Grouped(long number);

/// The lines of one run, in the order they are added, which is the order of the file. Keeps the
/// first lines up to kMaxKept rows and kMaxKeptBytes of written rows, and counts the rest, so
/// that memory stays bounded however many lines a run lists and whatever they hold; fields and
/// reasons are cut to a few KiB each.
class ListOfLines {
  public:
    static constexpr std::size_t kMaxKept = 100'000;
    static constexpr std::size_t kMaxKeptBytes = 32 * 1024 * 1024;

    /// Lists `line` with its post-office and address fields as the file holds them (empty when
    /// the line could not be taken apart, or a field is not to be shown) and `reason`, the text
    /// its box would have shown. A second reason for the line last added joins the first in its
    /// row.
    void Add(long line, std::string_view postoffice, std::string_view address,
             std::string_view reason);
    /// The number of lines listed, kept or not.
    long Count() const { return count_; }

    /// Writes the list as comma-separated text for a spreadsheet: UTF-8 with a byte-order mark,
    /// CR LF line ends, quoted as RFC 4180 asks; the header "line,postoffice,address,what went
    /// wrong", one row per line kept, and when lines were not kept a last row that says how many.
    /// Fields are shown printable, and one that a spreadsheet would take for a formula (beginning
    /// with = + - or @) is preceded by an apostrophe. Throws what `sink` throws.
    void Write(platform::ByteSink& sink) const;

  private:
    struct Row {
        long line;
        std::string postoffice, address, reason;
    };
    // Moves the last row into the written rows, or counts it as not kept.
    void Settle();
    // True when the written row `text` may still be kept.
    bool Fits(const std::string& text) const {
        return static_cast<std::size_t>(kept_) < kMaxKept &&
               keptBytes_ + text.size() <= kMaxKeptBytes;
    }

    std::vector<std::string> chunks_;  // the written rows, in pieces of about a MiB each
    std::size_t keptBytes_ = 0;
    long kept_ = 0;
    bool full_ = false;  // a row did not fit: no later row is kept either
    std::optional<Row> last_;
    long count_ = 0;
};

/// Where the list of lines is proposed to go: "<name of the import file without its
/// extension>-lines.csv" in the import file's folder ("C:\\in\\users.csv" gives
/// "C:\\in\\users-lines.csv").
std::string ProposedListPath(const platform::FileSystem& files, const std::string& importPath);

/// The end of a run whose message cannot show every listed line: shows `question`, the end's
/// text that asks whether to save the list, titled `title` (Yes and No). On Yes the save
/// dialog, proposing ProposedListPath, says where, and `list` is written there in one step
/// (FileSystem::WriteFile). The import file itself, by whatever path or link it is chosen, is
/// refused ("The list cannot be saved over the import file. Choose another name."), and a save
/// that fails is told with its reason; after either the question is asked again. No, or a cancel
/// of the dialog, writes nothing. Throws only what `messages` throws.
void OfferList(platform::FileSystem& files, MessageBox& messages, SaveDialog& save,
               const std::string& importPath, const ListOfLines& list, std::string_view question,
               const std::optional<std::string>& title);

}  // namespace seedwell::app
