#include "sim_process.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "socket_compat.h"

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;
#endif

namespace {

void ReadPort(FILE* reader, std::string& firstLine, int& port) {
    char line[256] = {0};
    if (reader && fgets(line, sizeof line, reader)) {
        firstLine = line;
        if (const char* colon = strrchr(line, ':')) port = atoi(colon + 1);
    }
    if (reader) fclose(reader);
}

} // namespace

#ifdef _WIN32

// The simulator is press-sim.exe beside the test program's own directory
// (the build directory); the path given is that of the build machine.
PressSimProcess::PressSimProcess(const std::string& program, const std::string& logPath,
                                 const std::vector<std::string>& args)
    : m_log(logPath) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string exe = self;
    exe = exe.substr(0, exe.find_last_of("\\/")) + "\\..\\press-sim.exe";
    if (GetFileAttributesA(exe.c_str()) == INVALID_FILE_ATTRIBUTES) exe = program;
    std::string command = "\"" + exe + "\" --port 0 --log \"" + m_log + "\"";
    for (const std::string& a : args)
        command += " \"" + a + "\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        m_process = process.hProcess;
        CloseHandle(process.hThread);
        m_pid = static_cast<int>(process.dwProcessId);
    }
    CloseHandle(writeEnd);
    ReadPort(_fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(readEnd), 0), "r"), m_firstLine,
             m_port);
}

void PressSimProcess::Stop() {
    if (m_pid <= 0) return;
    TerminateProcess(static_cast<HANDLE>(m_process), 0);
    WaitForSingleObject(static_cast<HANDLE>(m_process), INFINITE);
    CloseHandle(static_cast<HANDLE>(m_process));
    m_pid = -1;
}

namespace {
struct SocketsStarted {
    SocketsStarted() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
} g_sockets;
} // namespace

#else

PressSimProcess::PressSimProcess(const std::string& program, const std::string& logPath,
                                 const std::vector<std::string>& args)
    : m_log(logPath) {
    int out[2];
    if (pipe(out) != 0) return;
    std::vector<std::string> all{program, "--port", "0", "--log", m_log};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0)
        m_pid = pid;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    ReadPort(fdopen(out[0], "r"), m_firstLine, m_port);
}

void PressSimProcess::Stop() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    int status;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
}

#endif

PressSimProcess::~PressSimProcess() {
    Stop();
}

std::vector<std::string> PressSimProcess::LogLines() const {
    std::vector<std::string> lines;
    std::ifstream in(m_log);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

int UnusedLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    CloseSocket(fd); // nothing listens there any more
    return ntohs(a.sin_port);
}

FullLoopbackListener::FullLoopbackListener() {
    m_fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(m_fd, 0);
    socklen_t size = sizeof a;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &size);
    port = ntohs(a.sin_port);
    m_filler = socket(AF_INET, SOCK_STREAM, 0);
    connect(m_filler, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

FullLoopbackListener::~FullLoopbackListener() {
    CloseSocket(m_filler);
    CloseSocket(m_fd);
}
