// The press job without a window, as the kill test drives it: the store and
// the journals of DIR, a module on 127.0.0.1:PORT, COUNT short recordings one
// after the other. What a start does first (bringing journals into the store)
// is done first here too. With --die-after-keep it kills itself with SIGKILL
// a few milliseconds after a recording was handed to the store (the moment
// a crash used to lose it); with --die-in-recovery, a few milliseconds after
// the journals of an earlier run are being brought in.
//
// usage: keep_driver DIR PORT COUNT [--die-after-keep | --die-in-recovery] [--seed N]
#include "station/job_setup.h"
#include "station/station.h"
#include "test_loop.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

namespace {

std::mt19937 g_random;

/// SIGKILL from another thread after up to `maxMicroseconds`.
void DieSoon(int maxMicroseconds) {
    const int delay = std::uniform_int_distribution<int>(0, maxMicroseconds)(g_random);
    std::thread([delay] {
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        std::raise(SIGKILL);
    }).detach();
}

struct Quiet : StationListener {
    void OnStateChanged() override {}
    void OnReadings(const ReadingsStep&) override {}
    void OnAlarmSound() override {}
    void OnCycleEnded(bool) override {}
    void AskToAcknowledge(const std::string&) override {}
    void OnRecordingKept(const Recording&) override {
        ++kept;
        if (kept == dieAt) DieSoon(6000);
    }
    void AskForReport(const Recording&) override {}
    bool ShowLossNotice(const std::string& text) override {
        std::fprintf(stderr, "notice: %s\n", text.c_str());
        return false;
    }
    void CloseLossNotice() override {}
    void ShowError(const std::string& text) override {
        std::fprintf(stderr, "error: %s\n", text.c_str());
    }
    void OnJournalsKept(const std::string& text, bool) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        told = true;
    }
    void OnPlantStatus(const std::string&) override {}
    int kept = 0, dieAt = -1;
    bool told = false;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: keep_driver DIR PORT COUNT [--die-after-keep | "
                             "--die-in-recovery] [--seed N]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int port = std::atoi(argv[2]), count = std::atoi(argv[3]);
    bool dieAfterKeep = false, dieInRecovery = false;
    for (int i = 4; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--die-after-keep") dieAfterKeep = true;
        if (arg == "--die-in-recovery") dieInRecovery = true;
        if (arg == "--seed" && i + 1 < argc) g_random.seed(std::strtoul(argv[++i], nullptr, 10));
    }
    TestLoop loop;
    Quiet quiet;
    if (dieAfterKeep && count > 0) quiet.dieAt = 1 + static_cast<int>(g_random() % count);
    Station station(loop, quiet);
    station.OpenRecordStore(dir + "/records.db");
    station.KeepJournals(dir);
    if (dieInRecovery) DieSoon(30000);
    station.FlushRecordStore();
    loop.RunUntil([] { return false; }, 50); // what the store's thread handed back
    if (count == 0) return 0;

    station.SetModule("127.0.0.1", port, {});
    if (!station.Connect() || !loop.RunUntil([&] { return station.Connected(); }, 5000)) {
        std::fprintf(stderr, "no module on 127.0.0.1:%d\n", port);
        return 1;
    }
    for (int n = 0; n < count; ++n) {
        JobFields fields;
        fields.job = {"OP7", "AX" + std::to_string(n), "A", "TBU 130x230", "2024-03", "2026-10"};
        fields.recordLength = L"1";
        fields.pressName = "Press A";
        fields.surface = 1250;
        fields.hasLimits = true;
        fields.limits = {350, 420};
        fields.moduleAddress = station.AddressText();
        RecordingSetup setup;
        std::string why;
        if (!MakeSetup(fields, station.WallSeconds(), setup, &why) ||
            !station.Start(setup, false, dir, &why)) {
            std::fprintf(stderr, "cannot start: %s\n", why.c_str());
            return 1;
        }
        if (!loop.RunUntil([&] { return quiet.kept > n; }, 10000)) {
            std::fprintf(stderr, "recording %d did not end\n", n + 1);
            return 1;
        }
    }
    station.FlushRecordStore();
    return 0;
}
