// The profile display in a real window: what a frame leaves on screen, the
// zoom by drag and the reset by double click with their message to the
// parent. Also the configuration store's angles under the Russian locale.
#include <gtest/gtest.h>

#include <windows.h>
#include <d2d1.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/xml_config.h"
#include "platform/handles.h"
#include "platform/text.h"
#include "scanner/scanner_picture.h"
#include "scanner/xml_slot_store.h"
#include "test_dialog_support.h"

namespace {

// The road the scanner sees, mm below it.
constexpr double kRoad = 1500;

bool IsRed(COLORREF c) {
    return GetRValue(c) >= 200 && GetGValue(c) < 150 && GetBValue(c) < 150;
}
bool IsDark(COLORREF c) {
    return GetRValue(c) < 140 && GetGValue(c) < 140 && GetBValue(c) < 140;
}

// A flat road kRoad below a scanner that sees all round (1 degree steps).
class RoadSource : public PictureSource {
public:
    bool connected[2] = {true, false};
    int32_t base = 1500;  // the operator's base distance: where the road line goes
    bool SlotShown(int slot, scanner::ScannerSlot& s) const override {
        s = scanner::ScannerSlot{};
        s.connected = connected[slot] ? 1 : 0;
        s.rotationAngle = 0;  // first point to the right, turning counter-clockwise
        s.scanStep = 1.0f;
        s.clearanceStart = -20;
        s.clearanceEnd = 20;
        return connected[slot];
    }
    int32_t CopyScan(int slot, uint32_t* values) const override {
        // 181 points from 180 to 360 degrees: the lower half, at the road.
        for (int i = 0; i < 361; ++i) {
            const double a = i * 3.14159265358979 / 180;
            values[i] = i >= 180 ? static_cast<uint32_t>(std::fabs(kRoad / std::sin(a)) + 0.5) : 0;
            if (values[i] > 20000)
                values[i] = 0;
        }
        return 361;
    }
    int32_t BaseDistance() const override { return base; }
};

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    if (message == CScannerPicture::kViewChangedMessage) {
        ++*reinterpret_cast<int*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, w, l);
}

// A display whose device cannot make brush number `failing` (0-based,
// counted over the whole test) once.
class FailingPicture : public CScannerPicture {
public:
    int failing = -1;
    int brushes = 0;

protected:
    HRESULT CreateBrush(ID2D1RenderTarget* target, const D2D1_COLOR_F& colour,
                        ID2D1SolidColorBrush** brush) override {
        if (brushes++ == failing) {
            *brush = nullptr;
            return D2DERR_RECREATE_TARGET;
        }
        return CScannerPicture::CreateBrush(target, colour, brush);
    }
};

class PictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            SUCCEEDED(::D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory),
                                          nullptr, m_factory.PutVoid())));
        WNDCLASSW wc{};
        wc.lpfnWndProc = &ParentProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ScannerPictureTestParent";
        wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
        ::RegisterClassW(&wc);
        m_parent = ::CreateWindowW(wc.lpszClassName, L"picture test", WS_POPUP | WS_VISIBLE, 50, 50,
                                   600, 400, nullptr, nullptr, wc.hInstance, nullptr);
        ::SetWindowLongPtrW(m_parent, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_notified));
        const RECT r{0, 0, 500, 300};
        ASSERT_TRUE(m_picture.Create(m_parent, CScannerPicture::kControlId, r));
        m_picture.SetOwner(&m_source, m_factory.Get(), nullptr);
        dialog_test::PumpMessages(100);
    }
    void TearDown() override {
        m_picture.Destroy();
        ::DestroyWindow(m_parent);
    }
    COLORREF Pixel(int x, int y) { return dialog_test::WindowPixel(m_picture.Handle(), x, y); }

    platform::ComPtr<ID2D1Factory> m_factory;
    RoadSource m_source;
    FailingPicture m_picture;
    HWND m_parent = nullptr;
    int m_notified = 0;
};

TEST_F(PictureTest, AFrameShowsTheBackgroundTheRoadLineAndTheProfile) {
    m_picture.Draw();
    dialog_test::PumpMessages(50);
    // 10 000 mm over 500 x 300 pixels: the scanner at (250, 150), the road
    // 1500 mm below it at y = 150 + 1500 / 33.3 = 195 (rows 194 and 195).
    EXPECT_EQ(Pixel(20, 20), RGB(204, 204, 204));  // background (0.8)
    EXPECT_TRUE(IsRed(Pixel(20, 195)) || IsRed(Pixel(20, 194)));
    // The road line lies over the profile of a flat road at its base distance ...
    EXPECT_FALSE(IsDark(Pixel(250, 194)) || IsDark(Pixel(250, 195)));
    // ... and apart from it at another base distance.
    m_source.base = 1200;  // the line at y = 186
    m_picture.Draw();
    dialog_test::PumpMessages(50);
    EXPECT_TRUE(IsDark(Pixel(250, 194)) || IsDark(Pixel(250, 195)));
    EXPECT_TRUE(IsRed(Pixel(20, 186)) || IsRed(Pixel(20, 185)));
    EXPECT_FALSE(IsRed(Pixel(20, 195)));
}

