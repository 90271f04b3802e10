#pragma once

// Recording fakes of the platform interfaces for tests. Every call that a test may want to see
// in order goes into one shared Log, so that the order across objects, folders, message boxes
// and the pointer can be checked in one place.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/error.h"
#include "platform/objects.h"
#include "tests/fakes/fake_files.h"

namespace seedwell::fakes {

/// "string 'x'", "i16 -1" or "i32 5": a value with its kind.
std::string Describe(const platform::Value& value);

class FakeObjectFactory;

/// An object created by FakeObjectFactory. Logs "set <Class>.<Prop> <kind value>",
/// "call <Class>.<Method>" and "get <Class>.<Prop>".
class FakeObject : public platform::AdminObject {
  public:
    FakeObject(FakeObjectFactory& factory, std::string progId);
    ~FakeObject() override;
    void SetProperty(std::string_view name, const platform::Value& value) override;
    std::int32_t CallMethod(std::string_view name) override;
    std::string GetProperty(std::string_view name) override;

    const std::string& ProgId() const { return progId_; }
    /// The text of property `name` as last set ("" when never set).
    std::string Text(std::string_view name) const;

  private:
    FakeObjectFactory& factory_;
    std::string progId_;
    std::map<std::string, platform::Value> properties_;
};

/// Creates FakeObjects for any identifier, logging "create <ProgId>" and "release <ProgId>".
/// Method results come from `methods` (keyed by "Class.Method", e.g. "TWAOSM.Domain.GetDomain";
/// default 0); a method can throw by returning through `Fail`. Property reads come from
/// `reads` (keyed the same way, e.g. "TWAOSM.Domain.AccountName").
class FakeObjectFactory : public platform::ObjectFactory {
  public:
    using Method = std::function<std::int32_t(const FakeObject&)>;
    explicit FakeObjectFactory(Log& log) : log(log) {}

    std::unique_ptr<platform::AdminObject> CreateObject(std::string_view progId) override;

    /// Makes method `key` answer `result` always.
    void Answer(const std::string& key, std::int32_t result);
    /// Makes method `key` throw seedwell::Error(description).
    void Fail(const std::string& key, const std::string& description);

    Log& log;
    std::map<std::string, Method> methods;
    std::map<std::string, std::string> reads;
    std::map<std::string, std::string> failCreate;  ///< progId -> description
    int live = 0;                                   ///< objects not yet released
};

/// Every log line that starts with `prefix`.
std::vector<std::string> Filter(const Log& log, std::string_view prefix);

// ---- implementation (header-only so the fakes library stays an interface library) ----

inline std::string Describe(const platform::Value& value) {
    switch (value.index()) {
        case 0:
            return "string '" + std::get<std::string>(value) + "'";
        case 1:
            return "i16 " + std::to_string(std::get<std::int16_t>(value));
        default:
            return "i32 " + std::to_string(std::get<std::int32_t>(value));
    }
}

inline FakeObject::FakeObject(FakeObjectFactory& factory, std::string progId)
    : factory_(factory), progId_(std::move(progId)) {
    ++factory_.live;
}

inline FakeObject::~FakeObject() {
    --factory_.live;
    factory_.log.push_back("release " + progId_);
}

inline void FakeObject::SetProperty(std::string_view name, const platform::Value& value) {
    factory_.log.push_back("set " + progId_ + "." + std::string(name) + " " + Describe(value));
    properties_[std::string(name)] = value;
}

inline std::int32_t FakeObject::CallMethod(std::string_view name) {
    std::string key = progId_ + "." + std::string(name);
    factory_.log.push_back("call " + key);
    auto it = factory_.methods.find(key);
    return it == factory_.methods.end() ? 0 : it->second(*this);
}

inline std::string FakeObject::GetProperty(std::string_view name) {
    std::string key = progId_ + "." + std::string(name);
    factory_.log.push_back("get " + key);
    auto it = factory_.reads.find(key);
    return it == factory_.reads.end() ? Text(name) : it->second;
}

inline std::string FakeObject::Text(std::string_view name) const {
    auto it = properties_.find(std::string(name));
    if (it == properties_.end()) return {};
    if (auto* s = std::get_if<std::string>(&it->second)) return *s;
    if (auto* s = std::get_if<std::int16_t>(&it->second)) return std::to_string(*s);
    return std::to_string(std::get<std::int32_t>(it->second));
}

inline std::unique_ptr<platform::AdminObject> FakeObjectFactory::CreateObject(
    std::string_view progId) {
    std::string id(progId);
    auto failure = failCreate.find(id);
    if (failure != failCreate.end()) {
        log.push_back("create-failed " + id);
        throw Error(failure->second);
    }
    log.push_back("create " + id);
    return std::make_unique<FakeObject>(*this, id);
}

inline void FakeObjectFactory::Answer(const std::string& key, std::int32_t result) {
    methods[key] = [result](const FakeObject&) { return result; };
}

inline void FakeObjectFactory::Fail(const std::string& key, const std::string& description) {
    methods[key] = [description](const FakeObject&) -> std::int32_t { throw Error(description); };
}

inline std::vector<std::string> Filter(const Log& log, std::string_view prefix) {
    std::vector<std::string> out;
    for (const auto& line : log) {
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    }
    return out;
}

}  // namespace seedwell::fakes
