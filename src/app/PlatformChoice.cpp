#include "app/PlatformChoice.h"

#include <string_view>

namespace qfip {

std::string preferredPlatform(const std::function<const char*(const char*)>& variable) {
    auto set = [&variable](const char* name) {
        const char* value = variable(name);
        return value && *value;
    };
    auto is = [&variable](const char* name, std::string_view wanted) {
        const char* value = variable(name);
        return value && wanted == value;
    };
    if (set("QT_QPA_PLATFORM")) return {};
    const bool wayland = set("WAYLAND_DISPLAY") || is("XDG_SESSION_TYPE", "wayland");
    if (wayland && set("DISPLAY")) return "xcb;wayland";
    return {};
}

}  // namespace qfip
