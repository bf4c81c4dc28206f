// The quality engineer's figures of a series of measured values in recording
// order: its summary, its capability against two limits, its individuals
// and moving-range chart with the rules a point may break, and its drift.
// Plain arithmetic on numbers: no store, no window.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

/// n, mean, sample standard deviation (n − 1), min and max; sd is NaN below
/// two values, every figure NaN for none.
struct SeriesSummary {
    size_t n = 0;
    double mean = 0, sd = 0, min = 0, max = 0;
};
SeriesSummary Summarise(const std::vector<double>& values);

/// Capability against `lower` and `upper`: Cp and Cpk with σ within from the
/// mean moving range (σ = MR̄ / 1.128, in recording order), Pp and Ppk with
/// the overall sample standard deviation. A figure that cannot be had (fewer
/// than two values, no spread) is NaN.
struct Capability {
    double sigmaWithin = 0, sigmaOverall = 0;
    double cp = 0, cpk = 0, pp = 0, ppk = 0;
    /// Fewer than this many values: the figures are told as uncertain.
    static constexpr size_t kFewest = 25;
};
Capability CapabilityOf(const std::vector<double>& values, double lower, double upper);
/// The same from the series' summary and its mean moving range (NaN below
/// two values), as a server that holds the values computes them.
Capability CapabilityFrom(const SeriesSummary& summary, double mrBar, double lower, double upper);

/// The individuals chart (centre, σ within, 3σ limits) and the moving-range
/// chart (MR̄ and its upper limit 3.267 MR̄) of the values.
struct ControlChart {
    double centre = 0, sigma = 0, upper = 0, lower = 0;
    double mrBar = 0, mrUpper = 0;
};
ControlChart IndividualsChart(const std::vector<double>& values);
ControlChart ChartFrom(double centre, double mrBar);

enum class ChartRule {
    BeyondThreeSigma,    ///< one point beyond 3σ
    NineOnOneSide,       ///< nine in a row on one side of the centre
    SixTrending,         ///< six in a row, each above (or below) the one before
    TwoOfThreeBeyondTwo, ///< two of three in a row beyond 2σ on the same side
};
/// "one beyond 3σ", "nine in a row on one side", …
std::string RuleName(ChartRule rule);

/// A rule broken: at which point (index) it was seen, the points it takes in.
struct RuleBreak {
    ChartRule rule;
    size_t at = 0;
    size_t first = 0; ///< the first point of the run that broke it
};
/// Every point at which a rule is broken, in order; a point on the centre
/// line is on neither side, equal neighbours neither rise nor fall, and a
/// point exactly on a limit is not beyond it.
std::vector<RuleBreak> RuleBreaks(const std::vector<double>& values, const ControlChart& chart);

/// The exponentially weighted moving average (λ = 0.2), from the mean.
std::vector<double> Ewma(const std::vector<double>& values, double lambda = 0.2);

/// Whether the series drifts: the least-squares slope per value and its t
/// figure; it trends when |t| ≥ 3 over at least ten values.
struct Trend {
    double slope = 0, t = 0;
    int direction = 0; ///< +1 rising, −1 falling, 0 steady
};
Trend TrendOf(const std::vector<double>& values);
/// The same from the slope over n values and its standard error.
Trend TrendFrom(size_t n, double slope, double standardError);

/// The histogram of values from `min` to `max`: about √n bins (5 to 30),
/// each at least 0.1 wide; a value falls in the bin that starts at or below
/// it, the largest in the last bin.
struct HistogramBin {
    double low = 0, high = 0;
    size_t count = 0;
};
struct HistogramLayout {
    int bins = 0;
    double low = 0, width = 0;
    /// The bin `value` falls in.
    int BinOf(double value) const;
};
HistogramLayout LayOutHistogram(size_t n, double min, double max);
std::vector<HistogramBin> HistogramOf(const std::vector<double>& values);
