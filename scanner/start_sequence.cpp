#include "scanner/start_sequence.h"

#include <exception>

#include "platform/notifier.h"
#include "scanner/scanner_texts.h"

namespace sopas {
namespace {

struct Reply {
    size_t bytes;           // reply bytes received
    std::string_view text;  // what of them is examined
};

// Sends `command` and reads its reply into `buffer`.
Reply Ask(SopasLink& link, const char* command, char (&buffer)[kShortReplyBufferSize]) {
    link.SendTelegram(command);
    const size_t got = link.Receive(buffer, sizeof buffer);
    return Reply{got, ExaminedText(buffer, got)};
}

StartOutcome Steps(SopasLink& link, StartOutcome& outcome) {
    char reply[kShortReplyBufferSize] = {};
    if (Ask(link, kSetAccessMode, reply).bytes == 0)
        return outcome;

    outcome.layout = ScanLayout::None;
    if (ReplyContains(Ask(link, kScanDataConfig1, reply).text, kScanDataName)) {
        outcome.layout = ScanLayout::First;
    } else if (ReplyContains(Ask(link, kScanDataConfig2, reply).text, kScanDataName)) {
        outcome.layout = ScanLayout::Second;
    }
    if (outcome.layout == ScanLayout::None)
        return outcome;

    if (Ask(link, kRun, reply).bytes == 0)
        return outcome;
    if (Ask(link, kStartMeasurement, reply).bytes == 0)
        return outcome;

    for (int poll = 0; poll < kStartStatusPolls; ++poll) {
        if (ReplyContains(Ask(link, kQueryStatus, reply).text, kStatusMeasuring)) {
            outcome.started = true;
            return outcome;
        }
        link.Pause(kPollPauseMs);
    }
    return outcome;
}

}  // namespace

StartOutcome RunStartSequence(SopasLink& link) {
    StartOutcome outcome;
    if (!link.Open()) {
        platform::ShowMessage(scanner_text::kCheckFailure);
        return outcome;
    }
    try {
        return Steps(link, outcome);
    } catch (const std::exception& e) {
        platform::ShowMessage(e.what());
        outcome.started = false;
        return outcome;
    }
}

bool WaitUntilReady(SopasLink& link, int attempts) {
    char reply[kShortReplyBufferSize] = {};
    for (int attempt = 0; attempt < attempts; ++attempt) {
        link.SendTelegram(kQueryStatus);
        const size_t got = link.Receive(reply, sizeof reply);
        if (got == 0)
            continue;
        if (DeviceState(ExaminedText(reply, got)) == kStateMeasuring)
            return true;
        link.Pause(kPollPauseMs);
    }
    return false;
}

}  // namespace sopas
