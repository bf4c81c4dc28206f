#include "records/recording.h"

#include "records/integrity.h"

#include <sodium.h>

#include <cmath>
#include <cstdio>

const char* const kProgramVersion = "1.0.8";

RecordingResults Recording::Results() const {
    return Summarise(times, forces, pressures);
}

Judgement Recording::Judged() const {
    // Recordings signed before the rise was judged keep their verdict: a
    // start under pressure was a note on their page.
    const bool riseJudged = setup.judging >= 2;
    const CurveView curve = ViewOf(times, forces, &pressures);
    const std::string note = riseJudged ? startNote : std::string();
    if (setup.program) return JudgeCurve(*setup.program, curve, incomplete, note, riseJudged);
    if (!setup.hasLimits) return Judgement();
    return JudgeCurve(LimitsProgram(setup.limits), curve, incomplete, note, riseJudged);
}

Judgement Recording::JudgedBy(const Program& program) const {
    return JudgeCurve(program, ViewOf(times, forces, &pressures), incomplete, startNote);
}

bool PeakLimitsOf(const Program* program, const ForceLimits* limits, ForceLimits& out) {
    if (program == nullptr) {
        if (limits) out = *limits;
        return limits != nullptr;
    }
    for (const Criterion& c : program->criteria)
        if (c.kind == CriterionKind::Peak) {
            out = {c.minTons, c.maxTons};
            return true;
        }
    return false;
}

Program LimitsProgram(const ForceLimits& limits) {
    Program p;
    p.name = "press limits";
    Criterion peak;
    peak.kind = CriterionKind::Peak;
    peak.minTons = limits.lowerTons;
    peak.maxTons = limits.upperTons;
    p.criteria.push_back(peak);
    return p;
}

namespace {

std::string Tons(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f t", decimals, value);
    return text;
}

/// One decimal, or as many as the value has at 0.0001 t.
std::string LimitTons(double value) {
    for (int d = 1; d < 4; ++d)
        if (std::fabs(std::stod(Tons(value, d)) - value) < 0.00005) return Tons(value, d);
    return Tons(value, 4);
}

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

std::string ResultText(const Judgement& judgement) {
    switch (judgement.verdict) {
    case Verdict::None:
        return "";
    case Verdict::Pass:
        return "Result: PASS";
    case Verdict::Fail:
        return "Result: FAIL (" + judgement.reason + ")";
    case Verdict::Incomplete:
        break;
    }
    return "Result: INCOMPLETE (" + judgement.reason + ")";
}

std::string LimitsText(const ForceLimits& limits) {
    return LimitTons(limits.lowerTons) + " \xE2\x80\xA6 " + LimitTons(limits.upperTons);
}

bool ValidLimits(const ForceLimits& limits, std::string* why) {
    const bool valid = std::isfinite(limits.lowerTons) && std::isfinite(limits.upperTons) &&
                       limits.lowerTons > 0 && limits.lowerTons <= limits.upperTons &&
                       limits.upperTons <= kMaxLimitTons;
    if (!valid && why)
        *why = "The limits must be numbers of tons with 0 < lower \xE2\x89\xA4 upper \xE2\x89\xA4 "
               "10000.";
    return valid;
}

RecordingResults Summarise(const std::vector<double>& times, const std::vector<double>& forces,
                           const std::vector<int>& pressures) {
    RecordingResults r;
    const size_t n = std::min(times.size(), forces.size());
    for (size_t i = 0; i < n; ++i)
        if (!r.any || forces[i] > r.peakForceTons) {
            r.any = true;
            r.peakForceTons = forces[i];
            r.peakTimeSeconds = times[i]; // the first time the peak was reached
        }
    for (size_t i = 0; i < pressures.size(); ++i)
        r.peakBar = i == 0 ? pressures[i] : std::max(r.peakBar, pressures[i]);
    return r;
}

std::string NewRecordingId() {
    // All 122 random bits from the system's random source, not from a
    // generator seeded with 64 of them.
    InitIntegrity();
    uint64_t high = 0, low = 0;
    randombytes_buf(&high, sizeof high);
    randombytes_buf(&low, sizeof low);
    high = (high & ~0xF000ULL) | 0x4000ULL;     // version 4
    low = (low & ~(3ULL << 62)) | (2ULL << 62); // variant 1
    char text[40];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(high),
                  static_cast<unsigned long long>(low));
    return text;
}

std::string PackAlarms(const std::vector<AlarmRecord>& alarms) {
    std::string text;
    char line[160];
    for (const AlarmRecord& a : alarms) {
        // Whole milliseconds, so no locale's decimal mark is involved.
        std::snprintf(line, sizeof line, "%d %lld %lld %d %lld %lld %lld ", a.thresholdBar,
                      static_cast<long long>(a.startedAt), std::llround(a.startSeconds * 1000),
                      a.peakBar, static_cast<long long>(a.endedAt),
                      std::llround(a.endSeconds * 1000), static_cast<long long>(a.acknowledgedAt));
        // The name last, as typed; a line break in it would end the line.
        std::string by = a.acknowledgedBy;
        for (char& c : by)
            if (c == '\n' || c == '\r') c = ' ';
        text += line + by + "\n";
    }
    return text;
}

bool UnpackAlarms(const std::string& text, std::vector<AlarmRecord>& alarms) {
    alarms.clear();
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) return false;
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        AlarmRecord a;
        long long started = 0, ended = 0, acknowledged = 0, startMs = 0, endMs = 0;
        int used = 0;
        if (std::sscanf(line.c_str(), "%d %lld %lld %d %lld %lld %lld %n", &a.thresholdBar,
                        &started, &startMs, &a.peakBar, &ended, &endMs, &acknowledged, &used) < 7)
            return false;
        a.startSeconds = startMs / 1000.0;
        a.endSeconds = endMs / 1000.0;
        a.startedAt = started;
        a.endedAt = ended;
        a.acknowledgedAt = acknowledged;
        a.acknowledgedBy = line.substr(static_cast<size_t>(used));
        alarms.push_back(a);
    }
    return true;
}
