#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/names.h"

namespace seedwell::platform {
namespace {

bool IsDeviceName(std::string_view name) {
    // The part before the first dot, without trailing blanks, decides: "nul.txt" is NUL too.
    std::string base(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
        base == "CONOUT$") {
        return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

}  // namespace

std::optional<std::string> WindowsNameProblem(std::string_view what, std::string_view name) {
    const std::string subject = std::string(what) + " '" + Printable(name) + "'";
    if (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
        return subject + " ends in a dot or a blank, which Windows drops";
    }
    const bool forbidden = std::any_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|?*", c);
    });
    if (forbidden) return subject + " holds a character that Windows does not allow in names";
    if (IsDeviceName(name)) return subject + " is a device on Windows";
    return std::nullopt;
}

}  // namespace seedwell::platform
