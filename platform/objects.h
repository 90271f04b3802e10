#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "base/printable.h"

namespace seedwell::platform {

/// A property value as it is sent to an object: a string, a 16-bit or a 32-bit signed integer.
/// The alternative held is the kind the object receives.
using Value = std::variant<std::string, std::int16_t, std::int32_t>;

/// An object created by programmatic identifier and driven late-bound, by member name. Member
/// names match ignoring ASCII case. Every failure throws seedwell::Error with a description that
/// names the member (an unknown one: "Object doesn't support this property or method: 'Foo'").
/// Destroying the object releases it; destructors never throw.
class AdminObject {
  public:
    virtual ~AdminObject() = default;
    /// Sets the property `name` to `value`, in the kind `value` holds.
    virtual void SetProperty(std::string_view name, const Value& value) = 0;
    /// Calls the method `name` without arguments; its result as a 32-bit integer.
    virtual std::int32_t CallMethod(std::string_view name) = 0;
    /// Reads the property `name` as text.
    virtual std::string GetProperty(std::string_view name) = 0;
};

/// Creates objects from their programmatic identifiers.
class ObjectFactory {
  public:
    virtual ~ObjectFactory() = default;
    /// A fresh object of the class registered as `progId` (matched ignoring case); the caller
    /// owns it. Throws seedwell::Error naming `progId` when it cannot be created.
    virtual std::unique_ptr<AdminObject> CreateObject(std::string_view progId) = 0;
};

/// The description of a failure to find a property or method called `member`.
inline std::string UnknownMemberDescription(std::string_view member) {
    return "Object doesn't support this property or method: " + base::Quoted(member);
}

}  // namespace seedwell::platform
