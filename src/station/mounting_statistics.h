// The statistics of the mountings a selection of the record store holds:
// counts by verdict and re-mounts, the peak force's summary, capability,
// control chart with its broken rules, and drift; and the answer of
// `vemo-recorder --statistics`. No window here.
#pragma once

#include "plant/plant_server.h"
#include "records/record_store.h"
#include "statistics/capability.h"

#include <string>
#include <vector>

/// One criterion of the program every measured recording was judged by:
/// what it measured over them, and how many FAILs it was the first NOK of.
struct CriterionFigures {
    int position = 0;
    std::string kind, unit; ///< "hold", "s"
    SeriesSummary summary;
    size_t failed = 0;
};

struct MountingStatistics {
    size_t mountings = 0, pass = 0, fail = 0, incomplete = 0, noVerdict = 0;
    /// Recordings of an axle side recorded before in the selection.
    size_t remounts = 0;
    /// The recordings whose peak is measured (with samples, not cut off as
    /// INCOMPLETE), in recording order, and their peaks in tons.
    std::vector<MountingPoint> measured;
    std::vector<double> peaks;
    SeriesSummary summary;
    /// The limits the capability is against: given, or the ones every
    /// measured recording was judged by; `limitsNote` says why there are none.
    bool hasLimits = false;
    ForceLimits limits;
    std::string limitsNote;
    Capability capability;
    ControlChart chart;
    /// The points that break a rule, with each one's peak and recording;
    /// every one counted by rule, even where the plant's answer tells only
    /// the first PlantStatistics::kMostFlagged.
    std::vector<RuleBreak> breaks;
    std::vector<double> breakValues;
    std::vector<std::string> breakUuids;
    size_t ruleCounts[4] = {};
    Trend trend;
    std::vector<HistogramBin> histogram;
    /// The pressure at rest before Start of the measured recordings that
    /// know it, at their place among them (from 0), its figures and drift:
    /// a transmitter whose zero wanders shows here first.
    std::vector<double> rest, restAt;
    SeriesSummary restSummary;
    Trend restTrend;
    /// The one program the measured recordings were judged by ("" for
    /// none, or several: then `criteria` is empty) and its criteria.
    std::string program;
    std::vector<CriterionFigures> criteria;
    /// The plant's statistics, computed on the server: its peaks are not
    /// here (`measured` and `peaks` stay empty), only the series in runs of
    /// consecutive mountings.
    bool plant = false;
    std::vector<PlantStatistics::Run> runs;

    /// How many mountings the series has (the plant's runs count theirs).
    size_t SeriesLength() const;
    /// Whether the control chart has a spread to draw.
    bool HasChart() const;
    /// What a chart of the peaks spans: with the control lines and the
    /// limits (the individuals chart), or with the limits (the histogram).
    struct Span {
        double low = 0, high = 1;
    };
    Span IndividualsSpan() const;
    Span HistogramSpan() const;
};

/// The statistics of what `filter` finds; against `given` limits when not
/// null.
MountingStatistics StatisticsOf(RecordStore& store, const MountingFilter& filter,
                                const ForceLimits* given);

/// `value` with `decimals` places; `none` for a figure that cannot be had.
std::string FigureText(double value, int decimals, const char* none = "-");

/// A rule's name in the language in use.
std::string RuleWords(ChartRule rule);

/// The same, of the plant server's answer.
MountingStatistics StatisticsOf(const PlantStatistics& plant, const ForceLimits* given);

/// One line each of n, mean, sd, min, max, Cp, Cpk, Pp, Ppk of the peak
/// force (word, space, figure; "-" for a figure that cannot be had), then
/// one line per rule broken, naming the rule and the recordings' report
/// numbers.
std::string StatisticsLines(const MountingStatistics& statistics);

/// `--statistics [--press NAME] [--bearing TEXT] [--from YYYY-MM-DD]
/// [--to YYYY-MM-DD] [--limits LOWER,UPPER]` over the store at `storePath`:
/// the lines on success (exit 0); exit 2 with the reason when the arguments
/// or the store cannot be read or nothing matches. `notes` gets what is said
/// beside the figures (fewer than 25 mountings, limits unknown).
struct StatisticsAnswer {
    int exitCode = 2;
    std::string text, notes;
};
StatisticsAnswer StatisticsCommand(const std::vector<std::string>& args,
                                   const std::string& storePath);

/// The data a statistics page is computed from, as a CSV file beside it:
/// "#" lines with the page's identity, the selection and when it was made,
/// then one row per measured mounting in recording order (its position,
/// report number, identity, time, press, job, peak and result); for the
/// plant's statistics, the server's runs and the points that break a rule.
/// Formula-safe as the report's CSV file.
std::string StatisticsCsv(const MountingStatistics& statistics, const std::string& identity,
                          const std::string& selection, int64_t madeAt);
