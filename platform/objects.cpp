#include "platform/objects.h"

#include "platform/error.h"

namespace seedwell::platform {

std::string UnknownMemberDescription(std::string_view member) {
    return "Object doesn't support this property or method: '" + std::string(member) + "'";
}

}  // namespace seedwell::platform
