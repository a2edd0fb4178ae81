// Loading and saving the slots, bringing the scanners up, the data threads
// and the release.
#include "scanner/scan_acquisition.h"

#include <process.h>

#include <cstdio>

#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "platform/thread_name.h"
#include "scanner/ping.h"
#include "scanner/scanner_texts.h"

ScanAcquisition::ScanAcquisition(scanner::SlotXml* xml, scanner::CommandLine commandLine,
                                 AcquisitionView* view,
                                 std::unique_ptr<scanner::AlarmBeeper> beeper)
    : m_xml(xml), m_commandLine(commandLine), m_view(view), m_beeper(std::move(beeper)) {}

ScanAcquisition::~ScanAcquisition() {
    ReleaseAcquisition();
}

void ScanAcquisition::Show(const std::string& message) const {
    platform::ShowMessage(
        message, {}, platform::MessageIcon::None,
        reinterpret_cast<std::uintptr_t>(m_view ? m_view->MessageOwner() : nullptr));
}

void ScanAcquisition::LoadSlots() {
    scanner::AcquisitionSettings loaded;
    scanner::LoadSlots(m_xml, m_commandLine, loaded);
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        std::lock_guard<std::mutex> guard(m_slotLocks[j]);
        m_settings.slots[j] = loaded.slots[j];
    }
    m_settings.vehicleIndex = loaded.vehicleIndex;
    m_settings.baseDistance = loaded.baseDistance;
    m_settings.triggerRate = loaded.triggerRate;
    m_settings.alarmThreshold = loaded.alarmThreshold;
    m_settings.scannerCount = loaded.scannerCount;
    m_settings.scannerList = std::move(loaded.scannerList);
    m_settings.scannerListSlots = std::move(loaded.scannerListSlots);
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        m_linesWritten[j] = 0;
        m_linesShown[j] = 0;
    }
}

void ScanAcquisition::QueryPerformanceFrequency() {
    m_perfFrequency = platform::CurrentClock().PerformanceFrequency();
}

scanner::ScannerSlot ScanAcquisition::SlotCopy(int slot) const {
    std::lock_guard<std::mutex> guard(m_slotLocks[slot]);
    return m_settings.slots[slot];
}

void ScanAcquisition::SetSlot(int slot, const scanner::ScannerSlot& value) {
    std::lock_guard<std::mutex> guard(m_slotLocks[slot]);
    m_settings.slots[slot] = value;
}

void ScanAcquisition::SetRotationAngle(int slot, float angle) {
    if (slot < 0 || slot >= scanner::kScannerSlots)
        return;
    std::lock_guard<std::mutex> guard(m_slotLocks[slot]);
    m_settings.slots[slot].rotationAngle = angle;
}

bool ScanAcquisition::SlotConnected(int slot) const {
    return m_settings.slots[slot].connected != 0;
}

void ScanAcquisition::SaveSlots() {
    scanner::AcquisitionSettings copy;
    for (int j = 0; j < scanner::kScannerSlots; ++j)
        copy.slots[j] = SlotCopy(j);
    copy.vehicleIndex = m_settings.vehicleIndex;
    copy.baseDistance = m_settings.baseDistance;
    scanner::SaveSlots(m_xml, copy);
}

void ScanAcquisition::ConnectScanners() {
    CPing ping;  // one per bring-up pass
    for (int j = 0; j < scanner::kScannerSlots; ++j)
        BringUp(j, ping);
}

bool ScanAcquisition::BringUp(int j, CPing& ping) {
    scanner::ScannerSlot slot = SlotCopy(j);
    if (!scanner::ShouldBringUp(slot, m_commandLine))
        return false;
    const std::string address = scanner::ConnectAddress(slot);
    PingReply reply;
    if (ping.Ping(address.c_str(), reply) != 1)
        return false;  // unreachable: skipped without a message

    auto client = std::make_unique<MyCLMS100Eth>(platform::Utf8ToWide(address).c_str(),
                                                 static_cast<uint16_t>(slot.port));
    client->m_owner = this;
    client->m_index = j;
    client->m_perfFrequency = m_perfFrequency;
    MyCLMS100Eth& c = *client;
    m_scanners[j] = std::move(client);  // stays in place even when it does not start
    m_monitors[j].Reset();
    m_scanValues.Clear(j);

    if (!c.Start()) {
        char text[64];
        std::snprintf(text, sizeof text, scanner_text::kDoesNotStartFormat, j + 1);
        slot.connected = 0;
        SetSlot(j, slot);
        Show(text);
        return false;
    }
    slot.pointCount = 0;
    if (!c.WaitUntilReady()) {
        slot.connected = 0;
        SetSlot(j, slot);
        Show(scanner_text::kNotReady);
        return false;
    }

    unsigned threadId = 0;
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, &ScanAcquisition::ScanThreadProc, &c,
                                              CREATE_SUSPENDED, &threadId);
    if (thread == 0) {
        char text[64];
        std::snprintf(text, sizeof text, scanner_text::kThreadFailedFormat,
                      static_cast<int>(::GetLastError()));
        Show(text);
    } else {
        c.m_dataThread.Reset(reinterpret_cast<HANDLE>(thread));
        ::SetThreadPriority(c.m_dataThread.Get(), THREAD_PRIORITY_NORMAL);
        ::ResumeThread(c.m_dataThread.Get());
    }

    // The first scan, polled here before any trigger: it tells the display
    // how many points this scanner sends.
    int32_t count = 0;
    bool failed = false;
    c.ReadScan(count, m_workValues[j], failed);
    slot.pointCount = count;
    m_scanFailed[j] = failed || count <= 0;
    if (!failed && count > 0)
        m_scanValues.Publish(j, m_workValues[j], count);
    slot.connected = 1;
    SetSlot(j, slot);
    if (c.m_dataThread)
        m_trigger.SetTarget(j, c.m_triggerEvent.Get());
    scanner::MarkItemConnected(m_xml, m_settings.vehicleIndex, slot.itemNumber, 1);
    return true;
}

