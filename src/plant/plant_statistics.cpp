// The plant's statistics, computed where the recordings are: one question
// whose aggregates and window functions read the selected rows once on the
// server, and whose answer is a few hundred rows whatever the selection.
#include "plant/plant_server.h"

#include "plant/pg_result.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// The rows a filter selects (from the index by bearing and period, which
// holds every column asked), then the measured ones in recording order with
// their steps, the figures over them, and each point's runs: how many in a
// row above the centre, below it, rising, falling, ending at it, and how many
// of the last three lie beyond 2σ on each side. The runs are counted from
// the last point that broke them, so every window reads the series in one
// order. The answer's rows: 'c' the counts, 'f' the figures, 'h' the
// histogram, 'n' each rule's count of points, 'p' the first points that
// break a rule, 'r' the series in runs of consecutive mountings.
const char* const kStatisticsSql = R"SQL(
WITH picked AS MATERIALIZED (
    SELECT stopped_at, uuid, axle, side, result, peak_force_t, lower_t, upper_t,
           mounting_program, mounting_program_version,
           sample_count > 0 AND result <> 'INCOMPLETE' AND status = 'complete' AS measured
    FROM recordings %WHERE%),
counted AS (
    SELECT count(*) AS n,
           count(*) FILTER (WHERE result = 'PASS') AS pass,
           count(*) FILTER (WHERE result = 'FAIL') AS fail,
           count(*) FILTER (WHERE result = 'INCOMPLETE') AS incomplete,
           count(*) FILTER (WHERE result NOT IN ('PASS', 'FAIL', 'INCOMPLETE')) AS none
    FROM picked),
sides AS (
    SELECT count(*) AS n FROM (SELECT 1 FROM picked GROUP BY upper(axle), side) g),
series AS MATERIALIZED (
    SELECT row_number() OVER w - 1 AS i, uuid, peak_force_t AS v,
           peak_force_t - lag(peak_force_t) OVER w AS step, lower_t, upper_t,
           mounting_program, mounting_program_version
    FROM picked WHERE measured
    WINDOW w AS (ORDER BY stopped_at, uuid)),
figures AS (
    SELECT count(*) AS n, avg(v) AS mean, stddev_samp(v) AS sd, min(v) AS lo, max(v) AS hi,
           avg(abs(step)) AS mrbar,
           bool_and(lower_t IS NOT NULL AND upper_t IS NOT NULL) AS limited,
           min(lower_t) = max(lower_t) AND min(upper_t) = max(upper_t) AS one_pair,
           min(lower_t) AS lower_t, min(upper_t) AS upper_t,
           -- the recordings judged by a program without limits of the press:
           -- how many, and whether by one version of one program
           count(*) FILTER (WHERE lower_t IS NULL) AS unlimited,
           count(*) FILTER (WHERE lower_t IS NULL AND mounting_program IS NOT NULL) AS by_program,
           min(mounting_program) FILTER (WHERE lower_t IS NULL) AS program,
           min(mounting_program) FILTER (WHERE lower_t IS NULL) =
               max(mounting_program) FILTER (WHERE lower_t IS NULL)
           AND min(mounting_program_version) FILTER (WHERE lower_t IS NULL) =
               max(mounting_program_version) FILTER (WHERE lower_t IS NULL) AS one_program,
           min(mounting_program_version) FILTER (WHERE lower_t IS NULL) AS program_version,
           regr_slope(v, i) AS slope, regr_sxx(v, i) AS sxx, regr_syy(v, i) AS syy,
           regr_sxy(v, i) AS sxy,
           greatest(1, ceil(count(*) / $6::float8))::bigint AS run,
           least(30, greatest(5, floor(sqrt(count(*)::float8))))::int AS bins
    FROM series),
layout AS (
    SELECT lo, bins, greatest(0.1::float8, (hi - lo) / bins) AS width FROM figures),
marked AS (
    SELECT s.i, s.uuid, s.v,
           abs(s.v - f.mean) > 3 * f.sigma AS beyond,
           s.i - coalesce(max(CASE WHEN NOT s.v > f.mean THEN s.i END) OVER o, -1) AS above,
           s.i - coalesce(max(CASE WHEN NOT s.v < f.mean THEN s.i END) OVER o, -1) AS below,
           s.i - max(CASE WHEN s.step IS NULL OR s.step <= 0 THEN s.i END) OVER o + 1 AS rising,
           s.i - max(CASE WHEN s.step IS NULL OR s.step >= 0 THEN s.i END) OVER o + 1 AS falling,
           s.i >= 2 AND ((s.v > f.mean + 2 * f.sigma
                          AND sum((s.v > f.mean + 2 * f.sigma)::int) OVER t >= 2)
                      OR (s.v < f.mean - 2 * f.sigma
                          AND sum((s.v < f.mean - 2 * f.sigma)::int) OVER t >= 2)) AS two
    FROM series s CROSS JOIN (SELECT mean, mrbar / 1.128::float8 AS sigma FROM figures) f
    WHERE f.sigma > 0
    WINDOW o AS (ORDER BY s.i ROWS UNBOUNDED PRECEDING), t AS (ORDER BY s.i ROWS 2 PRECEDING)),
