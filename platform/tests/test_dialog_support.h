// Helpers shared by the dialog-layer tests and the window-probe tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace dialog_test {

// A Windows path for a build-tree file: SURVEY_BINARY_DIR (a host path under
// Wine's Z: drive) joined with `relative` (forward slashes allowed).
std::wstring BinaryTreePath(const std::wstring& relative);

// Encodes 8-bit RGB rows (top row first, width * 3 bytes each) as a PNG file.
std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

// Captures the whole screen with GDI and writes it as a PNG; creates the folder.
bool SaveScreenPng(const std::wstring& path);

// Pumps the thread's messages for `ms` milliseconds (bounded).
void PumpMessages(DWORD ms);

// The colour of a pixel of a window's client area, read back from the screen
// (other windows on top of it are seen too).
COLORREF ScreenPixel(HWND window, int x, int y);
// The colour of a pixel of a window's client area as the window painted it.
COLORREF WindowPixel(HWND window, int x, int y);

}  // namespace dialog_test
