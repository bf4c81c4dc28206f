// The station's thread in tests and tools without a window: tasks posted
// from any thread, run in order by RunUntil.
#pragma once

#include "station/station_listener.h"
#include "link/link.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

/// The station's thread: tasks posted from any thread, run by RunUntil.
class TestLoop : public StationExecutor {
  public:
    void Post(std::function<void()> task) override { PostAfter(0, std::move(task)); }
    void PostAfter(int ms, std::function<void()> task) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(
            {SteadyClock::now() + std::chrono::milliseconds(ms), m_sequence++, std::move(task)});
        m_wake.notify_one();
    }
    /// Runs what is due until `done` or `timeoutMs` passed; returns `done()`.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
        const SteadyTime end = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (SteadyClock::now() > end) return false;
            std::function<void()> task =
                Next(std::min(end, SteadyClock::now() + std::chrono::milliseconds(20)));
            if (task) task();
        }
        return true;
    }

  private:
    struct Task {
        SteadyTime due;
        long long sequence;
        std::function<void()> run;
    };
    /// The earliest due task, waiting for one until `until` at most.
    std::function<void()> Next(SteadyTime until) {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            auto first = m_tasks.end();
            for (auto it = m_tasks.begin(); it != m_tasks.end(); ++it)
                if (first == m_tasks.end() || it->due < first->due ||
                    (it->due == first->due && it->sequence < first->sequence))
                    first = it;
            const SteadyTime now = SteadyClock::now();
            if (first != m_tasks.end() && first->due <= now) {
                std::function<void()> run = std::move(first->run);
                m_tasks.erase(first);
                return run;
            }
            if (now >= until) return nullptr;
            m_wake.wait_until(lock, first != m_tasks.end() ? std::min(until, first->due) : until);
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Task> m_tasks;
    long long m_sequence = 0;
};