hits AS MATERIALIZED (
    SELECT * FROM marked
    WHERE beyond OR above >= 9 OR below >= 9 OR rising >= 6 OR falling >= 6 OR two),
flags AS (
    SELECT h.i, h.v, h.uuid, r.ord, r.rule, r.first
    FROM (SELECT * FROM hits ORDER BY i LIMIT $7) h CROSS JOIN LATERAL (VALUES
        (0, 0, h.beyond, h.i), (1, 1, h.above >= 9, h.i + 1 - h.above),
        (2, 1, h.below >= 9, h.i + 1 - h.below), (3, 2, h.rising >= 6, h.i + 1 - h.rising),
        (4, 2, h.falling >= 6, h.i + 1 - h.falling), (5, 3, h.two, h.i - 2))
        AS r(ord, rule, hit, first)
    WHERE r.hit)
SELECT 'c', c.n, pass, fail, incomplete, none, c.n - s.n, NULL, NULL, NULL, NULL, NULL, NULL, NULL
    FROM counted c CROSS JOIN sides s
UNION ALL
SELECT 'f', n, mean, sd, lo, hi, mrbar, limited::int, one_pair::int, lower_t, upper_t, slope,
       CASE WHEN n > 2 AND sxx > 0
            THEN sqrt(greatest(0, syy - sxy * sxy / sxx) / (n - 2) / sxx) END, NULL
    FROM figures
UNION ALL
SELECT 'g', unlimited, by_program, one_program::int, program_version, NULL, NULL, NULL, NULL,
       NULL, NULL, NULL, NULL, program
    FROM figures
UNION ALL
SELECT 'h', b, count(*), NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL
    FROM (SELECT least(l.bins - 1, greatest(0, floor((s.v - l.lo) / l.width)))::int AS b
          FROM series s CROSS JOIN layout l) binned
    GROUP BY b
UNION ALL
SELECT 'n', 0, count(*) FILTER (WHERE beyond),
       count(*) FILTER (WHERE above >= 9) + count(*) FILTER (WHERE below >= 9),
       count(*) FILTER (WHERE rising >= 6) + count(*) FILTER (WHERE falling >= 6),
       count(*) FILTER (WHERE two), NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL
    FROM hits
UNION ALL
(SELECT 'p', rule, i, first, v, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, uuid
    FROM flags ORDER BY i, ord LIMIT $7)
UNION ALL
SELECT 'r', min(i), max(i), min(v), avg(v), max(v), max(abs(step)), NULL, NULL, NULL, NULL, NULL,
       NULL, NULL
    FROM series GROUP BY i / (SELECT run FROM figures)
)SQL";

using Answer = PgResult;

} // namespace

bool PlantServer::JudgedByProgram(const std::string& name, long long version, PlantStatistics& out,
                                  std::string* why) {
    const std::string versionText = std::to_string(version);
    const char* params[] = {name.c_str(), versionText.c_str()};
    Answer r(Ask("SELECT mounting_program_json FROM recordings WHERE mounting_program = $1 AND"
                 " mounting_program_version = $2::integer LIMIT 1",
                 2, params, nullptr, nullptr, why));
    if (!r.result) return false;
    Program program;
    ForceLimits limits;
    if (PQntuples(r.result) != 1 ||
        !ParseProgram(PQgetvalue(r.result, 0, 0), program, nullptr, true) ||
        !PeakLimitsOf(&program, nullptr, limits))
        return true; // judged by no limits of the peak
    // Together with the recordings that were judged by limits of their own.
    const bool same =
        out.limitSets == 0 || (out.lower == limits.lowerTons && out.upper == limits.upperTons);
    out.limitSets = out.limitSets == 0 || same ? 1 : 2;
    out.lower = limits.lowerTons;
    out.upper = limits.upperTons;
    out.allLimited = true;
    return true;
}

