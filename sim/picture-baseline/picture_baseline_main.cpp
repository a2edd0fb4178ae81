// picture_baseline <seconds> [period ms]
//
// Only the scanner service's profile display, nothing else: a window with the
// service's own picture control, two scanners' worth of 541-point profiles
// that change every frame, redrawn on the service's 900 ms timer. Under Wine
// each Direct2D draw call leaves memory behind in Wine's own heaps (about six
// small blocks per call, and a 4 KB block per path geometry), so the scanner
// service grows at its display rate while its own heap stays flat; the soak
// runs this beside the services to tell that growth from ours.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/heap_report.h"
#include "scanner/scanner_picture.h"

namespace {

constexpr UINT kDefaultPeriodMs = 900;  // the service's status timer
constexpr int kPoints = 541;            // a 270° scan at 0.5°
constexpr int kWidth = 800, kHeight = 560;

class Profiles : public PictureSource {
public:
    bool SlotShown(int slot, scanner::ScannerSlot& settings) const override {
        settings.connected = 1;
        settings.rotationAngle = slot == 0 ? -45.0f : -35.0f;
        settings.scanStep = 0.5f;
        settings.clearanceStart = 60.0f;
        settings.clearanceEnd = 120.0f;
        return true;
    }
    int32_t CopyScan(int slot, uint32_t* values) const override {
        for (int i = 0; i < kPoints; ++i)
            values[i] = 1500 + static_cast<uint32_t>((i * 37 + m_frame * 11 + slot * 101) % 900);
        return kPoints;
    }
    int32_t BaseDistance() const override { return 1500; }
    int m_frame = 0;
};

LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: picture_baseline <seconds> [period ms]\n");
        return 64;
    }
    const platform::HeapReport heapReport;  // only when the soak asks for it
    const ULONGLONG limitMs = std::strtoull(argv[1], nullptr, 10) * 1000;
    const UINT periodMs = argc > 2 ? static_cast<UINT>(std::atoi(argv[2])) : kDefaultPeriodMs;

    WNDCLASSW frameClass{};
    frameClass.lpfnWndProc = FrameProc;
    frameClass.hInstance = ::GetModuleHandleW(nullptr);
    frameClass.lpszClassName = L"PictureBaseline";
    ::RegisterClassW(&frameClass);
    HWND frame = ::CreateWindowExW(0, frameClass.lpszClassName, L"picture baseline",
                                   WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, kWidth, kHeight, nullptr,
                                   nullptr, frameClass.hInstance, nullptr);
    ID2D1Factory* factory = nullptr;
    IDWriteFactory* writeFactory = nullptr;
    IDWriteTextFormat* textFormat = nullptr;
    if (frame == nullptr ||
        FAILED(::D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory),
                                   nullptr, reinterpret_cast<void**>(&factory))) ||
        FAILED(::DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                     reinterpret_cast<IUnknown**>(&writeFactory))) ||
        FAILED(writeFactory->CreateTextFormat(L"Arial", nullptr, DWRITE_FONT_WEIGHT_NORMAL,
                                              DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                              12.0f, L"ru-ru", &textFormat))) {
        std::fprintf(stderr, "picture_baseline: no window or no Direct2D\n");
        return 1;
    }
    Profiles profiles;
    {
        CScannerPicture picture;
        RECT rect{};
        ::GetClientRect(frame, &rect);
        if (!picture.Create(frame, CScannerPicture::kControlId, rect)) {
            std::fprintf(stderr, "picture_baseline: the picture cannot be created\n");
            return 1;
        }
        picture.SetOwner(&profiles, factory, textFormat);
        std::printf("ready\n");
        std::fflush(stdout);
        ::SetTimer(frame, 1, periodMs, nullptr);
        for (const ULONGLONG start = ::GetTickCount64(); ::GetTickCount64() - start < limitMs;) {
            MSG message;
            if (::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT) != WAIT_OBJECT_0)
                continue;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_TIMER && message.hwnd == frame) {
                    ++profiles.m_frame;
                    picture.Draw();
                    continue;
                }
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
        }
        std::printf("drew %d frames\n", profiles.m_frame);
    }
    textFormat->Release();
    writeFactory->Release();
    factory->Release();
    ::DestroyWindow(frame);
    return 0;
}
