#include "statistics/capability.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
/// d2 for moving ranges of two.
constexpr double kD2 = 1.128;
/// D4 for moving ranges of two.
constexpr double kD4 = 3.267;

double MeanMovingRange(const std::vector<double>& values) {
    if (values.size() < 2) return kNaN;
    double sum = 0;
    for (size_t i = 1; i < values.size(); ++i)
        sum += std::fabs(values[i] - values[i - 1]);
    return sum / static_cast<double>(values.size() - 1);
}

double Ratio(double top, double bottom) {
    return std::isfinite(bottom) && bottom > 0 ? top / bottom : kNaN;
}

} // namespace

SeriesSummary Summarise(const std::vector<double>& values) {
    SeriesSummary s;
    s.n = values.size();
    if (values.empty()) {
        s.mean = s.sd = s.min = s.max = kNaN;
        return s;
    }
    double sum = 0;
    s.min = s.max = values.front();
    for (double v : values) {
        sum += v;
        s.min = std::min(s.min, v);
        s.max = std::max(s.max, v);
    }
    s.mean = sum / static_cast<double>(s.n);
    // Two passes: the squares are taken about the mean, so large forces with
    // a small spread lose no digits.
    double squares = 0;
    for (double v : values)
        squares += (v - s.mean) * (v - s.mean);
    s.sd = s.n < 2 ? kNaN : std::sqrt(squares / static_cast<double>(s.n - 1));
    return s;
}

Capability CapabilityOf(const std::vector<double>& values, double lower, double upper) {
    return CapabilityFrom(Summarise(values), MeanMovingRange(values), lower, upper);
}

Capability CapabilityFrom(const SeriesSummary& s, double mrBar, double lower, double upper) {
    Capability c;
    c.sigmaWithin = mrBar / kD2;
    c.sigmaOverall = s.sd;
    c.cp = Ratio(upper - lower, 6 * c.sigmaWithin);
    c.cpk = std::min(Ratio(upper - s.mean, 3 * c.sigmaWithin),
                     Ratio(s.mean - lower, 3 * c.sigmaWithin));
    c.pp = Ratio(upper - lower, 6 * c.sigmaOverall);
    c.ppk = std::min(Ratio(upper - s.mean, 3 * c.sigmaOverall),
                     Ratio(s.mean - lower, 3 * c.sigmaOverall));
    if (std::isnan(c.sigmaWithin) || c.sigmaWithin <= 0) c.cpk = kNaN;
    if (std::isnan(c.sigmaOverall) || c.sigmaOverall <= 0) c.ppk = kNaN;
    return c;
}

ControlChart IndividualsChart(const std::vector<double>& values) {
    return ChartFrom(Summarise(values).mean, MeanMovingRange(values));
}

ControlChart ChartFrom(double centre, double mrBar) {
    ControlChart chart;
    chart.centre = centre;
    chart.mrBar = mrBar;
    chart.sigma = chart.mrBar / kD2;
    chart.upper = chart.centre + 3 * chart.sigma;
    chart.lower = chart.centre - 3 * chart.sigma;
    chart.mrUpper = kD4 * chart.mrBar;
    return chart;
}

std::string RuleName(ChartRule rule) {
    switch (rule) {
    case ChartRule::BeyondThreeSigma:
        return "one beyond 3\xCF\x83";
    case ChartRule::NineOnOneSide:
        return "nine in a row on one side";
    case ChartRule::SixTrending:
        return "six in a row rising or falling";
    case ChartRule::TwoOfThreeBeyondTwo:
        return "two of three beyond 2\xCF\x83";
    }
    return "";
}

