// The link to the press's pressure module, free of any window. A Link is one
// open TCP connection with its two workers: the ReadThread receives the
// module's stream, decodes every reading with the time its last byte arrived
// and queues it; the SendMessageThread sends the start-up commands, then the
// poll every 75 ms, and watches that readings keep coming. Whatever ends the
// link by itself (silence, a stalled send, the end of the stream, a failure)
// is told to the LinkListener once. A ConnectThread opens a connection; a
// DisconnectThread ends a link without blocking its caller.
#pragma once

#include "link/reading_decoder.h"
#include "link/transport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using SteadyClock = std::chrono::steady_clock;
using SteadyTime = SteadyClock::time_point;

/// The poll command: p000 and a carriage return.
extern const char POLL_COMMAND[5];

/// One decoded reading and the steady-clock time its last byte arrived.
struct Reading {
    int bar = 0;
    SteadyTime arrival;
};

/// Why a link ended without being asked to.
enum class LinkLoss {
    ReadingsStopped, ///< connected, but no complete reading for the silence limit
    SendStalled,     ///< a command could not be sent within the send limit
    StartupFailed,   ///< a start-up command could not be sent
    SendFailed,      ///< a poll could not be sent
    Closed,          ///< the module ended the stream
    ReceiveFailed,   ///< the connection failed while receiving
};
/// "no reading for 2 s", "the module closed the connection", ...
std::string LinkLossText(LinkLoss loss);

/// What the link tells its owner. Called on the link's worker threads: an
/// implementation hands each call over to its own thread.
class LinkListener {
  public:
    virtual ~LinkListener() = default;
    /// Readings wait in the link's queue. Called once until the owner has
    /// taken them (TakeReadings), so at most one wake-up is ever pending.
    virtual void OnReadingsWaiting(int linkId) = 0;
    /// The link ended by itself; called at most once per link.
    virtual void OnLinkLost(int linkId, LinkLoss loss) = 0;
};

struct LinkOptions {
    int pollMs = 75;
    int silenceMs = 2000;     ///< no complete reading this long: the module is lost
    int sendTimeoutMs = 2000; ///< a send that takes longer: the module is lost
    int startupGapMs = 10;
    /// Commands sent once after connecting, five bytes each.
    std::vector<std::string> startupCommands;
    /// Readings queued but not yet taken; beyond it the reader stops
    /// receiving until the owner catches up (TCP then holds the module back),
    /// so nothing is dropped and memory stays bounded.
    std::size_t queueLimit = 65536;
};

class Link;

class ReadThread {
  public:
    explicit ReadThread(Link& link);
    ~ReadThread();

  private:
    void Entry();
    Link& m_link;
    std::thread m_thread;
};

class SendMessageThread {
  public:
    explicit SendMessageThread(Link& link);
    ~SendMessageThread();

  private:
    void Entry();
    Link& m_link;
    std::thread m_thread;
};

class Link {
  public:
    /// Takes the connected socket; Start begins the exchange.
    Link(UniqueSocket socket, int id, LinkOptions options, LinkListener& listener);
    /// Ends the workers (see End) and closes the socket.
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    void Start();
    /// From now on nothing is queued, sent or reported; returns at once.
    void Pause();
    /// Ends both workers: asks them to stop, shuts the connection down (which
    /// releases a blocked receive or send) and waits for them. Bounded: about
    /// 100 ms at most.
    void End();

    /// Moves the queued readings into `out` (emptied first) and allows the
    /// next wake-up.
    void TakeReadings(std::vector<Reading>& out);

    int Id() const { return m_id; }
    int Socket() const { return m_socket.Get(); }
    const LinkOptions& Options() const { return m_options; }
    /// Readings decoded since the start.
    long long ReadingCount() const { return m_readingCount; }

  private:
    friend class ReadThread;
    friend class SendMessageThread;

    /// Queues readings; waits while the queue is full. False when stopping.
    bool Queue(const std::vector<int>& bars, SteadyTime arrival);
    void Lost(LinkLoss loss);
    bool Stopping() const { return m_stop; }
    /// Sleeps `ms` or until stopped; true when stopped.
    bool Wait(int ms);
    SteadyTime LastReading() const;

    UniqueSocket m_socket;
    const int m_id;
    const LinkOptions m_options;
    LinkListener& m_listener;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_lost{false};
    std::atomic<long long> m_lastReadingNs{0};
    std::atomic<long long> m_readingCount{0};

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<Reading> m_queue;
    bool m_wakePending = false;

    std::unique_ptr<ReadThread> m_reader;
    std::unique_ptr<SendMessageThread> m_sender;
};

/// The outcome of a connection attempt.
struct ConnectResult {
    int attempt = 0;
    UniqueSocket socket; ///< valid when connected
    int cause = 0;       ///< why it failed (see SockConnectFailureText)
};

/// One connection attempt on a thread of its own. The outcome goes to `done`
/// on that thread, unless the attempt was cancelled first.
class ConnectThread {
  public:
    ConnectThread(std::string address, uint16_t port, int attempt, int timeoutMs,
                  std::function<void(ConnectResult)> done);
    /// Cancels a running attempt (the outcome is then not reported) and waits
    /// for the thread, at most about 100 ms.
    ~ConnectThread();
    void Cancel() { m_cancel = true; }
    bool Finished() const { return m_finished; }

  private:
    void Entry();
    std::string m_address;
    uint16_t m_port;
    int m_attempt;
    int m_timeoutMs;
    std::function<void(ConnectResult)> m_done;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};

/// Ends a link on a thread of its own, so the caller never waits; `Done` tells
/// when the workers are gone and the socket is closed.
class DisconnectThread {
  public:
    explicit DisconnectThread(std::unique_ptr<Link> link);
    ~DisconnectThread();
    bool Done() const { return m_done; }

  private:
    std::unique_ptr<Link> m_link;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

/// Delay before the `attempt`-th (1, 2, ...) reconnection after a lost module:
/// 1 s, then 2 s for the next four attempts, then 4, 6, 8 and 10 s, then every
/// 10 s.
int ReconnectDelayMs(int attempt);

/// The start-up commands as they go out: the first five bytes of each
/// non-empty entry of a table of `count` entries of `size` bytes.
std::vector<std::string> StartupCommands(const char* table, int count, int size);
