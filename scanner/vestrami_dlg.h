// CVestramiDlg: the scanner service's one window. It hosts the profile
// display, the settings button (which is also the recording indicator), the
// view button, the scanner choice and the angle and base-distance rows, and
// owns the acquisition: it forwards its initialisation, timers and
// destruction to it.
#pragma once

#include <d2d1.h>
#include <dwrite.h>

#include <memory>
#include <string>

#include "platform/dialog/dialog.h"
#include "platform/handles.h"
#include "scanner/scan_acquisition.h"
#include "scanner/scanner_picture.h"
#include "scanner/xml_slot_store.h"

class XmlConfig;

class CVestramiDlg : public platform::Dialog, private AcquisitionView, private PictureSource {
public:
    // `config`: the program's configuration store (not owned, may be null);
    // `version`: shown in the title; `commandLine`: the program's arguments.
    CVestramiDlg(XmlConfig* config, std::wstring version, std::wstring commandLine);
    ~CVestramiDlg() override;

    // The acquisition's operations, as the dialog runs them.
    void LoadSlots();
    void ConnectScanners();
    void SaveSlots();
    void ReleaseAcquisition();

protected:
    bool OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnScroll(int controlId, HWND control, int code, int position) override;
    void OnSize(int clientWidth, int clientHeight) override;
    void OnOk() override {}  // Enter does nothing
    void OnDestroy() override;

private:
    // AcquisitionView
    void RecordingChanged(bool recording) override;
    void ShowIndicator(scanner::Rgb colour, std::optional<int64_t> lines) override;
    void RepaintProfiles() override;
    HWND MessageOwner() const override { return Handle(); }
    void ShowContamination(const std::string& text) override;
    // PictureSource
    bool SlotShown(int slot, scanner::ScannerSlot& settings) const override;
    int32_t CopyScan(int slot, uint32_t* values) const override;
    int32_t BaseDistance() const override;

    void CreateFactories();
    void LayOut();
    void OnSettings();
    void OnViewButton();
    void OnScannerChosen();
    void OnBaseDistanceEdited();
    void OnAngleEdited();
    void StepEdit(int editId, std::optional<int> value);
    void ShowViewText();
    void StartTimers();
    void StopTimers();

    std::wstring m_version;
    XmlSlotStore m_xml;
    scanner::CommandLine m_commandLine;
    std::unique_ptr<ScanAcquisition> m_acquisition;
    CScannerPicture m_picture;
    platform::ComPtr<ID2D1Factory> m_d2dFactory;
    platform::ComPtr<IDWriteFactory> m_writeFactory;
    platform::ComPtr<IDWriteTextFormat> m_textFormat;
    platform::FaceButton m_settingsButton, m_viewButton, m_angleLabel, m_baseLabel;
    platform::ToolTips m_tips;
    int m_selectedSlot = 0;
    bool m_laidOut = false;  // sizes before the first layout are the start-up's own
    bool m_released = false;
};
