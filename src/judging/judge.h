// Judging a recorded curve by a mounting program: a pure function of the
// curve, how the recording ended and the program. Forces are judged at the
// resolution they are recorded with (0.0001 t) and times at the millisecond,
// so a figure printed on the page gives the same verdict when judged again.
// Times are counted from the start of the rise: the first reading above the
// press's resting pressure (4 bar), the first reading when no pressures are
// known.
#pragma once

#include "judging/program.h"

#include <cstddef>
#include <string>
#include <vector>

enum class Verdict { None, Pass, Fail, Incomplete };

/// "PASS", "FAIL", "INCOMPLETE"; "" for none.
const char* VerdictWord(Verdict verdict);

/// The samples of a curve, not owned.
struct CurveView {
    const double* times = nullptr;  ///< seconds
    const double* forces = nullptr; ///< tons
    const int* pressures = nullptr; ///< bar; may be null
    size_t size = 0;
};
CurveView ViewOf(const std::vector<double>& times, const std::vector<double>& forces,
                 const std::vector<int>* pressures = nullptr);

/// What one criterion found.
struct CriterionResult {
    CriterionKind kind = CriterionKind::Peak;
    bool ok = false;
    /// A NOK that the rest of a curve cut short could not have mended (a
    /// peak above the maximum, a slip): such a recording is FAIL, not
    /// INCOMPLETE.
    bool settled = true;
    double measured = 0; ///< the figure compared: t, s or %
    std::string text;    ///< "hold 1.5 s at ≥ 340.0 t, required ≥ 3.0 s"
    std::string brief;   ///< "hold 1.5 s of 3.0 s", for the banner
};

struct CurveJudgement {
    Verdict verdict = Verdict::None;
    /// Why it is not PASS: the first failing criterion's text, or why the
    /// recording is incomplete; "" for PASS.
    std::string reason;
    std::string brief; ///< the same, short, for the banner
    std::vector<CriterionResult> criteria;
};

/// A curve whose first reading is at least this share of its peak force was
/// recorded with its rise missing.
constexpr double kRiseMissingShare = 0.2;
/// A recording noted as started without the press at rest before it
/// misses its rise when its first reading is at this pressure or above.
constexpr int kStartedUnderPressureBar = 20;
/// The pressure the press rests at; the rise starts above it.
constexpr int kRestingBar = 4;

/// Judges `curve` by the criteria of `program`. `incomplete` says how a
/// recording cut short ended ("module lost at 12.4 s"): that makes it
/// INCOMPLETE unless a criterion already failed for good (then FAIL). So
/// does a rise that is not on the curve: a first reading at
/// kRiseMissingShare of the peak or more, or, with a `startNote` (the
/// press was not seen at rest before it), at kStartedUnderPressureBar or
/// more; unless `riseJudged` is false (the rules of recordings made before
/// it was judged). No criteria: no verdict.
CurveJudgement JudgeCurve(const Program& program, const CurveView& curve,
                          const std::string& incomplete, const std::string& startNote,
                          bool riseJudged = true);

/// Seconds from the first reading to the start of the rise.
double RiseStart(const CurveView& curve);

/// The least number of good curves an envelope is taught from.
constexpr int kMinTeachCurves = 20;

/// Teaches `envelope` (its k_sigma, min_width_t and step_s as set) from
/// `curves` aligned at the start of their rise: per step, the mean force
/// ± k_sigma sample standard deviations, at least min_width_t wide, up to
/// the end of the shortest curve, and wide enough that each of the curves
/// lies inside it. False, with the reason, for fewer than
/// kMinTeachCurves curves or curves too short for one step.
bool TeachEnvelope(const std::vector<CurveView>& curves, Criterion& envelope, std::string* why);
