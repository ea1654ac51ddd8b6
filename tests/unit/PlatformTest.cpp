#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include "app/Platform.h"

namespace brimlet {
namespace {

PlatformChoice choose(std::initializer_list<std::pair<const char*, const char*>> variables) {
    QProcessEnvironment environment;
    for (const auto& [name, value] : variables) environment.insert(name, value);
    return choosePlatform(environment);
}

TEST(Platform, WaylandWithXWaylandRunsOnX11) {
    const PlatformChoice choice = choose({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}});
    EXPECT_EQ(choice.platform, "xcb");
    EXPECT_TRUE(choice.problem.isEmpty());
}

TEST(Platform, AnX11SessionAndTheUsersOwnChoiceAreLeftAlone) {
    EXPECT_EQ(choose({{"DISPLAY", ":0"}}).platform, "");
    EXPECT_TRUE(choose({{"DISPLAY", ":0"}}).problem.isEmpty());
    const PlatformChoice chosen = choose(
        {{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}});
    EXPECT_EQ(chosen.platform, "");
    EXPECT_TRUE(chosen.problem.isEmpty());
    EXPECT_TRUE(choose({{"QT_QPA_PLATFORM", "offscreen"}}).problem.isEmpty());
}

TEST(Platform, WaylandWithoutAnXServerRunsOnWaylandAndSaysWhatItCannotDo) {
    const PlatformChoice wayland = choose({{"WAYLAND_DISPLAY", "wayland-0"}});
    EXPECT_EQ(wayland.platform, "wayland");
    EXPECT_TRUE(wayland.problem.isEmpty());
    EXPECT_TRUE(wayland.limitation.contains("centre"));
    EXPECT_FALSE(wayland.limitation.contains('\n')) << "one line";
    EXPECT_TRUE(choose({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}).limitation.isEmpty());
}

TEST(Platform, NoDesktopAtAllIsSaidPlainly) {
    const PlatformChoice none = choose({});
    EXPECT_TRUE(none.problem.contains("DISPLAY"));
    EXPECT_FALSE(choose({{"DISPLAY", ""}}).problem.isEmpty()) << "an empty variable is not set";
}

}  // namespace
}  // namespace brimlet
