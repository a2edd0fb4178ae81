// The arithmetic of the profile display: the view window (a rectangle in
// scan units, mm), its scale onto the control's client area, where scan
// points, sector lines and the road line fall, zooming by a dragged
// rectangle and the view text of the main dialog.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace scanner {

// Size of the view window after start and after a reset, scan units.
inline constexpr float kDefaultViewSize = 10000.0f;
// Scan distances up to this are no echo and are left out of a profile.
inline constexpr uint32_t kMinDrawnDistance = 100;
// The drag rectangle must exceed this in both directions to zoom, pixels.
inline constexpr int kMinZoomPixels = 1;

struct PictureView {
    float centerX = 0, centerY = 0;
    float width = kDefaultViewSize, height = kDefaultViewSize;
};

struct PixelPoint {
    int x = 0, y = 0;
};

struct PointF {
    float x = 0, y = 0;
};

// One frame's mapping of scan units onto the client area.
struct PictureFrame {
    int clientWidth = 0, clientHeight = 0;
    int viewWidth = 0, viewHeight = 0;  // the view size truncated to integers
    double scaleX = 1.0, scaleY = 1.0;  // scan units per pixel
    int x0 = 0, y0 = 0;                 // where the scanner (scan origin) is drawn
};

PictureFrame ComputeFrame(const PictureView& view, int clientWidth, int clientHeight);

// The axes through the origin are drawn when the origin lies in [1, view size).
bool VerticalAxisShown(const PictureFrame& frame);
bool HorizontalAxisShown(const PictureFrame& frame);

// The point at `distance` in direction `angle` (radians, counter-clockwise
// from the right) from the scanner.
PointF ScanPoint(const PictureFrame& frame, double distance, double angleRadians);

// The polyline of one profile into `out` (room for `capacity` vertices);
// returns the vertices written. The first point is distance 0 at the start
// angle 360 - rotationAngle; when it falls outside the client area the line
// starts at the scanner instead. Distances of kMinDrawnDistance or less are
// skipped (the line bridges them).
size_t BuildProfile(const PictureFrame& frame, float rotationAngle, float scanStep,
                    const uint32_t* distances, int32_t pointCount, PointF* out, size_t capacity);

struct SectorLine {
    PointF from, to;
    int labelDegrees = 0;  // the angle truncated, for the label
};

// A sector line: from the scanner, length half the smaller client side, at
// `angleDegrees` clockwise from straight up.
SectorLine ComputeSectorLine(const PictureFrame& frame, float angleDegrees);
// Size of a sector label's box from the line's end, pixels.
inline constexpr float kLabelWidth = 40.0f;
inline constexpr float kLabelHeight = 12.0f;

// The road, a horizontal line `baseDistance` below the scanner.
float RoadLineY(const PictureFrame& frame, int32_t baseDistance);

// --- Mouse -----------------------------------------------------------------------
struct DragState {
    bool dragging = false;
    PixelPoint anchor;
    PixelPoint current;
};

// Left button down: a drag starts when the point is inside the drawn area,
// edges included.
void DragButtonDown(DragState& drag, PixelPoint point, int drawWidth, int drawHeight);
// Mouse move with the button held: true when the drag rectangle changed and
// the control should redraw (point strictly inside the drawn area).
bool DragMove(DragState& drag, PixelPoint point, int drawWidth, int drawHeight);
// Left button up: ends the drag; zooms the view onto the dragged rectangle
// when it exceeds kMinZoomPixels in both directions, and then returns true.
bool DragButtonUp(DragState& drag, PixelPoint point, PictureView& view, int clientWidth,
                  int clientHeight, double scaleX, double scaleY);

// Double click: a default-sized window centred on x = 0, the vertical centre kept.
void ResetView(PictureView& view);

// "Окно %.1f, %.1f   %.1fх%.1f м": centre and size in metres, y pointing up.
std::u16string ViewText(const PictureView& view);
// "%3d°".
std::u16string SectorLabel(int degrees);

}  // namespace scanner
