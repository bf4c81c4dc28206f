// The plant server against a real PostgreSQL of the test's own on 127.0.0.1:
// a recording arrives once however often it is sent, a send cut by the server
// going away leaves nothing half written and the retry arrives whole, two
// recorders at once lose nothing, a newer schema and a wrong password are
// refused in words.
#include "pg_cluster.h"

#include "plant/plant_sender.h"
#include "plant/plant_server.h"
#include "records/integrity.h"
#include "station/mounting_statistics.h"
#include "station/report_data.h"
#include "station/verify.h"
#include "records/recording.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
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
        PQclear(PQexec(admin, "DROP TABLE IF EXISTS recordings, sources, vemo_schema, conflicts,"
                              " vemo_pcs, seals"));
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

/// A PC's record store in the test's folder, fresh, queueing for the plant.
std::unique_ptr<RecordStore> PcStore(const std::string& name, std::string* path) {
    *path = testing::TempDir() + "plant-" + name + ".db";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((*path + suffix).c_str());
    std::string why;
    std::unique_ptr<RecordStore> store = RecordStore::Open(*path, &why);
    EXPECT_TRUE(store) << why;
    if (store) store->QueueForPlant(true);
    return store;
}

/// Waits (60 s at most) until `done` holds for the sender's status.
bool Until(const PlantSender& sender, const std::function<bool(const PlantSendStatus&)>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end) {
        if (done(sender.Status())) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

/// Someone between the PC and the plant server on 127.0.0.1: it answers a
/// client's request for TLS (or for GSS encryption) with "no" and passes
/// the rest on in clear text, as a relay that strips TLS does.
class TlsRefusingRelay {
  public:
    explicit TlsRefusingRelay(int serverPort) : m_serverPort(serverPort) {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
        listen(m_listener, 8);
        m_thread = std::thread([this] { Accept(); });
    }
    ~TlsRefusingRelay() {
        m_stopping = true;
        shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        close(m_listener);
    }
    int port = 0;
    std::atomic<int> refused{0}; ///< requests for TLS answered "no"

  private:
    void Accept() {
        std::vector<std::thread> relays;
        while (!m_stopping) {
            const int client = accept(m_listener, nullptr, nullptr);
            if (client < 0) break;
            relays.emplace_back([this, client] { Relay(client); });
        }
        for (std::thread& relay : relays)
            relay.join();
    }
    void Relay(int client) {
        const int server = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(m_serverPort));
        bool open = connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        // SSLRequest and GSSENCRequest: 8 bytes, length 8 and a code.
        for (unsigned char request[8]; open;) {
            if (recv(client, request, 8, MSG_PEEK | MSG_WAITALL) != 8) {
                open = false;
                break;
            }
            const uint32_t code = uint32_t(request[4]) << 24 | uint32_t(request[5]) << 16 |
                                  uint32_t(request[6]) << 8 | request[7];
            if (request[3] != 8 || (code != 80877103 && code != 80877104)) break;
            recv(client, request, 8, MSG_WAITALL);
            refused += code == 80877103;
            open = send(client, "N", 1, MSG_NOSIGNAL) == 1;
        }
        pollfd ends[] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        char buffer[16384];
        while (open && !m_stopping && poll(ends, 2, 100) >= 0)
            for (int i = 0; i < 2 && open; ++i)
                if (ends[i].revents) {
                    const ssize_t n = recv(ends[i].fd, buffer, sizeof buffer, 0);
                    open = n > 0 && send(ends[1 - i].fd, buffer, size_t(n), MSG_NOSIGNAL) == n;
                }
        close(server);
        close(client);
    }
    const int m_serverPort;
    int m_listener = -1;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

/// Retries after 20 ms, then 40, never more than 200.
const PlantSenderTiming kQuick{std::chrono::milliseconds(20), std::chrono::milliseconds(200)};

PgCluster* PlantServerTest::cluster = nullptr;
std::string PlantServerTest::problem;

} // namespace

// A server made by the version before programs is brought up; a recording
// judged by a program arrives with it whole, its verdict's reason and every
// criterion's finding, and one started under pressure with its note.
TEST_F(PlantServerTest, AnOlderServerIsBroughtUpAndKeepsEachRecordingsProgram) {
    ASSERT_TRUE(Ready());
    PGconn* admin = PQconnectdb(cluster->AdminConnection("presses").c_str());
    PQclear(PQexec(admin, "ALTER TABLE recordings DROP COLUMN start_note, DROP COLUMN judging,"
                          " DROP COLUMN mounting_program, DROP COLUMN mounting_program_version,"
                          " DROP COLUMN mounting_program_json, DROP COLUMN result_reason,"
                          " DROP COLUMN criteria; DELETE FROM vemo_schema;"
                          " INSERT INTO vemo_schema VALUES (1)"));
    auto server = Ready();
    ASSERT_TRUE(server);
    Recording sent = MakeRecording(Id(700), "AX-PROG", 1000);
    auto program = std::make_shared<Program>();
    std::string why;
    ASSERT_TRUE(ParseProgram(R"({"name": "TBU 130", "version": 4, "bearing": "TBU-130",
        "criteria": [{"peak": {"min_t": 350, "max_t": 420}},
                     {"hold": {"above_t": 400, "min_s": 3}}]})",
                             *program, &why))
        << why;
    sent.setup.program = program;
    sent.startNote = "started at 318 bar: the rise is not on the curve";
    sent.pressures[0] = 318; // so the note decides the verdict
    ASSERT_TRUE(server->Send(sent, RecordStatus::Complete, &why)) << why;
    Recording back;
    ASSERT_TRUE(server->Load(Id(700), back, nullptr, &why)) << why;
    ASSERT_TRUE(back.setup.program);
    EXPECT_EQ(back.setup.program->Title(), "TBU 130 v4");
    EXPECT_EQ(back.startNote, sent.startNote);
    EXPECT_EQ(ResultText(back.Judged()), ResultText(sent.Judged()));
    PGresult* row =
        PQexec(admin, "SELECT mounting_program, mounting_program_version, result,"
                      " result_reason, criteria FROM recordings WHERE axle = 'AX-PROG'");
    ASSERT_EQ(PQntuples(row), 1);
    EXPECT_STREQ(PQgetvalue(row, 0, 0), "TBU 130");
    EXPECT_STREQ(PQgetvalue(row, 0, 1), "4");
    EXPECT_STREQ(PQgetvalue(row, 0, 2), "INCOMPLETE"); // started under pressure
    EXPECT_EQ(std::string(PQgetvalue(row, 0, 3)), sent.Judged().reason);
    EXPECT_NE(std::string(PQgetvalue(row, 0, 4)).find("NOK: hold"), std::string::npos);
    PQclear(row);
    PQfinish(admin);
}

