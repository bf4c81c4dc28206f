// The recording cycle without any window: arming, the start at the first
// reading above 4 bar, the alarm, the force conversion, the record length and
// the view to fit. The panel feeds it decoded readings on the GUI thread and
// applies the effects it returns to its controls, curve and plot.
#pragma once

#include "link/link.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

/// A wall-clock reading: whole seconds and microseconds.
struct WallTime {
    int64_t seconds = 0;
    int32_t microseconds = 0;
};

/// Whole milliseconds from `from` to `to`, truncated toward zero.
long long ElapsedMs(const WallTime& from, const WallTime& to);

/// The wall clock, for the dates and times shown and written only; sample
/// times come from each reading's steady arrival time. Tests replace it.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual WallTime Now() = 0;
};

class SystemClock : public Clock {
  public:
    WallTime Now() override;
};

/// What was set at Start: the cycle never reads the operator's fields.
struct CycleInputs {
    int recordLengthSeconds = 0;
    double surface = 0; ///< cm² of the press chosen at Start
    /// The recording ends by itself once the pressure has stayed at or below
    /// 4 bar for 2 s after its peak.
    bool endWhenReleased = true;
    int pollMs = 75; ///< the link's poll period: a module sends one reading a poll
};

/// How long the pressure stays released before a recording ends by itself.
constexpr int kReleasedEndMs = 2000;
/// A module that floods the link: more readings than this in one poll
/// period, sustained for a second, or more samples than a recording can
/// hold, ends the recording INCOMPLETE (a 999-s recording is 13 000 samples).
constexpr int kFloodReadingsPerPoll = 50;
constexpr std::size_t kMaxSamples = 200000;
/// A reading beyond this is no pressure a press can hold: garbage, never a
/// sample. The largest piston surface a press has, likewise.
constexpr int kMaxPlausibleBar = 2000;
constexpr double kMaxSurfaceCm2 = 100000;

/// What one reading asks the panel to do, in this order.
struct ReadingEffects {
    bool recordingStarted = false; ///< start the countdown, enable Print Report
    bool recordEnd = false;        ///< queue the record-end event, stop the countdown
    bool appended = false;         ///< hand the new samples to the curve and fit the view
    double fitXMax = 0, fitYMax = 0;
};

/// How a recording ended.
enum class RecordEnd {
    None,            ///< still running, or never started
    Completed,       ///< its record length was reached
    Released,        ///< it ended by itself: the pressure was released after its peak
    Operator,        ///< Stop pressed before the record length
    Disconnected,    ///< the operator closed the link
    ModuleLost,      ///< the link failed
    ReadingsStopped, ///< the module stopped sending readings
    ProgramClosed,
    Flooded, ///< the module sent far more readings than it was asked for
};

class RecordingCycle {
  public:
    explicit RecordingCycle(Clock& clock);

    /// The per-reading step for a complete reading of `bar` whose last byte
    /// arrived at `arrival` (steady clock).
    ReadingEffects OnReading(int bar, SteadyTime arrival, const CycleInputs& inputs);

    /// Start: the cycle waits for pressure.
    void Arm();
    /// Stop or record end: disarms and tells whether a recording was running.
    /// The recording flag is cleared at once, so a second record-end event
    /// handled while the first one's question is open finds nothing to end.
    /// A recording that had reached its length counts as completed, whatever
    /// `why` says; one that had ended by itself as released; Stop pressed
    /// once the pressure had come down after the peak (to 4 bar, or to a
    /// tenth of the peak's pressure) is not an incomplete recording either.
    bool Disarm(RecordEnd why = RecordEnd::Operator);

    /// How the last recording ended, and "module lost at 12.4 s" style text
    /// for one that ended before its length ("" when completed or running).
    RecordEnd EndReason() const { return m_end; }
    std::string IncompleteText() const;
    /// "pressure released at 31.2 s" for one that ended by itself or was
    /// stopped after the release, "" otherwise.
    std::string EndText() const;
    /// "started at 380 bar: the rise is not on the curve" for a recording
    /// whose first sample did not follow a reading at or below 4 bar within
    /// a second: Start pressed during a stroke, or readings that resumed on a
    /// new link with the press already under pressure. "" otherwise.
    std::string StartNote() const;
    /// The pressure of the first sample when it started without the press
    /// at rest before it; 0 otherwise.
    int StartBar() const { return m_times.empty() ? 0 : m_startBar; }
    /// Whole seconds until the running recording ends by itself at `now`:
    /// at its length, or sooner two seconds after the pressure was let go
    /// (when it ends so); -1 when none runs.
    int SecondsLeft(SteadyTime now, const CycleInputs& inputs) const;
    /// Seconds of the last sample, 0 without samples.
    double LastTime() const { return m_times.empty() ? 0 : m_times.back(); }

    /// Generation of the current cycle; record-end events carry it so that a
    /// late one never ends a later cycle.
    int Generation() const { return m_generation; }

    bool m_armed = false;
    bool m_recording = false;
    bool m_lengthReached = false; ///< later readings of this recording are not samples
    bool m_releasedEnd = false;   ///< ended by itself: the pressure was released
    SteadyTime m_recordStart;     ///< arrival of the first sample
    WallTime m_recordStartWall;   ///< the same instant on the wall clock, for dates
    SteadyTime m_lastSampleArrival;
    std::vector<double> m_times;  ///< seconds since the first recorded reading
    std::vector<double> m_forces; ///< tons
    std::vector<int> m_pressures; ///< bar
    double m_maxForce = 0;

    /// Replaces the clock (tests place readings at exact instants).
    void SetClock(Clock& clock) { m_clock = &clock; }

  private:
    Clock* m_clock;
    int m_generation = 0;
    bool m_previousLow = false; ///< the last reading was at or below 4 bar
    SteadyTime m_previousArrival;
    int m_startBar = 0;      ///< pressure of the first sample when it started high
    int m_peakBar = 0;       ///< the running recording's highest pressure
    bool m_released = false; ///< the last sample was down from the peak
    bool m_lowRun = false;   ///< the readings since m_lowSince were all at or below 4 bar
    SteadyTime m_lowSince;
    RecordEnd m_end = RecordEnd::None;
    bool m_flooded = false;
    SteadyTime m_floodSince; ///< the second whose samples m_floodCount counts
    int m_floodCount = 0;
};

/// The view's right end for a curve that ends at `lastSeconds`: the record
/// length while a recording of `lengthSeconds` runs, so its curve grows
/// across the width; for a recording that has ended (`lengthSeconds` 0), the
/// curve's end, up to the next whole second.
inline double FitSeconds(double lastSeconds, int lengthSeconds = 0) {
    if (lengthSeconds > 0) return std::max<double>(lengthSeconds, lastSeconds);
    return std::max(1.0, std::ceil(lastSeconds - 1e-9));
}

/// Force in tons of `bar` on a piston of `surface` cm².
inline double ForceTons(int bar, double surface) {
    return bar * surface / 100 * 0.102;
}
