// The image of the main window's settings button: a gear, drawn at start.
#pragma once

#include <windows.h>

// A gear icon of `size` x `size` pixels; the caller destroys it (DestroyIcon).
HICON CreateSettingsIcon(int size = 32);
