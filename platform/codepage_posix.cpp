#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/objects.h"

namespace seedwell::platform {
namespace {

constexpr const char* kUtf8 = "UTF-8";

bool NamesUtf8(std::string_view name) {
    return EqualsIgnoringCase(name, "UTF-8") || EqualsIgnoringCase(name, "UTF8");
}

/// Owns one iconv conversion descriptor. Each Convert starts from the initial shift state, so
/// one descriptor serves any number of conversions.
class Iconv {
  public:
    Iconv(const std::string& to, const std::string& from)
        : cd_(iconv_open(to.c_str(), from.c_str())) {}
    ~Iconv() {
        if (Valid()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    /// `input` converted, or nullopt when it holds a sequence that is invalid, incomplete or
    /// cannot be represented exactly in the target.
    std::optional<std::string> Convert(std::string_view input) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out(input.size() + input.size() / 2 + 16, '\0');
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        std::size_t used = 0;
        bool flushing = false;
        for (;;) {
            char* outPtr = out.data() + used;
            std::size_t outLeft = out.size() - used;
            const std::size_t result = flushing ? iconv(cd_, nullptr, nullptr, &outPtr, &outLeft)
                                                : iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
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

  private:
    iconv_t cd_;
};

/// A converter from `from` to `to` kept for the calling thread, or nullptr when iconv does not
/// know the pair.
Iconv* Converter(const std::string& to, const std::string& from) {
    struct Entry {
        std::string to;
        std::string from;
        std::unique_ptr<Iconv> converter;
    };
    thread_local std::vector<Entry> cache;
    for (Entry& entry : cache) {
        if (entry.to == to && entry.from == from) return entry.converter.get();
    }
    auto converter = std::make_unique<Iconv>(to, from);
    if (!converter->Valid()) return nullptr;
    if (cache.size() >= 8) cache.erase(cache.begin());
    cache.push_back({to, from, std::move(converter)});
    return cache.back().converter.get();
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

const CodePage& CodePage::System() {
    static const CodePage page = [] {
        const std::string codeset = LocaleCodeset();
        if (codeset.empty() || codeset == "ANSI_X3.4-1968" ||
            EqualsIgnoringCase(codeset, "ASCII") || EqualsIgnoringCase(codeset, "US-ASCII")) {
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
    Iconv toUtf8(kUtf8, name_);
    Iconv fromUtf8(name_, kUtf8);
    const bool named = !name_.empty() && name_.find('\0') == std::string::npos;
    if (!named || !toUtf8.Valid() || !fromUtf8.Valid()) {
        const int error = named ? errno : EINVAL;
        throw Error("the code page '" + name_ +
                    "' is not known: " + std::generic_category().message(error));
    }
}

std::optional<std::string> CodePage::ToUtf8(std::string_view bytes) const {
    if (utf8_) {
        if (!IsValidUtf8(bytes)) return std::nullopt;
        return std::string(bytes);
    }
    Iconv* converter = Converter(kUtf8, name_);
    if (!converter) return std::nullopt;
    return converter->Convert(bytes);
}

std::optional<std::string> CodePage::FromUtf8(std::string_view utf8) const {
    if (!IsValidUtf8(utf8)) return std::nullopt;
    if (utf8_) return std::string(utf8);
    Iconv* converter = Converter(name_, kUtf8);
    if (!converter) return std::nullopt;
    return converter->Convert(utf8);
}

}  // namespace seedwell::platform
