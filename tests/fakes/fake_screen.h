#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "app/runs.h"
#include "app/screen.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording.h"

namespace seedwell::fakes {

/// Logs "box <style> <title or -> <text>" and answers from `answers` (front first), else OK
/// for OK boxes and Yes for Yes/No boxes.
class FakeMessageBox : public app::MessageBox {
  public:
    explicit FakeMessageBox(Log& log) : log(log) {}
    int Show(std::string_view text, app::BoxStyle style, std::optional<std::string> title) override;

    struct Shown {
        std::string text;
        app::BoxStyle style;
        std::optional<std::string> title;
    };
    Log& log;
    std::vector<Shown> shown;
    std::vector<int> answers;
};

/// Logs "pointer hourglass" and "pointer default".
class FakeBusyPointer : public app::BusyPointer {
  public:
    explicit FakeBusyPointer(Log& log) : log(log) {}
    void SetHourglass() override {
        busy = true;
        log.push_back("pointer hourglass");
    }
    void Restore() override {
        busy = false;
        log.push_back("pointer default");
    }
    Log& log;
    bool busy = false;
};

/// A clock that moves on by `step` every time it is read.
class FakeClock : public app::Clock {
  public:
    std::chrono::steady_clock::time_point Now() const noexcept override {
        const auto now = now_;
        now_ += step;
        return now;
    }
    std::chrono::milliseconds step{0};

  private:
    mutable std::chrono::steady_clock::time_point now_{};
};

/// Logs "progress open <title> <total>", "progress line <n>" and "progress close" (when open),
/// and keeps the texts shown. Pump answers Stop from its `stopAtPump`-th call of a run on (never
/// when 0).
class FakeProgress : public app::Progress {
  public:
    explicit FakeProgress(Log& log) : log(log) {}
    void Open(std::string_view title, long total) override {
        open = true;
        log.push_back("progress open " + std::string(title) + " " + std::to_string(total));
    }
    void Update(long line, std::string_view text) override {
        log.push_back("progress line " + std::to_string(line));
        texts.emplace_back(text);
    }
    bool Pump() noexcept override {
        ++pumps;
        return stopAtPump > 0 && pumps >= stopAtPump;
    }
    void Close() noexcept override {
        if (open) log.push_back("progress close");
        open = false;
        pumps = 0;
    }
    Log& log;
    std::vector<std::string> texts;
    long stopAtPump = 0;
    long pumps = 0;
    bool open = false;
};

/// Logs "save <title> <proposed>" and answers from `answers` (front first), else a cancel.
class FakeSaveDialog : public app::SaveDialog {
  public:
    explicit FakeSaveDialog(Log& log) : log(log) {}
    std::optional<std::string> ShowSave(std::string_view title,
                                        const std::string& proposed) override {
        log.push_back("save " + std::string(title) + " " + proposed);
        if (answers.empty()) return std::nullopt;
        std::optional<std::string> answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    Log& log;
    std::vector<std::optional<std::string>> answers;
};

/// Every fake of the screen a run reaches, logging to one log.
struct FakeScreen {
    explicit FakeScreen(Log& log) : messages(log), pointer(log), progress(log), save(log) {}
    /// The screen a run is given: these fakes.
    app::Screen RunScreen() { return {messages, pointer, progress, clock, save}; }

    FakeMessageBox messages;
    FakeBusyPointer pointer;
    FakeProgress progress;
    FakeClock clock;
    FakeSaveDialog save;
};

/// Every fake a run reaches, the objects, files and registry and the screen, sharing one log.
/// Test fixtures of the runs and the window derive from it.
struct FakeRunPlatform : FakePlatform, FakeScreen {
    FakeRunPlatform() : FakeScreen(log) {}
};

inline int FakeMessageBox::Show(std::string_view text, app::BoxStyle style,
                                std::optional<std::string> title) {
    log.push_back("box " + std::to_string(static_cast<int>(style)) + " " +
                  (title ? *title : std::string("-")) + " " + std::string(text));
    shown.push_back({std::string(text), style, title});
    if (!answers.empty()) {
        int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    return app::IsYesNo(style) ? app::kAnswerYes : app::kAnswerOk;
}

}  // namespace seedwell::fakes
