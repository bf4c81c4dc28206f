#include "link/link.h"

#include <algorithm>

const char POLL_COMMAND[5] = {'p', '0', '0', '0', '\r'};

namespace {

long long Ns(SteadyTime t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

} // namespace

// Marked for the catalogue; the panel shows them in the operator's language.
#ifndef N_
#define N_(english) english
#endif

std::string LinkLossText(LinkLoss loss) {
    switch (loss) {
    case LinkLoss::ReadingsStopped:
        return N_("no reading for 2 s");
    case LinkLoss::SendStalled:
        return N_("the module stopped taking commands");
    case LinkLoss::StartupFailed:
        return N_("a start-up command could not be sent");
    case LinkLoss::SendFailed:
        return N_("the poll could not be sent");
    case LinkLoss::Closed:
        return N_("the module closed the connection");
    case LinkLoss::ReceiveFailed:
        return N_("the connection failed");
    }
    return N_("the connection failed");
}

int ReconnectDelayMs(int attempt) {
    if (attempt <= 1) return 1000;
    if (attempt <= 5) return 2000;
    return std::min(10000, 2000 * (attempt - 4));
}

std::vector<std::string> StartupCommands(const char* table, int count, int size) {
    std::vector<std::string> commands;
    for (int k = 0; k < count; ++k) {
        const char* entry = table + static_cast<std::ptrdiff_t>(k) * size;
        if (entry[0] != '\0') commands.emplace_back(entry, std::min(size, 5));
    }
    return commands;
}

//-----------------------------------------------------------------------------

Link::Link(UniqueSocket socket, int id, LinkOptions options, LinkListener& listener)
    : m_socket(std::move(socket)), m_id(id), m_options(std::move(options)), m_listener(listener) {}

Link::~Link() {
    End();
}

void Link::Start() {
    m_lastReadingNs = Ns(SteadyClock::now());
    m_reader = std::make_unique<ReadThread>(*this);
    m_sender = std::make_unique<SendMessageThread>(*this);
}

void Link::Pause() {
    m_paused = true;
}

void Link::End() {
    m_paused = true;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_reader || m_sender) SockShutdown(m_socket.Get());
    m_sender.reset();
    m_reader.reset();
}

void Link::TakeReadings(std::vector<Reading>& out) {
    out.clear();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::swap(out, m_queue);
        m_wakePending = false;
    }
    m_wake.notify_all();
}

bool Link::Queue(const std::vector<int>& bars, SteadyTime arrival) {
    m_lastReadingNs = Ns(arrival);
    m_readingCount += static_cast<long long>(bars.size());
    if (m_paused) return !m_stop;
    std::unique_lock<std::mutex> guard(m_lock);
    for (int bar : bars) {
        while (m_queue.size() >= m_options.queueLimit && !m_stop) {
            if (!m_wakePending) {
                m_wakePending = true;
                guard.unlock();
                m_listener.OnReadingsWaiting(m_id);
                guard.lock();
                continue;
            }
            m_wake.wait_for(guard, std::chrono::milliseconds(100));
            // Readings are waiting to be taken: the module is alive.
            m_lastReadingNs = Ns(SteadyClock::now());
        }
        if (m_stop) return false;
        m_queue.push_back(Reading{bar, arrival});
    }
    const bool wake = !m_wakePending;
    m_wakePending = true;
    guard.unlock();
    if (wake) m_listener.OnReadingsWaiting(m_id);
    return true;
}

void Link::Lost(LinkLoss loss) {
    if (m_stop || m_paused) return;
    if (m_lost.exchange(true)) return;
    m_listener.OnLinkLost(m_id, loss);
}

