// The quality engineer's figures against values worked out by hand for short
// series, each control-chart rule at its boundary (eight and nine in a row,
// five and six rising, a point on 3σ and just beyond it), and the answer of
// --statistics over a store of known mountings.
#include "records/integrity.h"
#include "records/record_store.h"
#include "station/cycle.h"
#include "station/local_time.h"
#include "station/mounting_statistics.h"
#include "station/trail_export.h"
#include "statistics/capability.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

std::vector<size_t> Points(const std::vector<RuleBreak>& breaks, ChartRule rule) {
    std::vector<size_t> at;
    for (const RuleBreak& b : breaks)
        if (b.rule == rule) at.push_back(b.at);
    return at;
}

} // namespace

TEST(Statistics, FiguresAgreeWithTheHandWorkedValues) {
    // Steady: mean 400, sd √(10/4), MR̄ 2.75.
    const std::vector<double> steady = {400, 402, 398, 401, 399};
    const SeriesSummary s = Summarise(steady);
    EXPECT_EQ(s.n, 5u);
    EXPECT_DOUBLE_EQ(s.mean, 400);
    EXPECT_NEAR(s.sd, std::sqrt(2.5), 1e-12);
    EXPECT_EQ(s.min, 398);
    EXPECT_EQ(s.max, 402);
    Capability c = CapabilityOf(steady, 390, 410);
    EXPECT_NEAR(c.sigmaWithin, 2.75 / 1.128, 1e-12);
    EXPECT_NEAR(c.cp, 20 / (6 * 2.75 / 1.128), 1e-12);
    EXPECT_NEAR(c.cpk, c.cp, 1e-12); // centred
    EXPECT_NEAR(c.pp, 20 / (6 * std::sqrt(2.5)), 1e-12);

    // A press drifting up one ton a mounting: the spread within is small,
    // the overall spread large, so Cp and Pp part.
    const std::vector<double> drifting = {400, 401, 402, 403, 404, 405, 406, 407};
    c = CapabilityOf(drifting, 390, 410);
    EXPECT_NEAR(c.sigmaWithin, 1 / 1.128, 1e-12);
    EXPECT_NEAR(c.sigmaOverall, std::sqrt(6.0), 1e-12);
    EXPECT_NEAR(c.cp, 20 / (6 / 1.128), 1e-12);
    EXPECT_NEAR(c.cpk, 6.5 / (3 / 1.128), 1e-12); // the mean 403.5 nearer the upper limit
    EXPECT_NEAR(c.pp, 20 / (6 * std::sqrt(6.0)), 1e-12);
    EXPECT_NEAR(c.ppk, 6.5 / (3 * std::sqrt(6.0)), 1e-12);
    const ControlChart chart = IndividualsChart(drifting);
    EXPECT_DOUBLE_EQ(chart.centre, 403.5);
    EXPECT_NEAR(chart.upper, 403.5 + 3 / 1.128, 1e-12);
    EXPECT_NEAR(chart.mrUpper, 3.267, 1e-12);
    EXPECT_NEAR(Ewma(drifting)[0], 0.2 * 400 + 0.8 * 403.5, 1e-12);

    // One value: no spread, no figure that needs one.
    const Capability one = CapabilityOf({400}, 390, 410);
    EXPECT_TRUE(std::isnan(Summarise({400}).sd));
    EXPECT_TRUE(std::isnan(one.cp) && std::isnan(one.cpk) && std::isnan(one.ppk));

    // Drift: a noisy rise is a trend at twelve mountings; the same noise
    // about a level line is not.
    std::mt19937 random(11);
    std::uniform_real_distribution<double> noise(-0.4, 0.4);
    std::vector<double> rising, level;
    for (int i = 0; i < 12; ++i) {
        rising.push_back(400 + 0.5 * i + noise(random));
        level.push_back(400 + noise(random));
    }
    EXPECT_EQ(TrendOf(rising).direction, 1);
    EXPECT_EQ(TrendOf(level).direction, 0);
    rising.resize(9); // too few to say
    EXPECT_EQ(TrendOf(rising).direction, 0);
}

