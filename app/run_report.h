#pragma once

// What a run did, as its line loop hands it back, and the texts the screen shows of it: the
// end message, the offer of the list of lines and the progress line. Nothing here reaches the
// screen.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/line_list.h"

namespace seedwell::app {

/// Line numbers for a message: the first ten by number, the others by their count.
class LineNumbers {
  public:
    static constexpr std::size_t kShown = 10;
    void Add(long line);
    long Count() const { return count_; }
    /// "4", "5 and 7", "4, 9 and 12", or ten numbers followed by ", and 990 more".
    std::string Text() const;

  private:
    long count_ = 0;
    std::vector<std::string> shown_;
};

/// "a", "a and b", "a, b and c", or the items followed by ", and 3 more" when `unlisted` are not.
std::string JoinList(const std::vector<std::string>& items, long unlisted);

enum class RunKind { kImport, kDelete };

/// What one run did: what its lines came to, counted by outcome, and how it ended.
struct RunReport {
    enum class End {
        kEndOfFile,  ///< every line was read
        kStopped,    ///< the operator stopped it after `stoppedAfter`
        kFailed,     ///< `failure` ended it
    };

    RunKind kind = RunKind::kImport;
    long total = 0;  ///< the lines of the file, as its survey counted them
    End end = End::kEndOfFile;
    long stoppedAfter = 0;
    std::string failure;  ///< what ended a kFailed run, naming its line where it has one

    long created = 0;    ///< Import: mailboxes whose record, login and folders this run made
    long existing = 0;   ///< Import: lines whose lookup found their mailbox
    long completed = 0;  ///< Import: existing mailboxes whose missing folders were made again
    long deleted = 0;    ///< Delete: mailboxes whose folder and every record went
    long inUse = 0;      ///< Delete: mailboxes kept as in use

    bool anyNamed = false;  ///< a line got as far as a lookup
    bool unboxed = false;   ///< a line's report got no box of its own
    LineNumbers reported;   ///< the lines reported
    LineNumbers missing;    ///< Delete: the lines that named no existing mailbox
    ListOfLines list;       ///< the rows the operator may save
};

/// The message at a run's end.
struct EndMessage {
    std::string text;
    BoxStyle style;
    std::optional<std::string> title;  ///< nullopt: the application's title
};

/// True when the end cannot show every listed line with its reason: a report got no box of its
/// own, or a list at the end stops at "and N more". The end then offers the list.
bool OffersList(const RunReport& report);

/// The end of `report`: its text (with the counts, and the question that offers the list when
/// OffersList), the style (Yes/No when the list is offered) and the title.
EndMessage EndOf(const RunReport& report);

/// The counts of `report` in one sentence: "3 mailboxes were created; 1 line named a mailbox
/// that already existed, and its password was left as it was." or "2 mailboxes were deleted; 1
/// was in use and was kept.".
std::string CountSentence(const RunReport& report);

/// The progress line: "Line 2,562 of 100,000", followed by " (about 3 minutes left)" when `left`
/// is given.
std::string ProgressText(long line, long total, std::optional<std::chrono::seconds> left);

/// "The file names 4 mailboxes, in the post offices main and sales.": what the lines of a Delete
/// file name, read without a lookup, for the question before the run. Lines that are passed
/// over count for nothing.
class DeleteSummary {
  public:
    explicit DeleteSummary(const platform::FileSystem& files) : files_(files) {}
    /// Counts `line` when it names a mailbox.
    void Add(const std::string& line);
    std::string Text() const;

  private:
    const platform::FileSystem& files_;
    long mailboxes_ = 0;
    std::vector<std::string> shown_;
    std::unordered_set<std::string> postoffices_;
};

/// The time left as the progress window words it: "less than a minute left", "about a minute
/// left", "about 40 minutes left", "about an hour left", "about 2 hours left" (to the nearest
/// minute, or hour from an hour on).
std::string TimeLeft(std::chrono::seconds left);

}  // namespace seedwell::app