TEST_F(PlantServerTest, ARecordingArrivesOnceHoweverOftenItIsSent) {
    auto server = Ready();
    ASSERT_TRUE(server);
    const Recording sent = MakeRecording(Id(1), "AX-4471", 1000);
    std::string why;
    ASSERT_TRUE(server->Send(sent, RecordStatus::Complete, &why)) << why;
    // The acknowledgement was lost: the outbox sends it again, also later on
    // a new connection.
    ASSERT_TRUE(server->Send(sent, RecordStatus::Complete, &why)) << why;
    server = Ready();
    ASSERT_TRUE(server->Send(sent, RecordStatus::Complete, &why)) << why;
    EXPECT_EQ(server->Count(&why), 1);

    // What the history shows of it comes back as it was: the job, the
    // limits, the samples.
    Recording back;
    RecordStatus status = RecordStatus::Interrupted;
    ASSERT_TRUE(server->Load(Id(1), back, &status, &why)) << why;
    EXPECT_EQ(status, RecordStatus::Complete);
    EXPECT_EQ(back.setup.pcName, "PC-3");
    EXPECT_EQ(back.setup.pressName, "Press 3");
    EXPECT_EQ(back.setup.job.bearingDesignation, "TBU-130");
    EXPECT_TRUE(back.setup.hasLimits);
    EXPECT_EQ(back.setup.limits.upperTons, 420);
    EXPECT_EQ(back.startedAt, sent.startedAt);
    EXPECT_EQ(back.forces, sent.forces);
    EXPECT_EQ(back.pressures, sent.pressures);
    EXPECT_EQ(back.Judged().verdict, Verdict::Pass);

    // Found as the PC's own history finds it: any part of the axle, bearing
    // or operator, ignoring case, and by PC and press.
    std::vector<RecordSummary> rows;
    int64_t total = 0;
    RecordFilter filter;
    filter.text = "x-44";
    ASSERT_TRUE(server->Find(filter, "", rows, &total, &why)) << why;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(total, 1);
    EXPECT_EQ(rows[0].result, "PASS"); // 319 bar on 1250 cm² = 406.7 t
    EXPECT_EQ(rows[0].pcName, "PC-3");
    EXPECT_TRUE(rows[0].anySample);
    filter.text = "tbu";
    filter.press = "Press 3";
    ASSERT_TRUE(server->Find(filter, "PC-3", rows, nullptr, &why)) << why;
    EXPECT_EQ(rows.size(), 1u);
    ASSERT_TRUE(server->Find(filter, "PC-4", rows, &total, &why)) << why;
    EXPECT_TRUE(rows.empty());
    // By the page's report number or its scanned code, with the count.
    for (const std::string& typed : {ReportNumber(Id(1)), ReportCodeText(Id(1), sent.csvSha256)}) {
        filter = RecordFilter();
        filter.text = typed;
        ASSERT_TRUE(server->Find(filter, "", rows, &total, &why)) << why;
        ASSERT_EQ(rows.size(), 1u) << typed;
        EXPECT_EQ(total, 1);
        EXPECT_EQ(rows[0].uuid, Id(1));
    }
    filter = RecordFilter();
    filter.text = "AX_4"; // "_" is no wildcard
    ASSERT_TRUE(server->Find(filter, "", rows, &total, &why)) << why;
    EXPECT_EQ(total, 0);
    std::vector<std::string> pcs, presses;
    ASSERT_TRUE(server->Sources(pcs, presses, &why)) << why;
    EXPECT_EQ(pcs, std::vector<std::string>{"PC-3"});
    EXPECT_EQ(presses, std::vector<std::string>{"Press 3"});
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
            if (!server->Send(MakeRecording(Id(100 + i), "AX-CUT", 13000), RecordStatus::Complete,
                              &why))
                break;
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
        ASSERT_TRUE(
            server->Send(MakeRecording(Id(100 + i), "AX-CUT", 13000), RecordStatus::Complete, &why))
            << why;
    EXPECT_EQ(server->Count(&why), 40);
    for (int i = 0; i < 40; ++i) {
        Recording back;
        ASSERT_TRUE(server->Load(Id(100 + i), back, nullptr, &why)) << why;
        EXPECT_EQ(back.times.size(), 13000u) << i;
    }
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
                const std::string who = i < 30 ? "PC-" + std::to_string(pc) : "PC-shared";
                if (!server->Send(MakeRecording(Id(n), "AX-" + who, 200, who),
                                  RecordStatus::Complete, &why))
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
    PQclear(PQexec(admin, "UPDATE vemo_schema SET version = 8"));
    PQfinish(admin);
    std::string why;
    auto server = PlantServer::Connect(cluster->Connection(), &why);
    ASSERT_TRUE(server) << why;
    EXPECT_FALSE(server->PrepareSchema(&why));
    EXPECT_EQ(why, "the plant server's records are of a newer version (8) than this program "
                   "knows (7): update the program");

    why.clear();
    EXPECT_FALSE(PlantServer::Connect(cluster->Connection("not-the-password"), &why));
    EXPECT_NE(why.find("password authentication failed for user \"press3\""), std::string::npos)
        << why;

    cluster->Stop();
    why.clear();
    EXPECT_FALSE(PlantServer::Connect(cluster->Connection(), &why));
    EXPECT_NE(why.find("Connection refused"), std::string::npos) << why;
}

// Two PCs record while the server is there: each recording reaches the server
// through its store's outbox, and both outboxes are empty after.
TEST_F(PlantServerTest, RecordingsOfTwoPcsReachTheServerThroughTheirOutboxes) {
    std::string paths[2];
    std::unique_ptr<RecordStore> stores[2] = {PcStore("pc1", &paths[0]), PcStore("pc2", &paths[1])};
    ASSERT_TRUE(stores[0] && stores[1]);
    PlantSender first(paths[0], cluster->Connection(), nullptr, kQuick);
    PlantSender second(paths[1], cluster->Connection(), nullptr, kQuick);
    std::string why;
    for (int i = 0; i < 10; ++i) {
        const int pc = i % 2;
        ASSERT_TRUE(stores[pc]->Add(
            MakeRecording(Id(300 + i), "AX-OUT", 1000, "PC-" + std::to_string(pc + 1)),
            RecordStatus::Complete, nullptr, &why))
            << why;
        (pc ? second : first).Nudge();
    }
    for (PlantSender* sender : {&first, &second})
        EXPECT_TRUE(Until(*sender, [](const PlantSendStatus& s) { return s.sent == 5; }));
    EXPECT_EQ(stores[0]->OutboxCount(), 0);
    EXPECT_EQ(stores[1]->OutboxCount(), 0);
    auto server = Ready();
    EXPECT_EQ(server->Count(&why), 10);
    std::vector<std::string> pcs, presses;
    ASSERT_TRUE(server->Sources(pcs, presses, &why)) << why;
    EXPECT_EQ(pcs, (std::vector<std::string>{"PC-1", "PC-2"}));
}

