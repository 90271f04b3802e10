#pragma once

// Text at the edge to the Windows API: the program holds UTF-8, Windows takes UTF-16.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace seedwell::platform::win {

/// `utf8` as UTF-16, or nullopt when it is not well-formed UTF-8. NUL characters are kept.
std::optional<std::wstring> Widen(std::string_view utf8);

/// `wide` as UTF-8, or nullopt when it holds a lone surrogate. NUL characters are kept.
std::optional<std::string> Narrow(std::wstring_view wide);

/// "0x80040154": `code` in hexadecimal, eight digits.
std::string Hex(std::uint32_t code);

/// The system's own text for `code` (a Win32 error code or an HRESULT), without its line end
/// and final full stop, or a built-in text for the common COM and automation failures when the
/// system has none; empty text when neither knows the code. Throws only for lack of memory.
std::string SystemMessage(std::uint32_t code);

/// A reason for a message: SystemMessage(code), else "error 0x........".
std::string Win32Reason(std::uint32_t code);

/// A reason for a failed COM call: SystemMessage(hr) followed by the code in hexadecimal
/// ("Class not registered (0x80040154)"), else "error 0x80040154".
std::string HResultReason(std::int32_t hr);

}  // namespace seedwell::platform::win
