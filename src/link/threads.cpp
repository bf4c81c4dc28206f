#include "link/threads.h"

#include "recorder/terminal_panel.h"
#include "shell/events.h"
#include "shell/main_window.h"

#include <chrono>
#include <cstring>

const char POLL_COMMAND[5] = {'p', '0', '0', '0', '\r'};

namespace {

// Waits until `alive` becomes null, at most `limitMs`.
template <typename T> void WaitGone(const std::atomic<T*>& alive, int limitMs) {
    for (int i = 0; i < limitMs && alive.load() != nullptr; ++i)
        wxMilliSleep(1);
}

} // namespace

//-----------------------------------------------------------------------------

void LinkSession::RequestStopReader() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopReader = true;
    }
    m_wake.notify_all();
}

void LinkSession::RequestStopSender() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopSender = true;
    }
    m_wake.notify_all();
}

void LinkSession::EndWorkers(int waitMs) {
    RequestStopSender();
    WaitGone(sender, waitMs);
    SockShutdown(Socket());
    RequestStopReader();
    WaitGone(reader, waitMs);
}

bool LinkSession::SenderWait(int ms) {
    std::unique_lock<std::mutex> guard(m_lock);
    return m_wake.wait_for(guard, std::chrono::milliseconds(ms),
                           [this] { return m_stopSender.load(); });
}

void LinkSession::ReaderIdle() {
    std::unique_lock<std::mutex> guard(m_lock);
    m_wake.wait(guard, [this] { return m_stopReader.load(); });
}

//-----------------------------------------------------------------------------

bool ReadAccumulator::Added(int n) {
    m_count += n;
    m_buffer[m_count] = '\0';
    return m_count >= ReadThread::kBatchMinimum;
}

void ReadAccumulator::Reset() {
    std::memset(m_buffer, 0, sizeof m_buffer);
    m_count = 0;
}

//-----------------------------------------------------------------------------

ConnectThread::ConnectThread(wxEvtHandler* panel, std::string address, uint16_t port,
                             std::shared_ptr<ConnectAttempt> attempt)
    : wxThread(wxTHREAD_DETACHED), m_panel(panel), m_address(std::move(address)), m_port(port),
      m_attempt(std::move(attempt)) {}

ConnectThread::~ConnectThread() {
    m_attempt->finished = true;
}

wxThread::ExitCode ConnectThread::Entry() {
    const int attempt = m_attempt->number;
    UniqueSocket socket(SockOpen(AF_INET, SOCK_STREAM, 0));
    if (!socket.Valid()) {
        if (!m_attempt->stopRequested)
            wxQueueEvent(m_panel, new ConnectOutcomeEvent(EVT_CONNECT_FAILED, attempt, nullptr));
        return 0;
    }
    SockAddress address;
    SockMakeAddress(&address, m_address.c_str(), m_port);
    int result = SockConnect(socket.Get(), &address);
    if (m_attempt->stopRequested) return 0; // the socket closes with `socket`
    if (result < 0) {
        wxQueueEvent(m_panel, new ConnectOutcomeEvent(EVT_CONNECT_FAILED, attempt, nullptr));
    } else {
        auto owned = std::make_shared<UniqueSocket>(std::move(socket));
        wxQueueEvent(m_panel, new ConnectOutcomeEvent(EVT_CONNECT_OK, attempt, owned));
    }
    return 0;
}

//-----------------------------------------------------------------------------

ReadThread::ReadThread(TerminalPanel* panel, std::shared_ptr<LinkSession> link)
    : wxThread(wxTHREAD_DETACHED), m_panel(panel), m_link(std::move(link)) {}

ReadThread::~ReadThread() {
    m_link->reader = nullptr;
    ReadThread* self = this;
    m_panel->m_readThread.compare_exchange_strong(self, nullptr);
}

wxThread::ExitCode ReadThread::Entry() {
    ReadAccumulator batch;
    for (;;) {
        if (m_link->ReaderStopRequested()) return 0;
        int n = SockReceiveKeep(m_link->Socket(), batch.Tail(), batch.Room());
        if (m_link->ReaderStopRequested()) return 0;
        if (n <= 0) {
            // The module closed the link or it failed. The socket stays open
            // until everybody has let go of it; the sender's next poll reports
            // the loss. Nothing more to read: wait for the stop.
            m_link->ReaderIdle();
            return 0;
        }
        if (batch.Added(n)) {
            if (!m_link->Paused())
                m_panel->ProcessFrame(batch.Batch(), batch.Count(), m_link->Generation());
            batch.Reset();
        }
    }
}

//-----------------------------------------------------------------------------

SendMessageThread::SendMessageThread(TerminalPanel* panel, int periodMs,
                                     std::shared_ptr<LinkSession> link)
    : wxThread(wxTHREAD_DETACHED), m_panel(panel), m_periodMs(periodMs), m_link(std::move(link)) {}

SendMessageThread::~SendMessageThread() {
    m_link->sender = nullptr;
    SendMessageThread* self = this;
    m_panel->m_sendThread.compare_exchange_strong(self, nullptr);
}

wxThread::ExitCode SendMessageThread::Entry() {
    if (m_link->SenderStopRequested()) return 0;
    // Start-up commands of init.ini, 10 ms apart; the table is read-only by now.
    const InitCommandTable& commands = MainWindow::GetInstance()->m_initCommands;
    for (int k = 0; k < kInitCommandCount; ++k) {
        if (commands[k][0] == '\0') continue;
        if (m_link->Paused()) break;
        uint16_t length = 5;
        if (SockSendAll(m_link->Socket(), commands[k], &length) != 0) return 0;
        if (m_link->SenderWait(10)) return 0;
    }
    if (m_link->SenderWait(m_periodMs)) return 0;

    for (;;) {
        if (m_link->SenderStopRequested()) return 0;
        if (!m_link->Paused()) {
            uint16_t length = 5;
            if (SockSendAll(m_link->Socket(), POLL_COMMAND, &length) != 0) {
                if (m_link->SenderStopRequested() || m_link->Paused()) return 0;
                wxQueueEvent(m_panel, new wxCommandEvent(EVT_LINK_LOST, EVT_LINK_LOST));
                return 0;
            }
        }
        if (m_link->SenderWait(m_periodMs)) return 0;
    }
}

//-----------------------------------------------------------------------------

DisconnectThread::DisconnectThread(std::shared_ptr<LinkSession> link, TerminalPanel* panel)
    : wxThread(wxTHREAD_DETACHED), m_link(std::move(link)), m_panel(panel) {}

wxThread::ExitCode DisconnectThread::Entry() {
    (void)m_panel;
    m_link->EndWorkers(3000);
    return 0;
}
