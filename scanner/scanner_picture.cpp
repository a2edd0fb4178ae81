#include "scanner/scanner_picture.h"

#include <windowsx.h>

#include <string>

#include "platform/text.h"

namespace {

D2D1_COLOR_F Colour(float r, float g, float b, float a = 1.0f) {
    return D2D1_COLOR_F{r, g, b, a};
}

D2D1_POINT_2F Point(scanner::PointF p) {
    return D2D1_POINT_2F{p.x, p.y};
}

D2D1_POINT_2F Point(float x, float y) {
    return D2D1_POINT_2F{x, y};
}

}  // namespace

CScannerPicture::~CScannerPicture() {
    DiscardDeviceResources();
    m_textFormat.Reset();
    m_factory.Reset();
}

void CScannerPicture::SetOwner(PictureSource* owner, ID2D1Factory* factory,
                               IDWriteTextFormat* textFormat) {
    m_owner = owner;
    m_factory.Reset();
    m_textFormat.Reset();
    if (factory != nullptr) {
        factory->AddRef();
        m_factory = platform::ComPtr<ID2D1Factory>::Attach(factory);
    }
    if (textFormat != nullptr) {
        textFormat->AddRef();
        m_textFormat = platform::ComPtr<IDWriteTextFormat>::Attach(textFormat);
    }
}