bool PlantServer::Statistics(const MountingFilter& filter, const std::string& pcName,
                             PlantStatistics& out, std::string* why) {
    out = PlantStatistics();
    // Only the conditions asked for, each parameter typed where it is not.
    const bool pattern = IsBearingPattern(filter.bearing);
    std::string where = "WHERE stopped_at >= $3::bigint";
    where += filter.press.empty() ? " AND $1::text IS NOT NULL" : " AND press = $1";
    if (filter.bearing.empty())
        where += " AND $2::text IS NOT NULL";
    else
        where += pattern ? " AND lower(bearing) LIKE lower($2) ESCAPE '\\'"
                         : " AND lower(bearing) = lower($2)";
    where += filter.until != 0 ? " AND stopped_at < $4::bigint" : " AND $4::bigint IS NOT NULL";
    where += pcName.empty() ? " AND $5::text IS NOT NULL" : " AND pc_name = $5";
    std::string sql = kStatisticsSql;
    for (size_t at = sql.find("%WHERE%"); at != std::string::npos; at = sql.find("%WHERE%"))
        sql.replace(at, 7, where);
    const std::string values[] = {filter.press,
                                  BearingLike(filter.bearing),
                                  std::to_string(filter.from),
                                  std::to_string(filter.until),
                                  pcName,
                                  std::to_string(PlantStatistics::kMostRuns),
                                  std::to_string(PlantStatistics::kMostFlagged)};
    const char* params[7];
    for (int i = 0; i < 7; ++i)
        params[i] = values[i].c_str();
    // The series and its windows are sorted in memory, not on disk.
    if (!Run("BEGIN", why)) return false;
    Answer r(Run("SET LOCAL work_mem = '256MB'", why)
                 ? Ask(sql.c_str(), 7, params, nullptr, nullptr, why)
                 : nullptr);
    if (!r.result || !Run("COMMIT", why)) {
        Run("ROLLBACK", nullptr);
        return false;
    }
    size_t unlimited = 0, byProgram = 0;
    bool oneProgram = false;
    long long programVersion = 0;
    std::string programName;
    for (int row = 0; row < PQntuples(r.result); ++row) {
        auto null = [&](int column) { return PQgetisnull(r.result, row, column) != 0; };
        auto real = [&](int column) {
            return null(column) ? std::nan("")
                                : std::strtod(PQgetvalue(r.result, row, column), nullptr);
        };
        auto count = [&](int column) { return null(column) ? size_t(0) : size_t(real(column)); };
        switch (PQgetvalue(r.result, row, 0)[0]) {
        case 'c':
            out.mountings = count(1);
            out.pass = count(2);
            out.fail = count(3);
            out.incomplete = count(4);
            out.noVerdict = count(5);
            out.remounts = count(6);
            break;
        case 'f':
            out.summary.n = count(1);
            out.summary.mean = real(2);
            out.summary.sd = real(3);
            out.summary.min = real(4);
            out.summary.max = real(5);
            out.mrBar = real(6);
            out.allLimited = count(7) == 1;
            out.limitSets = null(8) ? 0 : count(8) == 1 ? 1 : 2;
            out.lower = real(9);
            out.upper = real(10);
            out.slope = real(11);
            out.slopeError = real(12);
            break;
        case 'g':
            unlimited = count(1);
            byProgram = count(2);
            oneProgram = count(3) == 1;
            programVersion = static_cast<long long>(real(4));
            programName = PQgetvalue(r.result, row, 13);
            break;
        case 'h': {
            const size_t bin = count(1);
            if (bin >= out.histogram.size()) out.histogram.resize(bin + 1);
            out.histogram[bin].count = count(2);
            break;
        }
        case 'n':
            for (int rule = 0; rule < 4; ++rule)
                out.ruleCounts[rule] = count(2 + rule);
            break;
        case 'p':
            out.flagged.push_back({{static_cast<ChartRule>(count(1)), count(2), count(3)},
                                   real(4),
                                   PQgetvalue(r.result, row, 13)});
            break;
        case 'r':
            out.runs.push_back({count(1), count(2), real(3), real(4), real(5), real(6)});
            break;
        }
    }
    // Recordings judged by a program were judged by its peak criterion's
    // limits: those of the one version they were judged by, read once.
    if (unlimited > 0 && unlimited == byProgram && oneProgram &&
        !JudgedByProgram(programName, programVersion, out, why))
        return false;
    // Every bin, the empty ones too, with its bounds as the PC draws them.
    const HistogramLayout layout = LayOutHistogram(out.summary.n, out.summary.min, out.summary.max);
    out.histogram.resize(static_cast<size_t>(layout.bins));
    for (int b = 0; b < layout.bins; ++b) {
        out.histogram[b].low = layout.low + b * layout.width;
        out.histogram[b].high = out.histogram[b].low + layout.width;
    }
    std::sort(out.runs.begin(), out.runs.end(),
              [](const PlantStatistics::Run& a, const PlantStatistics::Run& b) {
                  return a.first < b.first;
              });
    return true;
}
