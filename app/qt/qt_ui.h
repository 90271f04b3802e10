#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/screen.h"

namespace seedwell::app {

/// Message boxes shown with QMessageBox, application-modal, over the active window. The text is
/// plain text (nothing in it is markup) and CR LF or a lone CR breaks the line. A box without a
/// title of its own carries kApplicationTitle. Needs a QApplication.
class QtMessageBox : public MessageBox {
  public:
    /// Throws seedwell::Error when `style` is not one of the six styles the program uses.
    int Show(std::string_view text, BoxStyle style, std::optional<std::string> title) override;
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

/// The save dialog, a QFileDialog over the active window listing .csv files first. Like the
/// Windows dialog it adds ".csv" to a name chosen without an extension, before it asks whether a
/// file that exists is to be replaced. The path it answers has the platform's native separators.
class QtSaveDialog : public SaveDialog {
  public:
    std::optional<std::string> ShowSave(std::string_view title,
                                        const std::string& proposed) override;
};

/// Makes assistive technology meet the program's top-level plain widgets as what they are: a
/// window (Qt::Window) as a window and a dialog (Qt::Dialog) as a dialog, where Qt would call
/// both a client area. Installed once, before the first window is made; later calls do nothing.
void InstallWindowRoles();

/// The progress window of a long run: "frmProgress", an application-modal window over the
/// active window, with the label "lblLine" (the run's text), the bar "barProgress" and the button
/// "cmdStop". While Pump runs, every pending event is handled except user input aimed at any
/// other window, which is dropped, and a close request for any other window, which is refused.
/// Needs a QApplication for Open and Pump; without one Pump answers false.
class QtProgress : public Progress {
  public:
    QtProgress();
    QtProgress(const QtProgress&) = delete;
    QtProgress& operator=(const QtProgress&) = delete;
    ~QtProgress() override;

    void Open(std::string_view title, long total) override;
    void Update(long line, std::string_view text) override;
    bool Pump() noexcept override;
    void Close() noexcept override;

  private:
    class Window;
    class InputFilter;

    std::unique_ptr<InputFilter> filter_;
    std::unique_ptr<Window> window_;
    bool stopped_ = false;
};

}  // namespace seedwell::app
