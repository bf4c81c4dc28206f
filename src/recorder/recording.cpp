#include "recorder/recording.h"

const char* const kProgramVersion = "1.0.8";

RecordingResults Recording::Results() const {
    return Summarise(times, forces, pressures);
}

Judgement Recording::Judged() const {
    return Judge(Results(), setup.hasLimits ? &setup.limits : nullptr, incomplete);
}

namespace {

bool Digits(const std::wstring& text, long& value) {
    if (text.empty() || text.size() > 6) return false;
    value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    return true;
}

} // namespace

bool ParseRecordLength(const std::wstring& text, int& seconds, std::string* why) {
    long value = 0;
    if (!Digits(text, value) || value < 1 || value > 999) {
        if (why) *why = "The record length must be a whole number of seconds from 1 to 999.";
        return false;
    }
    seconds = static_cast<int>(value);
    return true;
}

bool ParseAlarmThreshold(const std::wstring& text, int& bar, std::string* why) {
    long value = 0;
    if (text.empty()) {
        bar = 0;
        return true;
    }
    if (!Digits(text, value) || value > 999) {
        if (why)
            *why = "The alarm threshold must be a whole number of bar from 0 to 999 (0 or "
                   "empty: no alarm).";
        return false;
    }
    bar = static_cast<int>(value);
    return true;
}
