// A clock the test sets, so readings land at exact instants: the wall clock
// and the steady time of a reading's arrival move together unless the test
// steps the wall clock alone.
#pragma once

#include "station/cycle.h"

class ManualClock : public Clock {
  public:
    /// Starts at `baseSeconds` (any fixed instant) with no microseconds.
    explicit ManualClock(int32_t baseSeconds = 1000000) : m_base(baseSeconds) { SetMs(0); }
    WallTime Now() override { return now; }
    /// Sets the time to `ms` milliseconds after the start.
    void SetMs(long long ms) {
        now.seconds = static_cast<int32_t>(m_base + ms / 1000);
        now.microseconds = static_cast<int32_t>((ms % 1000) * 1000);
        m_ms = ms;
    }
    /// The arrival time of a reading at the current instant.
    SteadyTime Steady() const { return m_steadyBase + std::chrono::milliseconds(m_ms); }
    WallTime now;

  private:
    int32_t m_base;
    long long m_ms = 0;
    SteadyTime m_steadyBase = SteadyClock::now();
};
