// The pressure alarm, watching every reading while the module is connected,
// whether a recording runs or not. An alarm begins with the first reading
// above the threshold and ends with the first at or below it; it stays
// latched until the operator acknowledges it, and sounds every 2 s until
// then. Each alarm is kept with its start, peak, end and acknowledgement, so
// a recording carries the alarms of its time. No window here; time is given.
#pragma once

#include "station/cycle.h"
#include "records/recording.h"

#include <string>
#include <vector>

class AlarmWatch {
  public:
    struct Step {
        bool sound = false;   ///< play the alarm sound now
        bool changed = false; ///< an alarm began or ended
    };

    /// One reading of `bar` against `threshold` (0: no alarm) arriving at
    /// `arrival`; `wallSeconds` for the dates kept; `recordingSeconds` the
    /// reading's time in the running recording, negative outside one.
    Step OnReading(int bar, int threshold, SteadyTime arrival, int64_t wallSeconds,
                   double recordingSeconds);
    /// Acknowledges every alarm not yet acknowledged; false when there was none.
    bool Acknowledge(int64_t wallSeconds, const std::string& who);

    /// An alarm not yet acknowledged.
    bool Latched() const;
    /// The pressure is above the threshold now.
    bool Above() const { return m_active >= 0; }
    /// The newest alarm, or null before any.
    const AlarmRecord* Last() const { return m_alarms.empty() ? nullptr : &m_alarms.back(); }

    /// Marks the start of a recording: alarms from here on, and the one
    /// going on now, belong to it.
    void BeginRecording();
    /// The alarms of the recording begun last, as they stand.
    std::vector<AlarmRecord> RecordingAlarms() const;

  private:
    static constexpr size_t kKept = 100;
    std::vector<AlarmRecord> m_alarms;
    int m_active = -1; ///< index of the alarm going on, or -1
    bool m_soundedOnce = false;
    SteadyTime m_lastSound;
};
