// A wall clock the test sets, so readings land at exact instants.
#pragma once

#include "recorder/cycle.h"

class ManualClock : public Clock {
  public:
    /// Starts at `baseSeconds` (any fixed instant) with no microseconds.
    explicit ManualClock(int32_t baseSeconds = 1000000) : m_base(baseSeconds) { SetMs(0); }
    WallTime Now() override { return now; }
    /// Sets the time to `ms` milliseconds after the start.
    void SetMs(long long ms) {
        now.seconds = static_cast<int32_t>(m_base + ms / 1000);
        now.microseconds = static_cast<int32_t>((ms % 1000) * 1000);
    }
    WallTime now;

  private:
    int32_t m_base;
};
