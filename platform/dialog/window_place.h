// Window placement: client-area sizing and holding a window on screen.
#pragma once

#include <windows.h>

#include "platform/dialog/screen_clamp.h"

namespace platform {

// Places `window` at screen position (x, y) (its outer top-left corner) and
// sizes it so that its CLIENT area is clientWidth x clientHeight pixels, for
// the window's own style, extended style and menu.
bool PlaceWithClientSize(HWND window, int x, int y, int clientWidth, int clientHeight);
// The same, keeping the current position.
bool SetClientSize(HWND window, int clientWidth, int clientHeight);
SIZE ClientSize(HWND window);

// The rectangles a window may be held in while it is moved.
RECT PrimaryScreenRect();
RECT WorkAreaRect();
RECT VirtualScreenRect();

// Moves `proposed` (a window rectangle, as WM_MOVING gives it) inside `area`,
// keeping its size. When it is larger than the area its top-left corner stays
// visible.
void ClampRectToArea(RECT& proposed, const RECT& area);

}  // namespace platform