TEST(Statistics, EachRuleIsBrokenAtItsBoundaryAndNotBefore) {
    ControlChart chart;
    chart.centre = 400;
    chart.sigma = 2;
    std::mt19937 random(5);
    std::uniform_real_distribution<double> jitter(0.1, 0.9);
    auto above = [&](int n) {
        std::vector<double> v;
        for (int i = 0; i < n; ++i)
            v.push_back(400 + jitter(random) * (i % 2 ? 1 : 2));
        return v;
    };
    auto with = [](std::vector<double> v, std::vector<double> more) {
        v.insert(v.end(), more.begin(), more.end());
        return v;
    };
    // Eight above the centre, then one on it: nothing; nine: the ninth.
    EXPECT_TRUE(
        Points(RuleBreaks(with(above(8), {400, 401}), chart), ChartRule::NineOnOneSide).empty());
    EXPECT_EQ(Points(RuleBreaks(with({399}, above(9)), chart), ChartRule::NineOnOneSide),
              std::vector<size_t>{9});

    // Five rising (four steps), six rising: the sixth; a tie ends a run.
    const std::vector<double> five = {401, 399, 399.4, 399.9, 400.3, 400.8, 400.1};
    EXPECT_TRUE(Points(RuleBreaks(five, chart), ChartRule::SixTrending).empty());
    const std::vector<double> six = {401, 399, 399.4, 399.9, 400.3, 400.8, 401.2, 400.1};
    EXPECT_EQ(Points(RuleBreaks(six, chart), ChartRule::SixTrending), std::vector<size_t>{6});
    const std::vector<double> tied = {399, 399.4, 399.9, 399.9, 400.3, 400.8, 401.2};
    EXPECT_TRUE(Points(RuleBreaks(tied, chart), ChartRule::SixTrending).empty());
    const std::vector<double> falling = {401.2, 400.8, 400.3, 399.9, 399.4, 399, 399.5};
    EXPECT_EQ(Points(RuleBreaks(falling, chart), ChartRule::SixTrending), std::vector<size_t>{5});

    // On 3σ is not beyond it; a hundredth beyond is.
    EXPECT_TRUE(
        Points(RuleBreaks({401, 406, 399, 394}, chart), ChartRule::BeyondThreeSigma).empty());
    EXPECT_EQ(Points(RuleBreaks({401, 406.01, 399, 393.99}, chart), ChartRule::BeyondThreeSigma),
              (std::vector<size_t>{1, 3}));

    // Two of three beyond 2σ on one side; not with one between two far
    // apart, nor one on each side.
    EXPECT_EQ(Points(RuleBreaks({400.5, 404.3, 401, 404.2}, chart), ChartRule::TwoOfThreeBeyondTwo),
              std::vector<size_t>{3});
    EXPECT_TRUE(
        Points(RuleBreaks({404.3, 401, 400.5, 404.2}, chart), ChartRule::TwoOfThreeBeyondTwo)
            .empty());
    EXPECT_TRUE(
        Points(RuleBreaks({404.3, 400.5, 395.7}, chart), ChartRule::TwoOfThreeBeyondTwo).empty());

    // Told as one line per rule, naming the recordings by report number.
    MountingStatistics s;
    s.peaks = {401, 406.01, 399, 393.99};
    for (size_t i = 0; i < s.peaks.size(); ++i) {
        s.measured.push_back({});
        s.measured.back().uuid = NewRecordingId();
    }
    s.breaks = RuleBreaks(s.peaks, chart);
    for (const RuleBreak& b : s.breaks) {
        s.breakUuids.push_back(s.measured[b.at].uuid);
        ++s.ruleCounts[static_cast<size_t>(b.rule)];
    }
    std::string lines = StatisticsLines(s);
    EXPECT_NE(lines.find("\nrule one beyond 3\xCF\x83: " + ReportNumber(s.measured[1].uuid) + " " +
                         ReportNumber(s.measured[3].uuid) + "\n"),
              std::string::npos)
        << lines;
    // The plant tells only the first points: the rest are counted.
    s.ruleCounts[0] = 502;
    lines = StatisticsLines(s);
    EXPECT_NE(lines.find(ReportNumber(s.measured[3].uuid) + " and 500 more\n"), std::string::npos)
        << lines;
}

