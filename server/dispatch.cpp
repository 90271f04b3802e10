#include "server/dispatch.h"

#include <string.h>

#include <limits>

#include "base/error.h"
#include "base/printable.h"

namespace seedwell::server {
namespace {

const char* KindWanted(PropertyKind kind) {
    switch (kind) {
        case PropertyKind::kString:
            return "a string";
        case PropertyKind::kInt16:
            return "a 16-bit integer";
        case PropertyKind::kInt32:
            return "a 16-bit or 32-bit integer";
        case PropertyKind::kAny:
            return "any value";
    }
    return "a value";
}

const char* KindName(const platform::Value& value) {
    static constexpr const char* kNames[] = {"string", "16-bit integer", "32-bit integer"};
    return kNames[value.index()];
}

std::int32_t AsInteger(const platform::Value& value) {
    if (const auto* small = std::get_if<std::int16_t>(&value)) return *small;
    return std::get<std::int32_t>(value);
}

}  // namespace

std::size_t PropertySet::Find(std::string_view name) const {
    for (std::size_t i = 0; i < declared_.size(); ++i) {
        if (base::EqualsIgnoringCase(declared_[i].name, name)) return i;
    }
    return declared_.size();
}

void PropertySet::Set(std::string_view name, const platform::Value& value) {
    const std::size_t index = Find(name);
    if (index == declared_.size()) throw Error(platform::UnknownMemberDescription(name));
    const PropertyDecl& property = declared_[index];
    const bool isString = std::holds_alternative<std::string>(value);

    if (property.kind == PropertyKind::kAny) {
        SetText(index, isString ? std::get<std::string>(value) : std::to_string(AsInteger(value)));
        return;
    }
    if (isString != (property.kind == PropertyKind::kString)) {
        throw Error("Type mismatch: " + base::Quoted(property.name) + " takes " +
                    KindWanted(property.kind) + ", not a " + KindName(value));
    }
    if (isString) {
        SetText(index, std::get<std::string>(value));
        return;
    }
    const std::int32_t number = AsInteger(value);
    if (property.kind == PropertyKind::kInt16 &&
        (number < std::numeric_limits<std::int16_t>::min() ||
         number > std::numeric_limits<std::int16_t>::max())) {
        throw Error("Overflow: " + base::Quoted(property.name) +
                    " takes a 16-bit integer (-32768 to " + "32767), not " +
                    std::to_string(number));
    }
    SetNumber(index, number);
}

std::string PropertySet::Get(std::string_view name) const {
    const std::size_t index = Find(name);
    if (index == declared_.size()) throw Error(platform::UnknownMemberDescription(name));
    const PropertyDecl& property = declared_[index];
    if (property.secret) return {};
    if (property.kind == PropertyKind::kString || property.kind == PropertyKind::kAny) {
        return slots_[index].text;
    }
    return std::to_string(slots_[index].number);
}

void PropertySet::Wipe(std::size_t index) noexcept {
    std::string& text = slots_[index].text;
    explicit_bzero(text.data(), text.size());
    text.clear();
}

}  // namespace seedwell::server