bool Link::Wait(int ms) {
    std::unique_lock<std::mutex> guard(m_lock);
    return m_wake.wait_for(guard, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
}

SteadyTime Link::LastReading() const {
    return SteadyTime(std::chrono::nanoseconds(m_lastReadingNs.load()));
}

//-----------------------------------------------------------------------------

ReadThread::ReadThread(Link& link) : m_link(link) {
    m_thread = std::thread(&ReadThread::Entry, this);
}

ReadThread::~ReadThread() {
    if (m_thread.joinable()) m_thread.join();
}

void ReadThread::Entry() {
    ReadingStream stream;
    std::vector<int> bars;
    char buffer[4096];
    const int socket = m_link.Socket();
    while (!m_link.Stopping()) {
        // Waits in short steps, so a stop is noticed even where a shutdown
        // does not wake a blocked receive.
        int ready = SockWait(socket, false, 100);
        if (m_link.Stopping()) return;
        if (ready == 0) continue;
        int n = ready < 0 ? -1 : SockReceiveKeep(socket, buffer, sizeof buffer);
        const SteadyTime arrival = SteadyClock::now();
        if (m_link.Stopping()) return;
        if (n <= 0) {
            m_link.Lost(n == 0 ? LinkLoss::Closed : LinkLoss::ReceiveFailed);
            return;
        }
        bars.clear();
        stream.Feed(buffer, static_cast<std::size_t>(n), bars);
        if (!bars.empty() && !m_link.Queue(bars, arrival)) return;
    }
}

//-----------------------------------------------------------------------------

SendMessageThread::SendMessageThread(Link& link) : m_link(link) {
    m_thread = std::thread(&SendMessageThread::Entry, this);
}

SendMessageThread::~SendMessageThread() {
    if (m_thread.joinable()) m_thread.join();
}

void SendMessageThread::Entry() {
    const LinkOptions& o = m_link.Options();
    const int socket = m_link.Socket();
    for (const std::string& command : o.startupCommands) {
        if (m_link.Stopping()) return;
        uint16_t length = 5;
        int result = SockSendAllWithin(socket, command.data(), &length, o.sendTimeoutMs);
        if (result != 0) {
            m_link.Lost(result == -2 ? LinkLoss::SendStalled : LinkLoss::StartupFailed);
            return;
        }
        if (m_link.Wait(o.startupGapMs)) return;
    }
    if (m_link.Wait(o.pollMs)) return;
    for (;;) {
        if (m_link.Stopping()) return;
        if (SteadyClock::now() - m_link.LastReading() > std::chrono::milliseconds(o.silenceMs)) {
            m_link.Lost(LinkLoss::ReadingsStopped);
            return;
        }
        uint16_t length = 5;
        int result = SockSendAllWithin(socket, POLL_COMMAND, &length, o.sendTimeoutMs);
        if (result != 0) {
            m_link.Lost(result == -2 ? LinkLoss::SendStalled : LinkLoss::SendFailed);
            return;
        }
        if (m_link.Wait(o.pollMs)) return;
    }
}

//-----------------------------------------------------------------------------

ConnectThread::ConnectThread(std::string address, uint16_t port, int attempt, int timeoutMs,
                             std::function<void(ConnectResult)> done)
    : m_address(std::move(address)), m_port(port), m_attempt(attempt), m_timeoutMs(timeoutMs),
      m_done(std::move(done)) {
    m_thread = std::thread(&ConnectThread::Entry, this);
}

ConnectThread::~ConnectThread() {
    m_cancel = true;
    if (m_thread.joinable()) m_thread.join();
}

void ConnectThread::Entry() {
    ConnectResult result;
    result.attempt = m_attempt;
    UniqueSocket socket(SockOpen(AF_INET, SOCK_STREAM, 0));
    if (!socket.Valid()) {
        result.cause = SockGetLastError();
    } else {
        SockAddress address;
        SockMakeAddress(&address, m_address.c_str(), m_port);
        int cause = 0;
        if (SockConnectWithin(socket.Get(), &address, m_timeoutMs, &m_cancel, &cause) == 0)
            result.socket = std::move(socket);
        else
            result.cause = cause;
    }
    if (!m_cancel) m_done(std::move(result));
    m_finished = true;
}

//-----------------------------------------------------------------------------

DisconnectThread::DisconnectThread(std::unique_ptr<Link> link) : m_link(std::move(link)) {
    m_thread = std::thread([this] {
        m_link.reset(); // ends the workers, closes the socket
        m_done = true;
    });
}

DisconnectThread::~DisconnectThread() {
    if (m_thread.joinable()) m_thread.join();
}
