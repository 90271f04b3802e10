#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <system_error>

#include "base/ascii.h"
#include "base/error.h"
#include "base/printable.h"
#include "base/unicode.h"
#include "platform/codepage.h"
#include "platform/unique_handle.h"

namespace seedwell::platform {
namespace {

constexpr const char* kUtf8 = "UTF-8";

bool NamesUtf8(std::string_view name) {
    return base::EqualsIgnoringCase(name, "UTF-8") || base::EqualsIgnoringCase(name, "UTF8");
}

struct IconvTraits {
    static iconv_t Invalid() noexcept { return reinterpret_cast<iconv_t>(-1); }
    static void Close(iconv_t cd) noexcept { iconv_close(cd); }
};
using Iconv = UniqueHandle<iconv_t, IconvTraits>;

Iconv OpenIconv(const std::string& to, const std::string& from) {
    return Iconv(iconv_open(to.c_str(), from.c_str()));
}

/// `input` converted by `cd`, or nullopt when it holds a sequence that is invalid, incomplete
/// or cannot be represented exactly in the target. Starts from the initial shift state, so one
/// descriptor serves any number of conversions.
std::optional<std::string> Convert(iconv_t cd, std::string_view input) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out(input.size() + input.size() / 2 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    std::size_t used = 0;
    bool flushing = false;
    for (;;) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t result = flushing ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft)
                                            : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        used = out.size() - outLeft;
        if (result == static_cast<std::size_t>(-1)) {
            if (error != E2BIG) return std::nullopt;
            out.resize(out.size() * 2);
            continue;
        }
        if (result != 0) return std::nullopt;  // irreversible: not exactly representable
        if (flushing) break;
        flushing = true;
    }
    out.resize(used);
    return out;
}

std::string LocaleCodeset() {
    std::string codeset;
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (locale != static_cast<locale_t>(0)) {
        if (const char* name = nl_langinfo_l(CODESET, locale)) codeset = name;
        freelocale(locale);
    }
    return codeset;
}

}  // namespace

struct CodePage::Converters {
    Iconv toUtf8;
    Iconv fromUtf8;
};

const CodePage& CodePage::System() {
    static const CodePage page = [] {
        const std::string codeset = LocaleCodeset();
        if (codeset.empty() || codeset == "ANSI_X3.4-1968" ||
            base::EqualsIgnoringCase(codeset, "ASCII") ||
            base::EqualsIgnoringCase(codeset, "US-ASCII")) {
            return CodePage(kUtf8);
        }
        try {
            return CodePage(codeset);
        } catch (const Error&) {
            return CodePage(kUtf8);  // still strict: invalid bytes are refused, never replaced
        }
    }();
    return page;
}

CodePage::CodePage(std::string name) : name_(std::move(name)), utf8_(NamesUtf8(name_)) {
    if (utf8_) return;
    const bool named = !name_.empty() && name_.find('\0') == std::string::npos;
    auto converters = std::make_shared<Converters>();
    if (named) converters->toUtf8 = OpenIconv(kUtf8, name_);
    if (converters->toUtf8) converters->fromUtf8 = OpenIconv(name_, kUtf8);
    if (!converters->fromUtf8) {
        const int error = named ? errno : EINVAL;
        throw Error("the code page " + base::Quoted(name_) +
                    " is not known: " + std::generic_category().message(error));
    }
    converters_ = std::move(converters);
}

std::optional<std::string> CodePage::ToUtf8(std::string_view bytes) const {
    if (utf8_) {
        if (!base::IsValidUtf8(bytes)) return std::nullopt;
        return std::string(bytes);
    }
    return Convert(converters_->toUtf8.get(), bytes);
}

std::optional<std::string> CodePage::FromUtf8(std::string_view utf8) const {
    if (!base::IsValidUtf8(utf8)) return std::nullopt;
    if (utf8_) return std::string(utf8);
    return Convert(converters_->fromUtf8.get(), utf8);
}

}  // namespace seedwell::platform
