#include "link/transport.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <algorithm>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#include <ws2tcpip.h>
typedef int socklen_t;
#define SOCK_WOULDBLOCK WSAEWOULDBLOCK
#define SOCK_INPROGRESS WSAEINPROGRESS
static int LastSocketErrorNumber() {
    return WSAGetLastError();
}
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#define SOCK_WOULDBLOCK EWOULDBLOCK
#define SOCK_INPROGRESS EINPROGRESS
static int LastSocketErrorNumber() {
    return errno;
}
#endif

namespace {

const char* const kOwnErrors[] = {
    "",
    "winsock init failure",
    "socket connection timeout",
    "socket reciv timeout",
    "datablock not added",
    "datablock not found",
    "elab command message failure",
    "invalid virtual com port baudrate",
    "invalid virtual com port data size",
    "unable to save virtual com port attributes",
    "invalid virtual com port parity check",
    "invalid Veltra Module Alias",
    "invalid Veltra Module Network configuration",
    "invalid Veltra Module UART configuration",
    "function is not supported for the selected Veltra Module",
};
constexpr int kOwnErrorCount = sizeof(kOwnErrors) / sizeof(kOwnErrors[0]);

// The last-error record is shared by every thread; the mutex keeps a code and
// its text together.
struct ErrorRecord {
    std::mutex lock;
    int16_t code = 0;
    char text[256] = {0};
};
ErrorRecord& Record() {
    static ErrorRecord record;
    return record;
}

std::atomic<uint8_t> g_connectTimeout{5};
std::atomic<uint8_t> g_receiveTimeout{10};

void RecordFailure(int number) {
    SockSetLastError(number);
    SockStoreSystemError(number);
}

bool IsInProgress(int number) {
    return number == SOCK_INPROGRESS || number == SOCK_WOULDBLOCK
#ifndef _WIN32
           || number == EAGAIN
#endif
        ;
}

uint16_t g_runningCrc = 0xFFFF;
std::mutex g_crcLock;

const uint16_t* CrcTable() {
    static uint16_t table[256];
    static bool built = [] {
        for (int i = 0; i < 256; ++i) {
            uint16_t crc = static_cast<uint16_t>(i);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : (crc >> 1);
            table[i] = crc;
        }
        return true;
    }();
    (void)built;
    return table;
}

} // namespace

bool SockInit() {
#ifdef _WIN32
    WSADATA data;
    if (WSAStartup(0x0202, &data) != 0) {
        SockSetLastError(-1);
        SockPrintError("The Winsock dll not found!\n");
        return false;
    }
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
        char text[256];
        snprintf(text, sizeof text, "The dll do not support the Winsock version %u.%u!",
                 LOBYTE(data.wVersion), HIBYTE(data.wVersion));
        SockSetLastError(-1);
        SockPrintError(text);
        WSACleanup();
        return false;
    }
#else
    // A peer that has gone must show up as a failed send, not end the program.
    signal(SIGPIPE, SIG_IGN);
#endif
    return true;
}

void SockRelease() {
#ifdef _WIN32
    WSACleanup();
#endif
}

void SockSetConnectTimeout(uint8_t seconds) {
    g_connectTimeout = seconds;
}
void SockSetReceiveTimeout(uint8_t seconds) {
    g_receiveTimeout = seconds;
}
uint8_t SockGetConnectTimeout() {
    return g_connectTimeout;
}
uint8_t SockGetReceiveTimeout() {
    return g_receiveTimeout;
}

void SockMakeAddress(SockAddress* address, const char* text, uint16_t port) {
    std::memset(address, 0, sizeof *address);
    address->sin_family = AF_INET;
    address->sin_port = htons(port);
    uint32_t parsed = 0;
    if (text == nullptr || text[0] == '\0')
        address->sin_addr.s_addr = htonl(0); // 0.0.0.0
    else if (SockParseAddress(text, &parsed))
        address->sin_addr.s_addr = parsed;
    else
        address->sin_addr.s_addr = htonl(0xFFFFFFFFu);
}

bool SockParseAddress(const char* text, uint32_t* networkOrder) {
    if (text == nullptr) return false;
    uint32_t address = 0;
    const char* p = text;
    for (int field = 0; field < 4; ++field) {
        if (field > 0 && *p++ != '.') return false;
        if (*p < '0' || *p > '9') return false;
        unsigned value = 0;
        int digits = 0;
        for (; *p >= '0' && *p <= '9'; ++p, ++digits) {
            value = value * 10 + static_cast<unsigned>(*p - '0');
            if (value > 255 || digits > 8) return false;
        }
        address = (address << 8) | value;
    }
    if (*p != '\0') return false;
    *networkOrder = htonl(address);
    return true;
}

int SockOpen(int family, int type, int protocol) {
#ifdef _WIN32
    SOCKET s = socket(family, type, protocol);
    if (s == INVALID_SOCKET) {
        RecordFailure(LastSocketErrorNumber());
        return -1;
    }
    return static_cast<int>(s);
#else
    int s = socket(family, type | SOCK_CLOEXEC, protocol);
    if (s < 0) {
        RecordFailure(LastSocketErrorNumber());
        return -1;
    }
    return s;
#endif
}