SIZE CScannerPicture::ClientSize() const {
    RECT r{};
    if (Handle() != nullptr)
        ::GetClientRect(Handle(), &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

bool CScannerPicture::CreateDeviceResources() {
    if (m_renderTarget)
        return true;
    if (!m_factory || Handle() == nullptr)
        return false;
    m_profileBrush.Reset();
    m_labelBrush.Reset();
    m_axisBrush.Reset();
    m_backgroundBrush.Reset();
    m_roadBrush.Reset();
    m_profileBrush2.Reset();
    m_dashStyle.Reset();

    // A target bound to the control's window DC at each frame: it hands its
    // pixels to GDI, which shows them on every display (a window target's
    // swap chain stays invisible on some virtual displays).
    D2D1_RENDER_TARGET_PROPERTIES properties{};
    properties.type = D2D1_RENDER_TARGET_TYPE_DEFAULT;
    properties.pixelFormat = D2D1_PIXEL_FORMAT{DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE};
    properties.usage = D2D1_RENDER_TARGET_USAGE_GDI_COMPATIBLE;
    if (FAILED(m_factory->CreateDCRenderTarget(&properties, m_renderTarget.Put())))
        return false;
    ID2D1DCRenderTarget* t = m_renderTarget.Get();
    CreateBrush(t, Colour(0, 0, 0), m_profileBrush.Put());
    CreateBrush(t, Colour(1, 1, 1), m_labelBrush.Put());
    CreateBrush(t, Colour(0, 0.5f, 0.5f, 0.5f), m_axisBrush.Put());
    CreateBrush(t, Colour(0.8f, 0.8f, 0.8f), m_backgroundBrush.Put());
    CreateBrush(t, Colour(1, 0, 0), m_roadBrush.Put());
    CreateBrush(t, Colour(0, 0, 0.8f), m_profileBrush2.Put());
    const FLOAT dashes[] = {2.0f, 2.0f};
    D2D1_STROKE_STYLE_PROPERTIES stroke{};
    stroke.startCap = D2D1_CAP_STYLE_FLAT;
    stroke.endCap = D2D1_CAP_STYLE_FLAT;
    stroke.dashCap = D2D1_CAP_STYLE_FLAT;
    stroke.lineJoin = D2D1_LINE_JOIN_ROUND;  // 2
    stroke.miterLimit = 1.0f;
    stroke.dashStyle = D2D1_DASH_STYLE_CUSTOM;
    stroke.dashOffset = 0.0f;
    m_factory->CreateStrokeStyle(&stroke, dashes, 2, m_dashStyle.Put());
    if (m_profileBrush && m_labelBrush && m_axisBrush && m_backgroundBrush && m_roadBrush &&
        m_profileBrush2 && m_dashStyle)
        return true;
    // A frame never draws with a resource that is missing: everything goes,
    // and the next frame tries again from the start.
    DiscardDeviceResources();
    return false;
}

HRESULT CScannerPicture::CreateBrush(ID2D1RenderTarget* target, const D2D1_COLOR_F& colour,
                                     ID2D1SolidColorBrush** brush) {
    return target->CreateSolidColorBrush(colour, brush);
}

void CScannerPicture::DiscardDeviceResources() {
    m_profileBrush.Reset();
    m_labelBrush.Reset();
    m_axisBrush.Reset();
    m_backgroundBrush.Reset();
    m_roadBrush.Reset();
    m_profileBrush2.Reset();
    m_dashStyle.Reset();
    m_renderTarget.Reset();
}

HDC CScannerPicture::BeginFrame() {
    if (!CreateDeviceResources())
        return nullptr;
    // Nothing to draw into while the window is hidden or its dialog minimised.
    if (!::IsWindowVisible(Handle()) || ::IsIconic(::GetAncestor(Handle(), GA_ROOT)))
        return nullptr;
    ::GetClientRect(Handle(), &m_drawRect);
    HDC dc = ::GetDC(Handle());
    if (dc == nullptr)
        return nullptr;
    if (FAILED(m_renderTarget->BindDC(dc, &m_drawRect))) {
        ::ReleaseDC(Handle(), dc);
        return nullptr;
    }
    m_renderTarget->BeginDraw();
    return dc;
}

void CScannerPicture::Clear(float red, float green, float blue) {
    HDC dc = BeginFrame();
    if (dc == nullptr)
        return;
    m_renderTarget->Clear(Colour(red, green, blue));
    const HRESULT ended = m_renderTarget->EndDraw(nullptr, nullptr);
    ::ReleaseDC(Handle(), dc);
    if (FAILED(ended))
        DiscardDeviceResources();
}

void CScannerPicture::Draw() {
    HDC dc = BeginFrame();
    if (dc == nullptr)
        return;
    const int width = m_drawRect.right - m_drawRect.left;
    const int height = m_drawRect.bottom - m_drawRect.top;
    const scanner::PictureFrame frame = scanner::ComputeFrame(m_view, width, height);
    m_scaleX = frame.scaleX;
    m_scaleY = frame.scaleY;

    ID2D1DCRenderTarget* t = m_renderTarget.Get();
    t->FillRectangle(D2D1_RECT_F{0, 0, static_cast<float>(width), static_cast<float>(height)},
                     m_backgroundBrush.Get());
    if (scanner::VerticalAxisShown(frame)) {
        t->DrawLine(Point(static_cast<float>(frame.x0), 0),
                    Point(static_cast<float>(frame.x0), static_cast<float>(height)),
                    m_axisBrush.Get(), 1.0f);
    }
    if (scanner::HorizontalAxisShown(frame)) {
        t->DrawLine(Point(0, static_cast<float>(frame.y0)),
                    Point(static_cast<float>(width), static_cast<float>(frame.y0)),
                    m_axisBrush.Get(), 1.0f);
    }
    DrawSlot(0, frame, m_profileBrush.Get());
    DrawSlot(1, frame, m_profileBrush2.Get());
    if (m_owner != nullptr) {
        const float road = scanner::RoadLineY(frame, m_owner->BaseDistance());
        t->DrawLine(Point(0, road), Point(static_cast<float>(width), road), m_roadBrush.Get(),
                    1.0f);
    }
    if (m_drag.dragging) {
        const D2D1_RECT_F r{
            static_cast<float>(m_drag.anchor.x), static_cast<float>(m_drag.anchor.y),
            static_cast<float>(m_drag.current.x), static_cast<float>(m_drag.current.y)};
        t->DrawRectangle(r, m_labelBrush.Get(), 1.0f);
    }
    const HRESULT ended = t->EndDraw(nullptr, nullptr);
    ::ReleaseDC(Handle(), dc);
    if (FAILED(ended))
        DiscardDeviceResources();  // rebuilt by the next frame
}

void CScannerPicture::DrawSlot(int slot, const scanner::PictureFrame& frame,
                               ID2D1SolidColorBrush* brush) {
    scanner::ScannerSlot settings;
    if (m_owner == nullptr || !m_owner->SlotShown(slot, settings))
        return;
    const int32_t count = m_owner->CopyScan(slot, m_values);
    if (count >= 1) {
        const size_t n = scanner::BuildProfile(frame, settings.rotationAngle, settings.scanStep,
                                               m_values, count, m_points, sopas::kMaxScanPoints);
        DrawPolyline(n, brush);
    }
    DrawSector(frame, settings.clearanceStart, brush);
    DrawSector(frame, settings.clearanceEnd, brush);
}

void CScannerPicture::DrawPolyline(size_t n, ID2D1SolidColorBrush* brush) {
    if (n < 2)
        return;
    // One open figure for the whole profile: a single geometry to stroke
    // instead of a line per point.
    platform::ComPtr<ID2D1PathGeometry> path;
    platform::ComPtr<ID2D1GeometrySink> sink;
    if (FAILED(m_factory->CreatePathGeometry(path.Put())) || FAILED(path->Open(sink.Put())))
        return;
    static_assert(sizeof(scanner::PointF) == sizeof(D2D1_POINT_2F),
                  "points are passed as they are");
    sink->BeginFigure(Point(m_points[0]), D2D1_FIGURE_BEGIN_HOLLOW);
    sink->AddLines(reinterpret_cast<const D2D1_POINT_2F*>(m_points + 1),
                   static_cast<UINT32>(n - 1));
    sink->EndFigure(D2D1_FIGURE_END_OPEN);
    if (SUCCEEDED(sink->Close()))
        m_renderTarget->DrawGeometry(path.Get(), brush, 1.0f);
}

void CScannerPicture::DrawSector(const scanner::PictureFrame& frame, float angle,
                                 ID2D1SolidColorBrush* brush) {
    const scanner::SectorLine line = scanner::ComputeSectorLine(frame, angle);
    m_renderTarget->DrawLine(Point(line.from), Point(line.to), brush, 1.0f, m_dashStyle.Get());
    if (!m_textFormat)
        return;
    const std::wstring label = platform::ToWide(scanner::SectorLabel(line.labelDegrees));
    const D2D1_RECT_F box{line.to.x, line.to.y, line.to.x + scanner::kLabelWidth,
                          line.to.y + scanner::kLabelHeight};
    m_renderTarget->DrawText(label.c_str(), static_cast<UINT32>(label.size()), m_textFormat.Get(),
                             box, m_labelBrush.Get());
}

void CScannerPicture::NotifyParent() {
    if (HWND parent = ::GetParent(Handle()))
        ::SendMessageW(parent, kViewChangedMessage, 0, 0);
}

bool CScannerPicture::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const scanner::PixelPoint p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    const int width = m_drawRect.right - m_drawRect.left;
    const int height = m_drawRect.bottom - m_drawRect.top;
    switch (message) {
        case WM_LBUTTONDOWN:
            scanner::DragButtonDown(m_drag, p, width, height);
            if (m_drag.dragging)
                ::SetCapture(Handle());  // the button-up comes here even outside
            result = 0;
            return true;
        case WM_MOUSEMOVE:
            if ((wParam & MK_LBUTTON) != 0 && scanner::DragMove(m_drag, p, width, height))
                Draw();
            result = 0;
            return true;
        case WM_LBUTTONUP: {
            const SIZE size = ClientSize();
            const bool zoomed =
                scanner::DragButtonUp(m_drag, p, m_view, size.cx, size.cy, m_scaleX, m_scaleY);
            if (::GetCapture() == Handle())
                ::ReleaseCapture();
            if (zoomed) {
                Draw();
                NotifyParent();
            }
            result = 0;
            return true;
        }
        case WM_LBUTTONDBLCLK:
            scanner::ResetView(m_view);
            Draw();
            NotifyParent();
            result = 0;
            return true;
        case WM_DESTROY:
            DiscardDeviceResources();
            return false;
        default:
            return false;
    }
}
