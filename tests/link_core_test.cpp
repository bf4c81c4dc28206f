// The link without any window, against press-sim on 127.0.0.1 sending as a
// real module and a Wi-Fi link can: unpadded, byte by byte, several replies in
// one segment, stalled, half-closed, deaf, closing in the start-up commands.
#include "link/link.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include "socket_compat.h"

#include <dirent.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <sstream>

namespace {

using namespace std::chrono;

std::string NextLog() {
    static int n = 0;
    return testing::TempDir() + "link_core_sim_" + std::to_string(getpid()) + "_" +
           std::to_string(++n) + ".log";
}

struct Sim : PressSimProcess {
    explicit Sim(const std::vector<std::string>& args = {})
        : PressSimProcess(PRESS_SIM_PATH, NextLog(), args) {}
    ~Sim() { std::remove(LogPath().c_str()); }
    // The commands the simulator received: milliseconds and the text.
    std::vector<std::pair<double, std::string>> Commands() const {
        std::vector<std::pair<double, std::string>> out;
        for (const std::string& line : LogLines()) {
            std::istringstream in(line);
            double ms;
            std::string what;
            if ((in >> ms >> what) && what.size() == 6 && what.substr(4) == "\\r")
                out.emplace_back(ms, what);
        }
        return out;
    }
};

UniqueSocket ConnectTo(int port, const char* address = "127.0.0.1") {
    UniqueSocket socket(SockOpen(AF_INET, SOCK_STREAM, 0));
    SockAddress a;
    SockMakeAddress(&a, address, static_cast<uint16_t>(port));
    int cause = 0;
    if (SockConnectWithin(socket.Get(), &a, 2000, nullptr, &cause) != 0) socket.Reset();
    return socket;
}

// Collects what the link tells, as the panel would, on the link's threads.
struct Listener : LinkListener {
    void OnReadingsWaiting(int) override {
        std::vector<Reading> taken;
        if (!takeOnWake) {
            wakes++;
            return;
        }
        link->TakeReadings(taken);
        std::lock_guard<std::mutex> guard(lock);
        readings.insert(readings.end(), taken.begin(), taken.end());
        changed.notify_all();
    }
    void OnLinkLost(int, LinkLoss why) override {
        std::lock_guard<std::mutex> guard(lock);
        losses.push_back(why);
        lostAt = SteadyClock::now();
        changed.notify_all();
    }
    bool WaitFor(const std::function<bool()>& done, int ms) {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, milliseconds(ms), done);
    }
    std::vector<int> Bars() {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<int> out;
        for (const Reading& r : readings)
            out.push_back(r.bar);
        return out;
    }
    Link* link = nullptr;
    bool takeOnWake = true;
    std::atomic<int> wakes{0};
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Reading> readings;
    std::vector<LinkLoss> losses;
    SteadyTime lostAt;
};

// A started link to press-sim's `port` and the listener it reports to.
struct RunningLink {
    explicit RunningLink(int port, LinkOptions options = {}, bool takeOnWake = true, int id = 1) {
        listener.takeOnWake = takeOnWake;
        UniqueSocket socket = ConnectTo(port);
        EXPECT_TRUE(socket.Valid());
        link = std::make_unique<Link>(std::move(socket), id, std::move(options), listener);
        listener.link = link.get();
        link->Start();
    }
    Listener listener;
    std::unique_ptr<Link> link;
};

#ifdef __linux__
int CountEntries(const char* path) {
    int n = 0;
    if (DIR* dir = opendir(path)) {
        while (readdir(dir))
            ++n;
        closedir(dir);
    }
    return n;
}
#endif

} // namespace

TEST(Link, SendsStartupCommandsThenPollsEvery75Ms) {
    Sim sim;
    LinkOptions options;
    options.startupCommands = {std::string("i001\r", 5), std::string("i002\r", 5)};
    RunningLink running(sim.Port(), options);
    std::this_thread::sleep_for(milliseconds(2500));
    running.link.reset();
    auto log = sim.Commands();
    ASSERT_GT(log.size(), 25u);
    EXPECT_EQ(log[0].second, "i001\\r");
    EXPECT_EQ(log[1].second, "i002\\r");
    // 10 ms apart, well short of a poll; generous, as a loaded 2-core
    // machine (Wine above all) wakes the sender late.
    EXPECT_GE(log[1].first - log[0].first, 2);
    EXPECT_LE(log[1].first - log[0].first, 40);
    EXPECT_EQ(log[2].second, "p000\\r");
    std::vector<double> gaps;
    for (size_t i = 3; i < log.size(); ++i)
        gaps.push_back(log[i].first - log[i - 1].first);
    std::sort(gaps.begin(), gaps.end());
    EXPECT_GE(gaps[gaps.size() / 2], 74.5);
    EXPECT_LE(gaps[gaps.size() / 2], 90.0);
    EXPECT_TRUE(running.listener.losses.empty());
}

