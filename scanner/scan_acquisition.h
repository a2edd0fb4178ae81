// The working core of the scanner service, owned by its main dialog: the
// two scanner slots, their clients and data threads, the clearance alarm,
// the scanner logs of a recording, and the exchange with the recorder
// through the two named blocks. The dialog forwards its initialisation,
// timers and destruction here; this class tells the dialog what to show
// through AcquisitionView.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "scanner/alarm_beeper.h"
#include "scanner/clearance_check.h"
#include "scanner/lms100_client.h"
#include "scanner/recording_indicator.h"
#include "scanner/scan_commands.h"
#include "scanner/scan_log_files.h"
#include "scanner/scan_mappings.h"
#include "scanner/scan_pipeline.h"
#include "scanner/scan_trigger.h"
#include "scanner/slot_config.h"

// What the acquisition asks of the main dialog (all on its thread).
class AcquisitionView {
public:
    virtual ~AcquisitionView() = default;
    // Recording switched on ("Запись 0", the angle and base-distance rows
    // disabled) or off (the rows enabled again).
    virtual void RecordingChanged(bool recording) = 0;
    // The recording indicator: the settings button's colour, and its text
    // when `lines` is given.
    virtual void ShowIndicator(scanner::Rgb colour, std::optional<int64_t> lines) = 0;
    // Draw the profiles now.
    virtual void RepaintProfiles() = 0;
    // Owner window of message boxes.
    virtual HWND MessageOwner() const = 0;
    // The front screens that want cleaning, as a line for the operator
    // (empty: none).
    virtual void ShowContamination(const std::string& text) { (void)text; }
};

class ScanAcquisition {
public:
    // Timers of the main dialog.
    static constexpr UINT_PTR kCommandTimer = 103;    // every 10 ms
    static constexpr UINT_PTR kStatusTimer = 104;     // every 900 ms
    static constexpr UINT_PTR kIndicatorTimer = 105;  // every 10 000 ms
    // Scans are triggered every 1000 / trigger rate ms by the trigger's own
    // thread (StartTrigger); the timer id stays for a manual trigger.
    static constexpr UINT_PTR kTriggerTimer = 106;
    static constexpr UINT kCommandPeriodMs = 10;
    static constexpr UINT kStatusPeriodMs = 900;
    static constexpr UINT kIndicatorPeriodMs = 10000;
    // A scanner with recovery on that has not answered a poll for this long
    // is brought up again, attempts at most this often (ms).
    static constexpr ULONGLONG kRecoverSilenceMs = 2000;
    static constexpr ULONGLONG kRecoverPeriodMs = 2000;
    static constexpr DWORD kRecoverPingTimeoutMs = 1000;  // the echo of such an attempt

    // `xml`: the configuration (null: none). `beeper`: the alarm tone (null: silent).
    ScanAcquisition(scanner::SlotXml* xml, scanner::CommandLine commandLine, AcquisitionView* view,
                    std::unique_ptr<scanner::AlarmBeeper> beeper);
    ~ScanAcquisition();
    ScanAcquisition(const ScanAcquisition&) = delete;
    ScanAcquisition& operator=(const ScanAcquisition&) = delete;

    // --- Start-up, in this order -----------------------------------------------------
    void LoadSlots();
    void QueryPerformanceFrequency();
    void ConnectScanners();
    void SaveSlots();
    // Creates both blocks; reports a failure to the operator.
    void CreateMappings();
    UINT TriggerPeriodMs() const;
    // Starts triggering the scanners that are running.
    bool StartTrigger();

    // --- While running ---------------------------------------------------------------
    void OnTimer(UINT_PTR id);
    void PollCommands();
    void PublishStatus();
    void UpdateIndicator();
    // One trigger now, from the calling thread.
    void Trigger();

    // The data thread of one client (its parameter is the client).
    static unsigned __stdcall ScanThreadProc(void* client);

    // --- Shutting down ---------------------------------------------------------------
    // Ends the data threads and destroys the clients (also before a new bring-up).
    void ReleaseClients();
    void ReleaseAcquisition();