std::vector<RuleBreak> RuleBreaks(const std::vector<double>& values, const ControlChart& chart) {
    std::vector<RuleBreak> breaks;
    if (!(std::isfinite(chart.sigma) && chart.sigma > 0)) return breaks;
    const double c = chart.centre, s = chart.sigma;
    size_t above = 0, below = 0, rising = 1, falling = 1;
    for (size_t i = 0; i < values.size(); ++i) {
        const double v = values[i];
        if (std::fabs(v - c) > 3 * s) breaks.push_back({ChartRule::BeyondThreeSigma, i, i});
        above = v > c ? above + 1 : 0;
        below = v < c ? below + 1 : 0;
        if (above >= 9) breaks.push_back({ChartRule::NineOnOneSide, i, i + 1 - above});
        if (below >= 9) breaks.push_back({ChartRule::NineOnOneSide, i, i + 1 - below});
        if (i > 0) {
            rising = v > values[i - 1] ? rising + 1 : 1;
            falling = v < values[i - 1] ? falling + 1 : 1;
        }
        if (rising >= 6) breaks.push_back({ChartRule::SixTrending, i, i + 1 - rising});
        if (falling >= 6) breaks.push_back({ChartRule::SixTrending, i, i + 1 - falling});
        if (i >= 2) {
            int high = 0, low = 0;
            for (size_t k = i - 2; k <= i; ++k) {
                high += values[k] > c + 2 * s;
                low += values[k] < c - 2 * s;
            }
            // Marked at a point beyond that makes two of the three.
            if ((v > c + 2 * s && high >= 2) || (v < c - 2 * s && low >= 2))
                breaks.push_back({ChartRule::TwoOfThreeBeyondTwo, i, i - 2});
        }
    }
    return breaks;
}

std::vector<double> Ewma(const std::vector<double>& values, double lambda) {
    std::vector<double> line;
    line.reserve(values.size());
    double z = Summarise(values).mean;
    for (double v : values) {
        z = lambda * v + (1 - lambda) * z;
        line.push_back(z);
    }
    return line;
}

Trend TrendOf(const std::vector<double>& values) {
    Trend trend;
    const size_t n = values.size();
    if (n < 3) return trend;
    const double xMean = (static_cast<double>(n) - 1) / 2;
    const double yMean = Summarise(values).mean;
    double sxx = 0, sxy = 0;
    for (size_t i = 0; i < n; ++i) {
        sxx += (i - xMean) * (i - xMean);
        sxy += (i - xMean) * (values[i] - yMean);
    }
    trend.slope = sxy / sxx;
    double residuals = 0;
    for (size_t i = 0; i < n; ++i) {
        const double fitted = yMean + trend.slope * (i - xMean);
        residuals += (values[i] - fitted) * (values[i] - fitted);
    }
    return TrendFrom(n, trend.slope, std::sqrt(residuals / static_cast<double>(n - 2) / sxx));
}

Trend TrendFrom(size_t n, double slope, double se) {
    Trend trend;
    if (n < 3 || !std::isfinite(slope)) return trend;
    trend.slope = slope;
    // A line without scatter about it: as sure a trend as there can be.
    trend.t = se > 0 ? slope / se : slope == 0 ? 0 : slope > 0 ? 1e9 : -1e9;
    if (n >= 10 && std::fabs(trend.t) >= 3) trend.direction = slope > 0 ? 1 : -1;
    return trend;
}

int HistogramLayout::BinOf(double value) const {
    const double at = std::floor((value - low) / width);
    return static_cast<int>(std::clamp(at, 0.0, static_cast<double>(bins - 1)));
}

HistogramLayout LayOutHistogram(size_t n, double min, double max) {
    HistogramLayout layout;
    if (n == 0) return layout;
    layout.bins = std::clamp(static_cast<int>(std::sqrt(static_cast<double>(n))), 5, 30);
    layout.low = min;
    layout.width = std::max(0.1, (max - min) / layout.bins);
    return layout;
}

std::vector<HistogramBin> HistogramOf(const std::vector<double>& values) {
    const SeriesSummary s = Summarise(values);
    const HistogramLayout layout = LayOutHistogram(s.n, s.min, s.max);
    std::vector<HistogramBin> bins(static_cast<size_t>(layout.bins));
    for (int b = 0; b < layout.bins; ++b) {
        bins[b].low = layout.low + b * layout.width;
        bins[b].high = bins[b].low + layout.width;
    }
    for (double v : values)
        ++bins[static_cast<size_t>(layout.BinOf(v))].count;
    return bins;
}
