#pragma once

#include <optional>
#include <string>
#include <utility>

#include "app/form.h"
#include "app/screen.h"
#include "tests/fakes/recording.h"

namespace seedwell::fakes {

/// The window as runs and the form's handlers see it: txtFile and txtRoot hold `file` and
/// `root`; focus moves are logged as "focus txtFile" and "focus txtRoot"; closings are counted.
class FakeWindow : public app::FormView {
  public:
    explicit FakeWindow(Log& log, std::string file = {}, std::string root = {})
        : file(std::move(file)), root(std::move(root)), log_(log) {}

    std::string FileText() override { return file; }
    std::string RootText() override { return root; }
    void FocusFile() override { log_.push_back("focus txtFile"); }
    void FocusRoot() override { log_.push_back("focus txtRoot"); }
    void SetFileText(const std::string& text) override { file = text; }
    void SetRootText(const std::string& text) override { root = text; }
    void Unload() noexcept override { ++unloads; }

    std::string file;
    std::string root;
    int unloads = 0;

  private:
    Log& log_;
};

/// A file dialog that picks `next` (or cancels when it is unset) and counts its showings.
class ScriptedFileDialog : public app::FileDialog {
  public:
    std::optional<std::string> next;
    int shows = 0;

    void ShowOpen() override {
        ++shows;
        if (next) fileName_ = *next;
        next.reset();
    }
    std::string FileName() const override { return fileName_; }

  private:
    std::string fileName_;
};

}  // namespace seedwell::fakes
