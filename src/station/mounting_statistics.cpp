#include "station/mounting_statistics.h"

#include "records/file_access.h"
#include "records/integrity.h"
#include "station/local_time.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_set>

namespace {

std::string Figure(double value, int decimals) {
    if (!std::isfinite(value)) return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Folded(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

MountingStatistics StatisticsOf(RecordStore& store, const MountingFilter& filter,
                                const ForceLimits* given) {
    MountingStatistics s;
    std::vector<MountingPoint> points = store.Mountings(filter);
    std::unordered_set<std::string> sides;
    sides.reserve(points.size());
    s.measured.reserve(points.size());
    s.peaks.reserve(points.size());
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
        // A recording cut off before its end measured no mounting's peak.
        if (!p.anySample || p.result == "INCOMPLETE" || p.status != RecordStatus::Complete)
            continue;
        s.peaks.push_back(p.peakTons);
        s.measured.push_back(std::move(p));
    }
    // The limits given, or the one pair every measured recording was judged by.
    bool anyLimits = false, oneSet = !s.measured.empty();
    for (const MountingPoint& p : s.measured) {
        anyLimits = anyLimits || p.hasLimits;
        const MountingPoint& first = s.measured.front();
        oneSet = oneSet && p.hasLimits && p.lowerTons == first.lowerTons &&
                 p.upperTons == first.upperTons;
    }
    if (given) {
        s.hasLimits = true;
        s.limits = *given;
    } else if (oneSet) {
        s.hasLimits = true;
        s.limits = {s.measured.front().lowerTons, s.measured.front().upperTons};
    } else {
        s.limitsNote = anyLimits ? "the recordings were judged by different limits (or some by "
                                   "none): give the limits to judge the capability against"
                                 : "the recordings were judged by no limits: give the limits to "
                                   "judge the capability against";
    }
    s.summary = Summarise(s.peaks);
    s.chart = IndividualsChart(s.peaks);
    s.breaks = RuleBreaks(s.peaks, s.chart);
    s.trend = TrendOf(s.peaks);
    if (s.hasLimits) s.capability = CapabilityOf(s.peaks, s.limits.lowerTons, s.limits.upperTons);
    return s;
}

std::string StatisticsLines(const MountingStatistics& s) {
    const double none = std::nan("");
    const Capability& c = s.capability;
    const std::pair<const char*, std::string> lines[] = {
        {"n", std::to_string(s.summary.n)},
        {"mean", Figure(s.summary.mean, 3)},
        {"sd", Figure(s.summary.sd, 3)},
        {"min", Figure(s.summary.min, 3)},
        {"max", Figure(s.summary.max, 3)},
        {"Cp", Figure(s.hasLimits ? c.cp : none, 2)},
        {"Cpk", Figure(s.hasLimits ? c.cpk : none, 2)},
        {"Pp", Figure(s.hasLimits ? c.pp : none, 2)},
        {"Ppk", Figure(s.hasLimits ? c.ppk : none, 2)},
    };
    std::string text;
    for (const auto& [word, figure] : lines)
        text += std::string(word) + " " + figure + "\n";
    // One line per rule, with the recordings at which it was broken.
    for (const ChartRule rule : {ChartRule::BeyondThreeSigma, ChartRule::NineOnOneSide,
                                 ChartRule::SixTrending, ChartRule::TwoOfThreeBeyondTwo}) {
        std::string named;
        for (const RuleBreak& b : s.breaks)
            if (b.rule == rule) named += " " + ReportNumber(s.measured[b.at].uuid);
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