// The server is down when the recordings end: they wait in the outbox, the
// sender says how many and why, and once the server is back each arrives
// once. Then the server goes away while large recordings are being sent:
// after it is back, each is there once and whole.
TEST_F(PlantServerTest, RecordingsWaitWhileTheServerIsAwayAndArriveOnceWhenItIsBack) {
    ASSERT_TRUE(Ready());
    cluster->Stop();
    std::string path;
    std::unique_ptr<RecordStore> store = PcStore("away", &path);
    ASSERT_TRUE(store);
    std::string why;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(store->Add(MakeRecording(Id(400 + i), "AX-AWAY", 500), RecordStatus::Complete,
                               nullptr, &why))
            << why;
    std::mutex lock;
    std::vector<std::string> told;
    PlantSender sender(
        path, cluster->Connection(),
        [&](const PlantSendStatus& s) {
            std::lock_guard<std::mutex> hold(lock);
            told.push_back(WaitingText(s));
        },
        kQuick);
    ASSERT_TRUE(Until(sender, [](const PlantSendStatus& s) { return !s.problem.empty(); }));
    const PlantSendStatus away = sender.Status();
    EXPECT_EQ(away.waiting, 3);
    EXPECT_NE(away.problem.find("Connection refused"), std::string::npos) << away.problem;
    EXPECT_EQ(away.problem.find('\n'), std::string::npos) << "one line for the status bar";
    EXPECT_EQ(WaitingText(away).rfind("3 recordings waiting for the plant server: ", 0), 0u);
    EXPECT_EQ(store->OutboxCount(), 3);

    ASSERT_TRUE(cluster->Start(&why)) << why;
    ASSERT_TRUE(Until(sender, [](const PlantSendStatus& s) { return s.waiting == 0; }));
    EXPECT_EQ(sender.Status().problem, "");
    {
        std::lock_guard<std::mutex> hold(lock);
        ASSERT_FALSE(told.empty());
        EXPECT_EQ(told.back(), "") << "nothing waits once all are sent";
    }

    // 30 recordings of 13 000 samples; the server stops after the second.
    for (int i = 0; i < 30; ++i)
        ASSERT_TRUE(store->Add(MakeRecording(Id(500 + i), "AX-BIG", 13000),
                               RecordStatus::Incomplete, nullptr, &why))
            << why;
    sender.Nudge();
    ASSERT_TRUE(Until(sender, [](const PlantSendStatus& s) { return s.sent >= 5; }));
    cluster->Stop();
    ASSERT_TRUE(Until(sender, [](const PlantSendStatus& s) { return !s.problem.empty(); }));
    EXPECT_GT(sender.Status().waiting, 0);
    ASSERT_TRUE(cluster->Start(&why)) << why;
    ASSERT_TRUE(Until(sender, [](const PlantSendStatus& s) { return s.waiting == 0; }));
    EXPECT_EQ(store->OutboxCount(), 0);
    auto server = Ready();
    EXPECT_EQ(server->Count(&why), 33);
    for (int i = 0; i < 30; ++i) {
        Recording back;
        RecordStatus status = RecordStatus::Complete;
        ASSERT_TRUE(server->Load(Id(500 + i), back, &status, &why)) << why;
        EXPECT_EQ(back.times.size(), 13000u) << i;
        EXPECT_EQ(status, RecordStatus::Incomplete);
    }
}

// A server the program cannot use: the reason is told, the recordings stay
// in the outbox, and the PC's own store goes on as before.
TEST_F(PlantServerTest, ARefusingServerKeepsTheOutboxAndLeavesTheStoreAsItWas) {
    ASSERT_TRUE(Ready());
    PGconn* admin = PQconnectdb(cluster->AdminConnection("presses").c_str());
    PQclear(PQexec(admin, "UPDATE vemo_schema SET version = 8"));
    PQfinish(admin);
    std::string path, why;
    std::unique_ptr<RecordStore> store = PcStore("refused", &path);
    ASSERT_TRUE(store);
    ASSERT_TRUE(
        store->Add(MakeRecording(Id(600), "AX-NEW", 300), RecordStatus::Complete, nullptr, &why));
    {
        PlantSender sender(path, cluster->Connection(), nullptr, kQuick);
        ASSERT_TRUE(Until(sender, [](const PlantSendStatus& s) { return !s.problem.empty(); }));
        EXPECT_EQ(WaitingText(sender.Status()),
                  "1 recording waiting for the plant server: the plant server's records are of a "
                  "newer version (8) than this program knows (7): update the program");
        ASSERT_TRUE(store->Add(MakeRecording(Id(601), "AX-NEW", 300), RecordStatus::Complete,
                               nullptr, &why))
            << why;
    }
    {
        PlantSender sender(path, cluster->Connection("not-the-password"), nullptr, kQuick);
        ASSERT_TRUE(Until(sender, [](const PlantSendStatus& s) { return !s.problem.empty(); }));
        EXPECT_NE(sender.Status().problem.find("password authentication failed"), std::string::npos)
            << sender.Status().problem;
    }
    EXPECT_EQ(store->OutboxCount(), 2);
    EXPECT_EQ(store->Outbox(10).front().uuid, Id(600));
    const ChainCheck chain = store->VerifyChain();
    EXPECT_TRUE(chain.ok) << chain.problem;
    EXPECT_EQ(chain.records, 2);
}

