#include "scanner/picture_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/text_codec.h"
#include "scanner/scanner_texts.h"

namespace scanner {
namespace {

constexpr double kPi = 3.14159265358979323846;

double Radians(double degrees) {
    return degrees * kPi / 180.0;
}

bool InsideClient(const PictureFrame& f, PointF p) {
    return p.x >= 0 && p.y >= 0 && p.x <= f.clientWidth && p.y <= f.clientHeight;
}

int Truncate(double value) {
    if (!(value > -2e9))
        return -2000000000;
    if (value > 2e9)
        return 2000000000;
    return static_cast<int>(value);
}

}  // namespace

PictureFrame ComputeFrame(const PictureView& view, int clientWidth, int clientHeight) {
    PictureFrame f;
    f.clientWidth = clientWidth;
    f.clientHeight = clientHeight;
    f.viewWidth = Truncate(view.width);
    f.viewHeight = Truncate(view.height);
    f.scaleX = clientWidth > 0 ? static_cast<double>(f.viewWidth) / clientWidth : 0.0;
    f.scaleY = clientHeight > 0 ? static_cast<double>(f.viewHeight) / clientHeight : 0.0;
    if (!(f.scaleX > 0))
        f.scaleX = 1.0;
    if (!(f.scaleY > 0))
        f.scaleY = 1.0;
    f.x0 = Truncate(clientWidth / 2 - view.centerX / f.scaleX);
    f.y0 = Truncate(clientHeight / 2 - view.centerY / f.scaleY);
    return f;
}

bool VerticalAxisShown(const PictureFrame& f) {
    return f.x0 >= 1 && f.x0 < f.viewWidth;
}

bool HorizontalAxisShown(const PictureFrame& f) {
    return f.y0 >= 1 && f.y0 < f.viewHeight;
}

PointF ScanPoint(const PictureFrame& f, double distance, double angle) {
    return PointF{static_cast<float>(f.x0 + distance * std::cos(angle) / f.scaleX),
                  static_cast<float>(f.y0 - distance * std::sin(angle) / f.scaleY)};
}

size_t BuildProfile(const PictureFrame& f, float rotationAngle, float scanStep,
                    const uint32_t* distances, int32_t pointCount, PointF* out, size_t capacity) {
    if (distances == nullptr || out == nullptr || capacity == 0 || pointCount < 1)
        return 0;
    const double step = Radians(scanStep);
    const double start = Radians(360.0 - rotationAngle);
    size_t n = 0;
    PointF first = ScanPoint(f, distances[0], start);
    if (!InsideClient(f, first))
        first = PointF{static_cast<float>(f.x0), static_cast<float>(f.y0)};
    out[n++] = first;
    for (int32_t i = 1; i < pointCount && n < capacity; ++i) {
        if (distances[i] <= kMinDrawnDistance)
            continue;
        out[n++] = ScanPoint(f, distances[i], start + i * step);
    }
    return n;
}

SectorLine ComputeSectorLine(const PictureFrame& f, float angleDegrees) {
    const double r = std::min(f.clientWidth, f.clientHeight) * 0.5;
    const double s = Radians(angleDegrees);
    SectorLine line;
    line.from = PointF{static_cast<float>(f.x0), static_cast<float>(f.y0)};
    line.to = PointF{static_cast<float>(f.x0 + r * std::sin(s)),
                     static_cast<float>(f.y0 - r * std::cos(s))};
    line.labelDegrees = Truncate(angleDegrees);
    return line;
}

float RoadLineY(const PictureFrame& f, int32_t baseDistance) {
    return static_cast<float>(f.y0 + baseDistance / f.scaleY);
}

void DragButtonDown(DragState& drag, PixelPoint p, int w, int h) {
    if (p.x >= 0 && p.y >= 0 && p.x <= w && p.y <= h) {
        drag.dragging = true;
        drag.anchor = p;
        drag.current = p;
    }
}

bool DragMove(DragState& drag, PixelPoint p, int w, int h) {
    if (!drag.dragging || !(p.x > 0 && p.y > 0 && p.x < w && p.y < h))
        return false;
    drag.current = p;
    return true;
}

bool DragButtonUp(DragState& drag, PixelPoint p, PictureView& view, int clientWidth,
                  int clientHeight, double scaleX, double scaleY) {
    const bool wasDragging = drag.dragging;
    drag.dragging = false;
    if (!wasDragging || std::abs(p.x - drag.anchor.x) <= kMinZoomPixels ||
        std::abs(p.y - drag.anchor.y) <= kMinZoomPixels)
        return false;
    view.centerX += static_cast<float>((drag.anchor.x + p.x - clientWidth) * scaleX * 0.5);
    view.centerY += static_cast<float>((drag.anchor.y + p.y - clientHeight) * scaleY * 0.5);
    view.width = static_cast<float>(std::abs(p.x - drag.anchor.x) * scaleX);
    view.height = static_cast<float>(std::abs(p.y - drag.anchor.y) * scaleY);
    return true;
}

void ResetView(PictureView& view) {
    view.centerX = 0;
    view.width = kDefaultViewSize;
    view.height = kDefaultViewSize;
}

std::u16string ViewText(const PictureView& v) {
    char text[512];
    std::snprintf(text, sizeof text, scanner_text::kViewTextFormat, v.centerX / 1000.0,
                  v.centerY / -1000.0, v.width / 1000.0, v.height / 1000.0);
    return platform::Utf8ToUtf16(text);
}

std::u16string SectorLabel(int degrees) {
    char text[32];
    std::snprintf(text, sizeof text, scanner_text::kSectorLabelFormat, degrees);
    return platform::Utf8ToUtf16(text);
}

}  // namespace scanner
