#include "app/window_program.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace veltrin {
namespace {

TEST(ChooseStart, FollowsTheDesktopInTheEnvironment) {
    const struct {
        const char* name;
        std::set<std::string> set;
        bool desktop;
        const char* platform;
        bool withoutOpenGl;
    } cases[] = {
        {"X11", {"DISPLAY"}, true, nullptr, true},
        {"Wayland with XWayland", {"WAYLAND_DISPLAY", "DISPLAY"}, true, "xcb", true},
        {"Wayland alone", {"WAYLAND_DISPLAY"}, true, nullptr, true},
        {"Wayland asked for by name", {"WAYLAND_DISPLAY", "DISPLAY", "QT_QPA_PLATFORM"}, true, nullptr, true},
        {"a platform without a display", {"QT_QPA_PLATFORM"}, true, nullptr, true},
        {"nothing", {}, false, nullptr, true},
        {"the user's own OpenGL integration", {"DISPLAY", "QT_XCB_GL_INTEGRATION"}, true, nullptr, false},
        {"the user's own scene graph", {"DISPLAY", "QT_QUICK_BACKEND"}, true, nullptr, false},
        {"the user's own graphics interface", {"DISPLAY", "QSG_RHI_BACKEND"}, true, nullptr, false},
    };
    for (const auto& c : cases) {
        const StartChoice choice = ChooseStart([&](const char* name) { return c.set.contains(name); });
        EXPECT_EQ(choice.desktop, c.desktop) << c.name;
        EXPECT_STREQ(choice.platform, c.platform) << c.name;
        EXPECT_EQ(choice.withoutOpenGl, c.withoutOpenGl) << c.name;
    }
}

} // namespace
} // namespace veltrin
