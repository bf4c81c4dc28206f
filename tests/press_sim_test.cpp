// press-sim on 127.0.0.1: its answers, its command log and its fault modes.
#include "link/transport.h"
#include "link/reading_decoder.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// press-sim with its log in the test's temporary directory.
class Sim : public PressSimProcess {
  public:
    explicit Sim(const std::vector<std::string>& args)
        : PressSimProcess(PRESS_SIM_PATH, NextLog(), args) {}
    ~Sim() {
        Stop();
        std::remove(LogPath().c_str());
    }
    int Connect() const {
        int s = SockOpen(AF_INET, SOCK_STREAM, 0);
        SockAddress a;
        SockMakeAddress(&a, "127.0.0.1", static_cast<uint16_t>(Port()));
        if (SockConnect(s, &a) < 0) {
            SockClose(s);
            return -1;
        }
        return s;
    }

  private:
    static std::string NextLog() {
        static int counter = 0;
        return testing::TempDir() + "press_sim_test_" + std::to_string(getpid()) + "_" +
               std::to_string(++counter) + ".log";
    }
};

// Sends one poll and collects what arrives within `ms`.
std::string Poll(int s, int ms = 300) {
    uint16_t length = 5;
    if (SockSendAll(s, "p000\r", &length) != 0) return "<send failed>";
    std::string got;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (SockWait(s, false, 20) <= 0) continue;
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
    ASSERT_GT(sim.Port(), 0);
    int s = sim.Connect();
    ASSERT_GE(s, 0);
    uint16_t length = 5;
    ASSERT_EQ(SockSendAll(s, "i001\r", &length), 0);
    std::string answer = Poll(s);
    EXPECT_GE(answer.size(), 20u);
    EXPECT_EQ(Decode(answer), 0); // the built-in cycle idles at 0 bar
    SockClose(s);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::ifstream in(sim.LogPath());
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
        EXPECT_NE(sim.FirstLine().find("refusing"), std::string::npos);
    }
}

TEST(PressSim, RefusesWithoutListening) {
    // --refuse binds nothing: a connect to its port is refused. (The later
    // --port replaces the helper's "--port 0".)
    const int port = UnusedLoopbackPort();
    Sim sim({"--refuse", "--port", std::to_string(port), "--duration", "5"});
    EXPECT_NE(sim.FirstLine().find("refusing"), std::string::npos);
    int s = SockOpen(AF_INET, SOCK_STREAM, 0);
    SockAddress address;
    SockMakeAddress(&address, "127.0.0.1", static_cast<uint16_t>(port));
    EXPECT_EQ(SockConnect(s, &address), -1);
    SockClose(s);
}
