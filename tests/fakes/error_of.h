#pragma once

#include <functional>
#include <string>

#include "base/error.h"

namespace seedwell::fakes {

/// The description of the seedwell::Error that `action` throws, or "no error".
inline std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        return error.what();
    }
    return "no error";
}

}  // namespace seedwell::fakes
