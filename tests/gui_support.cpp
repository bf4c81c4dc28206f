#include "gui_support.h"

#include "recorder/terminal_panel.h"
#include "shell/main_window.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/evtloop.h>
#include <wx/utils.h>

extern char** environ;

void Pump(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) {
            if (!loop->IsYielding()) loop->YieldFor(wxEVT_CATEGORY_ALL);
        }
        if (wxTheApp) wxTheApp->ProcessPendingEvents();
        wxMilliSleep(2);
    } while (std::chrono::steady_clock::now() < end);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return done();
        Pump(5);
    }
    return true;
}

void WriteText(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void RebuildMainWindow(const std::string& config) {
    MainWindow::DestroyInstance();
    Pump(50);
    WriteText(WorkDir() + "/config.ini", config);
    MainWindow::GetInstance();
    Pump(100);
}

TerminalPanel* Panel() {
    return MainWindow::GetInstance()->m_panel;
}

SimProcess::SimProcess(const std::vector<std::string>& args) {
    static int counter = 0;
    m_log = WorkDir() + "/sim" + std::to_string(++counter) + ".log";
    int out[2];
    if (pipe(out) != 0) return;
    std::vector<std::string> all{PRESS_SIM_PATH, "--port", "0", "--log", m_log};
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
    if (posix_spawn(&pid, PRESS_SIM_PATH, &actions, nullptr, argv.data(), environ) == 0)
        m_pid = pid;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    FILE* reader = fdopen(out[0], "r");
    char line[256] = {0};
    if (reader && fgets(line, sizeof line, reader)) {
        const char* colon = strrchr(line, ':');
        if (colon) m_port = atoi(colon + 1);
    }
    if (reader) fclose(reader);
}

SimProcess::~SimProcess() {
    Stop();
}

void SimProcess::Stop() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    int status;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
}

std::vector<std::string> SimProcess::LogLines() const {
    std::vector<std::string> lines;
    std::ifstream in(m_log);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

int UnusedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    close(fd);
    return ntohs(a.sin_port);
}

static int CountEntries(const char* path) {
    int n = 0;
    if (DIR* dir = opendir(path)) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') ++n;
        closedir(dir);
    }
    return n;
}

int CountOpenFds() {
    return CountEntries("/proc/self/fd") - 1;
} // less the one opendir holds
int CountThreads() {
    return CountEntries("/proc/self/task");
}

void Click(TerminalPanel* panel, int id) {
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(panel->FindWindow(id));
    panel->GetEventHandler()->ProcessEvent(event);
}

#include "shell/new_dialog.h"

#include <wx/toplevel.h>

NewDialog* FindNewDialog() {
    for (wxWindow* w : wxTopLevelWindows)
        if (NewDialog* d = dynamic_cast<NewDialog*>(w))
            if (!d->IsBeingDeleted() && d->IsShown()) return d;
    return nullptr;
}

void DestroyNewDialogs() {
    for (wxWindow* w : wxTopLevelWindows)
        if (NewDialog* d = dynamic_cast<NewDialog*>(w)) {
            d->Hide();
            d->Destroy();
        }
    Pump(20);
}

std::string RunCommand(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}
