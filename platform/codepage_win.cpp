// Code pages on Windows. The system code page is the ANSI code page (GetACP), named "CP<number>"
// ("CP1252"), or "UTF-8" when the ANSI code page is 65001. A CodePage is named by its number as
// text ("1252"), "CP<number>", "windows-<number>", "IBM<number>", "ISO-8859-<n>", "UTF-8",
// "UTF-16LE" or a few common iconv names; case, '-' and '_' do not matter.

#include <windows.h>

#include <cctype>
#include <climits>
#include <cstring>

#include "base/error.h"
#include "base/printable.h"
#include "base/unicode.h"
#include "platform/codepage.h"
#include "platform/win_text.h"

namespace seedwell::platform {
namespace {

constexpr UINT kUtf16Le = 1200;

/// `name` in upper case without '-', '_' and blanks: "iso_8859-1" gives "ISO88591".
std::string Folded(std::string_view name) {
    std::string folded;
    for (char c : name) {
        if (c == '-' || c == '_' || c == ' ') continue;
        folded += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return folded;
}

/// The number of the decimal digits `text`, or 0 when it is not one.
UINT Number(std::string_view text) {
    if (text.empty() || text.size() > 5) return 0;
    UINT number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        number = number * 10 + UINT(c - '0');
    }
    return number;
}

/// The Windows code page that `name` stands for, or 0 when it names none.
UINT PageNumber(std::string_view name) {
    if (name.find('\0') != std::string_view::npos) return 0;
    const std::string folded = Folded(name);
    struct Alias {
        const char* name;
        UINT page;
    };
    static constexpr Alias kAliases[] = {
        {"UTF8", CP_UTF8},  {"UTF16LE", kUtf16Le}, {"LATIN1", 28591}, {"ASCII", 20127},
        {"USASCII", 20127}, {"SHIFTJIS", 932},     {"SJIS", 932},     {"GBK", 936},
        {"GB18030", 54936}, {"BIG5", 950},         {"EUCKR", 51949},  {"EUCJP", 20932},
        {"KOI8R", 20866},   {"KOI8U", 21866},
    };
    for (const Alias& alias : kAliases) {
        if (folded == alias.name) return alias.page;
    }
    for (const char* prefix : {"CP", "WINDOWS", "IBM"}) {
        const std::size_t length = std::strlen(prefix);
        if (folded.compare(0, length, prefix) == 0) return Number(folded.substr(length));
    }
    if (folded.compare(0, 7, "ISO8859") == 0) {
        const UINT part = Number(folded.substr(7));
        if ((part >= 1 && part <= 9) || part == 13 || part == 15) return 28590 + part;
        return 0;
    }
    return Number(folded);
}

/// True for the single-byte ANSI code pages (Thai and 1250 to 1258). Windows maps the bytes
/// they leave undefined to C1 control characters or private-use characters, which none of
/// them defines, so such characters mark an invalid byte, as iconv refuses the same bytes.
bool HasUndefinedBytesMapped(UINT page) { return page == 874 || (page >= 1250 && page <= 1258); }

bool HoldsUndefinedCharacter(std::wstring_view wide) {
    for (wchar_t c : wide) {
        if ((c >= 0x80 && c <= 0x9F) || (c >= 0xE000 && c <= 0xF8FF)) return true;
    }
    return false;
}

/// Code pages that accept no conversion flags (MB_ERR_INVALID_CHARS, WC_NO_BEST_FIT_CHARS) and
/// no default-character report; their conversions are checked by converting back instead.
bool TakesNoFlags(UINT page) {
    return page == 42 || page == 65000 || (page >= 50220 && page <= 50229) || page == 52936 ||
           page == 54936 || (page >= 57002 && page <= 57011);
}

std::optional<std::wstring> ToWide(UINT page, std::string_view bytes) {
    if (bytes.empty()) return std::wstring();
    if (bytes.size() > INT_MAX) return std::nullopt;
    if (page == kUtf16Le) {
        if (bytes.size() % 2 != 0) return std::nullopt;
        std::wstring wide(bytes.size() / 2, L'\0');
        std::memcpy(wide.data(), bytes.data(), bytes.size());
        return wide;
    }
    const int length = static_cast<int>(bytes.size());
    const DWORD flags = TakesNoFlags(page) ? 0 : MB_ERR_INVALID_CHARS;
    // No code page makes more than one UTF-16 unit of a byte.
    std::wstring wide(bytes.size(), L'\0');
    const int made = MultiByteToWideChar(page, flags, bytes.data(), length, wide.data(), length);
    if (made <= 0) return std::nullopt;
    wide.resize(static_cast<std::size_t>(made));
    if (HasUndefinedBytesMapped(page) && HoldsUndefinedCharacter(wide)) return std::nullopt;
    return wide;
}

std::optional<std::string> FromWide(UINT page, std::wstring_view wide) {
    if (wide.empty()) return std::string();
    if (page == kUtf16Le) {
        std::string bytes(wide.size() * 2, '\0');
        std::memcpy(bytes.data(), wide.data(), bytes.size());
        return bytes;
    }
    if (HasUndefinedBytesMapped(page) && HoldsUndefinedCharacter(wide)) return std::nullopt;
    if (wide.size() > INT_MAX / 4) return std::nullopt;
    const int length = static_cast<int>(wide.size());
    const bool plain = TakesNoFlags(page);
    BOOL usedDefault = FALSE;
    int size = WideCharToMultiByte(page, plain ? 0 : WC_NO_BEST_FIT_CHARS, wide.data(), length,
                                   nullptr, 0, nullptr, plain ? nullptr : &usedDefault);
    if (size <= 0) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    size = WideCharToMultiByte(page, plain ? 0 : WC_NO_BEST_FIT_CHARS, wide.data(), length,
                               bytes.data(), size, nullptr, plain ? nullptr : &usedDefault);
    if (size <= 0 || usedDefault) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(size));
    if (plain && ToWide(page, bytes) != std::wstring(wide)) return std::nullopt;
    return bytes;
}

}  // namespace

