#pragma once

#include <chrono>

#include "platform/progress.h"

namespace seedwell::platform {

/// The process's monotonic clock, the same on every platform.
class SteadyClock : public Clock {
  public:
    std::chrono::steady_clock::time_point Now() const noexcept override {
        return std::chrono::steady_clock::now();
    }
};

}  // namespace seedwell::platform
