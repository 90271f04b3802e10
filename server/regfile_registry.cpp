#include "server/regfile_registry.h"

#include <cstdlib>

#include "platform/ascii.h"
#include "platform/error.h"
#include "platform/filesystem_std.h"
#include "server/regfile.h"

namespace seedwell::server {

using platform::AsciiLower;
using platform::CodePage;
using platform::RegistryKey;
using platform::RegistryValue;

namespace {

constexpr std::string_view kRootKey = "HKEY_LOCAL_MACHINE";

/// A key as the file held it when it was opened.
class RegFileRegistryKey : public RegistryKey {
  public:
    explicit RegFileRegistryKey(RegFileKey key) : key_(std::move(key)) {}

    std::optional<RegistryValue> QueryValue(std::string_view valueName) override {
        auto it = key_.values.find(AsciiLower(valueName));
        if (it == key_.values.end() || !it->second.data) return std::nullopt;
        return RegistryValue{it->second.type, *it->second.data};
    }

  private:
    RegFileKey key_;
};

}  // namespace

std::string ReadWholeFile(const std::string& path, std::size_t maxBytes) {
    std::unique_ptr<platform::ByteSource> source = platform::OpenRegularFile(path);
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const std::size_t got = source->Read(chunk, sizeof chunk);
        if (got == 0) return bytes;
        if (got > maxBytes - bytes.size()) {
            throw Error("the file '" + path + "' is larger than " + std::to_string(maxBytes) +
                        " bytes");
        }
        bytes.append(chunk, got);
    }
}

std::string DefaultRegistryFile() {
    const char* named = std::getenv("SEEDWELL_REGISTRY");
    return (named && *named) ? named : "/etc/tarnwick/registry.reg";
}

RegFileRegistry::RegFileRegistry(std::string path, const CodePage& codePage)
    : path_(std::move(path)), codePage_(codePage) {}

std::unique_ptr<RegistryKey> RegFileRegistry::OpenKey(std::string_view keyPath,
                                                      std::uint32_t /*access*/) {
    const std::string bytes = ReadWholeFile(path_, kMaxRegFileSize);
    const std::optional<RegFileTree> tree = ParseRegFile(bytes, codePage_);
    if (!tree) throw Error("the file '" + path_ + "' is not a registry file");
    std::string fullPath(kRootKey);
    if (!keyPath.empty()) {
        fullPath += '\\';
        fullPath += keyPath;
    }
    const RegFileKey* key = tree->FindKey(fullPath);
    if (!key) return nullptr;
    return std::make_unique<RegFileRegistryKey>(*key);
}

}  // namespace seedwell::server
