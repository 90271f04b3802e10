#include "platform/objects.h"

#include "platform/error.h"

namespace seedwell::platform {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return out;
}

std::string UnknownMemberDescription(std::string_view member) {
    return "Object doesn't support this property or method: '" + std::string(member) + "'";
}

const char* KindName(const Value& value) {
    switch (value.index()) {
        case 0: return "string";
        case 1: return "16-bit integer";
        default: return "32-bit integer";
    }
}

void ClassTable::Register(std::string progId, Maker maker) {
    makers_[AsciiLower(progId)] = std::move(maker);
}

std::unique_ptr<AdminObject> ClassTable::CreateObject(std::string_view progId) {
    auto it = makers_.find(AsciiLower(progId));
    if (it == makers_.end()) {
        throw Error("cannot create object '" + std::string(progId) +
                    "': no class is registered under that name");
    }
    auto object = it->second();
    if (!object) {
        throw Error("cannot create object '" + std::string(progId) + "'");
    }
    return object;
}

}  // namespace seedwell::platform
