// The main dialog's life: factories, initialisation in the service's order,
// timers, what the acquisition and the display ask of it, destruction.
#include "scanner/vestrami_dlg.h"

#include <cstdio>

#include "platform/notifier.h"
#include "platform/text.h"
#include "scanner/resource.h"
#include "scanner/scanner_texts.h"
#include "scanner/vestrami_layout.h"

namespace {

// Label text size, DIPs.
constexpr float kLabelFontSize = 10.0f;
// Where the label font is not installed the labels take this family, or
// else the first one installed (DirectWrite draws nothing with a family it
// cannot find).
constexpr wchar_t kFallbackLabelFont[] = L"Tahoma";

std::wstring InstalledLabelFamily(IDWriteFactory* factory, std::wstring wanted) {
    platform::ComPtr<IDWriteFontCollection> fonts;
    if (FAILED(factory->GetSystemFontCollection(fonts.Put(), FALSE)) || !fonts)
        return wanted;  // cannot tell: try it
    for (const std::wstring& family : {wanted, std::wstring(kFallbackLabelFont)}) {
        UINT32 index = 0;
        BOOL exists = FALSE;
        if (SUCCEEDED(fonts->FindFamilyName(family.c_str(), &index, &exists)) && exists)
            return family;
    }
    platform::ComPtr<IDWriteFontFamily> first;
    platform::ComPtr<IDWriteLocalizedStrings> names;
    wchar_t name[128] = {};
    if (fonts->GetFontFamilyCount() > 0 && SUCCEEDED(fonts->GetFontFamily(0, first.Put())) &&
        SUCCEEDED(first->GetFamilyNames(names.Put())) && SUCCEEDED(names->GetString(0, name, 128)))
        return name;
    return wanted;
}

void SystemBeep(uint32_t frequencyHz, uint32_t durationMs) {
    ::Beep(frequencyHz, durationMs);
}

}  // namespace

CVestramiDlg::CVestramiDlg(XmlConfig* config, std::wstring version, std::wstring commandLine)
    : Dialog(IDD_VESTRAMI_DIALOG),
      m_version(std::move(version)),
      m_xml(config),
      m_commandLine(scanner::ParseCommandLine(platform::ToU16(commandLine))) {
    m_acquisition = std::make_unique<ScanAcquisition>(
        m_xml.IfAvailable(), m_commandLine, static_cast<AcquisitionView*>(this),
        std::make_unique<scanner::AlarmBeeper>(&SystemBeep));
    CreateFactories();
    OnMessage(CScannerPicture::kViewChangedMessage, [this](WPARAM, LPARAM) -> LRESULT {
        ShowViewText();
        return 0;
    });
}

CVestramiDlg::~CVestramiDlg() {
    ReleaseAcquisition();
}

void CVestramiDlg::CreateFactories() {
    if (FAILED(::D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory),
                                   nullptr, m_d2dFactory.PutVoid()))) {
        m_d2dFactory.Reset();
        platform::ShowMessage(scanner_text::kDirect2DError);
    }
    if (SUCCEEDED(::DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                        reinterpret_cast<IUnknown**>(m_writeFactory.Put())))) {
        const std::wstring family = InstalledLabelFamily(
            m_writeFactory.Get(), platform::Utf8ToWide(scanner_text::kLabelFont));
        if (SUCCEEDED(m_writeFactory->CreateTextFormat(
                family.c_str(), nullptr, DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_STYLE_NORMAL,
                DWRITE_FONT_STRETCH_NORMAL, kLabelFontSize, L"", m_textFormat.Put()))) {
            m_textFormat->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER);
            m_textFormat->SetParagraphAlignment(DWRITE_PARAGRAPH_ALIGNMENT_CENTER);
        }
    }
}

void CVestramiDlg::LoadSlots() {
    m_acquisition->LoadSlots();
    HWND choice = Item(IDC_SCANNER_CHOICE);
    platform::ComboClear(choice);
    const scanner::AcquisitionSettings& s = m_acquisition->Settings();
    for (const std::u16string& entry : s.scannerList)
        platform::ComboAdd(choice, platform::ToWide(entry));
    platform::ComboSetSelection(choice, 0);
    m_selectedSlot = s.scannerListSlots.empty() ? 0 : s.scannerListSlots.front();
}

void CVestramiDlg::ConnectScanners() {
    m_acquisition->ConnectScanners();
}

void CVestramiDlg::SaveSlots() {
    m_acquisition->SaveSlots();
}

void CVestramiDlg::ReleaseAcquisition() {
    if (m_released)
        return;
    m_released = true;
    m_acquisition->ReleaseAcquisition();
}