TEST_F(PictureTest, ABrushThatCannotBeMadeIsDroppedWithItsTargetAndTheNextFrameRemakesThem) {
    // The background brush (the fourth) of the first frame cannot be made:
    // that frame draws nothing and the next one draws as usual.
    m_picture.DiscardDeviceResources();
    m_picture.failing = m_picture.brushes + 3;
    m_picture.Draw();
    dialog_test::PumpMessages(50);
    const int made = m_picture.brushes;
    m_picture.Draw();
    dialog_test::PumpMessages(50);
    EXPECT_EQ(m_picture.brushes, made + 6);  // all six made again
    EXPECT_EQ(Pixel(20, 20), RGB(204, 204, 204));
    EXPECT_TRUE(IsRed(Pixel(20, 195)) || IsRed(Pixel(20, 194)));
}

TEST_F(PictureTest, ADisconnectedSlotDrawsNothingNotEvenItsSector) {
    m_source.connected[0] = false;
    m_picture.Draw();
    dialog_test::PumpMessages(50);
    // The sector line from the scanner straight up would pass (250, 100).
    // Whether the line darkens a pixel of the row around where it passes
    // (a slanted line of one pixel shares its ink between neighbours).
    const auto onSector = [&](int y) {
        const int x = 250 + static_cast<int>((150 - y) * std::tan(20 * 3.14159265 / 180) + 0.5);
        for (int dx = -1; dx <= 1; ++dx) {
            const COLORREF c = Pixel(x + dx, y);
            if (GetRValue(c) < 170 && GetGValue(c) < 170 && GetBValue(c) < 170)
                return true;
        }
        return false;
    };
    for (int y = 60; y < 140; y += 5)
        EXPECT_FALSE(onSector(y)) << y;
    // Connected, the same pixels show the sector line.
    m_source.connected[0] = true;
    m_picture.Draw();
    dialog_test::PumpMessages(50);
    int dark = 0;
    for (int y = 60; y < 140; y += 5)
        dark += onSector(y) ? 1 : 0;
    EXPECT_GE(dark, 12);
}

TEST_F(PictureTest, DragZoomsAndDoubleClickResetsAndEachTellsTheParent) {
    m_picture.Draw();
    HWND h = m_picture.Handle();
    ::SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 100));
    ::SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(250, 150));
    ::SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(300, 200));
    EXPECT_EQ(m_notified, 1);
    EXPECT_FLOAT_EQ(m_picture.View().width, 100 * 20.0f);
    EXPECT_FLOAT_EQ(m_picture.View().height, 100 * 10000.0f / 300);
    // A click without movement does not zoom.
    ::SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 100));
    ::SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(200, 100));
    EXPECT_EQ(m_notified, 1);
    ::SendMessageW(h, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_EQ(m_notified, 2);
    EXPECT_FLOAT_EQ(m_picture.View().width, 10000.0f);
    EXPECT_FLOAT_EQ(m_picture.View().centerX, 0.0f);
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(XmlSlotStoreTest, AnglesAreWrittenWithAPointUnderARussianLocale) {
    platform::ComApartment com;
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"vestrami_store_test.xml";
    ::DeleteFileW(path.c_str());
    {
        std::ofstream out(path.c_str(), std::ios::binary);
        out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<CONFIGURATION>"
               "<Работа/><Авто0><Изделие0 тип=\"сканер\"/></Авто0></CONFIGURATION>\n";
    }
    ASSERT_EQ(::GetUserDefaultLCID(), 0x419u) << "the test prefix runs the Russian locale";
    XmlConfig config(path);
    config.Open();
    XmlSlotStore store(&config);
    ASSERT_NE(store.IfAvailable(), nullptr);
    ASSERT_TRUE(store.Load());
    const scanner::XmlNode vehicle = store.Find(store.Root(), "Авто0");
    const scanner::XmlNode item = store.Find(vehicle, "Изделие0");
    ASSERT_NE(item, 0);
    store.SetFloat(item, "угол_поворота_в_поперечной_плоскости_в_град", -12.7f);
    store.SetFloat(item, "начальный_угол_верхнего_габарита", -20.0f);
    store.SetString(item, "IP", u"127.0.0.2");
    ASSERT_TRUE(store.Save());
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("угол_поворота_в_поперечной_плоскости_в_град=\"-12.7\""), std::string::npos)
        << text;
    EXPECT_NE(text.find("начальный_угол_верхнего_габарита=\"-20\""), std::string::npos);

    // And read back as the same numbers.
    ASSERT_TRUE(store.Load());
    const scanner::XmlNode again = store.Find(store.Find(store.Root(), "Авто0"), "Изделие0");
    float angle = 0;
    store.GetFloat(again, "угол_поворота_в_поперечной_плоскости_в_град", angle);
    EXPECT_FLOAT_EQ(angle, -12.7f);
    std::u16string ip;
    store.GetString(again, "IP", ip);
    EXPECT_EQ(ip, u"127.0.0.2");
    ::DeleteFileW(path.c_str());
}

}  // namespace
