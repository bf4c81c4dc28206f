#include "station/mounting_statistics.h"

#include "records/file_access.h"
#include "records/integrity.h"
#include "station/local_time.h"
#include "station/report_data.h"
#include "station/translate.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_set>

namespace {

std::string Folded(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

/// The limits the capability is against: given, or the one pair every
/// measured recording was judged by; else why there are none.
void AgainstLimits(MountingStatistics& s, const ForceLimits* given, const ForceLimits* judged,
                   bool anyLimits, const Capability& capability) {
    if (given || judged) {
        s.hasLimits = true;
        s.limits = given ? *given : *judged;
        s.capability = capability;
        return;
    }
    s.limitsNote = anyLimits ? N_("the recordings were judged by different limits (or some by "
                                  "none): give the limits to judge the capability against")
                             : N_("the recordings were judged by no limits: give the limits to "
                                  "judge the capability against");
}

} // namespace

/// The figures of each criterion when every measured recording was judged
/// by one program; the FAILs counted by their first NOK criterion.
void CriteriaOf(RecordStore& store, const std::vector<std::pair<std::string, int>>& failedBy,
                MountingStatistics& s) {
    if (s.measured.empty()) return;
    const std::string& program = s.measured.front().program;
    for (const MountingPoint& p : s.measured)
        if (p.program != program || p.criteria.empty()) return;
    s.program = program;
    // The units from the program itself: a hold that judges its decay
    // measures a share.
    Recording first;
    if (!store.Load(s.measured.back().id, first, nullptr) || !first.setup.program) return;
    const std::vector<Criterion>& criteria = first.setup.program->criteria;
    std::vector<std::vector<double>> values(criteria.size());
    for (const MountingPoint& p : s.measured)
        for (const CriterionValue& v : p.criteria)
            if (v.position >= 1 && static_cast<size_t>(v.position) <= criteria.size() &&
                v.kind == KindName(criteria[v.position - 1].kind))
                values[v.position - 1].push_back(v.measured);
    for (size_t k = 0; k < criteria.size(); ++k) {
        CriterionFigures f;
        f.position = static_cast<int>(k + 1);
        f.kind = KindName(criteria[k].kind);
        switch (criteria[k].kind) {
        case CriterionKind::Hold:
            f.unit = criteria[k].maxDecayPct >= 0 ? "%" : "s";
            break;
        case CriterionKind::Drop:
            f.unit = "%";
            break;
        default:
            f.unit = "t";
        }
        f.summary = Summarise(values[k]);
        s.criteria.push_back(std::move(f));
    }
    for (const auto& [by, position] : failedBy)
        if (by == program && position >= 1 && static_cast<size_t>(position) <= s.criteria.size())
            ++s.criteria[position - 1].failed;
}

std::string FigureText(double value, int decimals, const char* none) {
    if (!std::isfinite(value)) return none;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string RuleWords(ChartRule rule) {
    // The rules' names as RuleName gives them, for the catalogue.
    static const char* const names[] = {N_("one beyond 3\xCF\x83"), N_("nine in a row on one side"),
                                        N_("six in a row rising or falling"),
                                        N_("two of three beyond 2\xCF\x83")};
    (void)names;
    return Tr(RuleName(rule).c_str());
}

MountingStatistics StatisticsOf(RecordStore& store, const MountingFilter& asked,
                                const ForceLimits* given) {
    MountingStatistics s;
    MountingFilter filter = asked;
    filter.criteria = true;
    std::vector<MountingPoint> points = store.Mountings(filter);
    std::unordered_set<std::string> sides;
    sides.reserve(points.size());
    s.measured.reserve(points.size());
    s.peaks.reserve(points.size());
    std::vector<std::pair<std::string, int>> failedBy; // program, first NOK criterion
    for (MountingPoint& p : points) {
        ++s.mountings;
        if (p.result == "PASS")
            ++s.pass;
        else if (p.result == "FAIL")
            ++s.fail;
        else if (p.result == "INCOMPLETE")
            ++s.incomplete;
        else
            ++s.noVerdict;
        if (!sides.insert(Folded(p.axle) + "\n" + p.side).second) ++s.remounts;
        if (p.result == "FAIL")
            for (const CriterionValue& v : p.criteria)
                if (!v.ok) {
                    failedBy.emplace_back(p.program, v.position);
                    break;
                }
        // A recording cut off before its end measured no mounting's peak.
        if (!p.anySample || p.result == "INCOMPLETE" || p.status != RecordStatus::Complete)
            continue;
        s.peaks.push_back(p.peakTons);
        s.measured.push_back(std::move(p));
    }
    CriteriaOf(store, failedBy, s);
    for (size_t i = 0; i < s.measured.size(); ++i)
        if (s.measured[i].restBar >= 0) {
            s.rest.push_back(s.measured[i].restBar);
            s.restAt.push_back(static_cast<double>(i));
        }
    s.restSummary = Summarise(s.rest);
    s.restTrend = TrendOf(s.rest);
    // The limits given, or the one pair every measured recording was judged by.
    bool anyLimits = false, oneSet = !s.measured.empty();
    for (const MountingPoint& p : s.measured) {
        anyLimits = anyLimits || p.hasLimits;
        const MountingPoint& first = s.measured.front();
        oneSet = oneSet && p.hasLimits && p.lowerTons == first.lowerTons &&
                 p.upperTons == first.upperTons;
    }
    const ForceLimits judged =
        oneSet ? ForceLimits{s.measured.front().lowerTons, s.measured.front().upperTons}
               : ForceLimits{};
    s.summary = Summarise(s.peaks);
    s.chart = IndividualsChart(s.peaks);
    s.breaks = RuleBreaks(s.peaks, s.chart);
    for (const RuleBreak& b : s.breaks) {
        ++s.ruleCounts[static_cast<size_t>(b.rule)];
        s.breakValues.push_back(s.peaks[b.at]);
        s.breakUuids.push_back(s.measured[b.at].uuid);
    }
    s.trend = TrendOf(s.peaks);
    s.histogram = HistogramOf(s.peaks);
    const ForceLimits* against = given ? given : oneSet ? &judged : nullptr;
    AgainstLimits(s, given, oneSet ? &judged : nullptr, anyLimits,
                  against ? CapabilityOf(s.peaks, against->lowerTons, against->upperTons)
                          : Capability());
    return s;
}

MountingStatistics StatisticsOf(const PlantStatistics& p, const ForceLimits* given) {
    MountingStatistics s;
    s.plant = true;
    s.mountings = p.mountings;
    s.pass = p.pass;
    s.fail = p.fail;
    s.incomplete = p.incomplete;
    s.noVerdict = p.noVerdict;
    s.remounts = p.remounts;
    s.summary = p.summary;
    s.chart = ChartFrom(p.summary.mean, p.mrBar);
    for (const PlantStatistics::Flagged& f : p.flagged) {
        s.breaks.push_back(f.at);
        s.breakValues.push_back(f.value);
        s.breakUuids.push_back(f.uuid);
    }
    std::copy(std::begin(p.ruleCounts), std::end(p.ruleCounts), std::begin(s.ruleCounts));
    s.trend = TrendFrom(p.summary.n, p.slope, p.slopeError);
    s.histogram = p.histogram;
    s.runs = p.runs;
    const bool oneSet = p.summary.n > 0 && p.allLimited && p.limitSets == 1;
    const ForceLimits judged{p.lower, p.upper};
    const ForceLimits* against = given ? given : oneSet ? &judged : nullptr;
    AgainstLimits(s, given, oneSet ? &judged : nullptr, p.limitSets > 0,
                  against
                      ? CapabilityFrom(p.summary, p.mrBar, against->lowerTons, against->upperTons)
                      : Capability());
    return s;
}

size_t MountingStatistics::SeriesLength() const {
    return plant ? (runs.empty() ? 0 : runs.back().last + 1) : peaks.size();
}

bool MountingStatistics::HasChart() const {
    return std::isfinite(chart.sigma) && chart.sigma > 0;
}

MountingStatistics::Span MountingStatistics::IndividualsSpan() const {
    Span span = HistogramSpan();
    if (HasChart()) {
        span.low = std::min(span.low, chart.lower);
        span.high = std::max(span.high, chart.upper);
    }
    return span;
}

MountingStatistics::Span MountingStatistics::HistogramSpan() const {
    Span span;
    if (SeriesLength() > 0) span = {summary.min, summary.max};
    if (hasLimits) {
        span.low = std::min(span.low, limits.lowerTons);
        span.high = std::max(span.high, limits.upperTons);
    }
    return span;
}

std::string StatisticsLines(const MountingStatistics& s) {
    const double none = std::nan("");
    const Capability& c = s.capability;
    const std::pair<const char*, std::string> lines[] = {
        {"n", std::to_string(s.summary.n)},
        {"mean", FigureText(s.summary.mean, 3)},
        {"sd", FigureText(s.summary.sd, 3)},
        {"min", FigureText(s.summary.min, 3)},
        {"max", FigureText(s.summary.max, 3)},
        {"Cp", FigureText(s.hasLimits ? c.cp : none, 2)},
        {"Cpk", FigureText(s.hasLimits ? c.cpk : none, 2)},
        {"Pp", FigureText(s.hasLimits ? c.pp : none, 2)},
        {"Ppk", FigureText(s.hasLimits ? c.ppk : none, 2)},
    };
    std::string text;
    for (const auto& [word, figure] : lines)
        text += std::string(word) + " " + figure + "\n";
    // Each criterion of the program: its figures and the FAILs it made.
    for (const CriterionFigures& f : s.criteria)
        text += "criterion " + std::to_string(f.position) + " " + f.kind + " (" + f.unit + "): n " +
                std::to_string(f.summary.n) + ", mean " + FigureText(f.summary.mean, 3) + ", sd " +
                FigureText(f.summary.sd, 3) + ", min " + FigureText(f.summary.min, 3) + ", max " +
                FigureText(f.summary.max, 3) + ", first NOK of " + std::to_string(f.failed) +
                " FAIL\n";
    // One line per rule, with the recordings at which it was broken.
    for (const ChartRule rule : {ChartRule::BeyondThreeSigma, ChartRule::NineOnOneSide,
                                 ChartRule::SixTrending, ChartRule::TwoOfThreeBeyondTwo}) {
        std::string named;
        for (size_t k = 0; k < s.breaks.size(); ++k)
            if (s.breaks[k].rule == rule) named += " " + ReportNumber(s.breakUuids[k]);
        const size_t all = s.ruleCounts[static_cast<size_t>(rule)];
        const size_t told = std::count_if(s.breaks.begin(), s.breaks.end(),
                                          [&](const RuleBreak& b) { return b.rule == rule; });
        if (all > told) named += " and " + std::to_string(all - told) + " more";
        if (!named.empty()) text += "rule " + RuleName(rule) + ":" + named + "\n";
    }
    return text;
}

namespace {

bool DayStart(const std::string& date, int64_t& seconds) {
    return date.size() == 10 && ParseLocalDateTime(date, "00:00:00", seconds);
}

bool Number(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

} // namespace

StatisticsAnswer StatisticsCommand(const std::vector<std::string>& args,
                                   const std::string& storePath) {
    StatisticsAnswer answer;
    auto refuse = [&](const std::string& why) {
        answer.exitCode = 2;
        answer.text = "statistics: " + why + "\n";
        return answer;
    };
    MountingFilter filter;
    ForceLimits limits;
    bool haveLimits = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--statistics") continue;
        if (i + 1 >= args.size()) return refuse(a + " wants a value");
        const std::string& value = args[++i];
        if (a == "--press") {
            filter.press = value;
        } else if (a == "--bearing") {
            filter.bearing = value;
        } else if (a == "--from") {
            if (!DayStart(value, filter.from)) return refuse("--from wants a date YYYY-MM-DD");
        } else if (a == "--to") {
            int64_t day = 0;
            if (!DayStart(value, day)) return refuse("--to wants a date YYYY-MM-DD");
            // To the end of that day, whatever the offset from UTC does.
            LocalTime next = ToLocalTime(day + 36 * 3600);
            next.hour = next.minute = next.second = 0;
            filter.until = FromLocalTime(next);
        } else if (a == "--limits") {
            const size_t comma = value.find(',');
            std::string why;
            if (comma == std::string::npos || !Number(value.substr(0, comma), limits.lowerTons) ||
                !Number(value.substr(comma + 1), limits.upperTons) || !ValidLimits(limits, &why))
                return refuse("--limits wants LOWER,UPPER in tons, 0 < LOWER \xE2\x89\xA4 UPPER");
            haveLimits = true;
        } else {
            return refuse("unknown argument " + a);
        }
    }
    if (filter.until != 0 && filter.until <= filter.from) return refuse("--to comes before --from");
    std::string why;
    if (!PathExists(storePath)) return refuse("there is no record store " + storePath);
    std::unique_ptr<RecordStore> store = RecordStore::Open(storePath, &why);
    if (!store) return refuse("the record store " + storePath + " cannot be read: " + why);
    const MountingStatistics s = StatisticsOf(*store, filter, haveLimits ? &limits : nullptr);
    if (s.mountings == 0) return refuse("no recording matches");
    if (s.peaks.empty()) return refuse("no recording that matches measured a peak");
    answer.exitCode = 0;
    answer.text = StatisticsLines(s);
    if (s.summary.n < Capability::kFewest)
        answer.notes += "fewer than " + std::to_string(Capability::kFewest) +
                        " mountings: the capability figures are uncertain\n";
    if (!s.limitsNote.empty()) answer.notes += s.limitsNote + "\n";
    return answer;
}

std::string StatisticsCsv(const MountingStatistics& s, const std::string& identity,
                          const std::string& selection, int64_t madeAt) {
    std::string out = "# statistics," + CsvField(identity) + "\n# report_no," +
                      CsvField(ReportNumber(identity)) + "\n# selection," + CsvField(selection) +
                      "\n# made," + CsvField(IsoDateTime(madeAt)) + "\n";
    auto row = [&](std::initializer_list<std::string> fields) {
        bool first = true;
        for (const std::string& f : fields) {
            out += (first ? "" : ",") + f;
            first = false;
        }
        out += "\n";
    };
    if (!s.plant) {
        row({"n", "report_no", "identity", "stopped_at", "press", "axle", "side", "bearing",
             "peak_t", "result"});
        for (size_t i = 0; i < s.measured.size(); ++i) {
            const MountingPoint& p = s.measured[i];
            row({std::to_string(i + 1), CsvField(ReportNumber(p.uuid)), CsvField(p.uuid),
                 CsvField(IsoDateTime(p.stoppedAt)), CsvField(p.press), CsvField(p.axle),
                 CsvField(p.side), CsvField(p.bearing), CsvNumber(p.peakTons), CsvField(p.result)});
        }
        return out;
    }
    out += "# plant,computed on the plant server\n";
    row({"first", "last", "least_peak_t", "mean_peak_t", "largest_peak_t",
         "largest_moving_range_t"});
    for (const PlantStatistics::Run& r : s.runs)
        row({std::to_string(r.first + 1), std::to_string(r.last + 1), CsvNumber(r.min),
             CsvNumber(r.mean), CsvNumber(r.max),
             std::isfinite(r.maxRange) ? CsvNumber(r.maxRange) : ""});
    row({"rule", "n", "report_no", "identity", "peak_t"});
    for (size_t k = 0; k < s.breaks.size(); ++k)
        row({CsvField(RuleName(s.breaks[k].rule)), std::to_string(s.breaks[k].at + 1),
             CsvField(ReportNumber(s.breakUuids[k])), CsvField(s.breakUuids[k]),
             CsvNumber(s.breakValues[k])});
    return out;
}