bool CVestramiDlg::OnInitDialog() {
    // 1. Icons and tooltips; Enter and Escape do not close the service.
    SetProgramIcons();
    SetEscapeAction(platform::KeyAction::Ignore);
    m_tips.Create(Handle());
    // 2. The profile display, laid out later.
    const RECT empty{0, 0, 0, 0};
    m_picture.Create(Handle(), CScannerPicture::kControlId, empty,
                     WS_CHILD | WS_VISIBLE | WS_BORDER);
    m_picture.SetOwner(static_cast<PictureSource*>(this), m_d2dFactory.Get(), m_textFormat.Get());
    // 3. The slots.
    LoadSlots();
    // 4. Window size.
    platform::PlaceWithClientSize(Handle(), scanner::kMainWindowX, scanner::kMainWindowY,
                                  scanner::kMainClientWidth, scanner::kMainClientHeight);
    // 5. The settings button, yellow.
    m_settingsButton.Attach(Item(IDC_SETTINGS), RGB(255, 255, 0));
    m_settingsButton.SetText(platform::Utf8ToWide(scanner_text::kSettingsCaption));
    m_viewButton.Attach(Item(IDC_VIEW));
    m_angleLabel.Attach(Item(IDC_ANGLE_LABEL));
    m_baseLabel.Attach(Item(IDC_BASE_DISTANCE_LABEL));
    platform::SliderSetRange(Item(IDC_ANGLE_SLIDER), scanner::kAngleMin, scanner::kAngleMax);
    platform::SliderSetRange(Item(IDC_BASE_DISTANCE_SLIDER), scanner::kBaseDistanceMin,
                             scanner::kBaseDistanceSliderMax);
    m_tips.AddTool(Item(IDC_SETTINGS), platform::Utf8ToWide(scanner_text::kSettingsTip));
    m_tips.AddTool(Item(IDC_VIEW), platform::Utf8ToWide(scanner_text::kViewTip));
    m_tips.AddTool(Item(IDC_ANGLE_LABEL), platform::Utf8ToWide(scanner_text::kAngleTip));
    m_tips.AddTool(Item(IDC_BASE_DISTANCE_LABEL),
                   platform::Utf8ToWide(scanner_text::kBaseDistanceTip));
    // 6. The scanners, then the layout.
    m_acquisition->QueryPerformanceFrequency();
    ConnectScanners();
    SaveSlots();
    m_laidOut = true;
    LayOut();
    // 7. Named blocks, timers and the scan trigger.
    m_acquisition->CreateMappings();
    StartTimers();
    // 8. Title.
    SetTitle(platform::Utf8ToWide(scanner_text::kTitle) + m_version);
    return true;
}

void CVestramiDlg::StartTimers() {
    SetTimer(ScanAcquisition::kCommandTimer, ScanAcquisition::kCommandPeriodMs);
    SetTimer(ScanAcquisition::kStatusTimer, ScanAcquisition::kStatusPeriodMs);
    SetTimer(ScanAcquisition::kIndicatorTimer, ScanAcquisition::kIndicatorPeriodMs);
    m_acquisition->StartTrigger();
}

void CVestramiDlg::StopTimers() {
    KillTimer(ScanAcquisition::kCommandTimer);
    KillTimer(ScanAcquisition::kStatusTimer);
    KillTimer(ScanAcquisition::kIndicatorTimer);
}

void CVestramiDlg::OnTimer(UINT_PTR id) {
    m_acquisition->OnTimer(id);
}

void CVestramiDlg::OnDestroy() {
    StopTimers();
    ReleaseAcquisition();
    m_picture.Destroy();
    m_tips.Destroy();
}

void CVestramiDlg::RecordingChanged(bool recording) {
    if (recording) {
        char text[64];
        std::snprintf(text, sizeof text, scanner_text::kRecordingFormat, 0LL);
        m_settingsButton.SetText(platform::Utf8ToWide(text));
    }
    for (int id :
         {IDC_ANGLE_SLIDER, IDC_ANGLE_EDIT, IDC_BASE_DISTANCE_SLIDER, IDC_BASE_DISTANCE_EDIT})
        EnableItem(id, !recording);
}

void CVestramiDlg::ShowIndicator(scanner::Rgb colour, std::optional<int64_t> lines) {
    m_settingsButton.SetFaceColor(RGB(colour.red, colour.green, colour.blue));
    if (lines) {
        char text[64];
        std::snprintf(text, sizeof text, scanner_text::kRecordingFormat,
                      static_cast<long long>(*lines));
        m_settingsButton.SetText(platform::Utf8ToWide(text));
    }
}

void CVestramiDlg::ShowContamination(const std::string& text) {
    SetItemText(IDC_CONTAMINATION, platform::Utf8ToWide(text));
}

void CVestramiDlg::RepaintProfiles() {
    m_picture.Draw();
}

bool CVestramiDlg::SlotShown(int slot, scanner::ScannerSlot& settings) const {
    settings = m_acquisition->SlotCopy(slot);
    return settings.connected != 0;
}

int32_t CVestramiDlg::CopyScan(int slot, uint32_t* values) const {
    return m_acquisition->CopyScan(slot, values);
}

int32_t CVestramiDlg::BaseDistance() const {
    return m_acquisition->BaseDistance();
}
