#include "judging/judge.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

const char* VerdictWord(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pass:
        return "PASS";
    case Verdict::Fail:
        return "FAIL";
    case Verdict::Incomplete:
        return "INCOMPLETE";
    case Verdict::None:
        break;
    }
    return "";
}

CurveView ViewOf(const std::vector<double>& times, const std::vector<double>& forces,
                 const std::vector<int>* pressures) {
    CurveView view;
    view.times = times.data();
    view.forces = forces.data();
    view.size = std::min(times.size(), forces.size());
    if (pressures != nullptr && pressures->size() >= view.size) view.pressures = pressures->data();
    return view;
}

namespace {

/// The force at the resolution it is recorded with.
double AtResolution(double tons) {
    return std::round(tons * 10000) / 10000;
}

int64_t Ms(double seconds) {
    return std::llround(seconds * 1000);
}

std::string Fixed(double value, int decimals, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f%s%s", decimals, value, *unit ? " " : "", unit);
    return text;
}

/// Both figures with the fewest decimals, one to `most`, that show them as
/// they differ: never "3.0 s, required 3.0 s" for 2.999 s.
std::pair<std::string, std::string> Told(double value, double limit, const char* unit,
                                         int most = 4) {
    int d = 1;
    while (d < most && Fixed(value, d, "") == Fixed(limit, d, "") && value != limit)
        ++d;
    return {Fixed(value, d, unit), Fixed(limit, d, unit)};
}

std::string One(double value, const char* unit) {
    return Fixed(value, 1, unit);
}

size_t RiseIndex(const CurveView& c) {
    if (c.pressures == nullptr) return 0;
    for (size_t i = 0; i < c.size; ++i)
        if (c.pressures[i] > kRestingBar) return i;
    return 0;
}

/// The curve as the criteria see it: forces at their resolution, times in
/// milliseconds from the start of the rise.
struct Samples {
    std::vector<int64_t> ms;
    std::vector<double> tons;
    size_t rise = 0; ///< index of the first reading of the rise
    size_t peak = 0; ///< index of the first reading at the highest force
    double peakTons = 0;
};

Samples Prepare(const CurveView& c) {
    Samples s;
    s.rise = RiseIndex(c);
    s.ms.resize(c.size);
    s.tons.resize(c.size);
    const int64_t zero = c.size ? Ms(c.times[s.rise]) : 0;
    for (size_t i = 0; i < c.size; ++i) {
        s.ms[i] = Ms(c.times[i]) - zero;
        s.tons[i] = AtResolution(c.forces[i]);
        if (s.tons[i] > s.peakTons || i == 0) {
            s.peakTons = s.tons[i];
            s.peak = i;
        }
    }
    return s;
}

double Seconds(int64_t ms) {
    return ms / 1000.0;
}

/// Where a reading at `t` ms meets an envelope: the two points around it
/// (`k` moves forward along the points as the readings do) and the band
/// between them, straight, at the forces' resolution.
struct BandAt {
    size_t a = 0, b = 0;
    double lower = 0, upper = 0;
};
BandAt Band(const std::vector<EnvelopePoint>& e, size_t& k, int64_t t) {
    while (k + 1 < e.size() && Ms(e[k + 1].seconds) < t)
        ++k;
    BandAt band;
    band.a = k;
    band.b = std::min(k + 1, e.size() - 1);
    const EnvelopePoint &a = e[band.a], &b = e[band.b];
    const double span = Ms(b.seconds) - Ms(a.seconds);
    const double w = span > 0 ? std::clamp((t - Ms(a.seconds)) / span, 0.0, 1.0) : 0.0;
    band.lower = AtResolution(a.lowerTons + w * (b.lowerTons - a.lowerTons));
    band.upper = AtResolution(a.upperTons + w * (b.upperTons - a.upperTons));
    return band;
}

CriterionResult Peak(const Criterion& c, const Samples& s) {
    CriterionResult r;
    r.measured = s.peakTons;
    const double lower = AtResolution(c.minTons), upper = AtResolution(c.maxTons);
    if (s.tons.empty()) {
        r.settled = false;
        r.text = r.brief = "nothing recorded";
        return r;
    }
    if (s.peakTons > upper) {
        const auto [v, l] = Told(s.peakTons, upper, "t");
        r.text = r.brief = "peak " + v + " above " + l;
    } else if (s.peakTons < lower) {
        const auto [v, l] = Told(s.peakTons, lower, "t");
        r.text = r.brief = "peak " + v + " below " + l;
        r.settled = false;
    } else {
        r.ok = true;
        r.text = "peak " + One(s.peakTons, "t") + ", required " + One(lower, "t") +
                 " \xE2\x80\xA6 " + One(upper, "t");
        r.brief = "peak " + One(s.peakTons, "t");
    }
    return r;
}

CriterionResult Hold(const Criterion& c, const Samples& s) {
    CriterionResult r;
    const double above = AtResolution(c.aboveTons);
    const int64_t need = Ms(c.minSeconds);
    const std::string at = " at \xE2\x89\xA5 " + One(above, "t");
    int64_t longest = -1;
    size_t first = 0, found = s.tons.size();
    // Every stretch of readings at or above the force without a break.
    for (size_t i = 0; i < s.tons.size();) {
        if (s.tons[i] < above) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j + 1 < s.tons.size() && s.tons[j + 1] >= above)
            ++j;
        const int64_t length = s.ms[j] - s.ms[i];
        if (length > longest) longest = length;
        if (length >= need && found == s.tons.size()) {
            found = j;
            first = i;
        }
        i = j + 1;
    }
    if (found == s.tons.size()) {
        r.settled = false;
        r.measured = std::max<int64_t>(longest, 0) / 1000.0;
        const auto [v, l] = Told(r.measured, Seconds(need), "s", 3);
        r.text = longest < 0 ? "no hold" + at + ", required \xE2\x89\xA5 " + l
                             : "hold " + v + at + ", required \xE2\x89\xA5 " + l;
        r.brief = longest < 0 ? "no hold" + at : "hold " + v + " of " + l;
        return r;
    }
    r.measured = Seconds(s.ms[found] - s.ms[first]);
    const std::string held = "hold " + Told(r.measured, Seconds(need), "s", 3).first + at;
    if (c.maxDecayPct < 0) {
        r.ok = true;
        r.text = held + ", required \xE2\x89\xA5 " + Told(r.measured, Seconds(need), "s", 3).second;
        r.brief = held;
        return r;
    }
    // The decay over the first min_s seconds of the stretch: from the
    // highest force within them to the force at their end.
    const int64_t end = s.ms[first] + need;
    double highest = 0, last = 0;
    for (size_t i = first; i <= found && s.ms[i] <= end; ++i) {
        highest = std::max(highest, s.tons[i]);
        last = s.tons[i];
    }
    const double fall = highest - last;
    const double pct = highest > 0 ? fall * 100 / highest : 0;
    r.ok = fall * 100 <= c.maxDecayPct * highest * (1 + 1e-12);
    const auto [v, l] = Told(pct, c.maxDecayPct, "%", 3);
    const std::string in = " in " + Told(Seconds(need), Seconds(need), "s", 3).first;
    r.text = held + ", decay " + v + in + "; required \xE2\x89\xA5 " +
             Told(r.measured, Seconds(need), "s", 3).second + ", decay \xE2\x89\xA4 " + l;
    r.brief = r.ok ? held : "hold decays " + v + " of " + l;
    r.measured = pct;
    return r;
}

