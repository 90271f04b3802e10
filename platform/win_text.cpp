#include "platform/win_text.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "base/unicode.h"
#include "platform/unique_handle.h"

namespace seedwell::platform::win {
namespace {

/// A buffer that FormatMessageW allocated.
struct LocalTraits {
    static wchar_t* Invalid() noexcept { return nullptr; }
    static void Close(wchar_t* buffer) noexcept { LocalFree(buffer); }
};
using LocalBuffer = UniqueHandle<wchar_t*, LocalTraits>;

/// Texts of the failures late binding meets most, for systems whose message table lacks them.
const char* BuiltInMessage(std::uint32_t code) {
    static constexpr struct {
        std::uint32_t code;
        const char* text;
    } kMessages[] = {
        {0x80004001, "Not implemented"},         {0x80004002, "No such interface supported"},
        {0x80004005, "Unspecified error"},       {0x8007000E, "Not enough memory"},
        {0x80020003, "Member not found"},        {0x80020004, "Parameter not found"},
        {0x80020005, "Type mismatch"},           {0x80020006, "Unknown name"},
        {0x80020008, "Bad variable type"},       {0x80020009, "Exception occurred"},
        {0x8002000A, "Out of present range"},    {0x8002000E, "Invalid number of parameters"},
        {0x8002000F, "Parameter not optional"},  {0x800401F0, "CoInitialize has not been called"},
        {0x800401F3, "Invalid class string"},    {0x80040154, "Class not registered"},
        {0x80080005, "Server execution failed"},
    };
    for (const auto& message : kMessages) {
        if (message.code == code) return message.text;
    }
    return nullptr;
}

}  // namespace

std::optional<std::wstring> Widen(std::string_view utf8) {
    const auto units = base::Utf8ToUtf16(utf8, false);  // little-endian, as wchar_t is
    if (!units) return std::nullopt;
    std::wstring wide(units->size() / 2, L'\0');
    std::memcpy(wide.data(), units->data(), units->size());
    return wide;
}

std::optional<std::string> Narrow(std::wstring_view wide) {
    return base::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

std::string Hex(std::uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

std::string SystemMessage(std::uint32_t code) {
    wchar_t* allocated = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&allocated), 0, nullptr);
    const LocalBuffer buffer(allocated);
    std::string text;
    if (length > 0 && buffer) {
        text = Narrow(std::wstring_view(buffer.get(), length)).value_or(std::string());
    }
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    if (text.empty()) {
        if (const char* builtIn = BuiltInMessage(code)) text = builtIn;
    }
    return text;
}

std::string Win32Reason(std::uint32_t code) {
    std::string text = SystemMessage(code);
    return text.empty() ? "error " + Hex(code) : text;
}

std::string HResultReason(std::int32_t hr) {
    const auto code = static_cast<std::uint32_t>(hr);
    std::string text = SystemMessage(code);
    return text.empty() ? "error " + Hex(code) : text + " (" + Hex(code) + ")";
}

}  // namespace seedwell::platform::win