// Fault mended: unpadded, split and merged replies lost most readings.
TEST(Link, EveryReadingArrivesOnceAndInOrderHoweverTheLinkDeliversIt) {
    const std::vector<std::vector<std::string>> modes = {
        {"--unpadded"},
        {"--unpadded", "--byte-split", "2"},
        {"--coalesce", "3"},
        {"--unpadded", "--coalesce", "4", "--byte-split", "0"}};
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode[0] + (mode.size() > 1 ? " " + mode[1] : ""));
        std::vector<std::string> args = mode;
        args.insert(args.end(), {"--count", "100"});
        Sim sim(args);
        RunningLink running(sim.Port());
        Listener& listener = running.listener;
        EXPECT_TRUE(listener.WaitFor([&] { return listener.readings.size() >= 20; }, 6000));
        running.link->End();
        std::vector<int> bars = listener.Bars();
        ASSERT_FALSE(bars.empty());
        EXPECT_EQ(bars.front(), 100);
        for (size_t i = 1; i < bars.size(); ++i)
            ASSERT_EQ(bars[i], bars[i - 1] + 1) << "at " << i;
        for (size_t i = 1; i < listener.readings.size(); ++i)
            EXPECT_LE(listener.readings[i - 1].arrival, listener.readings[i].arrival);
        EXPECT_TRUE(listener.losses.empty());
    }
}

// Fault mended: a stalled, half-closed, deaf or failing module was never noticed.
TEST(Link, ADeadModuleIsToldOnceWithinThreeSeconds) {
    struct Case {
        std::vector<std::string> args;
        std::vector<LinkLoss> expected;
    };
    const std::vector<Case> cases = {
        {{"--stall-after", "10"}, {LinkLoss::ReadingsStopped}},
        {{"--half-close-after", "10"}, {LinkLoss::Closed}},
        {{"--stop-reading-after", "10"}, {LinkLoss::ReadingsStopped, LinkLoss::SendStalled}},
        {{"--close-after", "10"}, {LinkLoss::Closed, LinkLoss::SendFailed}},
        {{"--close-in-startup"}, {LinkLoss::Closed, LinkLoss::StartupFailed}},
        {{"--silent"}, {LinkLoss::ReadingsStopped}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        Sim sim(c.args);
        LinkOptions options;
        options.startupCommands = {std::string("i001\r", 5), std::string("i002\r", 5)};
        RunningLink running(sim.Port(), options);
        Listener& listener = running.listener;
        ASSERT_TRUE(listener.WaitFor([&] { return !listener.losses.empty(); }, 6000));
        SteadyTime last =
            listener.readings.empty() ? SteadyTime() : listener.readings.back().arrival;
        if (!listener.readings.empty()) {
            EXPECT_LT(duration_cast<milliseconds>(listener.lostAt - last).count(), 3000);
        }
        EXPECT_NE(std::find(c.expected.begin(), c.expected.end(), listener.losses[0]),
                  c.expected.end())
            << LinkLossText(listener.losses[0]);
        // Ending a link whose module no longer reads never blocks.
        auto before = SteadyClock::now();
        running.link->End();
        EXPECT_LT(duration_cast<milliseconds>(SteadyClock::now() - before).count(), 500);
        std::this_thread::sleep_for(milliseconds(200));
        EXPECT_EQ(listener.losses.size(), 1u);
    }
}

// Fault mended: one wake-up per batch without limit froze the window and grew
// memory without bound under a flood.
TEST(Link, AFloodIsHeldBackNotDroppedAndWakesTheOwnerOnce) {
    Sim sim({"--flood", "1000000", "--count", "5"});
    LinkOptions options;
    options.queueLimit = 5000;
    RunningLink running(sim.Port(), options, false);
    Listener& listener = running.listener;
    std::vector<int> bars;
    std::vector<Reading> taken;
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(milliseconds(100)); // a slow owner
        running.link->TakeReadings(taken);
        EXPECT_LE(taken.size(), options.queueLimit);
        for (const Reading& r : taken)
            bars.push_back(r.bar);
    }
    EXPECT_LE(listener.wakes.load(), 21);
    ASSERT_GT(bars.size(), 20000u);
    for (size_t i = 1; i < bars.size(); ++i)
        ASSERT_EQ(bars[i], bars[i - 1] >= 999 ? 5 : bars[i - 1] + 1) << "at " << i;
    EXPECT_TRUE(listener.losses.empty()) << LinkLossText(listener.losses[0]);
}

