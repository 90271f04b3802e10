#include "platform/registry_win.h"

#include <windows.h>

#include <algorithm>

#include "platform/unique_handle.h"
#include "platform/win_text.h"

namespace seedwell::platform {
namespace {

/// An open registry key; closing it is its last use.
struct KeyTraits {
    static HKEY Invalid() noexcept { return nullptr; }
    static void Close(HKEY key) noexcept { RegCloseKey(key); }
};
using KeyHandle = UniqueHandle<HKEY, KeyTraits>;

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

class WinRegistryKey : public RegistryKey {
  public:
    WinRegistryKey(KeyHandle key, const CodePage& codePage)
        : key_(std::move(key)), codePage_(codePage) {}

    std::optional<RegistryValue> QueryValue(std::string_view valueName) override {
        const auto name = codePage_.FromUtf8(valueName);
        if (!name || name->find('\0') != std::string::npos) return std::nullopt;
        // The value may grow between asking its size and reading it; then ask again.
        for (int attempt = 0; attempt < 8; ++attempt) {
            DWORD type = 0;
            DWORD size = 0;
            if (RegQueryValueExA(key_.get(), name->c_str(), nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS) {
                return std::nullopt;
            }
            std::string data(size, '\0');
            DWORD stored = size;
            if (size > 0) {
                const LONG status = RegQueryValueExA(key_.get(), name->c_str(), nullptr, &type,
                                                     reinterpret_cast<BYTE*>(data.data()), &stored);
                if (status == ERROR_MORE_DATA) continue;
                if (status != ERROR_SUCCESS) return std::nullopt;
            }
            data.resize(std::min(stored, size));
            if (IsStringType(type) && !FitsCodePage(valueName)) return std::nullopt;
            return RegistryValue{type, std::move(data)};
        }
        return std::nullopt;
    }

  private:
    /// True when the string value `valueName` holds only characters of the code page. The ANSI
    /// functions put '?' or a look-alike in place of any other character, which would turn a
    /// folder name into another one; such a value is treated as unreadable instead.
    bool FitsCodePage(std::string_view valueName) {
        const auto wideName = win::Widen(valueName);
        if (!wideName) return false;
        DWORD size = 0;
        if (RegQueryValueExW(key_.get(), wideName->c_str(), nullptr, nullptr, nullptr, &size) !=
            ERROR_SUCCESS) {
            return false;
        }
        std::wstring wide(size / sizeof(wchar_t) + 1, L'\0');
        DWORD stored = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key_.get(), wideName->c_str(), nullptr, nullptr,
                             reinterpret_cast<BYTE*>(wide.data()), &stored) != ERROR_SUCCESS) {
            return false;
        }
        wide.resize(std::min<std::size_t>(stored / sizeof(wchar_t), wide.size()));
        const auto utf8 = win::Narrow(wide);
        return utf8 && codePage_.FromUtf8(*utf8).has_value();
    }

    KeyHandle key_;
    const CodePage& codePage_;
};

}  // namespace

std::unique_ptr<RegistryKey> WinRegistry::OpenKey(std::string_view keyPath, std::uint32_t access) {
    const auto path = codePage_.FromUtf8(keyPath);
    if (!path || path->find('\0') != std::string::npos) return nullptr;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path->c_str(), 0, static_cast<REGSAM>(access), &opened) !=
        ERROR_SUCCESS) {
        return nullptr;  // nothing to close, whatever the call left in `opened`
    }
    return std::make_unique<WinRegistryKey>(KeyHandle(opened), codePage_);
}

}  // namespace seedwell::platform
