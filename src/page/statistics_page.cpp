// The statistics page: the figures of a selection on the left, its three
// charts drawn as lines on the right, and at the foot what ties the page to
// its data, as on a report page.
#include "page/page_parts.h"
#include "page/report_page.h"

#include "records/integrity.h"
#include "station/local_time.h"
#include "station/mounting_statistics.h"
#include "station/translate.h"

#include <cmath>

using namespace page_parts;

namespace {

std::string Figure(double value, int decimals) {
    return FigureText(value, decimals, "\xE2\x80\x94");
}

/// A step of 1, 2 or 5 times a power of ten that divides `span` into about
/// `parts`.
double EvenStep(double span, int parts) {
    if (!(span > 0)) return 1;
    const double rough = span / parts, power = std::pow(10, std::floor(std::log10(rough)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= rough) return m * power;
    return 10 * power;
}

/// A chart's box on the page and the values it spans, with its frame and
/// its labelled ticks drawn.
class Chart {
  public:
    Chart(PageLayout& page, Pen& pen, PageBox box, double x0, double x1, double y0, double y1)
        : m_page(page), m_pen(pen), m_box(box), m_x0(x0), m_x1(x1 > x0 ? x1 : x0 + 1), m_y0(y0),
          m_y1(y1 > y0 ? y1 : y0 + 1) {}
    float X(double v) const {
        return m_box.x + static_cast<float>((v - m_x0) / (m_x1 - m_x0)) * m_box.width;
    }
    float Y(double v) const {
        return m_box.y + static_cast<float>((v - m_y0) / (m_y1 - m_y0)) * m_box.height;
    }
    bool Inside(double x, double y) const {
        return x >= m_x0 && x <= m_x1 && y >= m_y0 && y <= m_y1;
    }
    void Frame(const wxString& title, const wxString& xLabel, int xDecimals) {
        const float left = m_box.x, right = m_box.x + m_box.width, bottom = m_box.y,
                    top = m_box.y + m_box.height;
        for (const PageLine& l :
             {PageLine{left, bottom, right, bottom, 0.6f},
              PageLine{right, bottom, right, top, 0.6f}, PageLine{right, top, left, top, 0.6f},
              PageLine{left, top, left, bottom, 0.6f}})
            m_page.lines.push_back(l);
        m_pen.Use(6.5f, PageColour::Black);
        const double ys = EvenStep(m_y1 - m_y0, 5);
        for (double v = std::ceil(m_y0 / ys) * ys; v <= m_y1 + ys * 1e-9; v += ys) {
            const wxString label = W(Figure(v, ys < 1 ? (ys < 0.1 ? 2 : 1) : 0));
            m_pen.Text(left - 3 - m_pen.Width(label), Y(v) - 2, label);
            m_page.lines.push_back({left - 2, Y(v), left, Y(v), 0.5f});
        }
        const double xs = EvenStep(m_x1 - m_x0, 6);
        for (double v = std::ceil(m_x0 / xs) * xs; v <= m_x1 + xs * 1e-9; v += xs) {
            const wxString label = W(Figure(v, xDecimals));
            m_pen.Text(X(v) - m_pen.Width(label) / 2, bottom - 9, label);
            m_page.lines.push_back({X(v), bottom - 2, X(v), bottom, 0.5f});
        }
        m_pen.Text(right - m_pen.Width(xLabel), bottom - 17, xLabel);
        m_pen.Use(8, PageColour::Black);
        m_pen.Text(left, top + 4, title, true);
    }
    /// A line across at `y`, when it is inside the chart.
    void Across(double y, PageColour colour, float width) {
        if (y >= m_y0 && y <= m_y1)
            m_page.lines.push_back({X(m_x0), Y(y), X(m_x1), Y(y), width, colour});
    }
    /// A line up at `x`.
    void Up(double x, double y0, double y1, PageColour colour, float width) {
        if (x >= m_x0 && x <= m_x1)
            m_page.lines.push_back(
                {X(x), Y(std::max(y0, m_y0)), X(x), Y(std::min(y1, m_y1)), width, colour});
    }
    /// A point: a short thick stroke.
    void Point(double x, double y, PageColour colour, float size) {
        if (!Inside(x, y)) return;
        m_page.lines.push_back({X(x) - size / 2, Y(y), X(x) + size / 2, Y(y), size, colour});
    }
    void Polyline(const std::vector<double>& x, const std::vector<double>& y, PageColour colour) {
        for (size_t i = 1; i < x.size() && i < y.size(); ++i)
            if (Inside(x[i - 1], y[i - 1]) && Inside(x[i], y[i]))
                m_page.lines.push_back({X(x[i - 1]), Y(y[i - 1]), X(x[i]), Y(y[i]), 0.7f, colour});
    }

  private:
    PageLayout& m_page;
    Pen& m_pen;
    PageBox m_box;
    double m_x0, m_x1, m_y0, m_y1;
};

} // namespace

PageLayout LayOutStatisticsPage(const StatisticsPageFacts& facts, const PageMeasure& measure) {
    static const MountingStatistics none;
    const MountingStatistics& s = facts.statistics ? *facts.statistics : none;
    PageLayout page;
    page.width = kPageWidth;
    page.height = kPageHeight;
    page.madeAt = facts.madeAt;
    page.title = "Statistics of the peak force";
    page.subject = facts.selection;
    page.creator = "Vemo Press Pressure Recorder " + facts.version;
    // Not a report's mark: no recording has this identity.
    page.keywords = "statistics " + facts.identity + " csv-sha256 " + facts.csvSha256;
    Pen pen(page, measure);
    constexpr float kMargin = 28;
    const auto count = [](size_t n) { return static_cast<unsigned long>(n); };

    pen.Use(14, PageColour::Black);
    pen.Text(kMargin, kPageHeight - 40, TrW("Statistics of the peak force"), true);
    pen.Use(9, PageColour::Black);
    pen.Text(kMargin, kPageHeight - 54, W(facts.selection));
    const wxString made = TrW("Made ") + W(IsoDateTime(facts.madeAt));
    pen.Text(kPageWidth - kMargin - pen.Width(made), kPageHeight - 40, made);

    // The figures, down the left.
    float y = kPageHeight - 76;
    auto line = [&](const wxString& text, bool bold = false, float step = 11) {
        pen.Text(kMargin, y, text, bold);
        y -= step;
    };
    const float width = 238;
    auto wrapped = [&](const wxString& text, PageColour colour = PageColour::Black) {
        pen.Colour(colour);
        for (const wxString& part : pen.Wrapped(text, width))
            line(part, false, 10);
        pen.Colour(PageColour::Black);
    };
    pen.Use(8.5f, PageColour::Black);
    wrapped(wxString::Format(TrW("%lu mountings: %lu PASS, %lu FAIL, %lu INCOMPLETE"),
                             count(s.mountings), count(s.pass), count(s.fail),
                             count(s.incomplete)));
    wrapped(wxString::Format(TrW("%lu without a verdict, %lu re-mounts of an axle side"),
                             count(s.noVerdict), count(s.remounts)));
    y -= 5;
    const double nan = std::nan("");
    const Capability& c = s.capability;
    const std::pair<const char*, std::string> rows[] = {
        {"n", std::to_string(s.summary.n)},
        {"mean", Figure(s.summary.mean, 2) + " t"},
        {"sd", Figure(s.summary.sd, 3) + " t"},
        {"min", Figure(s.summary.min, 2) + " t"},
        {"max", Figure(s.summary.max, 2) + " t"},
        {"Cp", Figure(s.hasLimits ? c.cp : nan, 2)},
        {"Cpk", Figure(s.hasLimits ? c.cpk : nan, 2)},
        {"Pp", Figure(s.hasLimits ? c.pp : nan, 2)},
        {"Ppk", Figure(s.hasLimits ? c.ppk : nan, 2)},
    };
    pen.Use(9, PageColour::Black);
    for (const auto& [word, value] : rows) {
        pen.Text(kMargin, y, TrW(word), true);
        pen.Text(kMargin + 110 - pen.Width(W(value)), y, W(value));
        y -= 11.5f;
    }
    y -= 4;
    pen.Use(8, PageColour::Black);
    if (s.hasLimits)
        wrapped(wxString::Format(TrW("Against the limits %s \xE2\x80\xA6 %s t"),
                                 W(Figure(s.limits.lowerTons, 1)),
                                 W(Figure(s.limits.upperTons, 1))));
    else if (!s.limitsNote.empty())
        wrapped(TrW(s.limitsNote.c_str()), PageColour::Red);
    if (s.summary.n > 0 && s.summary.n < Capability::kFewest)
        wrapped(wxString::Format(TrW("Fewer than %lu mountings: the capability is uncertain."),
                                 count(Capability::kFewest)),
                PageColour::Red);
    wrapped(wxString::Format(TrW("Control limits %s \xE2\x80\xA6 %s t (3\xCF\x83 within)"),
                             W(Figure(s.chart.lower, 2)), W(Figure(s.chart.upper, 2))));
    if (s.trend.direction != 0)
        wrapped(s.trend.direction > 0 ? TrW("The peak force is rising: the press drifts.")
                                      : TrW("The peak force is falling: the press drifts."),
                PageColour::Red);
    // The zero of the measuring chain: the pressure at rest before Start.
    if (!s.rest.empty())
        wrapped(wxString::Format(TrW("Pressure at rest before Start: mean %s bar, at most %s bar "
                                     "(%lu recordings)"),
                                 W(Figure(s.restSummary.mean, 2)), W(Figure(s.restSummary.max, 0)),
                                 count(s.rest.size())));
    if (s.restTrend.direction != 0)
        wrapped(s.restTrend.direction > 0
                    ? TrW("The pressure at rest is rising: check the transmitter's zero.")
                    : TrW("The pressure at rest is falling: check the transmitter's zero."),
                PageColour::Red);
    // Each criterion of the program, and the FAILs it made.
    if (!s.criteria.empty()) {
        y -= 3;
        line(wxString::Format(TrW("Criteria of %s"), W(s.program)), true);
        for (const CriterionFigures& f : s.criteria)
            wrapped(wxString::Format(TrW("%d %s: mean %s %s, sd %s, %s \xE2\x80\xA6 %s; first "
                                         "NOK of %lu FAIL"),
                                     f.position, W(f.kind), W(Figure(f.summary.mean, 2)), W(f.unit),
                                     W(Figure(f.summary.sd, 3)), W(Figure(f.summary.min, 2)),
                                     W(Figure(f.summary.max, 2)), count(f.failed)));
    }
    // The rules broken, by the recordings' report numbers: as many as fit.
    const float floor = 110;
    for (const ChartRule rule : {ChartRule::BeyondThreeSigma, ChartRule::NineOnOneSide,
                                 ChartRule::SixTrending, ChartRule::TwoOfThreeBeyondTwo}) {
        const size_t broken = s.ruleCounts[static_cast<size_t>(rule)];
        if (broken == 0) continue;
        std::string named;
        size_t told = 0;
        for (size_t k = 0; k < s.breaks.size() && told < 4; ++k)
            if (s.breaks[k].rule == rule) {
                named += (told++ ? ", " : "") + ReportNumber(s.breakUuids[k]);
            }
        wxString text = W(RuleWords(rule)) +
                        wxString::Format(broken == 1 ? TrW(": %lu point, ") : TrW(": %lu points, "),
                                         count(broken)) +
                        W(named);
        if (broken > told)
            text += wxString::Format(TrW(" and %lu more in the CSV file"), count(broken - told));
        if (y - 20 < floor) break;
        y -= 2;
        wrapped(text, PageColour::Red);
    }

    // The charts, on the right.
    const size_t n = s.SeriesLength();
    const bool chart = s.HasChart();
    const auto [low, high] = s.IndividualsSpan();
    const double pad = std::max(0.5, (high - low) * 0.06);
    Chart individuals(page, pen, {300, 318, 514, 196}, 0, std::max<double>(n, 1) + 1, low - pad,
                      high + pad);
    individuals.Frame(TrW("Individuals: peak force (t)"), TrW("mounting, in recording order"), 0);
    if (s.hasLimits) {
        individuals.Across(s.limits.lowerTons, PageColour::Red, 0.9f);
        individuals.Across(s.limits.upperTons, PageColour::Red, 0.9f);
    }
    if (chart) {
        individuals.Across(s.chart.centre, PageColour::Green, 0.8f);
        individuals.Across(s.chart.lower, PageColour::Green, 0.4f);
        individuals.Across(s.chart.upper, PageColour::Green, 0.4f);
    }
    const float dot = n > 400 ? 1.2f : 2;
    std::vector<double> rx, ry;
    if (s.plant) {
        for (const PlantStatistics::Run& r : s.runs) {
            const double x = (r.first + r.last) / 2.0 + 1;
            if (r.last > r.first) individuals.Up(x, r.min, r.max, PageColour::Blue, 0.4f);
            individuals.Point(x, r.mean, PageColour::Black, dot);
            if (std::isfinite(r.maxRange)) rx.push_back(x), ry.push_back(r.maxRange);
        }
    } else {
        std::vector<double> x;
        for (size_t i = 0; i < n; ++i) {
            x.push_back(static_cast<double>(i + 1));
            individuals.Point(x.back(), s.peaks[i], PageColour::Black, dot);
            if (i > 0) rx.push_back(x.back()), ry.push_back(std::fabs(s.peaks[i] - s.peaks[i - 1]));
        }
        individuals.Polyline(x, Ewma(s.peaks), PageColour::Blue);
    }
    for (size_t k = 0; k < s.breaks.size(); ++k)
        individuals.Point(static_cast<double>(s.breaks[k].at + 1), s.breakValues[k],
                          PageColour::Red, dot + 1.2f);
    pen.Use(6.5f, PageColour::Black);
    pen.Text(300, 306 - 14,
             TrW("green: centre line and 3\xCF\x83 control limits; red: the limits "
                 "judged by, and the points that break a rule; blue: EWMA"));

    double topRange = chart ? s.chart.mrUpper : 1;
    for (double v : ry)
        topRange = std::max(topRange, v);
    Chart ranges(page, pen, {300, 110, 240, 140}, 0, std::max<double>(n, 1) + 1, 0, topRange * 1.1);
    ranges.Frame(TrW("Moving range (t)"), TrW("mounting"), 0);
    if (chart) {
        ranges.Across(s.chart.mrBar, PageColour::Green, 0.8f);
        ranges.Across(s.chart.mrUpper, PageColour::Green, 0.4f);
    }
    for (size_t i = 0; i < rx.size(); ++i)
        ranges.Point(rx[i], ry[i], PageColour::Black, dot);

    size_t tallest = 1;
    for (const HistogramBin& b : s.histogram)
        tallest = std::max(tallest, b.count);
    const auto [lowX, highX] = s.HistogramSpan();
    const double padX = std::max(0.5, (highX - lowX) * 0.06);
    Chart histogram(page, pen, {578, 110, 236, 140}, lowX - padX, highX + padX, 0,
                    static_cast<double>(tallest) * 1.12);
    histogram.Frame(TrW("Histogram: mountings by peak force"), TrW("t"), highX - lowX < 10 ? 1 : 0);
    for (const HistogramBin& b : s.histogram) {
        if (b.count == 0) continue;
        const double h = static_cast<double>(b.count);
        histogram.Up(b.low, 0, h, PageColour::Blue, 0.6f);
        histogram.Up(b.high, 0, h, PageColour::Blue, 0.6f);
        page.lines.push_back({histogram.X(b.low), histogram.Y(h), histogram.X(b.high),
                              histogram.Y(h), 0.6f, PageColour::Blue});
    }
    if (s.hasLimits) {
        histogram.Up(s.limits.lowerTons, 0, static_cast<double>(tallest) * 1.12, PageColour::Red,
                     0.9f);
        histogram.Up(s.limits.upperTons, 0, static_cast<double>(tallest) * 1.12, PageColour::Red,
                     0.9f);
    }

    // Where the review is signed.
    pen.Use(9, PageColour::Black);
    pen.Text(690, 72, TrW("Reviewed by"));
    page.lines.push_back({750, 70, 812, 70, 0.5f});
    pen.Text(690, 50, TrW("Date"));
    page.lines.push_back({715, 48, 812, 48, 0.5f});

    // What ties the page to its data, as on a report page.
    pen.Size(9);
    pen.Text(kMargin, 46, TrW("Statistics no. "));
    pen.Text(kMargin + pen.Width(TrW("Statistics no. ")), 46, W(ReportNumber(facts.identity)),
             true);
    pen.Size(7);
    pen.Text(220, 46, TrW("ID ") + W(facts.identity));
    pen.Text(kMargin, 36, TrW("CSV file: ") + W(facts.csvName));
    pen.Text(kMargin, 27, TrW("SHA-256 of the CSV file: ") + W(facts.csvSha256));
    pen.Text(kMargin, 18,
             TrW("Made on ") +
                 W(facts.pcName + " \xC2\xB7 Vemo Press Pressure Recorder " + facts.version));
    pen.Size(8);
    pen.Text(760, 27, TrW("Page 1 of 1"));
    page.code = {624, 22, 64, 64};
    page.codeText = ReportCodeText(facts.identity, facts.csvSha256);
    return page;
}

bool MakeStatisticsPage(const StatisticsPageFacts& facts, const PageResources& resources,
                        std::string* pdf, std::string* why) {
    if (WritePages(
            resources,
            [&](const PageMeasure& measure) {
                return std::vector<PageLayout>{LayOutStatisticsPage(facts, measure)};
            },
            pdf))
        return true;
    *why = "The statistics page could not be made: the page's fonts or colour profile could not "
           "be read.";
    return false;
}
