// The socket transport against real sockets on 127.0.0.1.
#include "link/transport.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include "socket_compat.h"

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// A listener on 127.0.0.1 with a free port.
struct Listener {
    explicit Listener(int backlog = 4) {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(listen(fd, backlog), 0);
        socklen_t size = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
        port = ntohs(a.sin_port);
    }
    ~Listener() { CloseSocket(fd); }
    int fd;
    uint16_t port;
};

uint16_t UnusedPort() {
    return static_cast<uint16_t>(UnusedLoopbackPort());
}

int ConnectTo(uint16_t port) {
    int s = SockOpen(AF_INET, SOCK_STREAM, 0);
    SockAddress address;
    SockMakeAddress(&address, "127.0.0.1", port);
    int result = SockConnect(s, &address);
    if (result < 0) {
        SockClose(s);
        return -1;
    }
    return s;
}

bool IsOpen(int fd) {
    return SocketIsOpen(fd);
}

} // namespace

TEST(SockConnect, SucceedsAgainstListener) {
    Listener l;
    int s = SockOpen(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    SockAddress address;
    SockMakeAddress(&address, "127.0.0.1", l.port);
    EXPECT_GE(SockConnect(s, &address), 0);
    SockClose(s);
}

TEST(SockConnect, RefusedGivesMinusOneAndSystemText) {
    uint16_t port = UnusedPort();
    int s = SockOpen(AF_INET, SOCK_STREAM, 0);
    SockAddress address;
    SockMakeAddress(&address, "127.0.0.1", port);
    EXPECT_EQ(SockConnect(s, &address), -1);
#ifdef _WIN32
    EXPECT_EQ(SockGetLastError(), WSAECONNREFUSED);
    EXPECT_STREQ(SockErrorText(SockGetLastError()), "Connection refused"); // no line end
#else
    EXPECT_EQ(SockGetLastError(), ECONNREFUSED);
    EXPECT_STREQ(SockErrorText(SockGetLastError()), std::strerror(ECONNREFUSED));
#endif
    SockClose(s);
}

TEST(SockConnect, FullAcceptQueueTimesOutAfterFiveSeconds) {
    Listener l(0);
    // One connection fills the queue of a backlog of 0 and is never accepted.
    int first = ConnectTo(l.port);
    ASSERT_GE(first, 0);
    int s = SockOpen(AF_INET, SOCK_STREAM, 0);
    SockAddress address;
    SockMakeAddress(&address, "127.0.0.1", l.port);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SockConnect(s, &address), -1);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(SockGetLastError(), -2);
    EXPECT_STREQ(SockErrorText(SockGetLastError()), "socket connection timeout");
    EXPECT_GT(seconds, 4.5);
    EXPECT_LT(seconds, 8.0);
    SockClose(s);
    SockClose(first);
}

TEST(SockMakeAddress, EmptyTextIsAnyAddressOnLoopbackSide) {
    SockAddress address;
    SockMakeAddress(&address, "", 65100);
    EXPECT_EQ(address.sin_family, AF_INET);
    EXPECT_EQ(address.sin_addr.s_addr, 0u);
    EXPECT_EQ(ntohs(address.sin_port), 65100);
    SockMakeAddress(&address, "127.0.0.1", 80);
    EXPECT_EQ(ntohl(address.sin_addr.s_addr), 0x7F000001u);
}

