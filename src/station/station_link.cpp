// The station's side of the link: the module in use, a connection attempt,
// the start of the link, its closing by the operator, and a lost module,
// after which the station reconnects by itself with a back-off. A module that
// keeps dropping the link is one incident: the operator is told once.
#include "station/station.h"

#include "station/translate.h"

bool Station::SetModule(const std::string& address, int port, std::vector<std::string> startup) {
    // Another module: the link to the old one is closed and the new one is
    // connected, so no reading of the old module is shown under the new name.
    const bool otherModule = (m_connected || m_reconnecting || m_connectThread) &&
                             (address != m_address || port != m_port);
    m_address = address;
    m_port = port;
    m_startup = std::move(startup);
    if (!otherModule) return false;
    if (m_reconnecting)
        StopReconnecting();
    else if (m_connected)
        CloseLink();
    m_listener.OnStateChanged();
    return true;
}

std::string Station::AddressText() const {
    return m_address + ":" + std::to_string(m_port & 0xFFFF);
}

std::unique_ptr<ConnectThread> Station::StartConnectThread() {
    return std::make_unique<ConnectThread>(
        m_address, static_cast<uint16_t>(m_port & 0xFFFF), ++m_attemptCount,
        SockGetConnectTimeout() * 1000, [this](ConnectResult r) {
            // On the attempt's thread; the station ends it before it goes.
            auto result = std::make_shared<ConnectResult>(std::move(r));
            Later([this, result] { OnConnectOutcome(*result); });
        });
}

bool Station::Connect() {
    if (m_connected || m_connectThread || m_reconnecting) return false;
    m_connectFailure.clear();
    m_connectThread = StartConnectThread();
    m_listener.OnStateChanged();
    return true;
}

void Station::CancelConnect() {
    if (!Connecting()) return;
    // Waits for the attempt's thread (a tenth of a second at most): nothing
    // of it is left to wind down later.
    m_connectThread.reset();
    m_listener.OnStateChanged();
}

void Station::OnConnectOutcome(ConnectResult& result) {
    // An outcome of an attempt that was given up is dropped; its socket closes.
    if (result.attempt != m_attemptCount || !m_connectThread) return;
    m_connectThread.reset();
    if (result.socket.Valid()) {
        m_reconnecting = false;
        StartLink(std::move(result.socket));
        return;
    }
    if (m_reconnecting) {
        ScheduleReconnect();
        return;
    }
    m_connectFailure = SockConnectFailureText(result.cause);
    m_listener.OnStateChanged();
}

void Station::StartLink(UniqueSocket socket) {
    LinkOptions options;
    options.startupCommands = m_startup;
    m_link = std::make_unique<Link>(std::move(socket), ++m_linkCount, options,
                                    static_cast<LinkListener&>(*this));
    m_link->Start();
    m_connected = true;
    m_haveReading = false;
    m_linkStartedAt = SteadyClock::now();
    m_listener.OnStateChanged();
    // The notice that told of the loss has nothing more to say.
    if (m_lossNoticeOpen) m_listener.CloseLossNotice();
}

void Station::OnReadingsWaiting(int linkId) {
    Later([this, linkId] { DrainReadings(linkId); });
}

void Station::OnLinkLost(int linkId, LinkLoss loss) {
    Later([this, linkId, loss] { HandleLinkLost(linkId, loss); });
}

void Station::DrainReadings(int linkId) {
    // Readings of a link that is closing or closed have no effect.
    if (!m_connected || !m_link || m_link->Id() != linkId) return;
    m_link->TakeReadings(m_taken);
    ApplyReadings(m_taken);
}

void Station::CloseLink() {
    m_connected = false;
    // The link ends on a thread of its own; the station never waits for it.
    if (m_link) {
        m_link->Pause();
        m_closing.push_back(std::make_unique<DisconnectThread>(std::move(m_link)));
    }
}

bool Station::Closing() const {
    for (const auto& closing : m_closing)
        if (!closing->Done()) return true;
    return false;
}

void Station::HandleLinkLost(int linkId, LinkLoss loss) {
    if (!m_connected || !m_link || m_link->Id() != linkId) return;
    CloseLink();
    m_listener.OnStateChanged();

    std::string message = Tr("Network disconnected: ") + Tr(LinkLossText(loss).c_str()) + ".";
    const bool endedRecording = m_cycle.m_recording;
    if (endedRecording) {
        FinishCycle(loss == LinkLoss::ReadingsStopped ? RecordEnd::ReadingsStopped
                                                      : RecordEnd::ModuleLost,
                    false);
        message += "\n" + Tr("The recording ended early: ") + m_cycle.IncompleteText() + ". " +
                   Tr("Print Report writes what was recorded, marked incomplete.");
    }
    // A module that keeps dropping the link is one incident: the back-off
    // goes on, and the operator is told once, until a link holds 30 s.
    const bool held = SteadyClock::now() - m_linkStartedAt >= std::chrono::seconds(30);
    const bool newIncident = held || m_reconnectAttempt == 0;
    if (held) m_reconnectAttempt = 0;
    m_reconnecting = true;
    ScheduleReconnect();
    message += "\n" + TrFormat("The program reconnects to %s by itself; press Disconnect "
                               "to stop.",
                               AddressText().c_str());
    // One notice at a time; a recording cut short is always told.
    if (m_lossNoticeOpen || !(newIncident || endedRecording)) return;
    // Reconnection goes on while the notice is open; a link that is back
    // closes it.
    m_lossNoticeOpen = true;
    const bool closedByUs = m_listener.ShowLossNotice(message);
    m_lossNoticeOpen = false;
    if (closedByUs) ++m_lossNoticesClosed;
}

void Station::ScheduleReconnect() {
    ++m_reconnectAttempt;
    const int generation = ++m_reconnectGeneration;
    m_listener.OnStateChanged();
    LaterAfter(ReconnectDelayMs(m_reconnectAttempt),
               [this, generation] { OnReconnectDue(generation); });
}

void Station::OnReconnectDue(int generation) {
    if (generation != m_reconnectGeneration || !m_reconnecting || m_connectThread) return;
    for (auto it = m_closing.begin(); it != m_closing.end();)
        it = (*it)->Done() ? m_closing.erase(it) : it + 1;
    m_connectThread = StartConnectThread();
}

void Station::StopReconnecting() {
    m_reconnecting = false;
    m_reconnectAttempt = 0;
    ++m_reconnectGeneration;
    m_connectThread.reset();
}

void Station::Disconnect() {
    if (m_reconnecting) {
        // The operator's Disconnect ends the reconnection too.
        StopReconnecting();
        m_listener.OnStateChanged();
        return;
    }
    if (!m_connected) return;
    CloseLink();
    // The operator first sees the link closed, then learns that the
    // recording ended with it.
    m_listener.OnStateChanged();
    if (m_cycle.m_recording) FinishCycle(RecordEnd::Disconnected, false);
}