CriterionResult Drop(const Criterion& c, const Samples& s) {
    CriterionResult r;
    double highest = 0, worst = 0;
    int64_t when = 0;
    for (size_t i = s.rise; i <= s.peak && i < s.tons.size(); ++i) {
        highest = std::max(highest, s.tons[i]);
        if (highest - s.tons[i] > worst) {
            worst = highest - s.tons[i];
            when = s.ms[i];
        }
    }
    const double pct = s.peakTons > 0 ? worst * 100 / s.peakTons : 0;
    r.measured = pct;
    r.ok = worst * 100 <= c.maxPct * s.peakTons * (1 + 1e-12);
    const auto [v, l] = Told(pct, c.maxPct, "%", 3);
    if (r.ok) {
        r.text = "largest drop before the peak " + Fixed(worst, 1, "t") + " (" + v +
                 " of the peak), required \xE2\x89\xA4 " + l;
        r.brief = "drop " + v;
    } else {
        r.text = "drop " + Fixed(worst, 1, "t") + " (" + v + " of the peak) at " +
                 One(Seconds(when), "s") + ", required \xE2\x89\xA4 " + l;
        r.brief = "drop " + v + " of " + l;
    }
    return r;
}

CriterionResult Window(const Criterion& c, const Samples& s) {
    CriterionResult r;
    const int64_t from = Ms(c.fromSeconds), to = Ms(c.toSeconds);
    const double lower = AtResolution(c.minTons), upper = AtResolution(c.maxTons);
    const std::string span =
        Fixed(c.fromSeconds, 1, "") + "\xE2\x80\x93" + Fixed(c.toSeconds, 1, "s");
    double low = std::numeric_limits<double>::max(), high = -low;
    int64_t lowAt = 0, highAt = 0;
    bool any = false;
    for (size_t i = s.rise; i < s.tons.size(); ++i) {
        if (s.ms[i] < from || s.ms[i] > to) continue;
        any = true;
        if (s.tons[i] < low) low = s.tons[i], lowAt = s.ms[i];
        if (s.tons[i] > high) high = s.tons[i], highAt = s.ms[i];
    }
    if (!any) {
        r.settled = false;
        r.text = r.brief = "no reading in " + span;
        return r;
    }
    r.measured = high;
    if (high > upper) {
        const auto [v, l] = Told(high, upper, "t");
        r.text = span + ": " + v + " above " + l + " at " + One(Seconds(highAt), "s");
        r.brief = span + ": " + v + " above " + l;
    } else if (low < lower) {
        r.measured = low;
        const auto [v, l] = Told(low, lower, "t");
        r.text = span + ": " + v + " below " + l + " at " + One(Seconds(lowAt), "s");
        r.brief = span + ": " + v + " below " + l;
    } else {
        r.ok = true;
        r.text = span + ": " + One(low, "t") + " \xE2\x80\xA6 " + One(high, "t") + ", required " +
                 One(lower, "t") + " \xE2\x80\xA6 " + One(upper, "t");
        r.brief = span + " inside";
    }
    return r;
}

