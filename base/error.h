#pragma once

#include <stdexcept>
#include <string>

namespace seedwell {

/// The one failure type of the program: a runtime error whose what() is a description a person
/// can act on (what failed, on which name or path, and why). Runs show it after their prefix.
class Error : public std::runtime_error {
  public:
    explicit Error(const std::string& description) : std::runtime_error(description) {}
};

}  // namespace seedwell
