// Asks the plant server on a thread of its own, so a window never waits on a
// server that is slow or away. Questions are answered in the order asked;
// each is handed the server (connected at the first question, and again
// after a question failed) or, when there is none, the reason in words.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class PlantServer;

class PlantQueries {
  public:
    /// Runs on the queries' thread with the server, or null and why there is
    /// none; returns false when the server failed it (a new connection is made
    /// for the next question).
    using Question = std::function<bool(PlantServer* server, const std::string& unreachable)>;

    explicit PlantQueries(std::string connection);
    /// Gives up the question under way (within a tenth of a second) and
    /// drops the others.
    ~PlantQueries();
    PlantQueries(const PlantQueries&) = delete;
    PlantQueries& operator=(const PlantQueries&) = delete;

    /// Queues a question; one of a `kind` ("search") takes the place of an
    /// earlier one of that kind still waiting, whose answer is no longer
    /// wanted.
    void Ask(Question question, const std::string& kind = "");

  private:
    void Run();
    const std::string m_connection;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<std::string, Question>> m_questions;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
