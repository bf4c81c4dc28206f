#include "sim_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

extern char** environ;

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
    FILE* reader = fdopen(out[0], "r");
    char line[256] = {0};
    if (reader && fgets(line, sizeof line, reader)) {
        m_firstLine = line;
        if (const char* colon = strrchr(line, ':')) m_port = atoi(colon + 1);
    }
    if (reader) fclose(reader);
}

PressSimProcess::~PressSimProcess() {
    Stop();
}

void PressSimProcess::Stop() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    int status;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
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
    close(fd); // nothing listens there any more
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
    close(m_filler);
    close(m_fd);
}
