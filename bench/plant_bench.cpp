// The plant server at plant scale, on a PostgreSQL cluster of the
// benchmark's own on 127.0.0.1: the server is filled with ROWS recordings
// (1 000 000 by default, each with a curve of 1 000 samples), then PCS
// simulated PCs (20), each with its own record store and sender, keep a
// recording of 1 000 samples every 10 s for MINUTES (10). Halfway the server
// is stopped for 30 s. Told: every recording arrived, the longest outbox,
// how long a recording took to reach the server, how long the outboxes took
// to drain after the server came back, and the Plant scope's search for one
// axle over the whole table, during the load and on a quiet server.
// Usage: plant_bench [ROWS] [PCS] [MINUTES]
#include "pg_cluster.h"
#include "station/cycle.h"
#include "plant/plant_sender.h"
#include "plant/plant_server.h"
#include "records/record_store.h"

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

double Ms(Steady::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

Recording Make(const std::string& uuid, const std::string& pc, long k, int64_t stoppedAt) {
    Recording r;
    RecordingSetup& s = r.setup;
    s.uuid = uuid;
    s.pcName = pc;
    s.pressName = "Press " + pc.substr(3);
    s.job = {"OP-" + std::to_string(k % 57),
             "LX-" + pc + "-" + std::to_string(k),
             k % 2 ? "B" : "A",
             "TBU 130x" + std::to_string(200 + k % 40),
             "2024-03",
             "2026-10"};
    s.surface = 1250;
    s.hasLimits = true;
    s.limits = {350, 420};
    s.recordLengthSeconds = 80;
    s.version = "1.0.8";
    r.stoppedAt = stoppedAt;
    r.startedAt = stoppedAt - 80;
    s.armedAt = r.startedAt - 10;
    const int peak = 300 + static_cast<int>(k * 7919 % 50);
    for (int i = 0; i < 1000; ++i) {
        const int bar = std::min(peak, i * peak / 300);
        r.times.push_back(i * 75 / 1000.0);
        r.forces.push_back(ForceTons(bar, s.surface));
        r.pressures.push_back(bar);
    }
    return r;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
}

} // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int pcs = argc > 2 ? std::atoi(argv[2]) : 20;
    const int minutes = argc > 3 ? std::atoi(argv[3]) : 10;
    PgCluster cluster;
    std::string why;
    if (!cluster.Create(&why) || !cluster.Start(&why))
        return std::fprintf(stderr, "cluster: %s\n", why.c_str()), 1;
    {
        auto server = PlantServer::Connect(cluster.Connection(), &why);
        if (!server || !server->PrepareSchema(&why))
            return std::fprintf(stderr, "server: %s\n", why.c_str()), 1;
    }

    // The table filled on the server itself, 100 000 rows a statement: 20
    // presses, two recordings an axle (sides A and B), one a minute.
    const int64_t first = 1796752800 - rows * 60;
    {
        PGconn* c = PQconnectdb(cluster.Connection().c_str());
        const std::string samples = PackSamples(Make("x", "PC-1", 1, 0));
        const auto a = Steady::now();
        for (long from = 0; from < rows; from += 100000) {
            const std::string lo = std::to_string(from),
                              hi = std::to_string(std::min(rows, from + 100000) - 1),
                              at = std::to_string(first);
            const char* values[] = {samples.data(), lo.c_str(), hi.c_str(), at.c_str()};
            const int lengths[] = {static_cast<int>(samples.size()), 0, 0, 0};
            const int formats[] = {1, 0, 0, 0};
            PGresult* r = PQexecParams(
                c,
                "INSERT INTO recordings (uuid, pc_name, press, operator_id, axle, side, bearing, "
                "production_date, refurbishment_date, module, armed_at, started_at, stopped_at, "
                "record_length_s, surface_cm2, lower_t, upper_t, alarm_threshold_bar, "
                "peak_force_t, peak_time_s, peak_bar, result, status, incomplete, alarms, "
                "csv_sha256, limits_set_at, limits_set_by, program_version, sample_count, "
                "samples) SELECT 'fill-' || k, 'PC-' || (k % 20 + 1), 'Press ' || (k % 20 + 1), "
                "'OP-' || (k % 57), 'AX-' || (100000 + k / 2), CASE WHEN k % 2 = 0 THEN 'A' "
                "ELSE 'B' END, 'TBU 130x' || (200 + k % 40), '2024-03', '2026-10', "
                "'127.0.0.1:65100', $4::bigint + k * 60 - 90, $4::bigint + k * 60 - 80, "
                "$4::bigint + k * 60, 80, 1250, 350, 420, 250, 380 + k % 50, 40, 300, "
                "CASE WHEN k % 50 < 41 THEN 'PASS' ELSE 'FAIL' END, 'complete', '', '', "
                "repeat('a', 64), 0, '', '1.0.8', 1000, $1 "
                "FROM generate_series($2::bigint, $3::bigint) AS k",
                4, nullptr, values, lengths, formats, 0);
            if (PQresultStatus(r) != PGRES_COMMAND_OK)
                return std::fprintf(stderr, "fill: %s\n", PQerrorMessage(c)), 1;
            PQclear(r);
        }
        PQclear(PQexec(c, "INSERT INTO sources SELECT DISTINCT pc_name, press FROM recordings "
                          "ON CONFLICT DO NOTHING"));
        PQclear(PQexec(c, "VACUUM ANALYZE recordings"));
        PGresult* size =
            PQexec(c, "SELECT pg_total_relation_size('recordings') / 1e9, "
                      "(SELECT count(*) FROM pg_indexes WHERE indexname = 'recordings_text')");
        std::printf("plant_fill %ld rows in %.0f s, %.2f GB, trigram index %s\n", rows,
                    Ms(Steady::now() - a) / 1000, std::atof(PQgetvalue(size, 0, 0)),
                    PQgetvalue(size, 0, 1)[0] == '1' ? "yes" : "no");
        PQclear(size);
        PQfinish(c);
    }

    // The Plant scope's search for one axle, as the History window asks it:
    // the newest 1 000 rows and the count of all matches.
    auto server = PlantServer::Connect(cluster.Connection(), &why);
    if (!server) return std::fprintf(stderr, "server: %s\n", why.c_str()), 1;
    long probe = 0;
    auto axleQuery = [&] {
        RecordFilter filter;
        filter.text = "AX-" + std::to_string(100000 + (probe++ * 7919 % rows) / 2);
        filter.limit = 1000;
        std::vector<RecordSummary> found;
        int64_t total = 0;
        const auto a = Steady::now();
        if (!server->Find(filter, "", found, &total, &why) || total != 2)
            std::fprintf(stderr, "axle query: %s (%lld found)\n", why.c_str(),
                         static_cast<long long>(total));
        return Ms(Steady::now() - a);
    };
    std::vector<double> quiet;
    for (int i = 0; i < 20; ++i)
        quiet.push_back(axleQuery());

    // The PCs: a store and a sender each, a recording every 10 s.
    const std::string dir = "/tmp/plant-bench";
    std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str());
    struct Pc {
        std::string name, path;
        std::unique_ptr<RecordStore> store;
        std::unique_ptr<PlantSender> sender;
        std::atomic<long> longest{0};
    };
    std::vector<std::unique_ptr<Pc>> fleet;
    std::mutex lock;
    std::map<std::string, double> addedAt; // uuid -> wall clock
    for (int p = 0; p < pcs; ++p) {
        auto pc = std::make_unique<Pc>();
        pc->name = "PC-" + std::to_string(p + 1);
        pc->path = dir + "/" + pc->name + ".db";
        pc->store = RecordStore::Open(pc->path, &why);
        if (!pc->store) return std::fprintf(stderr, "store: %s\n", why.c_str()), 1;
        pc->store->QueueForPlant(true);
        Pc* self = pc.get();
        pc->sender = std::make_unique<PlantSender>(
            pc->path, cluster.Connection(), [self](const PlantSendStatus& s) {
                long seen = self->longest.load();
                while (s.waiting > seen && !self->longest.compare_exchange_weak(seen, s.waiting)) {
                }
            });
        fleet.push_back(std::move(pc));
    }
    const auto start = Steady::now();
    const auto end = start + std::chrono::minutes(minutes);
    const auto outage = start + std::chrono::minutes(minutes) / 2;
    bool stopped = false, restarted = false;
    Steady::time_point back;
    double drained = -1; // ms from the server's return to empty outboxes
    auto waitingNow = [&] {
        int64_t n = 0;
        for (auto& pc : fleet)
            n += pc->store->OutboxCount();
        return n;
    };
    std::vector<double> loaded;
    long made = 0;
    auto nextQuery = start + std::chrono::seconds(15);
    for (int tick = 0; Steady::now() < end; ++tick) {
        // Each PC's turn comes at its own second of the ten.
        const auto due = start + std::chrono::milliseconds(10000LL * tick / pcs);
        std::this_thread::sleep_until(due);
        if (Steady::now() >= end) break;
        // Looked at before this turn's recording is added.
        if (restarted && drained < 0 && waitingNow() == 0) drained = Ms(Steady::now() - back);
        Pc& pc = *fleet[static_cast<size_t>(tick % pcs)];
        const std::string uuid = NewRecordingId();
        {
            std::lock_guard<std::mutex> hold(lock);
            addedAt[uuid] = WallSeconds();
        }
        if (!pc.store->Add(Make(uuid, pc.name, tick, static_cast<int64_t>(WallSeconds())),
                           RecordStatus::Complete, nullptr, &why))
            return std::fprintf(stderr, "add: %s\n", why.c_str()), 1;
        pc.sender->Nudge();
        ++made;
        if (!stopped && Steady::now() >= outage) {
            cluster.Stop();
            stopped = true;
        }
        if (stopped && !restarted && Steady::now() >= outage + std::chrono::seconds(30)) {
            if (!cluster.Start(&why)) return std::fprintf(stderr, "restart: %s\n", why.c_str()), 1;
            restarted = true;
            back = Steady::now();
            server = PlantServer::Connect(cluster.Connection(), &why);
        }
        if (Steady::now() >= nextQuery && (!stopped || restarted) && server) {
            loaded.push_back(axleQuery());
            nextQuery += std::chrono::seconds(15);
        }
    }
    // The outboxes drain.
    auto waiting = waitingNow;
    const auto drainFrom = Steady::now();
    while (waiting() > 0 && Steady::now() - drainFrom < std::chrono::minutes(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double drainEnd = Ms(Steady::now() - drainFrom);
    long longest = 0;
    for (auto& pc : fleet)
        longest = std::max(longest, pc->longest.load());
    const int64_t left = waiting();
    fleet.clear();

    // What arrived, and how long each took: the server's time of receipt
    // against the time it was kept on its PC.
    PGconn* c = PQconnectdb(cluster.Connection().c_str());
    PGresult* r = PQexec(c, "SELECT uuid, extract(epoch FROM received_at) FROM recordings "
                            "WHERE uuid NOT LIKE 'fill-%'");
    std::vector<double> delays, delaysOutside;
    const double outageFrom =
        WallSeconds() - std::chrono::duration<double>(Steady::now() - outage).count();
    for (int i = 0; i < PQntuples(r); ++i) {
        const auto found = addedAt.find(PQgetvalue(r, i, 0));
        if (found == addedAt.end()) continue;
        const double delay = std::atof(PQgetvalue(r, i, 1)) - found->second;
        delays.push_back(delay * 1000);
        if (found->second < outageFrom - 1 || found->second > outageFrom + 120)
            delaysOutside.push_back(delay * 1000);
    }
    const int arrived = PQntuples(r);
    PQclear(r);
    PGresult* all = PQexec(c, "SELECT count(*) FROM recordings");
    std::printf("plant_recordings_made %ld, arrived %d, server rows %s, still waiting %lld\n", made,
                arrived, PQgetvalue(all, 0, 0), static_cast<long long>(left));
    PQclear(all);
    PQfinish(c);
    std::printf("plant_outbox_longest %ld recordings (server stopped 30 s at %d min)\n", longest,
                minutes / 2);
    std::printf("plant_drain_after_end %.1f s\n", drainEnd / 1000);
    std::printf("plant_drain_after_return %.1f s (every outbox empty after the server was back)\n",
                drained / 1000);
    std::printf("plant_delay_median %.0f ms, 99th %.0f ms (server up); longest %.1f s (across the "
                "stop)\n",
                Percentile(delaysOutside, 0.5), Percentile(delaysOutside, 0.99),
                Percentile(delays, 1.0) / 1000);
    std::printf("plant_axle_query quiet: best %.1f ms, median %.1f ms; under load: median %.1f ms, "
                "longest %.1f ms (%zu queries)\n",
                Percentile(quiet, 0), Percentile(quiet, 0.5), Percentile(loaded, 0.5),
                Percentile(loaded, 1.0), loaded.size());
    return arrived == made && left == 0 ? 0 : 1;
}
