#pragma once

// What the runs and the window reach of the screen: message boxes, the pointer, the file dialog,
// the progress window of a long run and the clock that paces it. app/qt/ and app/win32/ provide
// them; nothing below app/ names them.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace seedwell::app {

/// A message box's buttons and icon; each value is the one Windows gives that style. A Yes/No
/// box has Yes as its default button.
enum class BoxStyle : int {
    kOk = 0,
    kOkCritical = 16,
    kYesNoCritical = 20,
    kOkExclamation = 48,
    kYesNoExclamation = 52,
    kOkInformation = 64,
};
inline constexpr BoxStyle kMbOk = BoxStyle::kOk;
inline constexpr BoxStyle kMbOkCritical = BoxStyle::kOkCritical;
inline constexpr BoxStyle kMbOkExclamation = BoxStyle::kOkExclamation;
inline constexpr BoxStyle kMbOkInformation = BoxStyle::kOkInformation;
inline constexpr BoxStyle kMbYesNoCritical = BoxStyle::kYesNoCritical;
inline constexpr BoxStyle kMbYesNoExclamation = BoxStyle::kYesNoExclamation;

/// Whether a box of `style` asks Yes or No rather than showing OK.
constexpr bool IsYesNo(BoxStyle style) noexcept {
    return style == BoxStyle::kYesNoCritical || style == BoxStyle::kYesNoExclamation;
}
/// Message box answers.
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

/// The application's title, shown by message boxes that have no title of their own.
inline constexpr std::string_view kApplicationTitle = "Seedwell";

/// Modal message boxes.
class MessageBox {
  public:
    virtual ~MessageBox() = default;
    /// Shows `text` with the buttons and icon of `style` and `title` (the application's title
    /// when none is given), waits until it is closed and answers the button pressed: kAnswerOk,
    /// kAnswerYes or kAnswerNo (closing a Yes/No box otherwise counts as No).
    virtual int Show(std::string_view text, BoxStyle style, std::optional<std::string> title) = 0;
};

/// The screen-wide mouse pointer.
class BusyPointer {
  public:
    virtual ~BusyPointer() = default;
    /// Shows the hourglass until Restore.
    virtual void SetHourglass() = 0;
    /// Shows the default pointer again. Harmless when the hourglass is not set.
    virtual void Restore() = 0;
};

/// The file-open dialog: one instance living as long as the window.
class FileDialog {
  public:
    virtual ~FileDialog() = default;
    /// Shows the modal dialog and returns when it is closed. A pick replaces FileName; a
    /// cancel leaves it as it was. Never throws on cancel.
    virtual void ShowOpen() = 0;
    /// The last file picked, or empty text when none has been picked.
    virtual std::string FileName() const = 0;
};

/// The platform's save dialog, asking where a file is to be written.
class SaveDialog {
  public:
    virtual ~SaveDialog() = default;
    /// Shows the modal dialog titled `title`, proposing the file `proposed` (a path, or a name
    /// alone for the working folder), and asks before a file that exists is replaced. Answers
    /// the path chosen, or nullopt when the operator cancelled. Throws seedwell::Error when the
    /// dialog cannot be shown.
    virtual std::optional<std::string> ShowSave(std::string_view title,
                                                const std::string& proposed) = 0;
};

/// The time as a run measures it, to decide when its progress shows and how often it is drawn.
class Clock {
  public:
    virtual ~Clock() = default;
    /// A monotonic time. Never throws.
    virtual std::chrono::steady_clock::time_point Now() const noexcept = 0;
};

/// The progress window of a long run: a small modal window over the main window with a title,
/// a line of text ("Line 2,562 of 100,000 (about 3 minutes left)"), a progress bar and a "Stop"
/// button. While a run goes, the program's
/// windows still repaint and answer the desktop, but take no user input other than a click on
/// Stop or closing the progress window, both of which count as Stop.
class Progress {
  public:
    virtual ~Progress() = default;
    /// Opens the window titled `title` ("Importing mailboxes") for a run of `total` lines.
    /// Throws seedwell::Error when it cannot be shown.
    virtual void Open(std::string_view title, long total) = 0;
    /// Shows `text` and moves the bar to `line` of the total. Only between Open and Close.
    virtual void Update(long line, std::string_view text) = 0;
    /// Lets pending paint and desktop events through, drops user input aimed anywhere but the
    /// Stop button, and answers true once Stop was pressed or the progress window was closed
    /// during this run. May be called before Open (nothing shows then). Never throws.
    virtual bool Pump() noexcept = 0;
    /// Closes the window when it is open and forgets a Stop pressed, ready for the next run.
    /// Never throws.
    virtual void Close() noexcept = 0;
};

/// The process's monotonic clock, the same on every platform.
class SteadyClock : public Clock {
  public:
    std::chrono::steady_clock::time_point Now() const noexcept override {
        return std::chrono::steady_clock::now();
    }
};

}  // namespace seedwell::app