CriterionResult Envelope(const Criterion& c, const Samples& s) {
    CriterionResult r;
    const std::vector<EnvelopePoint>& e = c.envelope;
    if (e.empty()) {
        r.text = r.brief = "envelope not taught";
        return r;
    }
    const int64_t first = Ms(e.front().seconds), last = Ms(e.back().seconds);
    double worst = -std::numeric_limits<double>::max();
    int64_t worstAt = 0;
    bool above = false;
    size_t k = 0;
    for (size_t i = s.rise; i < s.tons.size(); ++i) {
        const int64_t t = s.ms[i];
        if (t < first || t > last) continue;
        const BandAt band = Band(e, k, t);
        const double over = s.tons[i] - band.upper, under = band.lower - s.tons[i];
        if (over > worst) worst = over, worstAt = t, above = true;
        if (under > worst) worst = under, worstAt = t, above = false;
    }
    const std::string from =
        c.taughtFrom.empty() ? ""
                             : " taught from " + std::to_string(c.taughtFrom.size()) + " curves";
    if (worst == -std::numeric_limits<double>::max()) {
        r.settled = false;
        r.text = r.brief = "no reading within the envelope's time";
        return r;
    }
    r.measured = std::max(worst, 0.0);
    if (worst > 1e-9) {
        r.text = "envelope" + from + ": " + Fixed(worst, worst < 0.1 ? 4 : 1, "t") +
                 (above ? " above" : " below") + " at " + One(Seconds(worstAt), "s");
        r.brief = "envelope: " + Fixed(worst, worst < 0.1 ? 4 : 1, "t") +
                  (above ? " above" : " below") + " at " + One(Seconds(worstAt), "s");
    } else {
        r.ok = true;
        r.text = "inside the envelope" + from + ", closest " + Fixed(-worst, 1, "t");
        r.brief = "inside the envelope";
    }
    return r;
}

} // namespace

double RiseStart(const CurveView& curve) {
    if (curve.size == 0) return 0;
    return curve.times[RiseIndex(curve)] - curve.times[0];
}

CurveJudgement JudgeCurve(const Program& program, const CurveView& curve,
                          const std::string& incomplete, const std::string& startNote,
                          bool riseJudged) {
    CurveJudgement j;
    if (program.criteria.empty()) return j;
    const Samples s = Prepare(curve);
    for (const Criterion& c : program.criteria) {
        switch (c.kind) {
        case CriterionKind::Peak:
            j.criteria.push_back(Peak(c, s));
            break;
        case CriterionKind::Hold:
            j.criteria.push_back(Hold(c, s));
            break;
        case CriterionKind::Drop:
            j.criteria.push_back(Drop(c, s));
            break;
        case CriterionKind::Window:
            j.criteria.push_back(Window(c, s));
            break;
        case CriterionKind::Envelope:
            j.criteria.push_back(Envelope(c, s));
            break;
        }
        j.criteria.back().kind = c.kind;
    }
    // Why the curve is not the whole mounting, if it is not.
    std::string cut;
    if (s.tons.empty())
        cut = "nothing recorded";
    else if (!incomplete.empty())
        cut = "recording incomplete: " + incomplete;
    else if (riseJudged && !startNote.empty() && curve.pressures != nullptr &&
             curve.pressures[0] >= kStartedUnderPressureBar)
        cut = startNote;
    else if (riseJudged && s.peakTons > 0 && s.tons.front() >= kRiseMissingShare * s.peakTons)
        cut = "the rise is not on the curve: its first reading is " + One(s.tons.front(), "t") +
              " of a peak of " + One(s.peakTons, "t");
    const CriterionResult* failed = nullptr;
    for (const CriterionResult& r : j.criteria)
        if (!r.ok && (r.settled || cut.empty())) {
            failed = &r;
            break;
        }
    if (failed != nullptr) {
        j.verdict = Verdict::Fail;
        j.reason = failed->text;
        j.brief = failed->brief;
    } else if (!cut.empty()) {
        j.verdict = Verdict::Incomplete;
        j.reason = j.brief = cut;
    } else {
        j.verdict = Verdict::Pass;
    }
    return j;
}

