// The statistics of one bearing type over a local store of N recordings
// (100 000 by default, four bearing types, 20 samples each: the figures
// read only each recording's row), best of 5: the selection read from the
// store, and every figure, chart rule and trend computed. Usage:
// statistics_bench [DIR] [N]
#include "records/record_store.h"
#include "station/cycle.h"
#include "station/mounting_statistics.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using Steady = std::chrono::steady_clock;

double Ms(Steady::time_point a, Steady::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

Recording Make(long k, int64_t stoppedAt) {
    Recording r;
    RecordingSetup& s = r.setup;
    s.uuid = "stat-" + std::to_string(k);
    s.job = {"OP-" + std::to_string(k % 57),
             "AX-" + std::to_string(100000 + k / 2),
             k % 2 ? "B" : "A",
             k % 4 == 0 ? "TBU 130x230" : "TAROL 150/250",
             "2024-03",
             "-"};
    s.pressName = k % 3 ? "Press A" : "Press B";
    s.surface = 1250;
    s.hasLimits = true;
    s.limits = {350, 420};
    s.recordLengthSeconds = 30;
    s.version = "1.0.8";
    r.stoppedAt = stoppedAt;
    r.startedAt = stoppedAt - 30;
    const int peak = 300 + static_cast<int>(k * 7919 % 21);
    for (int i = 0; i < 20; ++i) {
        const int bar = std::min(peak, i * peak / 12);
        r.times.push_back(i * 0.075);
        r.forces.push_back(ForceTons(bar, s.surface));
        r.pressures.push_back(bar);
    }
    return r;
}

} // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const long count = argc > 2 ? std::atol(argv[2]) : 100000;
    const std::string path = dir + "/statistics_bench.db";
    const int64_t first = 1796752800 - count * 60;
    std::string why;
    if (!std::filesystem::exists(path)) { // made once, kept for the next run
        auto store = RecordStore::Open(path, &why);
        if (!store) return std::fprintf(stderr, "%s\n", why.c_str()), 1;
        std::vector<Recording> batch;
        for (long k = 0; k < 4 * count; ++k) {
            batch.push_back(Make(k, first + k * 15));
            if (batch.size() == 5000 || k + 1 == 4 * count) {
                if (!store->AddMany(batch, RecordStatus::Complete, &why))
                    return std::fprintf(stderr, "%s\n", why.c_str()), 1;
                batch.clear();
            }
        }
    }
    auto store = RecordStore::Open(path, &why);
    if (!store) return std::fprintf(stderr, "%s\n", why.c_str()), 1;
    MountingFilter filter;
    filter.bearing = "TBU 130x230";
    double best = 1e300;
    size_t n = 0;
    for (int i = 0; i < 5; ++i) {
        const auto a = Steady::now();
        const MountingStatistics s = StatisticsOf(*store, filter, nullptr);
        best = std::min(best, Ms(a, Steady::now()));
        n = s.summary.n;
    }
    double read = 1e300;
    for (int i = 0; i < 5; ++i) {
        const auto a = Steady::now();
        store->Mountings(filter);
        read = std::min(read, Ms(a, Steady::now()));
    }
    std::printf("statistics_one_bearing %.1f ms (%zu of %ld recordings; %.1f ms of it reading)\n",
                best, n, 4 * count, read);
    return 0;
}
