// CScannerPicture: the main dialog's profile display. It draws the latest
// scan of each connected scanner, the clearance sectors with their angle
// labels, the axes through the scanner and the road line with Direct2D, on
// demand (the 900 ms timer, a base-distance change, the mouse); the operator
// zooms by dragging a rectangle and resets by a double click. After a zoom or
// a reset it sends kViewChangedMessage to its parent.
#pragma once

#include <windows.h>
#include <d2d1.h>
#include <dwrite.h>

#include <cstdint>

#include "platform/dialog/child_window.h"
#include "platform/handles.h"
#include "scanner/picture_view.h"
#include "scanner/slot_config.h"
#include "scanner/sopas_protocol.h"

// What the display draws, asked of its owner at each frame.
class PictureSource {
public:
    virtual ~PictureSource() = default;
    // The slot's settings; false when the slot is not connected (nothing drawn).
    virtual bool SlotShown(int slot, scanner::ScannerSlot& settings) const = 0;
    // The slot's last complete scan into `values`; its point count.
    virtual int32_t CopyScan(int slot, uint32_t* values) const = 0;
    virtual int32_t BaseDistance() const = 0;
};

class CScannerPicture : public platform::ChildWindow {
public:
    static constexpr int kControlId = 1001;
    // Sent to the parent after a zoom or a reset (no parameters).
    static constexpr UINT kViewChangedMessage = 107;

    CScannerPicture() = default;
    ~CScannerPicture() override;

    // The factory and text format belong to the owning dialog and outlive the control.
    void SetOwner(PictureSource* owner, ID2D1Factory* factory, IDWriteTextFormat* textFormat);

    void Draw();
    bool CreateDeviceResources();
    void DiscardDeviceResources();
    // Fills the client area with one colour (components 0..1).
    void Clear(float red, float green, float blue);

    const scanner::PictureView& View() const { return m_view; }

    int32_t m_maxBaseDistance = 10000;

protected:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // Creates one of the brushes (a seam for tests of a failing device).
    virtual HRESULT CreateBrush(ID2D1RenderTarget* target, const D2D1_COLOR_F& colour,
                                ID2D1SolidColorBrush** brush);

private:
    void DrawSlot(int slot, const scanner::PictureFrame& frame, ID2D1SolidColorBrush* brush);
    // The first `n` vertices of m_points as one line.
    void DrawPolyline(size_t n, ID2D1SolidColorBrush* brush);
    void DrawSector(const scanner::PictureFrame& frame, float angle, ID2D1SolidColorBrush* brush);
    SIZE ClientSize() const;
    // Binds the target to the window's DC and begins drawing; the DC to
    // release after EndDraw, or null when there is nothing to draw into.
    HDC BeginFrame();
    void NotifyParent();

    scanner::PictureView m_view;
    RECT m_drawRect{};
    scanner::DragState m_drag;
    PictureSource* m_owner = nullptr;
    platform::ComPtr<ID2D1Factory> m_factory;
    platform::ComPtr<IDWriteTextFormat> m_textFormat;
    platform::ComPtr<ID2D1DCRenderTarget> m_renderTarget;
    platform::ComPtr<ID2D1SolidColorBrush> m_profileBrush;  // slot 0
    platform::ComPtr<ID2D1SolidColorBrush> m_labelBrush;    // labels, drag rectangle
    platform::ComPtr<ID2D1SolidColorBrush> m_axisBrush;
    platform::ComPtr<ID2D1SolidColorBrush> m_backgroundBrush;
    platform::ComPtr<ID2D1SolidColorBrush> m_roadBrush;
    platform::ComPtr<ID2D1SolidColorBrush> m_profileBrush2;  // slot 1
    platform::ComPtr<ID2D1StrokeStyle> m_dashStyle;          // sector lines
    double m_scaleX = 1.0, m_scaleY = 1.0;
    // The scan being drawn and its polyline: fixed buffers.
    uint32_t m_values[sopas::kScanValueCapacity] = {};
    scanner::PointF m_points[sopas::kMaxScanPoints] = {};
};
