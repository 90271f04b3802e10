#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/ui.h"

namespace seedwell::platform {

/// Message boxes shown with QMessageBox, application-modal, over the active window. The text is
/// plain text (nothing in it is markup) and CR LF or a lone CR breaks the line. A box without a
/// title of its own carries kApplicationTitle. Needs a QApplication.
class QtMessageBox : public MessageBox {
  public:
    /// Throws seedwell::Error when `style` is not one of the four styles the program uses.
    int Show(std::string_view text, int style, std::optional<std::string> title) override;
};

/// The hourglass as the application's override cursor. Setting it twice and restoring once
/// leaves the default pointer; destroying the object restores it. Needs a QGuiApplication.
class QtBusyPointer : public BusyPointer {
  public:
    QtBusyPointer() = default;
    QtBusyPointer(const QtBusyPointer&) = delete;
    QtBusyPointer& operator=(const QtBusyPointer&) = delete;
    ~QtBusyPointer() override;

    void SetHourglass() override;
    void Restore() override;
    /// True while this object holds the hourglass.
    bool IsSet() const { return set_; }

  private:
    bool set_ = false;
};

/// The file-open dialog through QFileDialog, over the active window, with no title, filter or
/// folder of its own. FileName is the picked path with the platform's native separators.
class QtFileDialog : public FileDialog {
  public:
    void ShowOpen() override;
    std::string FileName() const override { return fileName_; }

  private:
    std::string fileName_;
};

}  // namespace seedwell::platform