TEST(ConnectThread, FailuresNameTheirCause) {
    std::mutex lock;
    std::condition_variable done;
    std::optional<ConnectResult> outcome;
    auto report = [&](ConnectResult r) {
        std::lock_guard<std::mutex> guard(lock);
        outcome = std::move(r);
        done.notify_all();
    };
    {
        ConnectThread refused("127.0.0.1", static_cast<uint16_t>(UnusedLoopbackPort()), 1, 2000,
                              report);
        std::unique_lock<std::mutex> guard(lock);
        ASSERT_TRUE(done.wait_for(guard, seconds(3), [&] { return outcome.has_value(); }));
    }
    EXPECT_FALSE(outcome->socket.Valid());
    EXPECT_STREQ(SockConnectFailureText(outcome->cause), "connection refused");

    // A listener whose queue is full: the attempt times out.
    FullLoopbackListener full;
    outcome.reset();
    {
        ConnectThread hanging("127.0.0.1", static_cast<uint16_t>(full.port), 2, 600, report);
        std::unique_lock<std::mutex> guard(lock);
        ASSERT_TRUE(done.wait_for(guard, seconds(3), [&] { return outcome.has_value(); }));
    }
    EXPECT_STREQ(SockConnectFailureText(outcome->cause), "no answer (timed out)");

    // Cancelled: nothing reported, and the thread is gone at once.
    outcome.reset();
    auto before = SteadyClock::now();
    { ConnectThread cancelled("127.0.0.1", static_cast<uint16_t>(full.port), 3, 5000, report); }
    EXPECT_LT(duration_cast<milliseconds>(SteadyClock::now() - before).count(), 400);
    EXPECT_FALSE(outcome.has_value());
}

// Fault mended: inet_addr read "010" as octal, so 127.000.000.010 reached .8.
TEST(SockParseAddress, FieldsAreDecimalWithLeadingZerosIgnored) {
    uint32_t a = 0;
    ASSERT_TRUE(SockParseAddress("127.000.000.010", &a));
    EXPECT_EQ(ntohl(a), 0x7F00000Au);
    ASSERT_TRUE(SockParseAddress("192.168.100.010", &a));
    EXPECT_EQ(ntohl(a) & 0xFF, 10u);
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4x", "0x7f.0.0.1",
                            "1..2.3", " 1.2.3.4", "1.2.3.-4"})
        EXPECT_FALSE(SockParseAddress(bad, &a)) << bad;
    // Leading zeros reach the same module as without them.
    Sim sim;
    EXPECT_TRUE(ConnectTo(sim.Port(), "127.000.000.001").Valid());
}

TEST(Reconnect, DelaysBackOffFromOneToTenSeconds) {
    std::vector<int> delays;
    for (int attempt = 1; attempt <= 12; ++attempt)
        delays.push_back(ReconnectDelayMs(attempt));
    EXPECT_EQ(delays, (std::vector<int>{1000, 2000, 2000, 2000, 2000, 4000, 6000, 8000, 10000,
                                        10000, 10000, 10000}));
}

TEST(StartupCommands, FirstFiveBytesOfEachEntryInOrder) {
    char table[3][10] = {{'i', '0', '0', '1', '\r'}, {0}, {'a', 'b', '\r'}};
    auto commands = StartupCommands(&table[0][0], 3, 10);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], std::string("i001\r", 5));
    EXPECT_EQ(commands[1], std::string("ab\r\0\0", 5));
}

#ifdef __linux__ // counts descriptors and threads in /proc; namespaces
TEST(LinkCycles, HundredConnectionsLeaveNoDescriptorOrThreadBehind) {
    Sim sim;
    const int fds = CountEntries("/proc/self/fd"), threads = CountEntries("/proc/self/task");
    for (int i = 0; i < 100; ++i) {
        RunningLink running(sim.Port(), LinkOptions{}, true, i);
        Listener& listener = running.listener;
        if (i % 10 == 0) listener.WaitFor([&] { return !listener.readings.empty(); }, 1000);
        if (i % 2) { // ended on a thread of its own, as the panel does
            DisconnectThread closing(std::move(running.link));
            for (int k = 0; k < 100 && !closing.Done(); ++k)
                std::this_thread::sleep_for(milliseconds(5));
            EXPECT_TRUE(closing.Done());
        }
    }
    EXPECT_LE(CountEntries("/proc/self/fd"), fds);
    EXPECT_LE(CountEntries("/proc/self/task"), threads);
}

// Power lost on the module's side: no FIN, nothing answers. Run in a private
// network namespace whose loopback is taken down under the link.
TEST(LinkPowerLoss, NoticedWithinThreeSeconds) {
    if (!std::getenv("VEMO_IN_NETNS")) {
        if (std::system("unshare -n ip link set lo up 2>/dev/null") != 0)
            GTEST_SKIP() << "no private network namespace here (unshare -n with ip)";
        const std::string self = testing::internal::GetArgvs()[0];
        const std::string command = "unshare -n sh -c 'ip link set lo up && VEMO_IN_NETNS=1 " +
                                    self + " --gtest_filter=LinkPowerLoss.*'";
        EXPECT_EQ(std::system(command.c_str()), 0) << "the run in its own network namespace";
        return;
    }
    Sim sim;
    RunningLink running(sim.Port());
    Listener& listener = running.listener;
    ASSERT_TRUE(listener.WaitFor([&] { return listener.readings.size() >= 5; }, 3000));
    ASSERT_EQ(std::system("ip link set lo down"), 0);
    ASSERT_TRUE(listener.WaitFor([&] { return !listener.losses.empty(); }, 5000));
    const SteadyTime last = listener.readings.back().arrival;
    EXPECT_LT(duration_cast<milliseconds>(listener.lostAt - last).count(), 3000);
    EXPECT_EQ(listener.losses[0], LinkLoss::ReadingsStopped);
}
#endif
