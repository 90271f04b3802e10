#pragma once

#include <string>
#include <string_view>

namespace seedwell::server {

/// A SHA-512-crypt hash ("$6$salt$...") of `password` with a fresh random salt. The clear
/// password is not kept anywhere. Throws seedwell::Error when the password holds a NUL
/// character or is longer than 511 bytes, or the system cannot make a salt or a hash.
std::string HashPassword(std::string_view password);

/// True when `password` hashes to `hash` (compared in constant time); false for a malformed
/// hash. Throws only for lack of memory.
bool PasswordMatches(std::string_view password, const std::string& hash);

}  // namespace seedwell::server