bool SockSetBlocking(int socket, bool blocking) {
#ifdef _WIN32
    u_long arg = blocking ? 0 : 1;
    if (ioctlsocket(static_cast<SOCKET>(socket), FIONBIO, &arg) != 0) {
        RecordFailure(LastSocketErrorNumber());
        return false;
    }
#else
    int flags = fcntl(socket, F_GETFL, 0);
    if (flags < 0 ||
        fcntl(socket, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) < 0) {
        RecordFailure(LastSocketErrorNumber());
        return false;
    }
#endif
    return true;
}

int SockConnect(int socket, const SockAddress* address) {
    int cause = 0;
    return SockConnectWithin(socket, address, SockGetConnectTimeout() * 1000, nullptr, &cause);
}

int SockSendAll(int socket, const void* data, uint16_t* length) {
    const uint16_t wanted = *length;
    if (wanted == 0) {
        *length = 0;
        return 0;
    }
    const char* bytes = static_cast<const char*>(data);
    uint16_t sent = 0;
    while (sent < wanted) {
#ifdef _WIN32
        int n = send(static_cast<SOCKET>(socket), bytes + sent, wanted - sent, 0);
#else
        ssize_t n = send(socket, bytes + sent, wanted - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n < 0) {
            RecordFailure(LastSocketErrorNumber());
            *length = sent;
            return -1;
        }
        sent = static_cast<uint16_t>(sent + n);
    }
    *length = sent;
    return 0;
}

int SockWait(int socket, bool writable, int milliseconds) {
#ifdef _WIN32
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<SOCKET>(socket), &set);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(static_cast<SOCKET>(socket), &failed);
    timeval tv{milliseconds / 1000, (milliseconds % 1000) * 1000};
    int ready = select(0, writable ? nullptr : &set, writable ? &set : nullptr, &failed, &tv);
    if (ready < 0) RecordFailure(LastSocketErrorNumber());
    return ready;
#else
    pollfd pfd{socket, static_cast<short>(writable ? POLLOUT : POLLIN), 0};
    for (;;) {
        int ready = poll(&pfd, 1, milliseconds);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) RecordFailure(errno);
        return ready;
    }
#endif
}

int SockConnectWithin(int socket, const SockAddress* address, int timeoutMs,
                      const std::atomic<bool>* cancel, int* cause) {
    *cause = 0;
    auto fail = [&](int why) {
        *cause = why;
        if (why > 0)
            RecordFailure(why);
        else
            SockSetLastError(why);
        SockSetBlocking(socket, true);
        return -1;
    };
    if (!SockSetBlocking(socket, false)) return fail(LastSocketErrorNumber());
    if (connect(socket, reinterpret_cast<const sockaddr*>(address), sizeof *address) != 0) {
        int number = LastSocketErrorNumber();
        if (!IsInProgress(number)) return fail(number);
        for (int waited = 0;; waited += 100) {
            if (cancel != nullptr && cancel->load()) return fail(kSockCancelled);
            if (waited >= timeoutMs) return fail(kSockTimedOut);
            int ready = SockWait(socket, true, std::min(100, timeoutMs - waited));
            if (ready < 0) return fail(LastSocketErrorNumber());
            if (ready > 0) break;
        }
        int pending = 0;
        socklen_t size = sizeof pending;
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending), &size) != 0)
            return fail(LastSocketErrorNumber());
        if (pending != 0) return fail(pending);
    }
    if (!SockSetBlocking(socket, true)) return fail(LastSocketErrorNumber());
    return 0;
}

// The program's own reasons are in the catalogue, shown in the operator's
// language; the system's stay as it words them.
#ifndef N_
#define N_(english) english
#endif

const char* SockConnectFailureText(int cause) {
    switch (cause) {
    case kSockTimedOut:
        return N_("no answer (timed out)");
    case kSockCancelled:
        return N_("cancelled");
#ifdef _WIN32
    case WSAECONNREFUSED:
        return N_("connection refused");
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
        return N_("address unreachable");
    case WSAETIMEDOUT:
        return N_("no answer (timed out)");
#else
    case ECONNREFUSED:
        return N_("connection refused");
    case ENETUNREACH:
    case EHOSTUNREACH:
        return N_("address unreachable");
    case ETIMEDOUT:
        return N_("no answer (timed out)");
#endif
    default:
        return SockErrorText(cause);
    }
}

