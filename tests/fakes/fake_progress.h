#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "platform/progress.h"
#include "tests/fakes/recording.h"

namespace seedwell::fakes {

/// A clock that moves on by `step` every time it is read.
class FakeClock : public platform::Clock {
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

/// Logs "progress open <title> <total>", "progress line <n>" and "progress close" (when open).
/// Pump answers Stop from its `stopAtPump`-th call of a run on (never when 0).
class FakeProgress : public platform::Progress {
  public:
    explicit FakeProgress(Log& log) : log(log) {}
    void Open(std::string_view title, long total) override {
        open = true;
        log.push_back("progress open " + std::string(title) + " " + std::to_string(total));
    }
    void Update(long line) override { log.push_back("progress line " + std::to_string(line)); }
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
    long stopAtPump = 0;
    long pumps = 0;
    bool open = false;
};

}  // namespace seedwell::fakes
