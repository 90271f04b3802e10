#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/error.h"
#include "platform/objects.h"
#include "support/admin_classes.h"

namespace seedwell::server {

using support::PropertyDecl;
using support::PropertyKind;

/// The property values of one object, held by their index in a table of PropertyDecl. Names
/// match ignoring ASCII case; unset properties are empty text or 0.
class PropertySet {
  public:
    static constexpr std::size_t kMaxProperties = 8;

    /// `declared` must outlive the set and hold at most kMaxProperties entries.
    explicit PropertySet(std::span<const PropertyDecl> declared) : declared_(declared) {}

    /// The index of the property `name`, or declared.size() when there is none.
    std::size_t Find(std::string_view name) const;
    /// Sets the property `name`. Throws seedwell::Error for an unknown name ("Object doesn't
    /// support this property or method: 'x'"), a value of the wrong kind ("Type mismatch: ...")
    /// or an integer out of the property's range ("Overflow: ...").
    void Set(std::string_view name, const platform::Value& value);
    /// The text of the property `name` (integers in decimal, a secret one empty). Throws
    /// seedwell::Error for an unknown name.
    std::string Get(std::string_view name) const;

    const std::string& Text(std::size_t index) const { return slots_[index].text; }
    std::int32_t Number(std::size_t index) const { return slots_[index].number; }
    void SetText(std::size_t index, std::string text) { slots_[index].text = std::move(text); }
    void SetNumber(std::size_t index, std::int32_t number) { slots_[index].number = number; }
    /// Overwrites the text of property `index` with zeros before emptying it (for secrets).
    void Wipe(std::size_t index) noexcept;

  private:
    struct Slot {
        std::string text;         // string and any-kind properties
        std::int32_t number = 0;  // integer properties
    };
    std::span<const PropertyDecl> declared_;
    std::array<Slot, kMaxProperties> slots_;
};

/// An administration object driven by name: the properties of a PropertySet plus a table of
/// methods that `Derived` implements. Each class only lists its members and writes its methods.
template <class Derived>
class ScriptedObject : public platform::AdminObject {
  public:
    struct MethodSpec {
        std::string_view name;
        std::int32_t (Derived::*call)();
    };

    void SetProperty(std::string_view name, const platform::Value& value) override {
        properties_.Set(name, value);
    }

    std::string GetProperty(std::string_view name) override { return properties_.Get(name); }

    std::int32_t CallMethod(std::string_view name) override {
        for (const MethodSpec& method : methods_) {
            if (base::EqualsIgnoringCase(method.name, name)) {
                return (static_cast<Derived*>(this)->*method.call)();
            }
        }
        throw Error(platform::UnknownMemberDescription(name));
    }

  protected:
    ScriptedObject(std::span<const PropertyDecl> properties, std::span<const MethodSpec> methods)
        : properties_(properties), methods_(methods) {}

    PropertySet properties_;

  private:
    std::span<const MethodSpec> methods_;
};

}  // namespace seedwell::server