// The server hangs (its processes stopped, its connections open and
// silent): the send is given up after the answer time-out and said so, the
// recording stays in the outbox, and closing the sender does not wait for
// the server. Once the server goes on, the first try may still land there:
// the recording is kept once all the same.
TEST_F(PlantServerTest, AServerThatHangsIsGivenUpAndClosingDoesNotWaitForIt) {
    ASSERT_TRUE(Ready());
    std::string path, why;
    std::unique_ptr<RecordStore> store = PcStore("hangs", &path);
    ASSERT_TRUE(store);
    PlantSenderTiming timing = kQuick;
    timing.answerTimeout = std::chrono::milliseconds(1000);
    std::chrono::steady_clock::duration closing{};
    {
        PlantSender sender(path, cluster->Connection(), nullptr, timing);
        ASSERT_TRUE(store->Add(MakeRecording(Id(700), "AX-HANG", 300), RecordStatus::Complete,
                               nullptr, &why));
        sender.Nudge();
        ASSERT_TRUE(Until(sender, [](const PlantSendStatus& s) { return s.sent == 1; }));
        cluster->Freeze(true);
        ASSERT_TRUE(store->Add(MakeRecording(Id(701), "AX-HANG", 13000), RecordStatus::Complete,
                               nullptr, &why));
        sender.Nudge();
        ASSERT_TRUE(Until(sender, [](const PlantSendStatus& s) { return !s.problem.empty(); }));
        EXPECT_EQ(sender.Status().problem, "the plant server did not answer within 1 s");
        EXPECT_EQ(sender.Status().waiting, 1);
        // Now trying a new connection, which the frozen server never answers.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto start = std::chrono::steady_clock::now();
        // (the sender ends here)
        closing = -start.time_since_epoch();
    }
    closing += std::chrono::steady_clock::now().time_since_epoch();
    EXPECT_LT(closing, std::chrono::seconds(3)) << "closing waited for the server";
    EXPECT_EQ(store->OutboxCount(), 1);

    cluster->Freeze(false);
    PlantSender again(path, cluster->Connection(), nullptr, timing);
    // Confirmed by the server: a status of nothing waiting comes before the
    // sender has read its outbox too.
    ASSERT_TRUE(
        Until(again, [](const PlantSendStatus& s) { return s.sent == 1 && s.waiting == 0; }));
    auto server = Ready();
    EXPECT_EQ(server->Count(&why), 2);
    Recording back;
    ASSERT_TRUE(server->Load(Id(701), back, nullptr, &why)) << why;
    EXPECT_EQ(back.times.size(), 13000u);
}

namespace {

/// Asks `sql` on `connection`; "" when it went through, else the server's words.
std::string Try(const std::string& connection, const char* sql) {
    PGconn* c = PQconnectdb(connection.c_str());
    PQsetNoticeProcessor(
        c, [](void*, const char*) {}, nullptr);
    PGresult* r = PQexec(c, sql);
    const ExecStatusType status = PQresultStatus(r);
    std::string error = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK
                            ? ""
                            : std::string(PQresultErrorMessage(r));
    if (PQstatus(c) != CONNECTION_OK) error = PQerrorMessage(c);
    PQclear(r);
    PQfinish(c);
    return error;
}

} // namespace

// Faults mended: with one login for every PC, any PC could UPDATE, DELETE
// and DROP every PC's rows; the first copy of an identity to arrive won, so a
// forged PASS under a real recording's identity was kept and the real FAIL
// confirmed as delivered; a password in the connection string was used. Now
// plant IT sets the server up once; each PC's role reads, inserts only its
// own PC's recordings and runs no DDL; no row is changed or removed by anyone;
// other content under a known identity is refused and noted for both PCs.
TEST_F(PlantServerTest, EachPcHasARoleThatMayOnlyAddItsOwnRecordingsAndNothingIsRewritten) {
    const std::string admin = cluster->AdminConnection("presses");
    const PlantAdminAnswer setUp = SetUpPlantServer(admin);
    ASSERT_EQ(setUp.exitCode, 0) << setUp.text;
    PlantPcRole roles[2];
    std::string why;
    {
        auto server = PlantServer::Connect(admin, &why);
        ASSERT_TRUE(server) << why;
        ASSERT_TRUE(server->AddPc("PC-1", roles[0], &why)) << why;
        ASSERT_TRUE(server->AddPc("PC 2", roles[1], &why)) << why;
    }
    EXPECT_EQ(roles[1].role, "vemo_pc_pc_2");
    const std::string passfile = testing::TempDir() + "pcs.pgpass";
    {
        std::ofstream out(passfile);
        for (const PlantPcRole& role : roles)
            out << "127.0.0.1:" << cluster->Port() << ":presses:" << role.role << ":"
                << role.password << "\n";
    }
    chmod(passfile.c_str(), 0600);
    auto login = [&](int pc) {
        return "host=127.0.0.1 port=" + std::to_string(cluster->Port()) +
               " dbname=presses user=" + roles[pc].role + " passfile=" + passfile +
               " sslrootcert=" + cluster->CaFile();
    };
    EXPECT_EQ(PlantServer::Connect(login(0) + " password=" + roles[0].password, &why), nullptr);
    EXPECT_NE(why.find("holds a password, which is refused"), std::string::npos) << why;

    auto pc1 = PlantServer::Connect(login(0), &why);
    auto pc2 = PlantServer::Connect(login(1), &why);
    ASSERT_TRUE(pc1 && pc2) << why;
    ASSERT_TRUE(pc1->PrepareSchema(&why)) << why; // current: only read
    ASSERT_TRUE(pc2->PrepareSchema(&why)) << why;
    Recording fail = MakeRecording(Id(700), "AX-700", 300, "PC-1");
    fail.csvSha256 = std::string(64, 'f');
    ASSERT_TRUE(pc1->Send(fail, RecordStatus::Complete, &why)) << why;
    EXPECT_TRUE(pc1->Send(fail, RecordStatus::Complete, &why)) << why; // a retry: delivered
    // Another PC's name is not this role's to write.
    EXPECT_FALSE(
        pc1->Send(MakeRecording(Id(701), "AX-701", 10, "PC 2"), RecordStatus::Complete, &why));
    EXPECT_NE(why.find("row-level security"), std::string::npos) << why;

    // What a PC's role may not do, and what nobody may do.
    for (const char* sql :
         {"UPDATE recordings SET peak_force_t = peak_force_t * 1.25, result = 'PASS'",
          "DELETE FROM recordings", "DROP TABLE recordings", "TRUNCATE recordings",
          "CREATE TABLE mine (x integer)", "ALTER TABLE recordings DISABLE TRIGGER ALL"})
        EXPECT_NE(Try(login(1), sql), "") << sql;
    EXPECT_NE(Try(admin, "UPDATE recordings SET result = 'PASS'").find("never changed"),
              std::string::npos);
    EXPECT_NE(Try(admin, "DELETE FROM recordings").find("never changed"), std::string::npos);
    // The shared login of before owns nothing now.
    EXPECT_NE(Try(cluster->Connection(), "INSERT INTO sources VALUES ('x', 'y')"), "");

    // A forged PASS under the real recording's identity, from the other PC.
    Recording forged = fail;
    forged.setup.pcName = "PC 2";
    forged.forces[100] = 382.5;
    forged.csvSha256 = std::string(64, 'b');
    bool refused = false;
    EXPECT_FALSE(pc2->Send(forged, RecordStatus::Complete, &why, &refused));
    EXPECT_TRUE(refused);
    EXPECT_NE(why.find("another recording with this identity, from PC-1"), std::string::npos)
        << why;
    // The same recording imported on the other PC as it was: delivered.
    Recording imported = fail;
    imported.setup.pcName = "PC 2";
    EXPECT_TRUE(pc2->Send(imported, RecordStatus::Complete, &why, &refused)) << why;
    Recording kept;
    ASSERT_TRUE(pc1->Load(Id(700), kept, nullptr, &why)) << why;
    EXPECT_EQ(kept.setup.pcName, "PC-1");
    EXPECT_EQ(kept.forces, fail.forces);
    for (PlantServer* server : {pc1.get(), pc2.get()}) {
        std::vector<std::string> conflicts;
        ASSERT_TRUE(server->Conflicts(conflicts, &why)) << why;
        ASSERT_EQ(conflicts.size(), 1u);
        EXPECT_EQ(conflicts[0],
                  "recording " + Id(700) + " from PC 2 differs from the one kept from PC-1");
    }
    EXPECT_EQ(pc1->Count(&why), 1);

    // Seals: each PC keeps only its own; a store emptied of every recording
    // is still checked against the seals of the PC its login is for.
    SealedRow entry;
    entry.id = 1;
    entry.hash = std::string(64, 'c');
    entry.what = "force limits";
    EXPECT_FALSE(pc2->SendSeals("PC-1", "changes", {entry}, &why));
    EXPECT_NE(why.find("row-level security"), std::string::npos) << why;
    ASSERT_TRUE(pc1->SendSeals("PC-1", "changes", {entry}, &why)) << why;
    EXPECT_NE(Try(login(0), "DELETE FROM seals"), "");
    std::string emptied;
    ASSERT_TRUE(PcStore("emptied", &emptied));
    const VerifyOutcome answer = VerifyStore(emptied, login(0));
    EXPECT_EQ(answer.exitCode, 1) << answer.line;
    EXPECT_NE(answer.line.find("audit trail entry 1 (force limits) of PC-1 is on the plant server "
                               "but not in the store"),
              std::string::npos)
        << answer.line;
}

