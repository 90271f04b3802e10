#pragma once

// An in-memory registry for tests: serves the values a test sets, records every key it is asked
// to open with the access mask asked for, and can refuse chosen rights as a registry refuses
// write access to an operator without administrator rights.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "platform/registry.h"

namespace seedwell::fakes {

class FakeRegistry : public platform::Registry {
  public:
    struct OpenRequest {
        std::string keyPath;
        std::uint32_t access;
    };

    /// Creates the key `keyPath` (below HKEY_LOCAL_MACHINE) without values.
    void AddKey(std::string_view keyPath) { keys_[base::AsciiLower(keyPath)]; }

    void SetValue(std::string_view keyPath, std::string_view name, platform::RegistryValue value) {
        keys_[base::AsciiLower(keyPath)][base::AsciiLower(name)] = std::move(value);
    }
    /// A REG_SZ value stored with its terminating NUL, as the registry keeps it.
    void SetString(std::string_view keyPath, std::string_view name, std::string text) {
        text.push_back('\0');
        SetValue(keyPath, name, {platform::kRegSz, std::move(text)});
    }
    void SetDword(std::string_view keyPath, std::string_view name, std::uint32_t number) {
        std::string bytes;
        for (int shift = 0; shift < 32; shift += 8) bytes += char((number >> shift) & 0xFF);
        SetValue(keyPath, name, {platform::kRegDword, std::move(bytes)});
    }

    /// Makes every open that asks for any of the rights in `rights` fail.
    void RefuseRights(std::uint32_t rights) { refused_ = rights; }

    const std::vector<OpenRequest>& Opens() const { return opens_; }
    const std::vector<std::string>& Queries() const { return queries_; }

    std::unique_ptr<platform::RegistryKey> OpenKey(std::string_view keyPath,
                                                   std::uint32_t access) override {
        opens_.push_back({std::string(keyPath), access});
        if (access & refused_) return nullptr;
        auto it = keys_.find(base::AsciiLower(keyPath));
        if (it == keys_.end()) return nullptr;
        return std::make_unique<Key>(*this, it->second);
    }

  private:
    using Values = std::map<std::string, platform::RegistryValue>;

    class Key : public platform::RegistryKey {
      public:
        Key(FakeRegistry& owner, const Values& values) : owner_(owner), values_(values) {}
        std::optional<platform::RegistryValue> QueryValue(std::string_view name) override {
            owner_.queries_.emplace_back(name);
            auto it = values_.find(base::AsciiLower(name));
            if (it == values_.end()) return std::nullopt;
            return it->second;
        }

      private:
        FakeRegistry& owner_;
        const Values& values_;
    };

    std::map<std::string, Values> keys_;
    std::uint32_t refused_ = 0;
    std::vector<OpenRequest> opens_;
    std::vector<std::string> queries_;
};

}  // namespace seedwell::fakes