    // --- For the dialogs ---------------------------------------------------------------
    const scanner::AcquisitionSettings& Settings() const { return m_settings; }
    // Slot changes go through here: the data threads read the slot settings.
    scanner::ScannerSlot SlotCopy(int slot) const;
    void SetSlot(int slot, const scanner::ScannerSlot& value);
    void SetRotationAngle(int slot, float angle);
    int32_t BaseDistance() const { return m_settings.baseDistance; }
    void SetBaseDistance(int32_t mm) { m_settings.baseDistance = mm; }
    bool Recording() const { return m_recording.load(); }
    const scanner::CommandLine& GetCommandLine() const { return m_commandLine; }
    // The last complete scan of a slot, for the display (0: none).
    int32_t CopyScan(int slot, uint32_t* out) const { return m_scanValues.CopyOut(slot, out); }
    bool HasClient(int slot) const { return m_scanners[slot] != nullptr; }
    // The last poll of every connected scanner was good; true without any
    // connected scanner (nothing failed).
    bool ScanGood() const;
    // The operator's line about dirty front screens of the connected scanners.
    std::string ContaminationText() const;
    int64_t LinesWritten(int slot) const { return m_linesWritten[slot].load(); }
    MyCLMS100Eth* Client(int slot) { return m_scanners[slot].get(); }
    // A scanner is being brought up again.
    bool Recovering() const;

private:
    void ScanOnce(MyCLMS100Eth& client);
    // Data thread: whether the client has been silent long enough, with
    // recovery on, to be brought up again.
    bool ShouldRecover(const MyCLMS100Eth& client) const;
    // Data thread: closes the connection and brings the scanner up again
    // (ping, connect, start sequence, readiness wait), attempts at most every
    // kRecoverPeriodMs, until it measures or the owner releases it.
    void Recover(MyCLMS100Eth& client);
    bool BringUpAgain(MyCLMS100Eth& client, const std::string& address);
    // The indicator's orange while a scanner is being brought up again.
    void ShowRecovery();
    // The slot's scanner is out (silent or being brought up again) and its
    // slot has recovery on: a log command does not wait for its next scan.
    bool OutForRecovery(int slot) const;
    void UpdateContamination();
    // A scanner log could not be written or closed: shown once per recording,
    // from whichever thread found it, without waiting for the operator.
    void ReportLogFailure(int slot);
    std::optional<int> HandleCommand(std::string_view text);
    void StartRecording(std::string_view folder);
    void StopRecording();
    bool BringUp(int slot, class CPing& ping);
    void Show(const std::string& message) const;
    bool SlotConnected(int slot) const;

    scanner::SlotXml* m_xml;
    scanner::CommandLine m_commandLine;
    AcquisitionView* m_view;
    scanner::AcquisitionSettings m_settings;
    mutable std::mutex m_slotLocks[scanner::kScannerSlots];

    std::unique_ptr<MyCLMS100Eth> m_scanners[scanner::kScannerSlots];
    scanner::PublishedScans m_scanValues;
    // Each data thread's own scan buffer and clearance sector.
    uint32_t m_workValues[scanner::kScannerSlots][sopas::kScanValueCapacity] = {};
    scanner::ClearanceMonitor m_monitors[scanner::kScannerSlots];
    scanner::ScanLogFiles m_logFiles;
    std::atomic<int64_t> m_linesWritten[scanner::kScannerSlots] = {};
    int64_t m_linesShown[scanner::kScannerSlots] = {};
    std::atomic<bool> m_recording{false};
    int64_t m_recordStart = 0;  // seconds since 1970
    double m_commandValues[3] = {};
    std::atomic<bool> m_scanFailed[scanner::kScannerSlots] = {};
    int64_t m_perfFrequency = 0;
    ScanMappings m_mappings;
    ScanTrigger m_trigger;
    std::unique_ptr<scanner::AlarmBeeper> m_beeper;
    // Where the service was before a recording changed into its folder;
    // empty when the change failed or no folder was named.
    std::wstring m_directoryBeforeRecording;
    bool m_released = false;
    std::atomic<bool> m_logFailureShown{false};
    std::string m_contaminationShown;
    scanner::Rgb m_indicatorColour = scanner::kYellow;  // the lines' colour, last shown
    bool m_recoveryShown = false;
};