bool TeachEnvelope(const std::vector<CurveView>& curves, Criterion& envelope, std::string* why) {
    if (static_cast<int>(curves.size()) < kMinTeachCurves) {
        if (why)
            *why = "an envelope is taught from at least " + std::to_string(kMinTeachCurves) +
                   " good curves; " + std::to_string(curves.size()) + " given";
        return false;
    }
    const double step = envelope.stepSeconds;
    if (!(step >= 0.001)) {
        if (why) *why = "step_s must be from 0.001 to 10";
        return false;
    }
    double shortest = std::numeric_limits<double>::max();
    for (const CurveView& c : curves)
        shortest = c.size < 2 ? 0 : std::min(shortest, c.times[c.size - 1] - c.times[RiseIndex(c)]);
    const size_t steps =
        shortest >= step ? static_cast<size_t>(std::floor(shortest / step + 1e-9)) + 1 : 0;
    if (steps < 2) {
        if (why) *why = "the shortest curve is too short for an envelope";
        return false;
    }
    // Welford's running mean and spread per step, one curve at a time.
    std::vector<double> mean(steps, 0), m2(steps, 0);
    int n = 0;
    for (const CurveView& c : curves) {
        ++n;
        const size_t rise = RiseIndex(c);
        const double zero = c.times[rise];
        size_t i = rise;
        for (size_t k = 0; k < steps; ++k) {
            const double t = zero + k * step;
            while (i + 2 < c.size && c.times[i + 1] <= t)
                ++i;
            const double t0 = c.times[i], t1 = c.times[i + 1];
            const double w = t1 > t0 ? std::clamp((t - t0) / (t1 - t0), 0.0, 1.0) : 0.0;
            const double f = c.forces[i] + w * (c.forces[i + 1] - c.forces[i]);
            const double delta = f - mean[k];
            mean[k] += delta / n;
            m2[k] += delta * (f - mean[k]);
        }
    }
    std::vector<EnvelopePoint>& e = envelope.envelope;
    e.clear();
    e.reserve(steps);
    for (size_t k = 0; k < steps; ++k) {
        const double sigma = std::sqrt(m2[k] / (n - 1));
        const double half = std::max(envelope.kSigma * sigma, envelope.minWidthTons / 2);
        e.push_back({std::round(k * step * 1000) / 1000,
                     AtResolution(std::max(0.0, mean[k] - half)), AtResolution(mean[k] + half)});
    }
    // Between its steps the band is a straight line, and a corner of the
    // curves (the end of the rise) can cut across it: the band is widened
    // where it must be for every curve it was taught from to lie inside, as
    // judging sees it. A good mounting never fails its own envelope.
    for (const CurveView& c : curves) {
        const Samples s = Prepare(c);
        size_t k = 0;
        for (size_t i = s.rise; i < s.tons.size(); ++i) {
            const int64_t t = s.ms[i];
            if (t > Ms(e.back().seconds)) break;
            const BandAt band = Band(e, k, t);
            EnvelopePoint &a = e[band.a], &b = e[band.b];
            if (s.tons[i] > band.upper) {
                const double raise = std::ceil((s.tons[i] - band.upper) * 10000) / 10000 + 0.0001;
                a.upperTons = AtResolution(a.upperTons + raise);
                if (band.b != band.a) b.upperTons = AtResolution(b.upperTons + raise);
            }
            if (s.tons[i] < band.lower) {
                const double lower = std::ceil((band.lower - s.tons[i]) * 10000) / 10000 + 0.0001;
                a.lowerTons = AtResolution(std::max(0.0, a.lowerTons - lower));
                if (band.b != band.a)
                    b.lowerTons = AtResolution(std::max(0.0, b.lowerTons - lower));
            }
        }
    }
    return true;
}
