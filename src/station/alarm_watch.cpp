#include "station/alarm_watch.h"

AlarmWatch::Step AlarmWatch::OnReading(int bar, int threshold, SteadyTime arrival,
                                       int64_t wallSeconds, double recordingSeconds) {
    Step step;
    const bool above = threshold > 0 && bar > threshold;
    if (above && m_active < 0) {
        AlarmRecord alarm;
        alarm.thresholdBar = threshold;
        alarm.startedAt = wallSeconds;
        alarm.startSeconds = recordingSeconds;
        alarm.peakBar = bar;
        // Between recordings only the newest are kept: the program may run
        // for weeks.
        if (m_alarms.size() >= kKept) m_alarms.erase(m_alarms.begin());
        m_alarms.push_back(alarm);
        m_active = static_cast<int>(m_alarms.size()) - 1;
        step.changed = true;
    } else if (above) {
        AlarmRecord& alarm = m_alarms[static_cast<size_t>(m_active)];
        if (bar > alarm.peakBar) alarm.peakBar = bar;
        if (alarm.startSeconds < 0 && recordingSeconds >= 0) alarm.startSeconds = recordingSeconds;
    } else if (m_active >= 0) {
        AlarmRecord& alarm = m_alarms[static_cast<size_t>(m_active)];
        alarm.endedAt = wallSeconds;
        alarm.endSeconds = recordingSeconds;
        m_active = -1;
        step.changed = true;
    }
    // Sounding while above, and after it until acknowledged; every 2 s.
    if (Latched() && (!m_soundedOnce || arrival - m_lastSound > std::chrono::milliseconds(2000))) {
        m_lastSound = arrival;
        m_soundedOnce = true;
        step.sound = true;
    }
    return step;
}

bool AlarmWatch::Acknowledge(int64_t wallSeconds, const std::string& who) {
    bool any = false;
    for (AlarmRecord& alarm : m_alarms)
        if (alarm.acknowledgedAt == 0) {
            alarm.acknowledgedAt = wallSeconds;
            alarm.acknowledgedBy = who;
            any = true;
        }
    return any;
}

bool AlarmWatch::Latched() const {
    return !m_alarms.empty() && m_alarms.back().acknowledgedAt == 0;
}

std::vector<AlarmRecord> AlarmWatch::RecordingAlarms() const {
    // Those seen during a recording: begun in it, or going on when it began.
    std::vector<AlarmRecord> alarms;
    for (const AlarmRecord& alarm : m_alarms)
        if (alarm.startSeconds >= 0) alarms.push_back(alarm);
    return alarms;
}

void AlarmWatch::BeginRecording() {
    // The alarms of earlier recordings are theirs; one going on now is this
    // recording's too.
    const size_t keep = m_active >= 0 ? static_cast<size_t>(m_active) : m_alarms.size();
    for (size_t i = 0; i < keep; ++i)
        m_alarms[i].startSeconds = -1;
}
