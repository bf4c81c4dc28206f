// The plant server against a real PostgreSQL of the test's own on 127.0.0.1:
// a recording arrives once however often it is sent, a send cut by the server
// going away leaves nothing half written and the retry arrives whole, two
// recorders at once lose nothing, a newer schema and a wrong password are
// refused in words.
#include "pg_cluster.h"

#include "records/plant_server.h"
#include "records/recording.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

Recording MakeRecording(const std::string& uuid, const std::string& axle, int samples,
                        const std::string& pc = "PC-3") {
    Recording r;
    r.setup.uuid = uuid;
    r.setup.pcName = pc;
    r.setup.pressName = "Press 3";
    r.setup.job = {"OP-7", axle, "A", "TBU-130", "2024-03", "2026-10"};
    r.setup.surface = 1250;
    r.setup.hasLimits = true;
    r.setup.limits = {350, 420};
    r.setup.recordLengthSeconds = 80;
    r.setup.version = "1.0.8";
    r.startedAt = 1765000000;
    r.stoppedAt = 1765000080;
    for (int i = 0; i < samples; ++i) {
        r.times.push_back(i * 0.075);
        r.pressures.push_back(i % 320);
        r.forces.push_back((i % 320) * 1.275);
    }
    r.csvSha256 = std::string(64, 'a');
    return r;
}

std::string Id(int n) {
    char text[40];
    std::snprintf(text, sizeof text, "%032x", n);
    return text;
}

struct PlantServerTest : testing::Test {
    static void SetUpTestSuite() {
        cluster = new PgCluster;
        std::string why;
        if (!cluster->Create(&why)) {
            problem = why;
            delete cluster;
            cluster = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete cluster;
        cluster = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(cluster, nullptr) << problem;
        ASSERT_TRUE(cluster->Start(&problem)) << problem;
        // Each test starts from an empty server.
        PGconn* admin = PQconnectdb(cluster->AdminConnection("presses").c_str());
        PQsetNoticeProcessor(
            admin, [](void*, const char*) {}, nullptr);
        PQclear(PQexec(admin, "DROP TABLE IF EXISTS recordings, vemo_schema"));
        PQfinish(admin);
    }
    std::unique_ptr<PlantServer> Ready() {
        std::string why;
        auto server = PlantServer::Connect(cluster->Connection(), &why);
        EXPECT_TRUE(server) << why;
        if (server) {
            EXPECT_TRUE(server->PrepareSchema(&why)) << why;
        }
        return server;
    }
    static PgCluster* cluster;
    static std::string problem;
};

PgCluster* PlantServerTest::cluster = nullptr;
std::string PlantServerTest::problem;

} // namespace

TEST_F(PlantServerTest, ARecordingArrivesOnceHoweverOftenItIsSent) {
    auto server = Ready();
    ASSERT_TRUE(server);
    const Recording sent = MakeRecording(Id(1), "AX-4471", 1000);
    std::string why;
    ASSERT_TRUE(server->Send(sent, "complete", &why)) << why;
    // The acknowledgement was lost: the outbox sends it again, also later on
    // a new connection.
    ASSERT_TRUE(server->Send(sent, "complete", &why)) << why;
    server = Ready();
    ASSERT_TRUE(server->Send(sent, "complete", &why)) << why;
    EXPECT_EQ(server->Count(&why), 1);

    Recording back;
    ASSERT_TRUE(server->Load(Id(1), back, &why)) << why;
    EXPECT_EQ(back.setup.pcName, "PC-3");
    EXPECT_EQ(back.setup.pressName, "Press 3");
    EXPECT_EQ(back.startedAt, sent.startedAt);
    EXPECT_EQ(back.forces, sent.forces);
    EXPECT_EQ(back.pressures, sent.pressures);

    std::vector<PlantRow> rows;
    ASSERT_TRUE(server->FindAxle("ax-44", 10, rows, &why)) << why;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].result, "PASS"); // 319 bar on 1250 cm² = 406.7 t
    EXPECT_EQ(rows[0].sampleCount, 1000);
    ASSERT_TRUE(server->FindAxle("AX_4", 10, rows, &why)) << why; // "_" is no wildcard
    EXPECT_TRUE(rows.empty());
}

