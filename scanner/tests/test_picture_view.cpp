// The profile display's arithmetic: scale, origin, profile, sectors, zoom.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scanner/picture_view.h"

namespace {

using scanner::PictureView;
using scanner::PixelPoint;

TEST(PictureFrameTest, TheDefaultViewCentresTheScannerAndScalesToTheClient) {
    const auto f = scanner::ComputeFrame(PictureView{}, 820, 573);
    EXPECT_DOUBLE_EQ(f.scaleX, 10000.0 / 820);
    EXPECT_DOUBLE_EQ(f.scaleY, 10000.0 / 573);
    EXPECT_EQ(f.x0, 410);
    EXPECT_EQ(f.y0, 286);
    EXPECT_TRUE(scanner::VerticalAxisShown(f));
    EXPECT_TRUE(scanner::HorizontalAxisShown(f));
    EXPECT_FLOAT_EQ(scanner::RoadLineY(f, 1500), static_cast<float>(286 + 1500 / f.scaleY));

    // A moved view moves the origin by the centre over the scale.
    PictureView v;
    v.centerX = 2000;
    v.centerY = -1000;
    const auto g = scanner::ComputeFrame(v, 1000, 1000);
    EXPECT_EQ(g.x0, 500 - 200);
    EXPECT_EQ(g.y0, 500 + 100);
    // An empty client area or view keeps a scale of 1.
    const auto h = scanner::ComputeFrame(PictureView{0, 0, 0.5f, 0}, 0, 0);
    EXPECT_EQ(h.scaleX, 1.0);
    EXPECT_EQ(h.scaleY, 1.0);
    EXPECT_FALSE(scanner::VerticalAxisShown(h));
}

TEST(ProfileTest, PointsFollowTheStartAngleAndShortDistancesAreBridged) {
    const auto f = scanner::ComputeFrame(PictureView{0, 0, 1000, 1000}, 1000, 1000);
    // Start angle 360 - 0 = 0 (to the right), steps of 90 degrees counter-clockwise.
    const std::vector<uint32_t> d = {200, 300, 50, 400, 500};
    scanner::PointF out[8];
    const size_t n = scanner::BuildProfile(f, 0.0f, 90.0f, d.data(), 5, out, 8);
    ASSERT_EQ(n, 4u);  // the 50 is skipped
    EXPECT_NEAR(out[0].x, 700, 1e-3);
    EXPECT_NEAR(out[0].y, 500, 1e-3);
    EXPECT_NEAR(out[1].x, 500, 1e-3);  // up
    EXPECT_NEAR(out[1].y, 200, 1e-3);
    EXPECT_NEAR(out[2].x, 500, 1e-3);  // down (index 3: 270 degrees)
    EXPECT_NEAR(out[2].y, 900, 1e-3);
    EXPECT_NEAR(out[3].x, 1000, 1e-3);  // index 4: 360 degrees
}

TEST(ProfileTest, AFirstPointOutsideStartsTheLineAtTheScanner) {
    const auto f = scanner::ComputeFrame(PictureView{0, 0, 1000, 1000}, 1000, 1000);
    const std::vector<uint32_t> d = {5000, 200};
    scanner::PointF out[4];
    ASSERT_EQ(scanner::BuildProfile(f, 0.0f, 90.0f, d.data(), 2, out, 4), 2u);
    EXPECT_EQ(out[0].x, 500);
    EXPECT_EQ(out[0].y, 500);
    EXPECT_EQ(scanner::BuildProfile(f, 0.0f, 90.0f, d.data(), 0, out, 4), 0u);
    // The output buffer bounds the vertices.
    std::vector<uint32_t> many(100, 300);
    EXPECT_EQ(scanner::BuildProfile(f, 0.0f, 1.0f, many.data(), 100, out, 4), 4u);
}

TEST(SectorLineTest, AnglesAreClockwiseFromStraightUp) {
    const auto f = scanner::ComputeFrame(PictureView{}, 800, 600);
    auto line = scanner::ComputeSectorLine(f, 90.0f);
    EXPECT_NEAR(line.to.x, 400 + 300, 1e-3);
    EXPECT_NEAR(line.to.y, 300, 1e-3);
    line = scanner::ComputeSectorLine(f, -20.7f);
    EXPECT_EQ(line.labelDegrees, -20);
    EXPECT_LT(line.to.x, 400);
    EXPECT_LT(line.to.y, 300);
    EXPECT_EQ(scanner::SectorLabel(-20), u"-20°");
    EXPECT_EQ(scanner::SectorLabel(5), u"  5°");
}

TEST(ZoomTest, ADraggedRectangleBecomesTheView) {
    PictureView v;
    scanner::DragState drag;
    const auto f = scanner::ComputeFrame(v, 1000, 500);
    scanner::DragButtonDown(drag, PixelPoint{600, 100}, 1000, 500);
    ASSERT_TRUE(drag.dragging);
    EXPECT_TRUE(scanner::DragMove(drag, PixelPoint{700, 200}, 1000, 500));
    EXPECT_FALSE(scanner::DragMove(drag, PixelPoint{1000, 200}, 1000, 500));  // on the edge
    EXPECT_TRUE(
        scanner::DragButtonUp(drag, PixelPoint{800, 300}, v, 1000, 500, f.scaleX, f.scaleY));
    EXPECT_FALSE(drag.dragging);
    EXPECT_FLOAT_EQ(v.centerX, (600 + 800 - 1000) * 10.0f * 0.5f);
    EXPECT_FLOAT_EQ(v.centerY, (100 + 300 - 500) * 20.0f * 0.5f);
    EXPECT_FLOAT_EQ(v.width, 2000.0f);
    EXPECT_FLOAT_EQ(v.height, 4000.0f);
    EXPECT_EQ(scanner::ViewText(v), u"Окно 2.0, 1.0   2.0х4.0 м");
}

TEST(ZoomTest, SmallDragsDoNotZoomAndDoubleClickResetsAllButTheVerticalCentre) {
    PictureView v;
    scanner::DragState drag;
    scanner::DragButtonDown(drag, PixelPoint{100, 100}, 1000, 500);
    EXPECT_FALSE(scanner::DragButtonUp(drag, PixelPoint{101, 300}, v, 1000, 500, 10, 20));
    scanner::DragButtonDown(drag, PixelPoint{100, 100}, 1000, 500);
    EXPECT_FALSE(scanner::DragButtonUp(drag, PixelPoint{300, 99}, v, 1000, 500, 10, 20));
    EXPECT_FLOAT_EQ(v.width, 10000.0f);
    // Outside the drawn area no drag starts; a button-up then does nothing.
    scanner::DragButtonDown(drag, PixelPoint{-1, 100}, 1000, 500);
    EXPECT_FALSE(drag.dragging);
    EXPECT_FALSE(scanner::DragButtonUp(drag, PixelPoint{300, 300}, v, 1000, 500, 10, 20));

    v = PictureView{1500, -2500, 300, 200};
    scanner::ResetView(v);
    EXPECT_EQ(v.centerX, 0);
    EXPECT_EQ(v.centerY, -2500);
    EXPECT_EQ(v.width, 10000);
    EXPECT_EQ(v.height, 10000);
    EXPECT_EQ(scanner::ViewText(v), u"Окно 0.0, 2.5   10.0х10.0 м");
}

}  // namespace
