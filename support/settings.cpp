#include "support/settings.h"

#include <cstdint>

namespace seedwell::support {

using platform::kKeyRead;
using platform::kRegDword;

std::string RegistryValueToText(const platform::RegistryValue& value,
                                const platform::CodePage& codePage) {
    const std::string& data = value.data;
    if (value.type == kRegDword) {
        // Read into a 32-bit integer that starts at 0; more than 4 bytes do not fit in one.
        if (data.size() > 4) return {};
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < data.size(); ++i) {
            number |= std::uint32_t(static_cast<unsigned char>(data[i])) << (8 * i);
        }
        return std::to_string(static_cast<std::int32_t>(number));
    }
    if (data.empty()) return {};
    auto text = codePage.ToUtf8(std::string_view(data).substr(0, data.size() - 1));
    return text ? std::move(*text) : std::string();
}

std::string ReadRegistryValue(platform::Registry& registry, std::string keyPath,
                              std::string valueName, const platform::CodePage& codePage) noexcept {
    try {
        const auto key = registry.OpenKey(keyPath, kKeyRead);
        if (!key) return {};
        const auto value = key->QueryValue(valueName);
        if (!value) return {};
        return RegistryValueToText(*value, codePage);
    } catch (...) {
        return {};
    }
}

std::string GetDataDirectory(platform::Registry& registry,
                             const platform::CodePage& codePage) noexcept {
    return ReadRegistryValue(registry, std::string(kServerKeyPath),
                             std::string(kDataDirectoryValueName), codePage);
}

std::string PostofficeRoot(const platform::FileSystem& files, std::string_view dataDirectory) {
    return files.BuildPath(dataDirectory, "Postoffices");
}

}  // namespace seedwell::support