// The server goes away while large recordings are being sent: each is on the
// server whole or not at all, and sending them all again leaves each once.
TEST_F(PlantServerTest, ASendCutByTheServerGoingAwayLeavesNothingHalfWritten) {
    ASSERT_TRUE(Ready());
    std::atomic<int> sent{0};
    std::thread sender([&] {
        std::string why;
        auto server = PlantServer::Connect(cluster->Connection(), &why);
        for (int i = 0; i < 40 && server; ++i) {
            if (!server->Send(MakeRecording(Id(100 + i), "AX-CUT", 13000), "complete", &why)) break;
            ++sent;
        }
    });
    while (sent < 3)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    cluster->Stop();
    sender.join();
    EXPECT_LT(sent.load(), 40) << "the server stopped after every send had ended";

    std::string why;
    ASSERT_TRUE(cluster->Start(&why)) << why;
    auto server = Ready();
    ASSERT_TRUE(server);
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(server->Send(MakeRecording(Id(100 + i), "AX-CUT", 13000), "complete", &why))
            << why;
    EXPECT_EQ(server->Count(&why), 40);
    std::vector<PlantRow> rows;
    ASSERT_TRUE(server->FindAxle("AX-CUT", 100, rows, &why));
    ASSERT_EQ(rows.size(), 40u);
    for (const PlantRow& row : rows)
        EXPECT_EQ(row.sampleCount, 13000) << row.uuid;
}

// Two recorders start together (both make the tables) and send at the same
// time, some recordings twice: every recording once, none lost.
TEST_F(PlantServerTest, TwoRecordersAtOnceLoseNothingAndDuplicateNothing) {
    std::vector<std::thread> recorders;
    std::atomic<int> failures{0};
    std::mutex lock;
    std::string reasons;
    auto failed = [&](const std::string& why) {
        ++failures;
        std::lock_guard<std::mutex> hold(lock);
        reasons += why + "\n";
    };
    for (int pc = 0; pc < 2; ++pc)
        recorders.emplace_back([&, pc] {
            std::string why;
            auto server = PlantServer::Connect(cluster->Connection(), &why);
            if (!server || !server->PrepareSchema(&why)) {
                failed(why);
                return;
            }
            // 30 of its own and the same 10 as the other one.
            for (int i = 0; i < 40; ++i) {
                const int n = i < 30 ? 1000 + pc * 100 + i : 2000 + i;
                if (!server->Send(MakeRecording(Id(n), "AX-PC" + std::to_string(pc), 200,
                                                "PC-" + std::to_string(pc)),
                                  "complete", &why))
                    failed(why);
            }
        });
    for (std::thread& t : recorders)
        t.join();
    EXPECT_EQ(failures.load(), 0) << reasons;
    auto server = Ready();
    std::string why;
    EXPECT_EQ(server->Count(&why), 70);
}

TEST_F(PlantServerTest, ANewerSchemaAndAWrongPasswordAreRefusedInWords) {
    ASSERT_TRUE(Ready());
    PGconn* admin = PQconnectdb(cluster->AdminConnection("presses").c_str());
    PQclear(PQexec(admin, "UPDATE vemo_schema SET version = 2"));
    PQfinish(admin);
    std::string why;
    auto server = PlantServer::Connect(cluster->Connection(), &why);
    ASSERT_TRUE(server) << why;
    EXPECT_FALSE(server->PrepareSchema(&why));
    EXPECT_EQ(why, "the plant server's records are of a newer version (2) than this program "
                   "knows (1): update the program");

    why.clear();
    EXPECT_FALSE(PlantServer::Connect(cluster->Connection("not-the-password"), &why));
    EXPECT_NE(why.find("password authentication failed for user \"press3\""), std::string::npos)
        << why;

    cluster->Stop();
    why.clear();
    EXPECT_FALSE(PlantServer::Connect(cluster->Connection(), &why));
    EXPECT_NE(why.find("Connection refused"), std::string::npos) << why;
}