const CodePage& CodePage::System() {
    static const CodePage page = [] {
        const UINT ansi = GetACP();
        if (ansi == CP_UTF8) return CodePage("UTF-8");
        try {
            return CodePage("CP" + std::to_string(ansi));
        } catch (const Error&) {
            return CodePage("UTF-8");  // still strict: invalid bytes are refused, never replaced
        }
    }();
    return page;
}

CodePage::CodePage(std::string name) : name_(std::move(name)) {
    const UINT page = PageNumber(name_);
    utf8_ = page == CP_UTF8;
    if (page == CP_UTF8 || page == kUtf16Le) return;
    if (page == 0 || !IsValidCodePage(page)) {
        throw Error("the code page " + base::Quoted(name_) +
                    " is not known: this system has no such code page");
    }
}

std::optional<std::string> CodePage::ToUtf8(std::string_view bytes) const {
    if (utf8_) {
        if (!base::IsValidUtf8(bytes)) return std::nullopt;
        return std::string(bytes);
    }
    const UINT page = PageNumber(name_);
    const auto wide = ToWide(page, bytes);
    if (!wide) return std::nullopt;
    // Without MB_ERR_INVALID_CHARS a bad byte became a replacement; converting back shows it.
    if (TakesNoFlags(page) && FromWide(page, *wide) != std::string(bytes)) return std::nullopt;
    return win::Narrow(*wide);
}

std::optional<std::string> CodePage::FromUtf8(std::string_view utf8) const {
    if (!base::IsValidUtf8(utf8)) return std::nullopt;
    if (utf8_) return std::string(utf8);
    const auto wide = win::Widen(utf8);
    if (!wide) return std::nullopt;
    return FromWide(PageNumber(name_), *wide);
}

}  // namespace seedwell::platform
