// press-sim on 127.0.0.1: its answers, its command log and its fault modes.
#include "link/transport.h"
#include "recorder/decoder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

struct Sim {
    explicit Sim(std::vector<std::string> args) {
        log = testing::TempDir() + "press_sim_test_" + std::to_string(getpid()) + "_" +
              std::to_string(++counter) + ".log";
        std::vector<std::string> all{PRESS_SIM_PATH, "--port", "0", "--log", log};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int out[2];
        EXPECT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn(&pid, PRESS_SIM_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        char line[200] = {0};
        FILE* r = fdopen(out[0], "r");
        if (fgets(line, sizeof line, r)) {
            firstLine = line;
            if (const char* colon = strrchr(line, ':')) port = atoi(colon + 1);
        }
        fclose(r);
    }
    ~Sim() {
        kill(pid, SIGTERM);
        int status;
        waitpid(pid, &status, 0);
        std::remove(log.c_str());
    }
    int Connect() const {
        int s = SockOpen(AF_INET, SOCK_STREAM, 0);
        SockAddress a;
        SockMakeAddress(&a, "127.0.0.1", static_cast<uint16_t>(port));
        if (SockConnect(s, &a) < 0) {
            SockClose(s);
            return -1;
        }
        return s;
    }
    static int counter;
    pid_t pid = -1;
    int port = 0;
    std::string log, firstLine;
};
int Sim::counter = 0;

// Sends one poll and collects what arrives within `ms`.
std::string Poll(int s, int ms = 300) {
    uint16_t length = 5;
    if (SockSendAll(s, "p000\r", &length) != 0) return "<send failed>";
    std::string got;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{s, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        char buffer[256];
        int n = SockReceiveKeep(s, buffer, sizeof buffer);
        if (n <= 0) return got + "<closed>";
        got.append(buffer, n);
    }
    return got;
}

std::optional<int> Decode(const std::string& s) {
    return DecodeReading(s.data(), s.size());
}

} // namespace

TEST(PressSim, AnswersEachPollWithOneDecodableReadingAndLogsCommands) {
    Sim sim({});
    ASSERT_GT(sim.port, 0);
    int s = sim.Connect();
    ASSERT_GE(s, 0);
    uint16_t length = 5;
    ASSERT_EQ(SockSendAll(s, "i001\r", &length), 0);
    std::string answer = Poll(s);
    EXPECT_GE(answer.size(), 20u);
    EXPECT_EQ(Decode(answer), 0); // the built-in cycle idles at 0 bar
    SockClose(s);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::ifstream in(sim.log);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find(" i001\\r\n"), std::string::npos) << all;
    EXPECT_NE(all.find(" p000\\r\n"), std::string::npos) << all;
    // Each line starts with a time in milliseconds with three decimals.
    EXPECT_NE(all.find('.'), std::string::npos);
}

TEST(PressSim, FaultModesDoWhatTheySay) {
    {
        Sim sim({"--status5"});
        int s = sim.Connect();
        std::string answer = Poll(s);
        EXPECT_NE(answer.find(" 5\r\n"), std::string::npos);
        EXPECT_EQ(Decode(answer), std::nullopt);
        SockClose(s);
    }
    {
        Sim sim({"--silent"});
        int s = sim.Connect();
        EXPECT_EQ(Poll(s), "");
        SockClose(s);
    }
    {
        Sim sim({"--garbage"});
        int s = sim.Connect();
        EXPECT_EQ(Poll(s).size(), 24u);
        SockClose(s);
    }
    {
        Sim sim({"--split"});
        int s = sim.Connect();
        uint16_t length = 5;
        SockSendAll(s, "p000\r", &length);
        char buffer[128] = {0};
        int n = SockReceiveKeep(s, buffer, sizeof buffer); // the first part alone
        EXPECT_GE(n, 20);
        EXPECT_EQ(DecodeReading(buffer, n), std::nullopt);
        SockClose(s);
    }
    {
        Sim sim({"--close-after", "2"});
        int s = sim.Connect();
        EXPECT_EQ(Decode(Poll(s)), 0);
        std::string second = Poll(s);
        EXPECT_NE(second.find("<closed>"), std::string::npos) << second;
        SockClose(s);
    }
    {
        Sim sim({"--refuse", "--port", "0"});
        EXPECT_NE(sim.firstLine.find("refusing"), std::string::npos);
    }
}

TEST(PressSim, RefusesWithoutListening) {
    // --refuse binds nothing: a connect to its port is refused.
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    getsockname(probe, reinterpret_cast<sockaddr*>(&a), &size);
    const std::string port = std::to_string(ntohs(a.sin_port));
    close(probe);
    std::vector<std::string> args{PRESS_SIM_PATH, "--refuse", "--port", port, "--duration", "2"};
    std::vector<char*> argv;
    for (auto& s : args)
        argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    posix_spawn(&pid, PRESS_SIM_PATH, nullptr, nullptr, argv.data(), environ);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int s = SockOpen(AF_INET, SOCK_STREAM, 0);
    SockAddress address;
    SockMakeAddress(&address, "127.0.0.1", static_cast<uint16_t>(std::stoi(port)));
    EXPECT_EQ(SockConnect(s, &address), -1);
    SockClose(s);
    kill(pid, SIGTERM);
    int status;
    waitpid(pid, &status, 0);
}
