#pragma once

#include <chrono>
#include <string_view>

namespace seedwell::platform {

/// The time as a run measures it, to decide when its progress shows and how often it is drawn.
class Clock {
  public:
    virtual ~Clock() = default;
    /// A monotonic time. Never throws.
    virtual std::chrono::steady_clock::time_point Now() const noexcept = 0;
};

/// The progress window of a long run: a small modal window over the main window with a title,
/// the text "Line N of M", a progress bar and a "Stop" button. While a run goes, the program's
/// windows still repaint and answer the desktop, but take no user input other than a click on
/// Stop or closing the progress window, both of which count as Stop.
class Progress {
  public:
    virtual ~Progress() = default;
    /// Opens the window titled `title` ("Importing mailboxes") for a run of `total` lines.
    /// Throws seedwell::Error when it cannot be shown.
    virtual void Open(std::string_view title, long total) = 0;
    /// Shows "Line `line` of `total`" and moves the bar. Only between Open and Close.
    virtual void Update(long line) = 0;
    /// Lets pending paint and desktop events through, drops user input aimed anywhere but the
    /// Stop button, and answers true once Stop was pressed or the progress window was closed
    /// during this run. May be called before Open (nothing shows then). Never throws.
    virtual bool Pump() noexcept = 0;
    /// Closes the window when it is open and forgets a Stop pressed, ready for the next run.
    /// Never throws.
    virtual void Close() noexcept = 0;
};

}  // namespace seedwell::platform