// --statistics over a store of known mountings: counts, re-mounts, the
// limits they were judged by, a cut-off recording left out of the figures,
// and exit 2 with the reason when nothing matches.
TEST(Statistics, TheCommandLineAnswersForTheRecordingsThatMatch) {
    const std::string path = testing::TempDir() + "statistics.db";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((path + suffix).c_str());
    std::string why;
    {
        auto store = RecordStore::Open(path, &why);
        ASSERT_TRUE(store) << why;
        std::mt19937 random(3);
        std::uniform_real_distribution<double> noise(-0.3, 0.3);
        int64_t at = 0;
        ParseLocalDateTime("2026-11-02", "08:00:00", at);
        auto keep = [&](const std::string& axle, double peak, const std::string& bearing,
                        RecordStatus status = RecordStatus::Complete) {
            Recording r;
            r.setup.uuid = NewRecordingId();
            r.setup.job = {"OP7", axle, "A", bearing, "2024-01", "-"};
            r.setup.pressName = "Press A";
            r.setup.surface = 1250;
            r.setup.hasLimits = true;
            r.setup.limits = {390, 410};
            r.setup.recordLengthSeconds = 20;
            r.startedAt = at;
            r.stoppedAt = at += 600;
            for (int i = 0; i < 120; ++i) { // a rise, then a noisy hold below the peak
                r.times.push_back(i * 0.075 + (i ? noise(random) * 0.01 : 0));
                r.forces.push_back(i < 40 ? peak * i / 40 : peak - 0.5 + noise(random));
                r.pressures.push_back(static_cast<int>(r.forces.back() / 1250 * 1000 / 0.102 / 10));
            }
            r.forces[80] = peak;
            const bool added = store->Add(r, status, nullptr, &why);
            ASSERT_TRUE(added) << "why: " << why;
        };
        const double peaks[] = {400, 402, 398, 401, 399};
        for (int i = 0; i < 5; ++i)
            keep("AX-" + std::to_string(i), peaks[i], i % 2 ? "TAROL 130/230" : "tarol 130/230");
        keep("AX-1", 412, "TAROL 130/230");                           // a re-mount, a FAIL
        keep("AX-9", 380, "TAROL 130/230", RecordStatus::Incomplete); // cut off: no peak
        keep("AX-8", 405, "TBU 150");
    }
    const StatisticsAnswer answer = StatisticsCommand(
        {"--statistics", "--press", "Press A", "--bearing", "TAROL 130*", "--to", "2026-11-02"},
        path);
    ASSERT_EQ(answer.exitCode, 0) << answer.text;
    // 400, 402, 398, 401, 399, 412: mean 402, sd √(130/5), MR̄ (2+4+3+2+13)/5.
    const double sd = std::sqrt(130.0 / 5), sigma = 24.0 / 5 / 1.128;
    char expected[512];
    std::snprintf(expected, sizeof expected,
                  "n 6\nmean 402.000\nsd %.3f\nmin 398.000\nmax 412.000\nCp %.2f\nCpk %.2f\n"
                  "Pp %.2f\nPpk %.2f\n",
                  sd, 20 / (6 * sigma), 8 / (3 * sigma), 20 / (6 * sd), 8 / (3 * sd));
    EXPECT_EQ(answer.text, expected);
    EXPECT_NE(answer.notes.find("fewer than 25 mountings"), std::string::npos);

    auto store = RecordStore::Open(path, &why);
    MountingFilter filter;
    filter.bearing = "tarol 130/230";
    const MountingStatistics s = StatisticsOf(*store, filter, nullptr);
    EXPECT_EQ(s.mountings, 7u);
    EXPECT_EQ(s.fail, 2u); // the re-mount, and the one cut off
    EXPECT_EQ(s.remounts, 1u);
    EXPECT_EQ(s.peaks.size(), 6u);
    EXPECT_TRUE(s.hasLimits);

    // Given limits are used instead; nothing matching is exit 2 with why.
    const StatisticsAnswer given =
        StatisticsCommand({"--statistics", "--bearing", "TBU*", "--limits", "400,410"}, path);
    EXPECT_EQ(given.exitCode, 0);
    EXPECT_NE(given.text.find("Cp -\n"), std::string::npos) << given.text; // one: no spread
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--press", "Press Z"},
                                               {"--from", "2026-11-03"},
                                               {"--from", "02/11/2026"},
                                               {"--limits", "410,400"}}) {
        const StatisticsAnswer refused = StatisticsCommand(args, path);
        EXPECT_EQ(refused.exitCode, 2) << args[0];
        EXPECT_EQ(refused.text.rfind("statistics: ", 0), 0u) << refused.text;
    }
    EXPECT_EQ(StatisticsCommand({}, path + ".none").exitCode, 2);
}