// Fault mended: the sender sent a recording whose own seal failed. A
// recording changed in the store after it was sealed is not sent, leaves the
// outbox with its reason in the audit trail, and the others go on.
TEST_F(PlantServerTest, ARecordingChangedInTheStoreAfterItWasSealedIsNotSent) {
    std::string path;
    std::unique_ptr<RecordStore> store = PcStore("sealed", &path);
    ASSERT_TRUE(store);
    std::string why;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(store->Add(MakeRecording(Id(800 + i), "AX-80" + std::to_string(i), 100),
                               RecordStatus::Complete, nullptr, &why))
            << why;
    {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db,
                     "UPDATE recordings SET result = 'PASS', peak_t = 382.5 WHERE axle = 'AX-801'",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    PlantSender sender(path, cluster->Connection(), nullptr, kQuick);
    ASSERT_TRUE(Until(sender, [](const PlantSendStatus& s) { return s.sent + s.refused == 3; }));
    EXPECT_EQ(sender.Status().sent, 2);
    EXPECT_EQ(sender.Status().refused, 1);
    EXPECT_NE(WaitingText(sender.Status())
                  .find("1 recording not sent (in the audit trail): recording " + Id(801) +
                        " was not sent: "),
              std::string::npos)
        << WaitingText(sender.Status());
    auto server = Ready();
    EXPECT_EQ(server->Count(&why), 2);
    EXPECT_EQ(store->OutboxCount(), 0);
    const std::vector<Change> trail = store->Changes();
    ASSERT_FALSE(trail.empty());
    EXPECT_EQ(trail[0].what, kPlantRefusedChange);
    EXPECT_EQ(trail[0].newValue, Id(801));
}

// Faults mended: a store whose newest recording was removed with its head set
// back, one put back from an older backup, or one whose FAIL was rewritten
// with its chain made again, all passed --verify-store. Checked against the
// seals the plant server received, each is named.
TEST_F(PlantServerTest, TheStoreIsCheckedAgainstTheSealsThePlantServerReceived) {
    std::string path, why;
    std::unique_ptr<RecordStore> store = PcStore("anchor", &path);
    ASSERT_TRUE(store);
    // A FAIL with its CSV file and its page (the page names the CSV's hash).
    const std::string dir = testing::TempDir();
    auto files = [&](const std::string& name, const std::string& result, Recording& r) {
        const std::string csv = "# report_id," + r.setup.uuid + "\n# result," + result + "\n";
        const std::string page = "%PDF-1.4\nreport-id=" + r.setup.uuid +
                                 " csv-sha256=" + Sha256Hex(csv) + " Result: " + result + "\n";
        std::ofstream(dir + name + ".csv", std::ios::binary) << csv;
        std::ofstream(dir + name + ".pdf", std::ios::binary) << page;
        r.csvSha256 = Sha256Hex(csv);
        return Sha256Hex(page);
    };
    std::vector<Recording> made;
    for (int i = 0; i < 3; ++i)
        made.push_back(MakeRecording(Id(900 + i), "AX-90" + std::to_string(i), 50));
    const std::string failPage = files("fail", "FAIL", made[0]);
    Change limits;
    limits.at = 1765000000;
    limits.who = "Quality";
    limits.pcName = "PC-3";
    limits.press = "Press 3";
    limits.what = "force limits";
    limits.newValue = "350-420";
    auto keep = [&](RecordStore& into, const std::vector<Recording>& recordings,
                    const std::string& page, int changes, const std::string& name) {
        for (const Recording& r : recordings)
            EXPECT_TRUE(into.Add(r, RecordStatus::Complete, nullptr, &why)) << why;
        EXPECT_TRUE(into.SetReportFiles(recordings[0].setup.uuid, dir + name + ".pdf",
                                        dir + name + ".csv", 1765000100, &why));
        EXPECT_TRUE(into.SetReportHash(recordings[0].setup.uuid, page, &why, 1765000100)) << why;
        for (int c = 0; c < changes; ++c)
            EXPECT_TRUE(into.AddChange(limits, &why)) << why;
    };
    keep(*store, made, failPage, 2, "fail");
    {
        PlantSender sender(path, cluster->Connection(), nullptr, kQuick);
        ASSERT_TRUE(Until(sender, [](const PlantSendStatus& s) { return s.sealed == 3; }))
            << WaitingText(sender.Status());
        EXPECT_EQ(sender.Status().sent, 3);
        EXPECT_EQ(WaitingText(sender.Status()), ""); // TLS with the server verified
    }
    // The plant holds the trail itself, not only its seals.
    std::vector<SealedRow> trailRows;
    ASSERT_TRUE(Ready()->ChainSeals("PC-3", "changes", trailRows, &why)) << why;
    ASSERT_EQ(trailRows.size(), 2u);
    for (const SealedRow& row : trailRows) {
        EXPECT_EQ(row.hash, store->SealOf("changes", row.id));
        EXPECT_EQ(row.entry.at, limits.at);
        EXPECT_EQ(row.entry.who + "|" + row.entry.press + "|" + row.entry.newValue,
                  "Quality|Press 3|350-420");
    }
    const VerifyOutcome whole = VerifyStore(path, cluster->Connection());
    EXPECT_EQ(whole.exitCode, 0) << whole.line;
    EXPECT_NE(whole.line.find("and the 3 recordings and 3 seals of changes and pages the plant "
                              "server received from its PCs agree"),
              std::string::npos)
        << whole.line;
    const VerifyOutcome page = VerifyReportFile(dir + "fail.pdf", path, cluster->Connection());
    EXPECT_EQ(page.exitCode, 0) << page.line;
    EXPECT_NE(page.line.find("the plant server's copy of the recording agrees, as does its seal of "
                             "the page."),
              std::string::npos)
        << page.line;

    // Made again with the program's own code, as whoever has the recipe can:
    // the newest one left out (or an older backup), or a verdict rewritten.
    Recording passed = made[0];
    const std::string passPage = files("pass", "PASS", passed);
    auto forged = [&](const std::string& name, std::vector<Recording> recordings,
                      const std::string& page = "", int changes = 2) {
        std::string forgedPath;
        std::unique_ptr<RecordStore> other = PcStore(name, &forgedPath);
        keep(*other, recordings, page.empty() ? failPage : page, changes,
             page == passPage ? "pass" : "fail");
        EXPECT_TRUE(other->VerifyChain().ok);
        return forgedPath;
    };
    // The newest trail entry removed, the head set back.
    const VerifyOutcome trail = VerifyStore(forged("trail", made, "", 1), cluster->Connection());
    EXPECT_EQ(trail.exitCode, 1);
    EXPECT_NE(trail.line.find("audit trail entry 2 (force limits) of PC-3 is on the plant server "
                              "but not in the store"),
              std::string::npos)
        << trail.line;
    // The FAIL made a PASS: CSV, page, store and chains all made again.
    const std::string rewrittenPath = forged("pass", {passed, made[1], made[2]}, passPage);
    for (const std::string& file : {dir + "pass.pdf", dir + "pass.csv"}) {
        EXPECT_EQ(VerifyReportFile(file, rewrittenPath).exitCode, 0); // the store alone: fooled
        const VerifyOutcome asked = VerifyReportFile(file, rewrittenPath, cluster->Connection());
        EXPECT_EQ(asked.exitCode, 1) << file;
        EXPECT_NE(asked.line.find("the plant server received this recording with CSV SHA-256 " +
                                  made[0].csvSha256),
                  std::string::npos)
            << asked.line;
    }
    // Only the page changed, its hash sealed in the store's chain of pages.
    const std::string otherPage = Sha256Hex("%PDF-1.4 Result: PASS");
    const VerifyOutcome pages = VerifyStore(forged("page", made, otherPage), cluster->Connection());
    EXPECT_EQ(pages.exitCode, 1);
    EXPECT_NE(pages.line.find("printed page 1 (page of report " + ReportNumber(Id(900)) +
                              ") of PC-3 differs from the one the plant server received"),
              std::string::npos)
        << pages.line;
    const VerifyOutcome setBack =
        VerifyStore(forged("set-back", {made[0], made[1]}), cluster->Connection());
    // (Its trail and pages agree: the first disagreement named is the recording.)
    EXPECT_EQ(setBack.exitCode, 1);
    EXPECT_NE(setBack.line.find("recording " + ReportNumber(Id(902)) +
                                " of PC-3 is on the plant server but not in the store"),
              std::string::npos)
        << setBack.line;
    Recording pass = made[0];
    for (double& f : pass.forces)
        f = 382.5;
    const VerifyOutcome rewritten =
        VerifyStore(forged("rewritten", {pass, made[1], made[2]}), cluster->Connection());
    EXPECT_EQ(rewritten.exitCode, 1);
    EXPECT_NE(rewritten.line.find("recording " + ReportNumber(Id(900)) +
                                  " of PC-3 differs from the copy the plant server received"),
              std::string::npos)
        << rewritten.line;
    // Without a plant server, the answer says what the store alone cannot prove.
    EXPECT_NE(VerifyStore(path).line.find("cannot prove it was not rewritten"), std::string::npos);
}

// Faults mended: with sslmode unset, a relay that refused TLS turned the
// link into clear text and the program sent anyway. The link is TLS with the
// server's certificate and name verified unless the connection string says
// otherwise; a plant's own choice of a plain link is honoured and told, on
// the status line and with every recording sent so.
TEST_F(PlantServerTest, TheLinkIsTlsWithTheServerVerifiedUnlessTheSettingsChooseOtherwise) {
    std::string why;
    auto verified = PlantServer::Connect(cluster->Connection(), &why);
    ASSERT_TRUE(verified) << why;
    EXPECT_EQ(verified->Link(), "");

    TlsRefusingRelay relay(cluster->Port());
    const std::string relayed =
        "host=127.0.0.1 port=" + std::to_string(relay.port) +
        " dbname=presses user=press3 passfile=" +
        cluster->Connection().substr(cluster->Connection().find("passfile=") + 9);
    EXPECT_EQ(PlantServer::Connect(relayed, &why), nullptr);
    EXPECT_NE(why.find("SSL"), std::string::npos) << why;
    EXPECT_NE(why.find("the link to the plant server is TLS with the server verified"),
              std::string::npos)
        << why;
    EXPECT_GE(relay.refused.load(), 1);
    // No CA file, or a certificate for another name than the one asked for.
    const std::string port = std::to_string(cluster->Port());
    for (const std::string& wrong : {std::string(" sslrootcert=/nonexistent/plant-ca.crt"),
                                     std::string(" host=localhost hostaddr=127.0.0.1")}) {
        why.clear();
        EXPECT_EQ(PlantServer::Connect(cluster->Connection() + wrong, &why), nullptr) << wrong;
        EXPECT_NE(why.find("the link to the plant server is TLS"), std::string::npos) << why;
    }
    auto unverified = PlantServer::Connect(cluster->Connection() + " sslmode=require", &why);
    ASSERT_TRUE(unverified) << why;
    EXPECT_EQ(unverified->Link(), "TLS, the server not verified (sslmode=require)");

    // Chosen by the plant: clear text through the relay, told with the recording.
    auto plain = PlantServer::Connect(relayed + " sslmode=prefer", &why);
    ASSERT_TRUE(plain) << why;
    EXPECT_EQ(plain->Link(), "not encrypted (sslmode=prefer)");
    ASSERT_TRUE(plain->PrepareSchema(&why)) << why;
    ASSERT_TRUE(plain->Send(MakeRecording(Id(1000), "AX-1000", 20), RecordStatus::Complete, &why))
        << why;
    ASSERT_TRUE(
        verified->Send(MakeRecording(Id(1001), "AX-1001", 20), RecordStatus::Complete, &why))
        << why;
    PGconn* admin = PQconnectdb(cluster->AdminConnection("presses").c_str());
    PGresult* links = PQexec(admin, "SELECT link FROM recordings ORDER BY uuid");
    ASSERT_EQ(PQntuples(links), 2);
    EXPECT_STREQ(PQgetvalue(links, 0, 0), "not encrypted (sslmode=prefer)");
    EXPECT_STREQ(PQgetvalue(links, 1, 0), "TLS, server verified");
    PQclear(links);
    PQfinish(admin);

    std::string path;
    std::unique_ptr<RecordStore> store = PcStore("plain", &path);
    ASSERT_TRUE(
        store->Add(MakeRecording(Id(1002), "AX-1002", 20), RecordStatus::Complete, nullptr, &why));
    PlantSender sender(path, cluster->Connection() + " sslmode=disable", nullptr, kQuick);
    ASSERT_TRUE(Until(sender, [](const PlantSendStatus& s) { return s.sent == 1; }));
    EXPECT_EQ(WaitingText(sender.Status()),
              "No recording waiting for the plant server; the link to it is not encrypted "
              "(sslmode=disable)");
}

// Fault mended: a row changed on the server (forces × 1.25, made a PASS) was
// shown by the Plant scope without a word. Its data are checked against the
// CSV hash it arrived with, and its row against its data.
TEST_F(PlantServerTest, ARowChangedOnTheServerAfterItArrivedIsNamed) {
    auto server = Ready();
    ASSERT_TRUE(server);
    std::string why;
    Recording fail = MakeRecording(Id(1100), "AX-1100", 400);
    fail.setup.limits = {350, 400}; // its peak of 406.7 t above
    fail.journalProblem = "the journal could not be written";
    fail.clockNote = "PC clock earlier than the last recording";
    fail.csvSha256 = Sha256Hex(CurveCsvText(fail));
    ASSERT_TRUE(server->Send(fail, RecordStatus::Complete, &why)) << why;
    auto listed = [&] {
        std::vector<RecordSummary> rows;
        RecordFilter all;
        EXPECT_TRUE(server->Find(all, "", rows, nullptr, &why)) << why;
        return rows.empty() ? RecordSummary() : rows.front();
    };
    Recording back;
    ASSERT_TRUE(server->Load(Id(1100), back, nullptr, &why)) << why;
    RecordSummary row = listed();
    EXPECT_EQ(PlantCopyProblem(back, &row), "");

    // The owner turns the trigger off and rewrites the row.
    PGconn* admin = PQconnectdb(cluster->AdminConnection("presses").c_str());
    auto run = [&](const std::string& sql) { PQclear(PQexec(admin, sql.c_str())); };
    run("ALTER TABLE recordings DISABLE TRIGGER recordings_kept");
    run("UPDATE recordings SET result = 'PASS', peak_force_t = 382.5");
    row = listed();
    EXPECT_NE(PlantCopyProblem(back, &row)
                  .find("the plant server lists it as PASS 382.5 t, its "
                        "data say FAIL"),
              std::string::npos)
        << PlantCopyProblem(back, &row);
    Recording scaled = fail;
    for (double& f : scaled.forces)
        f *= 1.25;
    const std::string packed = PackSamples(scaled);
    const char* values[] = {packed.data()};
    const int lengths[] = {static_cast<int>(packed.size())}, formats[] = {1};
    PQclear(PQexecParams(admin, "UPDATE recordings SET samples = $1", 1, nullptr, values, lengths,
                         formats, 0));
    run("ALTER TABLE recordings ENABLE TRIGGER recordings_kept");
    PQfinish(admin);
    ASSERT_TRUE(server->Load(Id(1100), back, nullptr, &why)) << why;
    EXPECT_NE(PlantCopyProblem(back).find("do not give the CSV SHA-256 it arrived with"),
              std::string::npos);
}

// The plant's statistics are computed on the server; over the same
// recordings they are the PC's own, figure for figure and point for point:
// a noisy series with a level shift, a climb and an outlier, so that every
// rule is broken, with cut-off recordings, re-mounts and another press's
// and bearing's recordings about.
TEST_F(PlantServerTest, ThePlantsStatisticsAreThePcsOwnOverTheSameRecordings) {
    auto server = Ready();
    ASSERT_TRUE(server);
    std::string path, why;
    auto store = PcStore("statistics", &path);
    ASSERT_TRUE(store);
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0, 1.6);
    auto add = [&](int k, double peak, const std::string& press, const std::string& bearing,
                   const std::string& axle, bool cut) {
        Recording r = MakeRecording(Id(1000 + k), axle, 0);
        r.setup.pressName = press;
        r.setup.job.bearingDesignation = bearing;
        r.stoppedAt = 1765000000 + 300 * k;
        r.startedAt = r.stoppedAt - 80;
        for (int i = 0; i <= 40; ++i) { // a rise with jitter in its steps
            r.times.push_back(i * 0.1 + (i % 3) * 0.004);
            r.forces.push_back(std::round(peak * std::min(1.0, i / 30.0) * 1e4) / 1e4);
            r.pressures.push_back(static_cast<int>(r.forces.back() / 1.25));
        }
        if (cut) r.incomplete = "module lost at 3.1 s";
        const RecordStatus status = cut ? RecordStatus::Incomplete : RecordStatus::Complete;
        ASSERT_TRUE(store->Add(r, status, nullptr, &why)) << why;
        ASSERT_TRUE(server->Send(r, status, &why)) << why;
    };
    for (int k = 0; k < 90; ++k) {
        double peak = 385 + noise(random);
        if (k >= 30 && k < 41) peak += 6;                        // nine and more above the centre
        if (k >= 50 && k < 57) peak = 380 + k - 50;              // six and more rising
        if (k == 70) peak = 421.5;                               // beyond 3σ, and above the limit
        if (k == 75 || k == 77) peak = 393;                      // two of three beyond 2σ
        const std::string axle = "AX-" + std::to_string(k % 80); // ten re-mounts
        add(k, peak, "Press 3", k % 2 ? "TBU 130x230" : "tbu 130X230", axle, k % 29 == 28);
        if (k % 10 == 0) add(500 + k, 360 + k % 7, "Press 4", "TBU 130x230", axle, false);
        if (k % 15 == 0) add(700 + k, 400, "Press 3", "TBU 150x250", axle, false);
    }
    MountingFilter filter;
    filter.press = "Press 3";
    filter.bearing = "TBU 130x23?";
    filter.from = 1765000000 + 300 * 3;
    const MountingStatistics local = StatisticsOf(*store, filter, nullptr);
    PlantStatistics answer;
    ASSERT_TRUE(server->Statistics(filter, "", answer, &why)) << why;
    const MountingStatistics plant = StatisticsOf(answer, nullptr);

    EXPECT_EQ(plant.mountings, 87u);
    EXPECT_EQ(plant.mountings, local.mountings);
    EXPECT_EQ(plant.incomplete, local.incomplete);
    EXPECT_EQ(plant.incomplete, 3u);
    EXPECT_EQ(plant.pass, local.pass);
    EXPECT_EQ(plant.fail, local.fail);
    EXPECT_GE(plant.fail, 1u);
    EXPECT_EQ(plant.remounts, local.remounts);
    EXPECT_EQ(plant.remounts, 7u);
    EXPECT_EQ(plant.summary.n, local.summary.n);
    EXPECT_NEAR(plant.summary.mean, local.summary.mean, 1e-9);
    EXPECT_NEAR(plant.summary.sd, local.summary.sd, 1e-9);
    EXPECT_EQ(plant.summary.min, local.summary.min);
    EXPECT_EQ(plant.summary.max, local.summary.max);
    EXPECT_NEAR(plant.chart.mrBar, local.chart.mrBar, 1e-9);
    ASSERT_TRUE(plant.hasLimits && local.hasLimits);
    EXPECT_EQ(plant.limits.upperTons, 420);
    EXPECT_NEAR(plant.capability.cpk, local.capability.cpk, 1e-9);
    EXPECT_NEAR(plant.capability.ppk, local.capability.ppk, 1e-9);
    EXPECT_NEAR(plant.trend.t, local.trend.t, 1e-6);
    EXPECT_EQ(plant.trend.direction, local.trend.direction);
    ASSERT_EQ(plant.breaks.size(), local.breaks.size());
    for (size_t k = 0; k < plant.breaks.size(); ++k) {
        EXPECT_EQ(plant.breaks[k].rule, local.breaks[k].rule) << k;
        EXPECT_EQ(plant.breaks[k].at, local.breaks[k].at) << k;
        EXPECT_EQ(plant.breaks[k].first, local.breaks[k].first) << k;
        EXPECT_EQ(plant.breakUuids[k], local.breakUuids[k]) << k;
    }
    for (size_t rule = 0; rule < 4; ++rule) {
        EXPECT_GT(plant.ruleCounts[rule], 0u) << RuleName(static_cast<ChartRule>(rule));
        EXPECT_EQ(plant.ruleCounts[rule], local.ruleCounts[rule]);
    }
    ASSERT_EQ(plant.histogram.size(), local.histogram.size());
    for (size_t b = 0; b < plant.histogram.size(); ++b) {
        EXPECT_EQ(plant.histogram[b].count, local.histogram[b].count) << b;
        EXPECT_DOUBLE_EQ(plant.histogram[b].low, local.histogram[b].low);
    }
    // Fewer mountings than runs: each run is one mounting, its own peak.
    ASSERT_EQ(plant.runs.size(), local.peaks.size());
    EXPECT_EQ(plant.runs[70 - 3].max, local.peaks[70 - 3]);

    // Of another PC: nothing; a press with no recordings in the period: nothing.
    ASSERT_TRUE(server->Statistics(filter, "PC-9", answer, &why)) << why;
    EXPECT_EQ(answer.mountings, 0u);
    EXPECT_TRUE(std::isnan(answer.summary.mean));
    filter.press = "Press 4";
    filter.until = filter.from + 300;
    ASSERT_TRUE(server->Statistics(filter, "PC-3", answer, &why)) << why;
    EXPECT_EQ(StatisticsOf(answer, nullptr).mountings, 0u);

    // Recordings judged by a program: against its peak criterion's limits,
    // on the PC and on the server alike.
    Program program;
    ASSERT_TRUE(ParseProgram(R"({"name": "TBU 160", "version": 4, "bearing": "TBU 160*",
        "criteria": [{"hold": {"above_t": 300, "min_s": 1}}, {"peak": {"min_t": 360, "max_t": 410}}]})",
                             program, &why))
        << why;
    for (int k = 0; k < 4; ++k) {
        Recording r = MakeRecording(Id(900 + k), "AX-P" + std::to_string(k), 0);
        r.setup.job.bearingDesignation = "TBU 160x270";
        r.setup.hasLimits = false;
        r.setup.program = std::make_shared<const Program>(program);
        r.stoppedAt = 1765100000 + 300 * k;
        for (int i = 0; i <= 60; ++i) {
            r.times.push_back(i * 0.1);
            r.forces.push_back(std::min(1.0, i / 20.0) * (385 + k + noise(random) * 0.1));
            r.pressures.push_back(static_cast<int>(r.forces.back() / 1.25));
        }
        ASSERT_TRUE(store->Add(r, RecordStatus::Complete, nullptr, &why)) << why;
        ASSERT_TRUE(server->Send(r, RecordStatus::Complete, &why)) << why;
    }
    MountingFilter judged;
    judged.bearing = "TBU 160x270";
    judged.from = 1765100000;
    ASSERT_TRUE(server->Statistics(judged, "", answer, &why)) << why;
    for (const MountingStatistics& s :
         {StatisticsOf(answer, nullptr), StatisticsOf(*store, judged, nullptr)}) {
        EXPECT_EQ(s.mountings, 4u);
        ASSERT_TRUE(s.hasLimits) << s.limitsNote;
        EXPECT_EQ(s.limits.lowerTons, 360);
        EXPECT_EQ(s.limits.upperTons, 410);
    }
}
