#include "station/cycle.h"

#include "judging/judge.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

long long ElapsedMs(const WallTime& from, const WallTime& to) {
    long long us = (static_cast<long long>(to.seconds) - from.seconds) * 1000000LL +
                   (static_cast<long long>(to.microseconds) - from.microseconds);
    return us / 1000;
}

WallTime SystemClock::Now() {
    using namespace std::chrono;
    auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    WallTime t;
    t.seconds = static_cast<int64_t>(us / 1000000);
    t.microseconds = static_cast<int32_t>(us % 1000000);
    return t;
}

RecordingCycle::RecordingCycle(Clock& clock) : m_clock(&clock) {}

ReadingEffects RecordingCycle::OnReading(int bar, SteadyTime arrival, const CycleInputs& inputs) {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    ReadingEffects fx;
    // The rise is on the curve only when the reading just before the first
    // sample was low and came moments before it; after a gap (a lost module,
    // readings that stopped) nobody knows where the pressure was.
    const bool riseSeen = m_previousLow && arrival - m_previousArrival <= std::chrono::seconds(1);
    m_previousLow = bar <= 4;
    m_previousArrival = arrival;
    if (bar > 4 && !m_recording) {
        if (!m_armed) return fx;
        m_times.clear();
        m_forces.clear();
        m_pressures.clear();
        m_maxForce = 0;
        m_recording = true;
        m_lengthReached = false;
        m_releasedEnd = false;
        m_released = false;
        m_lowRun = false;
        m_peakBar = 0;
        m_end = RecordEnd::None;
        m_flooded = false;
        m_floodSince = arrival;
        m_floodCount = 0;
        m_recordStart = arrival;
        m_recordStartWall = m_clock->Now();
        m_startBar = riseSeen ? 0 : bar;
        fx.recordingStarted = true;
    }
    if (bar <= 4 && !m_recording) return fx;
    if (!m_armed || m_lengthReached) return fx;

    long long elapsed = duration_cast<milliseconds>(arrival - m_recordStart).count();
    long long length = inputs.recordLengthSeconds;
    if (elapsed >= length * 1000) {
        // This reading is the recording's last sample.
        fx.recordEnd = true;
        m_lengthReached = true;
    }
    // Counted a second at a time: a module asked once a poll that answers
    // fifty times as often sends garbage, however well formed.
    if (arrival - m_floodSince >= std::chrono::seconds(1)) {
        m_floodSince = arrival;
        m_floodCount = 0;
    }
    const int perSecond = kFloodReadingsPerPoll * 1000 / std::max(1, inputs.pollMs);
    if (++m_floodCount > perSecond || m_times.size() + 1 >= kMaxSamples) {
        fx.recordEnd = true;
        m_lengthReached = true;
        m_flooded = true;
    }
    // After its peak the press lets go: once the pressure has stayed down for
    // two seconds the stroke is over, and so is the recording.
    m_peakBar = std::max(m_peakBar, bar);
    m_released = bar <= 4 || bar * 10 <= m_peakBar;
    if (bar <= 4) {
        if (!m_lowRun) m_lowSince = arrival;
        m_lowRun = true;
        if (inputs.endWhenReleased && !m_lengthReached &&
            arrival - m_lowSince >= milliseconds(kReleasedEndMs)) {
            fx.recordEnd = true;
            m_lengthReached = true;
            m_releasedEnd = true;
        }
    } else {
        m_lowRun = false;
    }

    double t = elapsed / 1000.0;
    m_times.push_back(t);
    double force = ForceTons(bar, inputs.surface);
    m_forces.push_back(force);
    m_pressures.push_back(bar);
    m_lastSampleArrival = arrival;
    if (force > m_maxForce) m_maxForce = force;

    fx.appended = true;
    fx.fitXMax = FitSeconds(t, inputs.recordLengthSeconds);
    fx.fitYMax = m_maxForce + m_maxForce * 20 / 100;
    return fx;
}

int RecordingCycle::SecondsLeft(SteadyTime now, const CycleInputs& inputs) const {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    if (!m_recording) return -1;
    if (m_lengthReached) return 0;
    auto ceilSeconds = [](long long ms) {
        return static_cast<int>(ms <= 0 ? 0 : (ms + 999) / 1000);
    };
    const long long elapsed = duration_cast<milliseconds>(now - m_recordStart).count();
    int left = ceilSeconds(inputs.recordLengthSeconds * 1000LL - elapsed);
    if (inputs.endWhenReleased && m_lowRun)
        left = std::min(left, ceilSeconds(kReleasedEndMs -
                                          duration_cast<milliseconds>(now - m_lowSince).count()));
    return left;
}

void RecordingCycle::Arm() {
    m_armed = true;
    ++m_generation;
}

bool RecordingCycle::Disarm(RecordEnd why) {
    m_armed = false;
    bool wasRecording = m_recording;
    m_recording = false;
    if (wasRecording) {
        if (m_flooded)
            m_end = RecordEnd::Flooded;
        else if (m_releasedEnd)
            m_end = RecordEnd::Released;
        else if (m_lengthReached)
            m_end = RecordEnd::Completed;
        else if (why == RecordEnd::Operator && m_released)
            m_end = RecordEnd::Released;
        else
            m_end = why;
    }
    return wasRecording;
}

std::string RecordingCycle::IncompleteText() const {
    const char* what = nullptr;
    switch (m_end) {
    case RecordEnd::None:
    case RecordEnd::Completed:
    case RecordEnd::Released:
        return "";
    case RecordEnd::Operator:
        what = "stopped by the operator";
        break;
    case RecordEnd::Disconnected:
        what = "disconnected by the operator";
        break;
    case RecordEnd::ModuleLost:
        what = "module lost";
        break;
    case RecordEnd::ReadingsStopped:
        what = "readings stopped";
        break;
    case RecordEnd::ProgramClosed:
        what = "program closed";
        break;
    case RecordEnd::Flooded:
        what = "module flooded the link";
        break;
    }
    char text[96];
    std::snprintf(text, sizeof text, "%s at %.1f s", what, LastTime());
    return text;
}

std::string RecordingCycle::EndText() const {
    if (m_end != RecordEnd::Released) return "";
    char text[64];
    std::snprintf(text, sizeof text, "pressure released at %.1f s", LastTime());
    return text;
}

std::string RecordingCycle::StartNote() const {
    if (m_startBar == 0 || m_times.empty()) return "";
    // Low enough, it is the rise seen late, not a rise missing.
    if (m_startBar < kStartedUnderPressureBar)
        return "started at " + std::to_string(m_startBar) +
               " bar, the press not seen at rest before it";
    return "started at " + std::to_string(m_startBar) + " bar: the rise is not on the curve";
}
