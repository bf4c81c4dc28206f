// The record store at plant scale: a store of N recordings (1 000 000 by
// default) of 1 000 samples each is made, then the history's searches, the
// opening of one curve and the writing of a 13 000-sample recording are
// timed (best of 5 each), and the whole chain of hashes walked once. Usage:
// store_bench [DIR] [N]
#include "station/cycle.h"
#include "records/record_store.h"

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

const char* const kPresses[] = {"Press A", "Press B", "Press C", "Press D"};

Recording Make(long k, int64_t stoppedAt, int samples) {
    Recording r;
    RecordingSetup& s = r.setup;
    s.uuid = "bench-" + std::to_string(k);
    s.job = {"OP-" + std::to_string(k % 57),
             "AX-" + std::to_string(100000 + k),
             k % 2 ? "B" : "A",
             "TBU 130x" + std::to_string(200 + k % 40),
             "2024-03",
             "2026-10"};
    s.pressName = kPresses[k % 4];
    s.surface = 1250;
    s.hasLimits = true;
    s.limits = {350, 420};
    s.recordLengthSeconds = 80;
    s.version = "1.0.8";
    s.pcName = "bench";
    r.stoppedAt = stoppedAt;
    r.startedAt = stoppedAt - 80;
    s.armedAt = r.startedAt - 10;
    const int peak = 300 + static_cast<int>(k * 7919 % 50);
    for (int i = 0; i < samples; ++i) {
        const int bar = std::min(peak, i * peak / 300);
        r.times.push_back(i * 75 / 1000.0);
        r.forces.push_back(ForceTons(bar, s.surface));
        r.pressures.push_back(bar);
    }
    return r;
}

template <typename F> double Best(F f) {
    double best = 1e300;
    for (int i = 0; i < 5; ++i) {
        const auto a = Steady::now();
        f();
        best = std::min(best, Ms(a, Steady::now()));
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const long count = argc > 2 ? std::atol(argv[2]) : 1000000;
    const std::string path = dir + "/store_bench.db";
    const int64_t first = 1796752800 - count * 60; // one a minute, up to today
    std::string why;
    if (!std::filesystem::exists(path) ||
        std::getenv("STORE_BENCH_FRESH")) { // made once, kept for the next run
        for (const char* suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(path + suffix);
        auto store = RecordStore::Open(path, &why);
        if (!store) return std::fprintf(stderr, "%s\n", why.c_str()), 1;
        const auto a = Steady::now();
        std::vector<Recording> batch;
        for (long k = 0; k < count; ++k) {
            batch.push_back(Make(k, first + k * 60, 1000));
            if (batch.size() == 5000 || k + 1 == count) {
                if (!store->AddMany(batch, RecordStatus::Complete, &why))
                    return std::fprintf(stderr, "%s\n", why.c_str()), 1;
                batch.clear();
            }
        }
        std::printf("store_make_%ld %.0f s\n", count, Ms(a, Steady::now()) / 1000);
    }
    auto store = RecordStore::Open(path, &why);
    if (!store) return std::fprintf(stderr, "%s\n", why.c_str()), 1;
    int64_t total = 0;
    RecordFilter axle;
    axle.text = "4711"; // AX-104711 and the like: a few in a million
    {
        const double ms = Best([&] { store->Find(axle, &total); });
        std::printf("store_find_axle_substring %.1f ms (%lld matches)\n", ms,
                    static_cast<long long>(total));
    }
    RecordFilter week;
    week.from = first + count * 60 / 2;
    week.until = week.from + 7 * 86400;
    {
        const double ms = Best([&] { store->Find(week, &total); });
        std::printf("store_find_date_week %.1f ms (%lld matches)\n", ms,
                    static_cast<long long>(total));
    }
    RecordFilter pressResult;
    pressResult.press = "Press C";
    pressResult.result = "FAIL";
    {
        const double ms = Best([&] { store->Find(pressResult, &total); });
        std::printf("store_find_press_result %.1f ms (%lld matches)\n", ms,
                    static_cast<long long>(total));
    }
    const std::vector<RecordSummary> rows = store->Find(RecordFilter{});
    Recording loaded;
    std::printf("store_open_curve_1000 %.2f ms\n",
                Best([&] { store->Load(rows[rows.size() / 2].id, loaded); }));
    long next = count;
    std::printf("store_write_13000 %.1f ms\n", Best([&] {
                    const long k = next++;
                    store->Add(Make(k, first + k * 60, 13000), RecordStatus::Complete, nullptr,
                               nullptr);
                }));
    {
        // The whole chain walked once, as --verify-store does: every row and
        // its samples read and hashed.
        const auto a = Steady::now();
        const ChainCheck check = store->VerifyChain();
        std::printf("store_verify_chain %.1f s (%lld recordings, %s)\n",
                    Ms(a, Steady::now()) / 1000, static_cast<long long>(check.records),
                    check.ok ? "whole" : check.problem.c_str());
    }
    const double bytes = static_cast<double>(std::filesystem::file_size(path));
    std::printf("store_size_per_recording %.1f kB (%.2f GB for %ld)\n", bytes / count / 1024,
                bytes / 1e9, count);
    return 0;
}
