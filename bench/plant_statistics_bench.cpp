// The plant's statistics on a PostgreSQL cluster of the benchmark's own on
// 127.0.0.1: ROWS recordings (1 000 000 by default) of ten bearing types
// from 20 presses and PCs, filled on the server itself, then the statistics
// of all of them ("TBU 130x*"), of one bearing type (a tenth) and of one
// press's share of it, each asked five times on a quiet server (the best
// and the worst told). Usage: plant_statistics_bench [ROWS]
#include "pg_cluster.h"
#include "plant/plant_server.h"

#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

double Ms(Steady::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    PgCluster cluster;
    std::string why;
    if (!cluster.Create(&why) || !cluster.Start(&why))
        return std::fprintf(stderr, "cluster: %s\n", why.c_str()), 1;
    auto server = PlantServer::Connect(cluster.Connection(), &why);
    if (!server || !server->PrepareSchema(&why))
        return std::fprintf(stderr, "server: %s\n", why.c_str()), 1;
    {
        // One a minute, two an axle, peaks with a slow drift and scatter,
        // one in fifty cut off; the samples are not what is asked about.
        PGconn* c = PQconnectdb(cluster.Connection().c_str());
        const auto a = Steady::now();
        for (long from = 0; from < rows; from += 100000) {
            const std::string lo = std::to_string(from),
                              hi = std::to_string(std::min(rows, from + 100000) - 1);
            const char* values[] = {lo.c_str(), hi.c_str()};
            PGresult* r = PQexecParams(
                c,
                "INSERT INTO recordings (uuid, pc_name, press, operator_id, axle, side, bearing, "
                "production_date, refurbishment_date, module, armed_at, started_at, stopped_at, "
                "record_length_s, surface_cm2, lower_t, upper_t, alarm_threshold_bar, "
                "peak_force_t, peak_time_s, peak_bar, result, status, incomplete, alarms, "
                "csv_sha256, limits_set_at, limits_set_by, program_version, sample_count, "
                "samples) SELECT 'fill-' || k, 'PC-' || (k % 20 + 1), 'Press ' || (k % 20 + 1), "
                "'OP-' || (k % 57), 'AX-' || (100000 + k / 2), CASE WHEN k % 2 = 0 THEN 'A' "
                "ELSE 'B' END, 'TBU 130x' || (230 + k % 10), '2024-03', '2026-10', "
                "'127.0.0.1:65100', "
                "1700000000 + k * 60 - 90, 1700000000 + k * 60 - 80, 1700000000 + k * 60, 80, "
                "1250, 350, 420, 250, 385 + k / 1e5 + (k * 7919 % 101) / 10.0, 40, 300, "
                "CASE WHEN k % 50 = 7 THEN 'INCOMPLETE' ELSE 'PASS' END, "
                "CASE WHEN k % 50 = 7 THEN 'incomplete' ELSE 'complete' END, '', '', "
                "repeat('a', 64), 0, '', '1.0.8', 1000, '\\x00' "
                "FROM generate_series($1::bigint, $2::bigint) AS k",
                2, nullptr, values, nullptr, nullptr, 0);
            if (PQresultStatus(r) != PGRES_COMMAND_OK)
                return std::fprintf(stderr, "fill: %s\n", PQerrorMessage(c)), 1;
            PQclear(r);
        }
        PQclear(PQexec(c, "VACUUM ANALYZE recordings"));
        std::printf("plant_statistics_fill %ld rows in %.0f s\n", rows,
                    Ms(Steady::now() - a) / 1000);
        PQfinish(c);
    }
    auto ask = [&](const char* name, const MountingFilter& filter) {
        std::vector<double> times;
        PlantStatistics s;
        for (int run = 0; run < 5; ++run) {
            const auto a = Steady::now();
            if (!server->Statistics(filter, "", s, &why))
                return std::fprintf(stderr, "statistics: %s\n", why.c_str()), false;
            times.push_back(Ms(Steady::now() - a));
        }
        std::sort(times.begin(), times.end());
        std::printf("plant_statistics_%s n %zu of %zu, best %.1f ms, worst %.1f ms "
                    "(rules %zu %zu %zu %zu, %zu runs)\n",
                    name, s.summary.n, s.mountings, times.front(), times.back(), s.ruleCounts[0],
                    s.ruleCounts[1], s.ruleCounts[2], s.ruleCounts[3], s.runs.size());
        return true;
    };
    MountingFilter all, type;
    all.bearing = "TBU 130x*";
    type.bearing = "tbu 130X237";
    MountingFilter press = type;
    press.press = "Press 8";
    if (!ask("all", all) || !ask("type", type) || !ask("press", press)) return 1;
    return 0;
}