int SockSendAllWithin(int socket, const void* data, uint16_t* length, int timeoutMs) {
    const uint16_t wanted = *length;
    const char* bytes = static_cast<const char*>(data);
    uint16_t sent = 0;
    while (sent < wanted) {
        int ready = SockWait(socket, true, timeoutMs);
        if (ready <= 0) {
            if (ready == 0) SockSetLastError(-2);
            *length = sent;
            return ready == 0 ? -2 : -1;
        }
#ifdef _WIN32
        int n = send(static_cast<SOCKET>(socket), bytes + sent, wanted - sent, 0);
#else
        ssize_t n = send(socket, bytes + sent, wanted - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
#endif
        if (n < 0) {
            RecordFailure(LastSocketErrorNumber());
            *length = sent;
            return -1;
        }
        sent = static_cast<uint16_t>(sent + n);
    }
    *length = sent;
    return 0;
}

int SockReceiveKeep(int socket, void* buffer, int size) {
    for (;;) {
#ifdef _WIN32
        int n = recv(static_cast<SOCKET>(socket), static_cast<char*>(buffer), size, 0);
#else
        ssize_t n = recv(socket, buffer, static_cast<size_t>(size), 0);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n < 0) {
            RecordFailure(LastSocketErrorNumber());
            return -1;
        }
        return static_cast<int>(n);
    }
}

int SockReceive(int socket, void* buffer, int size) {
    int n = SockReceiveKeep(socket, buffer, size);
    if (n <= 0) SockClose(socket);
    return n;
}

int SockReceiveTimed(int socket, void* buffer, int size) {
    std::memset(buffer, 0, static_cast<size_t>(size));
    int ready = SockWait(socket, false, SockGetReceiveTimeout() * 1000);
    if (ready < 0) {
        SockClose(socket);
        return -1;
    }
    if (ready == 0) {
        SockSetLastError(-3);
        SockClose(socket);
        return -1;
    }
    return SockReceive(socket, buffer, size);
}

bool SockShutdown(int socket) {
#ifdef _WIN32
    int result = shutdown(static_cast<SOCKET>(socket), SD_BOTH);
#else
    int result = shutdown(socket, SHUT_RDWR);
#endif
    if (result != 0) {
        RecordFailure(LastSocketErrorNumber());
        return false;
    }
    return true;
}

int SockClose(int socket) {
#ifdef _WIN32
    return closesocket(static_cast<SOCKET>(socket));
#else
    return close(socket);
#endif
}

void SockSetLastError(int code) {
    ErrorRecord& r = Record();
    std::lock_guard<std::mutex> guard(r.lock);
    std::memset(r.text, 0, sizeof r.text);
    r.code = static_cast<int16_t>(code);
}

int SockGetLastError() {
    ErrorRecord& r = Record();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.code;
}

void SockStoreSystemError(int number) {
#ifdef _WIN32
    char* message = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                             static_cast<DWORD>(number), 0, reinterpret_cast<LPSTR>(&message), 0,
                             nullptr);
    // The system's text ends with a full stop and a line end; the text is put
    // into sentences of the program's own.
    std::string text = n > 0 && message ? message : "Generic Windows socket error";
    if (message) LocalFree(message);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    SockCopyErrorText(text.c_str());
#else
    char buffer[256] = {0};
    const char* message = nullptr;
    // GNU strerror_r may return a static text instead of filling the buffer.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    message = strerror_r(number, buffer, sizeof buffer);
#else
    if (strerror_r(number, buffer, sizeof buffer) == 0) message = buffer;
#endif
    SockCopyErrorText(message && message[0] ? message : "Generic Windows socket error");
#endif
}

void SockCopyErrorText(const char* text) {
    ErrorRecord& r = Record();
    std::lock_guard<std::mutex> guard(r.lock);
    std::strncpy(r.text, text, sizeof r.text);
    r.text[255] = '\0';
}

const char* SockErrorText(int code) {
    thread_local char copy[256];
    {
        ErrorRecord& r = Record();
        std::lock_guard<std::mutex> guard(r.lock);
        if (r.text[0] != '\0') {
            std::memcpy(copy, r.text, sizeof copy);
            return copy;
        }
    }
    int16_t c = static_cast<int16_t>(code);
    if (c >= 0) {
        std::strncpy(copy, std::strerror(c), sizeof copy);
        copy[255] = '\0';
        return copy;
    }
    if (-c < kOwnErrorCount) return kOwnErrors[-c];
    return "";
}

void SockPrintError(const char* message) {
    int code = SockGetLastError();
    const char* text = SockErrorText(code);
    if (text[0] != '\0')
        fprintf(stderr, "%s: %s\n", message, text);
    else
        fprintf(stderr, "%s: Undefined error: %d\n", message, code);
}

void SockSleep(unsigned milliseconds) {
#ifdef _WIN32
    Sleep(milliseconds);
#else
    timespec ts{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
#endif
}

uint16_t SockSwap16(uint16_t value) {
    return static_cast<uint16_t>((value >> 8) | (value << 8));
}

uint32_t SockSwap32(uint32_t value) {
    return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) |
           (value >> 24);
}

uint16_t SockCrc16(const void* data, uint16_t length) {
    const uint16_t* table = CrcTable();
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    uint16_t crc = 0xFFFF;
    for (uint16_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF]);
    return crc;
}

uint16_t SockCrc16Byte(uint8_t byte, bool restart) {
    const uint16_t* table = CrcTable();
    std::lock_guard<std::mutex> guard(g_crcLock);
    if (restart) g_runningCrc = 0xFFFF;
    g_runningCrc = static_cast<uint16_t>((g_runningCrc >> 8) ^ table[(g_runningCrc ^ byte) & 0xFF]);
    return g_runningCrc;
}
