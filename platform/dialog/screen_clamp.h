// Holding a rectangle inside an area, without Win32 types, so that the rule is
// shared and tested by the portable build.
#pragma once

namespace platform {

struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Moves `proposed` inside `area` keeping its size: an edge past the area's right
// or bottom edge is put on it, then an edge before the left or top edge is put
// on that. A rectangle larger than the area thus keeps its top-left corner (the
// title bar) on screen.
PixelRect ClampToArea(PixelRect proposed, PixelRect area);

}  // namespace platform
