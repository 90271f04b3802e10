#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace seedwell::platform {

/// Message box styles: buttons and icon.
inline constexpr int kMbOk = 0;
inline constexpr int kMbOkCritical = 16;
inline constexpr int kMbOkExclamation = 48;
inline constexpr int kMbOkInformation = 64;
inline constexpr int kMbYesNoCritical = 20;  // Yes is the default button
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
    virtual int Show(std::string_view text, int style, std::optional<std::string> title) = 0;
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

}  // namespace seedwell::platform
