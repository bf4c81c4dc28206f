// The sender to the plant server without a server: one that is not there and
// one that never answers. The recordings stay in the outbox and the reason is
// told; closing never waits for the server. Runs on Windows too, where libpq
// is built by the project.
#include "plant/plant_sender.h"
#include "records/record_store.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

bool Until(const PlantSender& sender, bool (*done)(const PlantSendStatus&)) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end) {
        if (done(sender.Status())) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool Told(const PlantSendStatus& status) {
    return !status.problem.empty();
}

} // namespace

TEST(PlantSender, WaitsLongerAfterEachFailureUpToTheLongest) {
    const PlantSenderTiming timing;
    EXPECT_EQ(RetryDelay(1, timing).count(), 1000);
    EXPECT_EQ(RetryDelay(2, timing).count(), 2000);
    EXPECT_EQ(RetryDelay(6, timing).count(), 32000);
    EXPECT_EQ(RetryDelay(7, timing).count(), 60000);
    EXPECT_EQ(RetryDelay(1000, timing).count(), 60000);
    EXPECT_EQ(WaitingText({}), "");
}

TEST(PlantSender, AServerNotThereOrSilentKeepsTheOutboxAndSaysWhy) {
    const std::string path = testing::TempDir() + "plant-absent.db";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((path + suffix).c_str());
    std::string why;
    auto store = RecordStore::Open(path, &why);
    ASSERT_TRUE(store) << why;
    store->QueueForPlant(true);
    for (int i = 0; i < 2; ++i) {
        Recording r;
        r.setup.uuid = NewRecordingId();
        r.setup.job.axleDesignation = "AX-" + std::to_string(i);
        r.times = {0, 0.075};
        r.forces = {1, 2};
        r.pressures = {1, 2};
        ASSERT_TRUE(store->Add(r, RecordStatus::Complete, nullptr, &why)) << why;
    }
    const PlantSenderTiming quick{std::chrono::milliseconds(20), std::chrono::milliseconds(200)};
    const std::string nobody = "host=127.0.0.1 port=" + std::to_string(UnusedLoopbackPort()) +
                               " dbname=presses user=press3";
    {
        PlantSender sender(path, nobody, nullptr, quick);
        ASSERT_TRUE(Until(sender, Told));
        const PlantSendStatus status = sender.Status();
        EXPECT_NE(status.problem.find("Connection refused"), std::string::npos) << status.problem;
        EXPECT_EQ(WaitingText(status).rfind("2 recordings waiting for the plant server: ", 0), 0u)
            << WaitingText(status);
    }

    FullLoopbackListener silent;
    const std::string hangs = "host=127.0.0.1 port=" + std::to_string(silent.port) +
                              " dbname=presses user=press3 connect_timeout=1";
    std::chrono::steady_clock::time_point closing;
    {
        PlantSender sender(path, hangs, nullptr, quick);
        ASSERT_TRUE(Until(sender, Told));
        EXPECT_EQ(sender.Status().problem, "the plant server did not answer within 1 s");
        // Closed while trying again.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        closing = std::chrono::steady_clock::now();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(3));
    EXPECT_EQ(store->OutboxCount(), 2);
}
