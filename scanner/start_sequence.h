// The scanner's start sequence (log in, choose the output configuration,
// run, start measuring, wait for state 7) and the readiness wait that follows
// it, over the few operations of a connected client. The client of the
// service (MyCLMS100Eth) provides them over its socket; tests provide a
// scripted scanner.
#pragma once

#include <cstddef>

#include "scanner/sopas_protocol.h"

namespace sopas {

// What the start sequence needs from a client.
class SopasLink {
public:
    virtual ~SopasLink() = default;
    // Connects when not connected yet; true when connected.
    virtual bool Open() = 0;
    // Frames and sends one command text.
    virtual void SendTelegram(const char* command) = 0;
    // Reads one reply into `buffer` (terminated); returns the bytes stored.
    virtual size_t Receive(char* buffer, size_t capacity) = 0;
    virtual void Pause(int milliseconds) = 0;
};

struct StartOutcome {
    bool started = false;
    ScanLayout layout = ScanLayout::None;
};

// Steps, in order: Open (failing: the message "check failure"); the log-in
// (no reply byte: fail); the first output configuration and, only if its
// reply does not name the scan data, the second one (neither accepted: fail
// before "sMN Run"); "sMN Run" and "sMN LMCstartmeas" (no reply byte: fail);
// then at most kStartStatusPolls status polls, kPollPauseMs apart, until a
// reply contains "sRA STlms 7". `layout` is set as soon as it is known.
StartOutcome RunStartSequence(SopasLink& link);

// After a successful start: at most kReadinessAttempts status polls until the
// device state (third token) is 7. A poll that got reply bytes is followed by
// a kPollPauseMs pause unless the state was 7; one without bytes is not (its
// read has already waited). True when the state became 7.
bool WaitUntilReady(SopasLink& link, int attempts = kReadinessAttempts);

}  // namespace sopas
