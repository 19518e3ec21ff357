// The window-system platform the program asks Qt for, from the environment.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/PlatformChoice.h"

namespace {

TEST(PlatformChoice, XWaylandWhenThereIsOneAndNeverOverTheUsersChoice) {
    struct Case {
        const char* what;
        std::map<std::string, std::string> environment;
        const char* platform;
    };
    const Case cases[] = {
        {"an X session", {{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "x11"}}, ""},
        {"Wayland with XWayland", {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}, "xcb;wayland"},
        {"a Wayland session with XWayland", {{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}}, "xcb;wayland"},
        {"Wayland without an X server", {{"WAYLAND_DISPLAY", "wayland-0"}}, ""},
        {"Wayland with an empty DISPLAY", {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ""}}, ""},
        {"the user's platform", {{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"}}, ""},
        {"an empty platform setting", {{"QT_QPA_PLATFORM", ""}, {"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"}}, "xcb;wayland"},
        {"nothing at all", {}, ""},
    };
    for (const Case& c : cases) {
        auto variable = [&c](const char* name) -> const char* {
            const auto found = c.environment.find(name);
            return found == c.environment.end() ? nullptr : found->second.c_str();
        };
        EXPECT_EQ(qfip::preferredPlatform(variable), c.platform) << c.what;
    }
}

}  // namespace
