// The rule that holds a window being dragged inside the screen.
#include <gtest/gtest.h>

#include "platform/dialog/screen_clamp.h"

namespace {

using platform::ClampToArea;
using platform::PixelRect;

const PixelRect kScreen{0, 0, 1280, 1024};

TEST(ScreenClamp, InsideStaysPut) {
    PixelRect r{300, 300, 471, 539};
    EXPECT_EQ(ClampToArea(r, kScreen), r);
}

TEST(ScreenClamp, EachEdgeIsHeldKeepingTheSize) {
    EXPECT_EQ(ClampToArea({-25, 40, 146, 279}, kScreen), (PixelRect{0, 40, 171, 279}));
    EXPECT_EQ(ClampToArea({100, -3, 271, 236}, kScreen), (PixelRect{100, 0, 271, 239}));
    EXPECT_EQ(ClampToArea({1200, 10, 1371, 249}, kScreen), (PixelRect{1109, 10, 1280, 249}));
    EXPECT_EQ(ClampToArea({10, 900, 181, 1139}, kScreen), (PixelRect{10, 785, 181, 1024}));
    EXPECT_EQ(ClampToArea({-500, -500, -329, -261}, kScreen), (PixelRect{0, 0, 171, 239}));
}

TEST(ScreenClamp, AreaWithOffsetOrigin) {
    // A virtual screen with a monitor left of the primary one.
    const PixelRect virtualScreen{-1920, 0, 1280, 1080};
    EXPECT_EQ(ClampToArea({-1950, 10, -1750, 110}, virtualScreen),
              (PixelRect{-1920, 10, -1720, 110}));
    // A work area without the task bar at the bottom.
    const PixelRect work{0, 0, 1280, 984};
    EXPECT_EQ(ClampToArea({0, 900, 100, 1000}, work), (PixelRect{0, 884, 100, 984}));
}

TEST(ScreenClamp, WindowLargerThanTheAreaKeepsItsTitleBarOnScreen) {
    // 1580 x 820 on an 800 x 600 screen, dragged right and down.
    PixelRect big{50, 30, 1630, 850};
    PixelRect held = ClampToArea(big, {0, 0, 800, 600});
    EXPECT_EQ(held.left, 0);
    EXPECT_EQ(held.top, 0);
    EXPECT_EQ(held.Width(), 1580);
    EXPECT_EQ(held.Height(), 820);
}

}  // namespace
