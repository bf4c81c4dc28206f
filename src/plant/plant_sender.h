// Sends the record store's outbox to the plant server on a thread of its own,
// and the seals of the store's audit trail and printed pages after it, so the
// server holds the PC's chains as they were when they arrived.
// A recording leaves the outbox only once the server has confirmed it, or has
// refused it as a conflict, or when its seal in the store fails (it is then
// never sent; the audit trail keeps why); while
// the server cannot be reached the sender waits longer after each failure, up
// to a minute, and says how many recordings wait and why. Sending again after
// a lost confirmation is harmless: the server keeps one row per recording.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// What the sender tells after each step.
struct PlantSendStatus {
    int64_t waiting = 0; ///< recordings in the outbox
    int64_t sent = 0;    ///< confirmed by the server since the sender started
    int64_t sealed = 0;  ///< seals of trail entries and pages confirmed since then
    std::string problem; ///< the last failure in words; "" once a send went through
    /// Recordings taken out of the outbox unsent: refused by the server (a
    /// conflict), or changed in the store after they were sealed.
    int64_t refused = 0;
    std::string lastRefused; ///< why the last of them was taken out, or ""
    /// Conflicts the server noted for this PC's recordings, in words.
    std::vector<std::string> conflicts;
    /// What the link to the server lacks ("not encrypted (sslmode=disable)");
    /// "" for TLS with the server verified, or before a connection.
    std::string link;
};

struct PlantSenderTiming {
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::milliseconds longestRetry{60000};
    /// A server that takes longer to confirm a recording is given up.
    std::chrono::milliseconds answerTimeout{30000};
};

/// The wait after `failures` failures in a row: the first retry's wait,
/// doubled after each further failure, never longer than the longest.
std::chrono::milliseconds RetryDelay(int failures, const PlantSenderTiming& timing);

/// "3 recordings waiting for the plant server: <problem>", and what the
/// link lacks; "" when none waits, nothing failed and the link is verified.
std::string WaitingText(const PlantSendStatus& status);

class PlantSender {
  public:
    /// Called on the sender's thread.
    using Report = std::function<void(const PlantSendStatus&)>;

    /// Starts sending the outbox of the store at `storePath` to the server
    /// named by the libpq connection string `connection`.
    PlantSender(std::string storePath, std::string connection, Report report,
                PlantSenderTiming timing = {});
    /// Stops without waiting for the server (a connection or a send under
    /// way is given up within a tenth of a second): a send cut short leaves
    /// its recording in the outbox for the next start.
    ~PlantSender();
    PlantSender(const PlantSender&) = delete;
    PlantSender& operator=(const PlantSender&) = delete;

    /// A recording was added to the outbox: send it now, unless the sender is
    /// waiting after a failure.
    void Nudge();
    PlantSendStatus Status() const;

  private:
    void Run();
    /// Waits `delay`, or until stopped (or nudged, when `nudgeable`).
    void Wait(std::chrono::milliseconds delay, bool nudgeable);
    void Publish(const PlantSendStatus& status);

    const std::string m_storePath, m_connection;
    const Report m_report;
    const PlantSenderTiming m_timing;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_stopping{false};
    bool m_nudged = false;
    PlantSendStatus m_status;
    std::thread m_thread;
};