unsigned __stdcall ScanAcquisition::ScanThreadProc(void* parameter) {
    auto* client = static_cast<MyCLMS100Eth*>(parameter);
    platform::NameThisThread(client->m_index == 0 ? L"scanner 0" : L"scanner 1");
    const HANDLE events[2] = {client->m_triggerEvent.Get(), client->m_stopEvent.Get()};
    for (;;) {
        // The trigger comes first: when both are set, one more scan, then the stop.
        const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (woken != WAIT_OBJECT_0)
            return 0;
        ScanAcquisition& owner = *client->m_owner;
        owner.ScanOnce(*client);
        if (owner.ShouldRecover(*client))
            owner.Recover(*client);
    }
}

void ScanAcquisition::ScanOnce(MyCLMS100Eth& client) {
    const int j = client.m_index;
    const platform::CivilTime utc =
        platform::FileTimeToCivil(platform::CurrentClock().PreciseFileTime());
    int32_t count = 0;
    bool failed = false;
    uint32_t* values = m_workValues[j];
    const ULONGLONG polledAt = ::GetTickCount64();
    client.ReadScan(count, values, failed);
    if (client.LastReplyBytes() > 0)
        client.m_silentSinceMs = 0;
    else if (client.m_silentSinceMs.load() == 0)
        client.m_silentSinceMs = polledAt > 0 ? polledAt : 1;
    if (failed || count <= 0) {
        m_scanFailed[j] = true;
        return;
    }
    scanner::ClearanceSettings clearance;
    bool fitted = true;
    {
        std::lock_guard<std::mutex> guard(m_slotLocks[j]);
        const scanner::ScannerSlot& s = m_settings.slots[j];
        clearance.rotationAngle = s.rotationAngle;
        clearance.clearanceStart = s.clearanceStart;
        clearance.clearanceEnd = s.clearanceEnd;
        clearance.scanStep = s.scanStep;
        fitted = s.inclinometerFitted != 0;
    }
    clearance.alarmThreshold = m_settings.alarmThreshold;

    scanner::ScanLogEntry entry;
    entry.utc = utc;
    entry.count = count;
    entry.values = values;
    entry.inclinometerFitted = fitted;
    entry.replyTimeMs = client.m_scanTimeMs;
    const scanner::ScanStepResult r =
        scanner::ProcessScan(j, m_monitors[j], clearance, client.m_requests, m_recording.load(),
                             entry, m_logFiles, m_beeper.get());
    if (r.logged)
        ++m_linesWritten[j];
    if (r.writeFailed)
        ReportLogFailure(j);
    m_scanValues.Publish(j, values, count);
    m_scanFailed[j] = false;
}

void ScanAcquisition::ReportLogFailure(int slot) {
    if (m_logFailureShown.exchange(true))
        return;
    char text[128];
    std::snprintf(text, sizeof text, scanner_text::kLogWriteFailedFormat,
                  scanner::ScanLogName(slot).c_str());
    platform::ShowMessageDetached(text);
}

void ScanAcquisition::ReleaseClients() {
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        std::unique_ptr<MyCLMS100Eth>& client = m_scanners[j];
        m_trigger.SetTarget(j, nullptr);
        m_scanValues.Clear(j);  // the display shows no scan of a scanner that is gone
        if (!client)
            continue;
        if (client->m_dataThread) {
            // A bring-up in progress is cut short; a scan in flight is not.
            client->m_stopRequested = true;
            if (client->m_recovering)
                client->Cancel();
            ::SetEvent(client->m_stopEvent.Get());
            ::WaitForSingleObject(client->m_dataThread.Get(), INFINITE);
            client->m_dataThread.Reset();
        }
        client.reset();  // sends the stop telegram
    }
}

void ScanAcquisition::ReleaseAcquisition() {
    if (m_released)
        return;
    m_released = true;
    m_mappings.WriteStopping();
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        if (m_scanners[j])
            scanner::MarkItemConnected(m_xml, m_settings.vehicleIndex,
                                       m_settings.slots[j].itemNumber, 0);
    }
    m_trigger.Stop();
    ReleaseClients();
    m_beeper.reset();
    m_mappings.Close();
    m_logFiles.CloseAll();
}
