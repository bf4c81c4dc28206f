// press-sim: a stand-in for the press's Wi-Fi pressure module, on 127.0.0.1
// only. It accepts the recorder's connection, logs every five-byte command with
// a millisecond timestamp and answers each poll with one reading of the
// module's grammar, padded to at least 20 bytes. Fault modes let tests lose
// the module, silence it or feed it garbage.
#include "sim_profile.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <thread>

namespace {

const char* const kUsage =
    "usage: press-sim [options]\n"
    "Stands in for the press's Wi-Fi pressure module on 127.0.0.1.\n"
    "Every poll (p000 and a carriage return) is answered with one reading,\n"
    "\"+ <bar> 0\" and CR LF, padded with spaces to 20 bytes.\n"
    "\n"
    "  --port N          TCP port (default 65100; 0 picks a free one)\n"
    "  --profile FILE    CSV of time_s,bar instead of the built-in press cycle\n"
    "  --peak BAR        peak of the built-in cycle (default 320)\n"
    "  --once            play the profile once, then hold its last value\n"
    "  --log FILE        command log (default: standard error)\n"
    "  --duration S      exit after S seconds (default: run until killed)\n"
    "  --connections N   exit after serving N connections\n"
    "  --log-sends       also log every reading sent: send <epoch microseconds> <bar>\n"
    "Fault modes:\n"
    "  --close-after N   close the connection after N polls\n"
    "  --silent          accept and read, never answer\n"
    "  --garbage         answer with random bytes\n"
    "  --status5         answer with readings of status 5 (rejected)\n"
    "  --split           send each reading in two parts that land in different batches\n"
    "  --refuse          do not listen at all (connections are refused)\n"
    "How the link delivers (a real module over Wi-Fi does all of these):\n"
    "  --unpadded        replies without the padding: \"+ <bar> 0\" and CR LF only\n"
    "  --byte-split MS   send every reply byte by byte, MS milliseconds apart\n"
    "  --coalesce N      hold replies and send N of them in one segment\n"
    "  --count FROM      values count up by one per reply from FROM (wrapping after\n"
    "                    999), instead of the press cycle\n"
    "  --flood BYTES     ignore the polls; send valid readings at BYTES per second\n"
    "Modules that fail:\n"
    "  --stall-after N   after N polls keep the connection and read, but never answer\n"
    "  --half-close-after N  after N polls send FIN (shut down sending), keep reading\n"
    "  --stop-reading-after N  after N polls neither read nor answer, keep the connection\n"
    "  --close-in-startup  close the connection at the first command that is not a poll\n"
    "  --refuse-for S    after each connection ends, refuse connections for S seconds\n"
    "  --help            this text\n"
    "The built-in cycle (40 s, repeating, from each connection): 8 s idle at 0 bar,\n"
    "a ramp to the peak over 8 s, a hold of 12 s, a release over 4 s, 8 s idle.\n";

struct Options {
    int port = 65100;
    std::string profile;
    int peak = 320;
    bool once = false;
    std::string log;
    double duration = 0;
    int connections = 0;
    long closeAfter = -1;
    bool silent = false, garbage = false, status5 = false, split = false, refuse = false;
    bool logSends = false;
    bool unpadded = false;
    int byteSplitMs = -1;
    int coalesce = 1;
    long countFrom = -1;
    double flood = 0;
    long stallAfter = -1, halfCloseAfter = -1, stopReadingAfter = -1;
    bool closeInStartup = false;
    double refuseFor = 0;
};

volatile std::sig_atomic_t g_stop = 0;

// The few socket calls that differ between POSIX and Windows Sockets.
#ifdef _WIN32
bool StartSockets() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
bool WaitReadable(int fd, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<SOCKET>(fd), &set);
    timeval limit{ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &limit) > 0;
}
long ReceiveNow(int fd, char* buffer, size_t size) {
    u_long waiting = 0;
    if (ioctlsocket(fd, FIONREAD, &waiting) != 0 || waiting == 0) return 0;
    return recv(fd, buffer, static_cast<int>(size), 0);
}
long SendSome(int fd, const char* data, size_t size) {
    return send(fd, data, static_cast<int>(size), 0);
}
void CloseSocket(int fd) {
    closesocket(fd);
}
void ShutdownSending(int fd) {
    shutdown(fd, SD_SEND);
}
#else
bool StartSockets() {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}
bool WaitReadable(int fd, int ms) {
    pollfd pfd{fd, POLLIN, 0};
    return poll(&pfd, 1, ms) > 0;
}
long ReceiveNow(int fd, char* buffer, size_t size) {
    return recv(fd, buffer, size, MSG_DONTWAIT);
}
long SendSome(int fd, const char* data, size_t size) {
    long n;
    do
        n = send(fd, data, size, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n;
}
void CloseSocket(int fd) {
    close(fd);
}
void ShutdownSending(int fd) {
    shutdown(fd, SHUT_WR);
}
#endif

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

bool SendAll(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const long n = SendSome(fd, data.data() + sent, data.size() - sent);
        if (n < 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::string Reading(int bar, int status, bool padded = true) {
    char text[64];
    std::snprintf(text, sizeof text, "%c %d %d\r\n", bar < 0 ? '-' : '+', bar < 0 ? -bar : bar,
                  status);
    std::string reading = text;
    if (padded && reading.size() < 20) reading = std::string(20 - reading.size(), ' ') + reading;
    return reading;
}

long long EpochUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Sends valid readings at `rate` bytes a second until the peer goes or time is up.
void Flood(int fd, const Options& o, Clock::time_point programStart) {
    long value = o.countFrom >= 0 ? o.countFrom : 5;
    const Clock::time_point begin = Clock::now();
    double sent = 0;
    char drain[256];
    while (!g_stop && !(o.duration > 0 && Seconds(programStart) >= o.duration)) {
        const double due = Seconds(begin) * o.flood;
        std::string chunk;
        while (sent + static_cast<double>(chunk.size()) < due && chunk.size() < 1 << 20) {
            chunk += Reading(static_cast<int>(value), 0, false);
            value = value >= 999 ? 5 : value + 1;
        }
        if (!chunk.empty()) {
            if (!SendAll(fd, chunk)) return;
            sent += static_cast<double>(chunk.size());
        }
        while (ReceiveNow(fd, drain, sizeof drain) > 0) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string Printable(const char* bytes, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

void Serve(int fd, const Options& o, const PressureProfile& profile, FILE* log,
           Clock::time_point programStart, std::mt19937& random) {
    const Clock::time_point accepted = Clock::now();
    std::fprintf(log, "%.3f connected\n", Seconds(programStart) * 1000);
    std::fflush(log);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    std::string pending, held;
    long polls = 0;
    int heldCount = 0;
    long count = o.countFrom;
    bool halfClosed = false;
    if (o.flood > 0) {
        Flood(fd, o, programStart);
        std::fprintf(log, "%.3f disconnected\n", Seconds(programStart) * 1000);
        std::fflush(log);
        CloseSocket(fd);
        return;
    }
    char buffer[256];
    while (!g_stop) {
        if (o.duration > 0 && Seconds(programStart) >= o.duration) break;
        if (!WaitReadable(fd, 100)) continue;
        const long n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        while (pending.size() >= 5) {
            std::string command = pending.substr(0, 5);
            pending.erase(0, 5);
            std::fprintf(log, "%.3f %s\n", Seconds(programStart) * 1000,
                         Printable(command.data(), command.size()).c_str());
            std::fflush(log);
            if (command != std::string("p000\r", 5)) {
                if (o.closeInStartup) {
                    std::fprintf(log, "%.3f closing in the start-up commands\n",
                                 Seconds(programStart) * 1000);
                    std::fflush(log);
                    CloseSocket(fd);
                    return;
                }
                continue;
            }
            ++polls;
            if (o.silent) continue;
            if (o.stallAfter >= 0 && polls > o.stallAfter) {
                if (polls == o.stallAfter + 1) {
                    std::fprintf(log, "%.3f stalling after %ld polls\n",
                                 Seconds(programStart) * 1000, o.stallAfter);
                    std::fflush(log);
                }
                continue;
            }
            if (o.halfCloseAfter >= 0 && polls > o.halfCloseAfter) {
                if (!halfClosed) {
                    ShutdownSending(fd);
                    halfClosed = true;
                    std::fprintf(log, "%.3f half-closed after %ld polls\n",
                                 Seconds(programStart) * 1000, polls - 1);
                    std::fflush(log);
                }
                continue;
            }
            if (o.stopReadingAfter >= 0 && polls > o.stopReadingAfter) {
                std::fprintf(log, "%.3f stopped reading after %ld polls\n",
                             Seconds(programStart) * 1000, polls - 1);
                std::fflush(log);
                while (!g_stop && !(o.duration > 0 && Seconds(programStart) >= o.duration))
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                CloseSocket(fd);
                return;
            }
            int bar = profile.BarAt(Seconds(accepted));
            if (o.countFrom >= 0) {
                bar = static_cast<int>(count);
                count = count >= 999 ? o.countFrom : count + 1;
            }
            bool ok = true;
            if (o.garbage) {
                std::string junk(24, '\0');
                for (char& c : junk)
                    c = static_cast<char>(random() & 0xFF);
                ok = SendAll(fd, junk);
            } else if (o.status5) {
                ok = SendAll(fd, Reading(bar, 5));
            } else if (o.split) {
                std::string r = Reading(bar, 0);
                std::string head = std::string(20, ' ') + r.substr(r.find_first_not_of(' '), 3);
                std::string tail = r.substr(r.find_first_not_of(' ') + 3);
                ok = SendAll(fd, head);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                ok = ok && SendAll(fd, tail);
                if (o.logSends) std::fprintf(log, "send %lld %d\n", EpochUs(), bar);
            } else {
                held += Reading(bar, 0, !o.unpadded);
                if (++heldCount >= o.coalesce) {
                    if (o.byteSplitMs >= 0) {
                        for (char c : held) {
                            ok = ok && SendAll(fd, std::string(1, c));
                            std::this_thread::sleep_for(std::chrono::milliseconds(o.byteSplitMs));
                        }
                    } else {
                        ok = SendAll(fd, held);
                    }
                    held.clear();
                    heldCount = 0;
                }
                if (o.logSends) std::fprintf(log, "send %lld %d\n", EpochUs(), bar);
            }
            if (!ok) break;
            if (o.closeAfter >= 0 && polls >= o.closeAfter) {
                std::fprintf(log, "%.3f closing after %ld polls\n", Seconds(programStart) * 1000,
                             polls);
                std::fflush(log);
                CloseSocket(fd);
                return;
            }
        }
    }
    std::fprintf(log, "%.3f disconnected\n", Seconds(programStart) * 1000);
    std::fflush(log);
    CloseSocket(fd);
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "press-sim: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a == "--port")
            o.port = std::atoi(next("--port"));
        else if (a == "--profile")
            o.profile = next("--profile");
        else if (a == "--peak")
            o.peak = std::atoi(next("--peak"));
        else if (a == "--once")
            o.once = true;
        else if (a == "--log")
            o.log = next("--log");
        else if (a == "--duration")
            o.duration = std::atof(next("--duration"));
        else if (a == "--connections")
            o.connections = std::atoi(next("--connections"));
        else if (a == "--close-after")
            o.closeAfter = std::atol(next("--close-after"));
        else if (a == "--silent")
            o.silent = true;
        else if (a == "--garbage")
            o.garbage = true;
        else if (a == "--status5")
            o.status5 = true;
        else if (a == "--split")
            o.split = true;
        else if (a == "--refuse")
            o.refuse = true;
        else if (a == "--log-sends")
            o.logSends = true;
        else if (a == "--unpadded")
            o.unpadded = true;
        else if (a == "--byte-split")
            o.byteSplitMs = std::atoi(next("--byte-split"));
        else if (a == "--coalesce")
            o.coalesce = std::max(1, std::atoi(next("--coalesce")));
        else if (a == "--count")
            o.countFrom = std::atol(next("--count"));
        else if (a == "--flood")
            o.flood = std::atof(next("--flood"));
        else if (a == "--stall-after")
            o.stallAfter = std::atol(next("--stall-after"));
        else if (a == "--half-close-after")
            o.halfCloseAfter = std::atol(next("--half-close-after"));
        else if (a == "--stop-reading-after")
            o.stopReadingAfter = std::atol(next("--stop-reading-after"));
        else if (a == "--close-in-startup")
            o.closeInStartup = true;
        else if (a == "--refuse-for")
            o.refuseFor = std::atof(next("--refuse-for"));
        else {
            std::fprintf(stderr, "press-sim: unknown option %s\n%s", a.c_str(), kUsage);
            return false;
        }
    }
    return o.port >= 0 && o.port <= 65535;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) return 2;
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    if (!StartSockets()) return 1;

    PressureProfile profile = PressureProfile::Builtin(o.peak);
    if (!o.profile.empty()) {
        std::string error;
        if (!PressureProfile::FromCsv(o.profile, profile, error)) {
            std::fprintf(stderr, "press-sim: %s\n", error.c_str());
            return 2;
        }
    }
    profile.SetRepeat(!o.once);

    FILE* log = stderr;
    if (!o.log.empty()) {
        log = std::fopen(o.log.c_str(), "w");
        if (log == nullptr) {
            std::perror("press-sim: log");
            return 2;
        }
    }
    const Clock::time_point start = Clock::now();

    if (o.refuse) {
        std::printf("press-sim: refusing (not listening) on 127.0.0.1:%d\n", o.port);
        std::fflush(stdout);
        while (!g_stop && (o.duration <= 0 || Seconds(start) < o.duration))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return 0;
    }

    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(o.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never any other interface
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 4) != 0) {
        std::perror("press-sim: listen");
        return 1;
    }
    socklen_t size = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    std::printf("press-sim: listening on 127.0.0.1:%d\n", ntohs(address.sin_port));
    std::fflush(stdout);

    std::mt19937 random(12345);
    int served = 0;
    while (!g_stop) {
        if (o.duration > 0 && Seconds(start) >= o.duration) break;
        if (!WaitReadable(listener, 100)) continue;
        int client = accept(listener, nullptr, nullptr);
        if (client < 0) continue;
        Serve(client, o, profile, log, start, random);
        if (o.connections > 0 && ++served >= o.connections) break;
        if (o.refuseFor > 0) {
            // A module that reboots: nothing listens for a while.
            CloseSocket(listener);
            std::fprintf(log, "%.3f refusing for %.1f s\n", Seconds(start) * 1000, o.refuseFor);
            std::fflush(log);
            const Clock::time_point down = Clock::now();
            while (!g_stop && Seconds(down) < o.refuseFor)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            listener = socket(AF_INET, SOCK_STREAM, 0);
            setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one),
                       sizeof one);
            if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
                listen(listener, 4) != 0) {
                std::perror("press-sim: listen again");
                return 1;
            }
            std::fprintf(log, "%.3f listening again\n", Seconds(start) * 1000);
            std::fflush(log);
        }
    }
    CloseSocket(listener);
    if (log != stderr) std::fclose(log);
    return 0;
}