// Recordings judged by a program: each criterion's figures over them, each
// FAIL counted by its first NOK criterion (a peak too high, a hold too
// short), in the --statistics lines; and a store from before the criteria
// were kept has them judged again from its samples when it is brought up.
TEST(Statistics, EachCriterionsFiguresAndTheFailsItMadeComeFromTheSamples) {
    const std::string path = testing::TempDir() + "statistics-criteria.db";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((path + suffix).c_str());
    Program program;
    std::string why;
    ASSERT_TRUE(ParseProgram(R"({"name": "TBU 130x230", "version": 2, "bearing": "TBU 130x230*",
        "criteria": [{"peak": {"min_t": 350, "max_t": 420}},
                     {"hold": {"above_t": 340, "min_s": 3}}]})",
                             program, &why))
        << why;
    const auto shared = std::make_shared<const Program>(program);
    std::mt19937 random(17);
    std::uniform_real_distribution<double> noise(-0.8, 0.8);
    std::vector<double> holds;
    {
        auto store = RecordStore::Open(path, &why);
        ASSERT_TRUE(store) << why;
        for (int k = 0; k < 12; ++k) {
            const double peak = k == 4 ? 425 : 380 + noise(random);
            const double hold = k == 7 ? 2 : 3.5 + 0.1 * k; // seconds above 340 t
            Recording r;
            r.setup.uuid = NewRecordingId();
            r.setup.job = {"OP7", "AX-" + std::to_string(k), "A", "TBU 130x230", "2024-01", "-"};
            r.setup.pressName = "Press A";
            r.setup.surface = 1250;
            r.setup.program = shared;
            r.setup.restBar = k == 5 ? -1 : k / 3; // a zero that creeps up; one not known
            r.startedAt = 1796752800 + 600 * k;
            r.stoppedAt = r.startedAt + 20;
            for (int i = 0; i * 0.05 < 4 + hold; ++i) { // a rise over 2 s, the hold, a fall
                const double t = i * 0.05 + (i % 2) * 0.001;
                r.times.push_back(t);
                const double f = t < 2          ? peak * t / 2
                                 : t < 2 + hold ? peak - 8 + noise(random)
                                                : 100;
                r.forces.push_back(std::round(f * 1e4) / 1e4);
                r.pressures.push_back(static_cast<int>(f * 8));
            }
            r.forces[45] = peak;
            ASSERT_TRUE(store->Add(r, RecordStatus::Complete, nullptr, &why)) << why;
            if (k != 4 && k != 7) holds.push_back(r.Judged().criteria[1].measured);
        }
    }
    auto figures = [&] {
        auto store = RecordStore::Open(path, &why);
        EXPECT_TRUE(store) << why;
        return store ? StatisticsOf(*store, MountingFilter(), nullptr) : MountingStatistics();
    };
    MountingStatistics s = figures();
    EXPECT_EQ(s.fail, 2u);
    EXPECT_EQ(s.program, "TBU 130x230");
    ASSERT_EQ(s.criteria.size(), 2u);
    EXPECT_EQ(s.criteria[0].kind, "peak");
    EXPECT_EQ(s.criteria[0].failed, 1u);
    EXPECT_EQ(s.criteria[0].summary.max, 425);
    EXPECT_EQ(s.criteria[1].unit, "s");
    EXPECT_EQ(s.criteria[1].failed, 1u);
    EXPECT_EQ(s.criteria[1].summary.n, 12u);
    EXPECT_LT(s.criteria[1].summary.min, 3); // the short hold
    EXPECT_NEAR(s.criteria[1].summary.max, *std::max_element(holds.begin(), holds.end()), 1e-9);
    EXPECT_NE(StatisticsLines(s).find("criterion 2 hold (s): n 12, mean "), std::string::npos)
        << StatisticsLines(s);
    EXPECT_EQ(s.rest.size(), 11u);
    EXPECT_EQ(s.restAt[5], 6);
    EXPECT_EQ(s.restSummary.max, 3);
    EXPECT_EQ(s.restTrend.direction, 1);

    // The store as the version before wrote it: the same figures once up.
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(db,
                         "DROP TABLE criterion_values; ALTER TABLE recordings DROP COLUMN rest_bar;"
                         " PRAGMA user_version=8",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(db);
    }
    const MountingStatistics again = figures();
    ASSERT_EQ(again.criteria.size(), 2u);
    EXPECT_EQ(again.criteria[1].summary.mean, s.criteria[1].summary.mean);
    EXPECT_EQ(again.criteria[0].failed, 1u);
    EXPECT_TRUE(again.rest.empty()); // not known before it was kept
    // The exported list gives each recording's findings.
    auto store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    const std::string list = RecordingListCsv(*store, RecordFilter());
    EXPECT_NE(list.find(",criteria\n"), std::string::npos);
    EXPECT_NE(list.find("\"NOK: peak 425.0 t above 420.0 t; OK: hold "), std::string::npos) << list;
    EXPECT_NE(list.find("; NOK: hold 2.2 s at"), std::string::npos) << list;
}
