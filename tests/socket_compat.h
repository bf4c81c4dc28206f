// The few raw socket calls the tests make themselves, on POSIX and on
// Windows Sockets alike.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

inline int CloseSocket(int fd) {
    return closesocket(static_cast<SOCKET>(fd));
}
inline bool SocketIsOpen(int fd) {
    int type = 0;
    int size = sizeof type;
    return getsockopt(static_cast<SOCKET>(fd), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type),
                      &size) == 0;
}
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

inline int CloseSocket(int fd) {
    return close(fd);
}
inline bool SocketIsOpen(int fd) {
    return fcntl(fd, F_GETFD) != -1;
}
#endif
