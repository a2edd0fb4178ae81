#include "sensors/settings_icon.h"

#include <cmath>
#include <vector>

namespace {

constexpr int kTeeth = 8;
constexpr COLORREF kGearColour = RGB(0x50, 0x58, 0x60);

// The gear's outline: teeth between an outer and an inner radius.
std::vector<POINT> GearOutline(int size) {
    const double centre = size / 2.0;
    const double outer = size * 0.47;
    const double inner = size * 0.34;
    const double pi = 3.14159265358979323846;
    std::vector<POINT> points;
    const int steps = kTeeth * 4;
    for (int k = 0; k < steps; ++k) {
        const double angle = 2.0 * pi * k / steps;
        const double r = (k % 4 == 0 || k % 4 == 1) ? outer : inner;
        points.push_back(POINT{static_cast<LONG>(std::lround(centre + r * std::cos(angle))),
                               static_cast<LONG>(std::lround(centre + r * std::sin(angle)))});
    }
    return points;
}

void DrawGear(HDC dc, int size, COLORREF gear, COLORREF hole) {
    const std::vector<POINT> outline = GearOutline(size);
    HBRUSH gearBrush = ::CreateSolidBrush(gear);
    HPEN gearPen = ::CreatePen(PS_SOLID, 1, gear);
    HGDIOBJ oldBrush = ::SelectObject(dc, gearBrush);
    HGDIOBJ oldPen = ::SelectObject(dc, gearPen);
    ::Polygon(dc, outline.data(), static_cast<int>(outline.size()));
    HBRUSH holeBrush = ::CreateSolidBrush(hole);
    HPEN holePen = ::CreatePen(PS_SOLID, 1, hole);
    ::SelectObject(dc, holeBrush);
    ::SelectObject(dc, holePen);
    const int r = size * 3 / 20;
    ::Ellipse(dc, size / 2 - r, size / 2 - r, size / 2 + r + 1, size / 2 + r + 1);
    ::SelectObject(dc, oldBrush);
    ::SelectObject(dc, oldPen);
    ::DeleteObject(gearBrush);
    ::DeleteObject(gearPen);
    ::DeleteObject(holeBrush);
    ::DeleteObject(holePen);
}

}  // namespace

HICON CreateSettingsIcon(int size) {
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP colour = ::CreateCompatibleBitmap(screen, size, size);
    HBITMAP mask = ::CreateBitmap(size, size, 1, 1, nullptr);
    const RECT all{0, 0, size, size};

    // Colour: the gear on black; mask: black (opaque) where the gear is.
    HGDIOBJ old = ::SelectObject(dc, colour);
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    DrawGear(dc, size, kGearColour, RGB(0, 0, 0));
    ::SelectObject(dc, mask);
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    DrawGear(dc, size, RGB(0, 0, 0), RGB(255, 255, 255));
    ::SelectObject(dc, old);

    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = colour;
    info.hbmMask = mask;
    HICON icon = ::CreateIconIndirect(&info);
    ::DeleteObject(colour);
    ::DeleteObject(mask);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return icon;
}
