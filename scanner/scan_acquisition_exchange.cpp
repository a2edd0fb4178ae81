// The timers: the recorder's commands, the status block, the recording
// indicator and the scan trigger.
#include <windows.h>

#include <cstdio>

#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "scanner/scan_acquisition.h"
#include "scanner/scanner_texts.h"

namespace {

// The process's current directory; empty when it cannot be read.
std::wstring CurrentDirectory() {
    const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    if (n == 0)
        return {};
    std::wstring path(n, L'\0');
    const DWORD got = ::GetCurrentDirectoryW(n, path.data());
    path.resize(got < n ? got : 0);
    return path;
}

int64_t SecondsSince1970() {
    // 100-ns intervals from 1601-01-01 to 1970-01-01.
    constexpr uint64_t kUnixEpoch = 116444736000000000ull;
    const uint64_t now = platform::CurrentClock().PreciseFileTime();
    return now > kUnixEpoch ? static_cast<int64_t>((now - kUnixEpoch) / 10000000ull) : 0;
}

}  // namespace

void ScanAcquisition::CreateMappings() {
    if (!m_mappings.Create())
        Show(scanner_text::kNoExchange);
}

UINT ScanAcquisition::TriggerPeriodMs() const {
    const int32_t rate = m_settings.triggerRate > 0 ? m_settings.triggerRate : 25;
    return static_cast<UINT>(1000 / rate);
}

bool ScanAcquisition::StartTrigger() {
    return m_trigger.Start(TriggerPeriodMs());
}

void ScanAcquisition::OnTimer(UINT_PTR id) {
    switch (id) {
        case kCommandTimer:
            PollCommands();
            break;
        case kStatusTimer:
            if (m_view)
                m_view->RepaintProfiles();
            PublishStatus();
            UpdateContamination();
            ShowRecovery();
            break;
        case kIndicatorTimer:
            UpdateIndicator();
            break;
        case kTriggerTimer:
            Trigger();
            break;
        default:
            break;
    }
}

void ScanAcquisition::Trigger() {
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        if (SlotConnected(j) && m_scanners[j])
            ::SetEvent(m_scanners[j]->m_triggerEvent.Get());
    }
}

bool ScanAcquisition::ScanGood() const {
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        if (SlotConnected(j) && m_scanners[j] && m_scanFailed[j])
            return false;
    }
    return true;
}

std::string ScanAcquisition::ContaminationText() const {
    // "Загрязнено: Сканер1, Сканер2; загрязняется: ..." (errors, then warnings).
    std::string lists[2];
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        if (!SlotConnected(j) || !m_scanners[j])
            continue;
        const uint32_t bits = m_scanners[j]->m_contamination.load();
        if (bits == 0)
            continue;
        std::string& list = lists[(bits & sopas::kStatusContaminationError) != 0 ? 0 : 1];
        char name[32];
        std::snprintf(name, sizeof name, scanner_text::kScannerEntryFormat, j + 1);
        list += (list.empty() ? "" : ", ") + std::string(name);
    }
    std::string text;
    if (!lists[0].empty())
        text = scanner_text::kContaminatedPrefix + lists[0];
    if (!lists[1].empty())
        text += (text.empty() ? scanner_text::kContaminatingPrefix
                              : std::string("; ") + scanner_text::kContaminatingLowerPrefix) +
                lists[1];
    return text;
}

void ScanAcquisition::UpdateContamination() {
    const std::string text = ContaminationText();
    if (text == m_contaminationShown)
        return;
    m_contaminationShown = text;
    if (m_view)
        m_view->ShowContamination(text);
}

void ScanAcquisition::PublishStatus() {
    m_mappings.PublishStatus(ScanGood());
}

void ScanAcquisition::PollCommands() {
    m_mappings.PollCommand([this](std::string_view text) { return HandleCommand(text); });
}

std::optional<int> ScanAcquisition::HandleCommand(std::string_view text) {
    const scanner::ScanCommand command = scanner::InterpretCommand(text, m_recording.load());
    switch (command.action) {
        case scanner::CommandAction::StartRecording:
            StartRecording(command.folder);
            return scanner::kAnswerDoneCode;
        case scanner::CommandAction::StopRecording:
            StopRecording();
            return scanner::kAnswerDoneCode;
        case scanner::CommandAction::LogNext:
            for (int i = 0; i < 3; ++i)
                m_commandValues[i] = command.values[i];
            for (int j = 0; j < scanner::kScannerSlots; ++j) {
                if (!SlotConnected(j) || !m_scanners[j] || OutForRecovery(j))
                    continue;  // a scanner that is out logs nothing it was not promised
                m_scanners[j]->m_requests.SetValues(command.values);
                m_scanners[j]->m_requests.m_logNext = true;
            }
            return ScanGood() ? scanner::kAnswerDoneCode : scanner::kAnswerScanFailedCode;
        case scanner::CommandAction::None:
        default:
            return std::nullopt;
    }
}

void ScanAcquisition::StartRecording(std::string_view folder) {
    m_recordStart = SecondsSince1970();
    m_logFailureShown = false;
    m_directoryBeforeRecording.clear();
    if (!folder.empty()) {
        // The recorder names the folder in the ANSI code page.
        const std::wstring before = CurrentDirectory();
        if (::SetCurrentDirectoryW(platform::AnsiToWide(folder).c_str()))
            m_directoryBeforeRecording = before;
    }
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        if (SlotConnected(j))
            m_logFiles.Open(j);
    }
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        if (SlotConnected(j)) {
            m_linesWritten[j] = 0;
            m_linesShown[j] = 0;
        }
    }
    m_recording = true;
    if (m_view)
        m_view->RecordingChanged(true);
}

void ScanAcquisition::StopRecording() {
    m_recording = false;
    if (m_view)
        m_view->RecordingChanged(false);
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        if (!SlotConnected(j))
            continue;
        if (m_scanners[j])
            m_scanners[j]->m_requests.m_logNext = false;
        if (!m_logFiles.Close(j))
            ReportLogFailure(j);
    }
    // Back to where the service was; a recording that could not change into
    // its folder has not moved it.
    if (!m_directoryBeforeRecording.empty())
        ::SetCurrentDirectoryW(m_directoryBeforeRecording.c_str());
    m_directoryBeforeRecording.clear();
}

void ScanAcquisition::UpdateIndicator() {
    scanner::IndicatorSlot slots[scanner::kScannerSlots];
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        slots[j].connected = SlotConnected(j);
        slots[j].linesWritten = m_linesWritten[j].load();
        slots[j].linesShown = m_linesShown[j];
    }
    const scanner::IndicatorState state =
        scanner::UpdateIndicator(m_recording.load(), slots, SecondsSince1970(), m_recordStart);
    for (int j = 0; j < scanner::kScannerSlots; ++j)
        m_linesShown[j] = slots[j].linesShown;
    m_indicatorColour = state.colour;
    if (m_view) {
        m_view->ShowIndicator(
            m_recoveryShown ? scanner::kOrange : state.colour,
            state.showCount ? std::optional<int64_t>(state.totalLines) : std::nullopt);
    }
    const unsigned failed = m_logFiles.FlushAll();
    for (int j = 0; j < scanner::kScannerSlots; ++j) {
        if ((failed & (1u << j)) != 0)
            ReportLogFailure(j);
    }
}
