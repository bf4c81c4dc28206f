// The time to judge a long recording by a program with every kind of
// criterion, and to teach an envelope from many recordings; no window.
// usage: judging_bench [recordings-to-teach-from] [samples-each]
#include "judging/judge.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

struct Curve {
    std::vector<double> times, forces;
    std::vector<int> pressures;
};

/// A stroke of `n` samples 75 ms ± 5 ms apart: a rise over a fifth of it,
/// a hold at about 400 t with noise, the release at the end.
Curve Stroke(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> jitter(-0.005, 0.005), noise(-0.8, 0.8);
    Curve c;
    double t = 0;
    const double top = 398 + seed % 5;
    for (size_t i = 0; i < n; ++i) {
        const double share = static_cast<double>(i) / n;
        double f = share < 0.2 ? 10 + (top - 10) * share / 0.2 : top;
        if (share > 0.95) f = top * (1 - share) / 0.05;
        f += noise(random);
        c.times.push_back(std::round(t * 1000) / 1000);
        c.forces.push_back(std::max(0.0, f));
        c.pressures.push_back(static_cast<int>(f / 1.275));
        t += 0.075 + jitter(random);
    }
    return c;
}

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    const int teachFrom = argc > 1 ? std::atoi(argv[1]) : 1000;
    const size_t teachSamples = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1300;
    // Teaching: every curve read once.
    std::vector<Curve> family;
    for (int k = 0; k < teachFrom; ++k)
        family.push_back(Stroke(teachSamples, static_cast<unsigned>(k)));
    std::vector<CurveView> views;
    for (const Curve& c : family)
        views.push_back(ViewOf(c.times, c.forces, &c.pressures));
    Criterion envelope;
    envelope.kind = CriterionKind::Envelope;
    std::string why;
    double teachBest = 1e9;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (!TeachEnvelope(views, envelope, &why)) {
            std::fprintf(stderr, "%s\n", why.c_str());
            return 1;
        }
        teachBest = std::min(teachBest, Ms(std::chrono::steady_clock::now() - start));
    }
    // One line a figure, "name value unit", as bench/write_report.py reads them.
    std::printf("teach_envelope_%dx%zu %.3f ms (best of 5, %zu steps)\n", teachFrom, teachSamples,
                teachBest, envelope.envelope.size());

    // Judging: a 13 000-sample recording by every kind of criterion.
    const Curve curve = Stroke(13000, 7);
    Program program;
    program.name = "bench";
    Criterion peak, hold, drop, early, late;
    peak.kind = CriterionKind::Peak;
    peak.minTons = 350;
    peak.maxTons = 420;
    hold.kind = CriterionKind::Hold;
    hold.aboveTons = 390;
    hold.minSeconds = 3;
    hold.maxDecayPct = 2;
    drop.kind = CriterionKind::Drop;
    drop.maxPct = 5;
    early.kind = late.kind = CriterionKind::Window;
    early.fromSeconds = 10, early.toSeconds = 20, early.minTons = 0, early.maxTons = 420;
    late.fromSeconds = 300, late.toSeconds = 600, late.minTons = 380, late.maxTons = 420;
    Criterion taught = envelope;
    std::vector<Curve> long13k;
    std::vector<CurveView> long13kViews;
    for (unsigned k = 0; k < 20; ++k)
        long13k.push_back(Stroke(13000, 100 + k));
    for (const Curve& c : long13k)
        long13kViews.push_back(ViewOf(c.times, c.forces, &c.pressures));
    TeachEnvelope(long13kViews, taught, &why);
    program.criteria = {peak, hold, drop, early, late, taught};
    const CurveView view = ViewOf(curve.times, curve.forces, &curve.pressures);
    std::vector<double> runs;
    Verdict verdict = Verdict::None;
    for (int run = 0; run < 201; ++run) {
        const auto start = std::chrono::steady_clock::now();
        verdict = JudgeCurve(program, view, "", "").verdict;
        runs.push_back(Ms(std::chrono::steady_clock::now() - start));
    }
    std::sort(runs.begin(), runs.end());
    std::printf("judge_13000_median %.3f ms (6 criteria, %s)\n", runs[runs.size() / 2],
                VerdictWord(verdict));
    std::printf("judge_13000_worst %.3f ms (of 201)\n", runs.back());
    return 0;
}
