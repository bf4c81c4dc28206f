#include "recorder/cycle.h"

#include "shell/settings.h"

#include <chrono>

long long ElapsedMs(const WallTime& from, const WallTime& to) {
    long long us = (static_cast<long long>(to.seconds) - from.seconds) * 1000000LL +
                   (static_cast<long long>(to.microseconds) - from.microseconds);
    return us / 1000;
}

WallTime SystemClock::Now() {
    using namespace std::chrono;
    auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    WallTime t;
    t.seconds = static_cast<int32_t>(us / 1000000);
    t.microseconds = static_cast<int32_t>(us % 1000000);
    return t;
}

RecordingCycle::RecordingCycle(Clock& clock) : m_clock(&clock) {
    m_lastAlarm = m_clock->Now();
}

ReadingEffects RecordingCycle::OnReading(int bar, const CycleInputs& inputs) {
    ReadingEffects fx;
    if (bar > 4 && !m_recording) {
        if (!m_armed) return fx;
        m_times.clear();
        m_forces.clear();
        m_maxForce = 0;
        m_recording = true;
        m_recordStart = m_clock->Now();
        fx.recordingStarted = true;
    }
    if (bar <= 4 && !m_recording) return fx;
    if (!m_armed) return fx;

    if (!inputs.alarmThreshold.empty()) {
        int threshold = LeadingInt(inputs.alarmThreshold);
        if (threshold > 0 && bar > threshold) {
            WallTime check = m_clock->Now();
            if (ElapsedMs(m_lastAlarm, check) > 2000) {
                m_lastAlarm = m_clock->Now();
                fx.playAlarm = true;
            }
        }
    }

    long long elapsed = ElapsedMs(m_recordStart, m_clock->Now());
    long long length = LeadingInt(inputs.recordLength);
    if (elapsed >= length * 1000) fx.recordEnd = true;

    double t = elapsed / 1000.0;
    m_times.push_back(t);
    double force = ForceTons(bar, inputs.surface);
    m_forces.push_back(force);
    if (force > m_maxForce) m_maxForce = force;

    fx.appended = true;
    fx.fitXMax = t > 90 ? t + 10 : 90;
    fx.fitYMax = m_maxForce + m_maxForce * 20 / 100;
    return fx;
}

void RecordingCycle::Arm() {
    m_armed = true;
    ++m_generation;
}

bool RecordingCycle::Disarm() {
    m_armed = false;
    bool wasRecording = m_recording;
    m_recording = false;
    return wasRecording;
}
