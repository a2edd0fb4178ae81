#include "platform/dialog/screen_clamp.h"

namespace platform {

PixelRect ClampToArea(PixelRect proposed, PixelRect area) {
    const int width = proposed.Width();
    const int height = proposed.Height();
    // Right and bottom first, then left and top: when the rectangle does not
    // fit, its top-left corner wins.
    if (proposed.right > area.right) {
        proposed.right = area.right;
        proposed.left = area.right - width;
    }
    if (proposed.bottom > area.bottom) {
        proposed.bottom = area.bottom;
        proposed.top = area.bottom - height;
    }
    if (proposed.left < area.left) {
        proposed.left = area.left;
        proposed.right = area.left + width;
    }
    if (proposed.top < area.top) {
        proposed.top = area.top;
        proposed.bottom = area.top + height;
    }
    return proposed;
}

}  // namespace platform
