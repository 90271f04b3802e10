#include "platform/objects.h"

#include "platform/error.h"

namespace seedwell::platform {

std::string UnknownMemberDescription(std::string_view member) {
    return "Object doesn't support this property or method: '" + std::string(member) + "'";
}

const char* KindName(const Value& value) {
    switch (value.index()) {
        case 0:
            return "string";
        case 1:
            return "16-bit integer";
        default:
            return "32-bit integer";
    }
}

}  // namespace seedwell::platform