TEST(SockReceive, PeerCloseGivesZeroAndClosesSocket) {
    Listener l;
    int s = ConnectTo(l.port);
    ASSERT_GE(s, 0);
    int peer = accept(l.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    ASSERT_EQ(send(peer, "+ 12 0\r\n", 8, 0), 8);
    char buffer[64];
    EXPECT_EQ(SockReceive(s, buffer, sizeof buffer), 8);
    EXPECT_TRUE(IsOpen(s));
    CloseSocket(peer);
    EXPECT_EQ(SockReceive(s, buffer, sizeof buffer), 0);
    EXPECT_FALSE(IsOpen(s));
}

TEST(SockReceiveKeep, PeerCloseLeavesSocketOpen) {
    Listener l;
    int s = ConnectTo(l.port);
    int peer = accept(l.fd, nullptr, nullptr);
    CloseSocket(peer);
    char buffer[16];
    EXPECT_EQ(SockReceiveKeep(s, buffer, sizeof buffer), 0);
    EXPECT_TRUE(IsOpen(s));
    SockClose(s);
}

TEST(SockSendAll, ZeroLengthSendsNothing) {
    Listener l;
    int s = ConnectTo(l.port);
    int peer = accept(l.fd, nullptr, nullptr);
    uint16_t length = 0;
    EXPECT_EQ(SockSendAll(s, "abc", &length), 0);
    EXPECT_EQ(length, 0);
    SockShutdown(s);
    char buffer[8];
    EXPECT_EQ(recv(peer, buffer, sizeof buffer, 0), 0); // nothing came before the end
    CloseSocket(peer);
    SockClose(s);
}

TEST(SockSendAll, LargeSendThatTheKernelSplitsArrivesWhole) {
    Listener l;
    int s = ConnectTo(l.port);
    int peer = accept(l.fd, nullptr, nullptr);
    int small = 4096;
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&small), sizeof small);
    setsockopt(peer, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
    std::vector<char> data(60000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    std::vector<char> received;
    std::thread reader([&] {
        char buffer[1000];
        for (;;) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            long n = recv(peer, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            received.insert(received.end(), buffer, buffer + n);
        }
    });
    uint16_t length = static_cast<uint16_t>(data.size());
    EXPECT_EQ(SockSendAll(s, data.data(), &length), 0);
    EXPECT_EQ(length, data.size());
    SockShutdown(s);
    reader.join();
    EXPECT_EQ(received, data);
    CloseSocket(peer);
    SockClose(s);
}

TEST(SockSendAll, FailureAfterPeerGoneReportsAndDoesNotKillProcess) {
    ASSERT_TRUE(SockInit()); // ignores SIGPIPE
    Listener l;
    int s = ConnectTo(l.port);
    int peer = accept(l.fd, nullptr, nullptr);
    CloseSocket(peer);
    int result = 0;
    for (int i = 0; i < 50 && result == 0; ++i) {
        uint16_t length = 5;
        result = SockSendAll(s, "p000\r", &length);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(result, -1);
    EXPECT_NE(SockErrorText(SockGetLastError())[0], '\0');
    SockClose(s);
}

TEST(SockErrorText, LookupOrder) {
    SockSetLastError(-2);
    EXPECT_STREQ(SockErrorText(-2), "socket connection timeout");
    EXPECT_STREQ(SockErrorText(-1), "winsock init failure");
    EXPECT_STREQ(SockErrorText(-14), "function is not supported for the selected Veltra Module");
    EXPECT_STREQ(SockErrorText(-15), "");
    // A stored system text wins over the table, whatever the code.
    SockCopyErrorText("stored text");
    EXPECT_STREQ(SockErrorText(-2), "stored text");
    // Setting a code clears the text.
    SockSetLastError(-3);
    EXPECT_STREQ(SockErrorText(-3), "socket reciv timeout");
    EXPECT_EQ(SockGetLastError(), -3);
}

TEST(SockErrorText, LongTextIsCutTo255Characters) {
    std::string longText(400, 'x');
    SockSetLastError(5);
    SockCopyErrorText(longText.c_str());
    EXPECT_EQ(std::strlen(SockErrorText(5)), 255u);
    SockSetLastError(0);
}

TEST(SockErrorText, CodeIsKeptAsSixteenBits) {
    SockSetLastError(0x12345);
    EXPECT_EQ(SockGetLastError(), 0x2345);
    SockSetLastError(0);
}

TEST(SockErrorRecord, SafeUnderConcurrentUse) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 2000; ++i) {
                SockSetLastError(-(t % 3) - 1);
                SockStoreSystemError(ECONNREFUSED);
                const char* text = SockErrorText(SockGetLastError());
                ASSERT_LT(std::strlen(text), 256u);
            }
        });
    for (auto& t : threads)
        t.join();
    SockSetLastError(0);
}

TEST(SockPrintError, WritesMessageAndText) {
    SockSetLastError(-2);
    testing::internal::CaptureStderr();
    SockPrintError("connect");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "connect: socket connection timeout\n");
    SockSetLastError(-20);
    testing::internal::CaptureStderr();
    SockPrintError("odd");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "odd: Undefined error: -20\n");
    SockSetLastError(0);
}

TEST(SockCrc16, ModbusCheckValues) {
    EXPECT_EQ(SockCrc16("123456789", 9), 0x4B37);
    EXPECT_EQ(SockCrc16("", 0), 0xFFFF);
    uint16_t running = 0;
    const char* text = "123456789";
    for (int i = 0; i < 9; ++i)
        running = SockCrc16Byte(static_cast<uint8_t>(text[i]), i == 0);
    EXPECT_EQ(running, 0x4B37);
}

TEST(SockSwap, ReversesBytes) {
    EXPECT_EQ(SockSwap16(0x1234), 0x3412);
    EXPECT_EQ(SockSwap32(0x12345678u), 0x78563412u);
}
