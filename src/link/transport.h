// Socket transport: the only code of the program that calls the socket layer.
// Plain C-style free functions over POSIX sockets (Windows Sockets under _WIN32).
// Every failure is reported by the result and by the process-wide last-error
// record, which is guarded so that workers and the GUI may use it at once.
#pragma once

#include <atomic>
#include <cstdint>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#endif

/// IPv4 socket address of the platform (family, port, address, 8 zero bytes).
typedef struct sockaddr_in SockAddress;

bool SockInit();
void SockRelease();

void SockSetConnectTimeout(uint8_t seconds);
void SockSetReceiveTimeout(uint8_t seconds);
uint8_t SockGetConnectTimeout();
uint8_t SockGetReceiveTimeout();

/// Reads a dotted-decimal IPv4 address: four decimal fields 0-255, leading
/// zeros allowed and ignored ("192.168.100.010" is .10, never octal).
/// `networkOrder` gets the address in network byte order; false when malformed.
bool SockParseAddress(const char* text, uint32_t* networkOrder);
/// Fills `address`; an empty text gives 0.0.0.0, a malformed one 255.255.255.255
/// (which no connection reaches).
void SockMakeAddress(SockAddress* address, const char* text, uint16_t port);
/// A new socket handle, or -1.
int SockOpen(int family, int type, int protocol);
bool SockSetBlocking(int socket, bool blocking);
/// Connect with the connect time-out: -1 on failure, 0 when connected.
int SockConnect(int socket, const SockAddress* address);
/// Sends every byte; `length` becomes the count sent. 0 when all went out, -1 on failure.
int SockSendAll(int socket, const void* data, uint16_t* length);

/// Why a connection attempt failed: a system error number, or one of these.
constexpr int kSockTimedOut = -2;
constexpr int kSockCancelled = -4;
/// Connect within `timeoutMs`, giving up early once `*cancel` is set (looked at
/// every 100 ms). 0 when connected; -1 with `*cause` set otherwise. The socket
/// is left blocking.
int SockConnectWithin(int socket, const SockAddress* address, int timeoutMs,
                      const std::atomic<bool>* cancel, int* cause);
/// "connection refused", "no answer (timed out)", "address unreachable" or the
/// system's text for the cause of a failed connection.
const char* SockConnectFailureText(int cause);
/// Waits until the socket can be read (or written): >0 ready, 0 time-out, -1 failure.
int SockWait(int socket, bool writable, int milliseconds);
/// As SockSendAll, but a send that cannot complete within `timeoutMs` (the
/// peer stopped reading) fails with -2 instead of blocking.
int SockSendAllWithin(int socket, const void* data, uint16_t* length, int timeoutMs);
/// Blocking receive: bytes received, 0 when the peer closed, -1 on failure.
/// Closes the socket on 0 and -1.
int SockReceive(int socket, void* buffer, int size);
/// As SockReceive but never closes the socket: for callers that share the handle
/// with other threads and close it themselves once nobody uses it.
int SockReceiveKeep(int socket, void* buffer, int size);
/// Receive with the receive time-out; closes the socket on end, failure and time-out.
int SockReceiveTimed(int socket, void* buffer, int size);
bool SockShutdown(int socket);
int SockClose(int socket);

void SockSetLastError(int code);
int SockGetLastError();
void SockStoreSystemError(int number);
void SockCopyErrorText(const char* text);
/// Text for `code`: a stored system text first, then strerror, then the library's
/// own table. Never null; the text stays valid until this thread calls it again.
const char* SockErrorText(int code);
void SockPrintError(const char* message);

void SockSleep(unsigned milliseconds);
uint16_t SockSwap16(uint16_t value);
uint32_t SockSwap32(uint32_t value);
uint16_t SockCrc16(const void* data, uint16_t length);
uint16_t SockCrc16Byte(uint8_t byte, bool restart);

/// Owns one socket handle and closes it exactly once.
class UniqueSocket {
  public:
    UniqueSocket() = default;
    explicit UniqueSocket(int fd) : m_fd(fd) {}
    ~UniqueSocket() { Reset(); }
    UniqueSocket(const UniqueSocket&) = delete;
    UniqueSocket& operator=(const UniqueSocket&) = delete;
    UniqueSocket(UniqueSocket&& other) noexcept : m_fd(other.Release()) {}
    UniqueSocket& operator=(UniqueSocket&& other) noexcept {
        if (this != &other) {
            Reset();
            m_fd = other.Release();
        }
        return *this;
    }
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset() {
        if (m_fd >= 0) SockClose(m_fd);
        m_fd = -1;
    }

  private:
    int m_fd = -1;
};
