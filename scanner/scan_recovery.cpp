// Bringing a scanner up again after it stopped answering (a scanner slot
// with "восстанавливать_связь" on): a power-cycled scanner, a loose
// connector. Its data thread does it, so that neither the window nor the
// other scanner waits; meanwhile its scans count as failed.
#include <windows.h>

#include "scanner/ping.h"
#include "scanner/scan_acquisition.h"

bool ScanAcquisition::ShouldRecover(const MyCLMS100Eth& client) const {
    const ULONGLONG since = client.m_silentSinceMs.load();
    if (since == 0 || ::GetTickCount64() - since < kRecoverSilenceMs)
        return false;
    return SlotCopy(client.m_index).recoverConnection != 0;
}

bool ScanAcquisition::OutForRecovery(int slot) const {
    const MyCLMS100Eth* client = m_scanners[slot].get();
    if (client == nullptr || (!client->m_recovering && client->m_silentSinceMs.load() == 0))
        return false;
    return SlotCopy(slot).recoverConnection != 0;
}

bool ScanAcquisition::Recovering() const {
    for (const auto& client : m_scanners) {
        if (client && client->m_recovering)
            return true;
    }
    return false;
}

void ScanAcquisition::Recover(MyCLMS100Eth& client) {
    const int j = client.m_index;
    // Hand-over with ReleaseClients: it asks for the stop first and cancels a
    // client that is recovering; either this sees the request or it is cancelled.
    client.m_recovering = true;
    if (client.m_stopRequested) {
        client.m_recovering = false;
        return;
    }
    m_scanFailed[j] = true;
    const std::string address = scanner::ConnectAddress(SlotCopy(j));
    bool up = false;
    while (!up && !client.Cancelled()) {
        const ULONGLONG attempt = ::GetTickCount64();
        up = BringUpAgain(client, address);
        const ULONGLONG spent = ::GetTickCount64() - attempt;
        if (!up)
            client.WaitCancelled(
                static_cast<DWORD>(spent < kRecoverPeriodMs ? kRecoverPeriodMs - spent : 0));
    }
    if (up) {
        // A new connection starts from an empty clearance sector.
        m_monitors[j].Reset();
    }
    client.m_silentSinceMs = 0;
    client.m_recovering = false;
}

bool ScanAcquisition::BringUpAgain(MyCLMS100Eth& client, const std::string& address) {
    client.Renew();
    {
        CPing ping;
        PingReply reply;
        // A switched-off scanner does not answer: a short wait, so that a
        // close or new settings are not held up by it.
        if (ping.Ping(address.c_str(), reply, kRecoverPingTimeoutMs) != 1)
            return false;
    }
    // Connecting first: a scanner that refuses is tried again without a
    // message (the start sequence reports a failed connection).
    if (client.Cancelled() || !client.Open() || !client.Start())
        return false;
    for (int attempt = 0; attempt < sopas::kReadinessAttempts; ++attempt) {
        if (client.Cancelled())
            return false;
        if (client.WaitUntilReady(1))
            return true;
    }
    return false;
}

void ScanAcquisition::ShowRecovery() {
    const bool out = Recovering();
    if (out == m_recoveryShown)
        return;
    m_recoveryShown = out;
    if (m_view)
        m_view->ShowIndicator(out ? scanner::kOrange : m_indicatorColour, std::nullopt);
}
