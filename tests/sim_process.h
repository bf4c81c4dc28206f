// press-sim as a child process on a free port of 127.0.0.1, for the tests and
// the benchmarks. No window code: the unit tests use it too.
#pragma once

#include <string>
#include <vector>

class PressSimProcess {
  public:
    /// Starts `program` with "--port 0 --log logPath" and `args`, and reads the
    /// port it reports on its first line.
    PressSimProcess(const std::string& program, const std::string& logPath,
                    const std::vector<std::string>& args);
    ~PressSimProcess();
    PressSimProcess(const PressSimProcess&) = delete;
    PressSimProcess& operator=(const PressSimProcess&) = delete;

    int Port() const { return m_port; }
    const std::string& LogPath() const { return m_log; }
    /// What the simulator printed first ("press-sim: listening on ...").
    const std::string& FirstLine() const { return m_firstLine; }
    std::vector<std::string> LogLines() const;
    void Stop();

  private:
    int m_pid = -1;
    void* m_process = nullptr; // the process handle, on Windows
    int m_port = 0;
    std::string m_log;
    std::string m_firstLine;
};

/// A port of 127.0.0.1 where nothing listens.
int UnusedLoopbackPort();

/// A listener on 127.0.0.1 whose queue is full (backlog 0, one connection
/// never accepted): a connect to it hangs until its time-out.
class FullLoopbackListener {
  public:
    FullLoopbackListener();
    ~FullLoopbackListener();
    FullLoopbackListener(const FullLoopbackListener&) = delete;
    FullLoopbackListener& operator=(const FullLoopbackListener&) = delete;
    int port = 0;

  private:
    int m_fd = -1, m_filler = -1;
};
