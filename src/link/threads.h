// The four workers that do every blocking exchange with the pressure module:
// ConnectThread opens the connection, ReadThread receives, SendMessageThread
// sends the start-up commands and the poll, DisconnectThread closes the link.
// Workers never touch a window: they post events to the panel or hand decoded
// readings to it, which applies them on the GUI thread.
#pragma once

#include "link/transport.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include <wx/event.h>
#include <wx/thread.h>

class TerminalPanel;
class ReadThread;
class SendMessageThread;

/// The poll command: p000 and a carriage return.
extern const char POLL_COMMAND[5];

/// One open link: its socket and the stop and pause requests of its workers.
/// The socket is closed when the last holder (panel, reader, sender,
/// disconnect worker) lets go, so no worker ever uses a closed descriptor.
class LinkSession {
  public:
    explicit LinkSession(UniqueSocket socket, int generation)
        : m_socket(std::move(socket)), m_generation(generation) {}

    int Socket() const { return m_socket.Get(); }
    int Generation() const { return m_generation; }

    /// From now on the reader hands over nothing and the sender sends nothing.
    void Pause() { m_paused = true; }
    bool Paused() const { return m_paused; }

    void RequestStopReader();
    void RequestStopSender();
    /// Ends the workers in the link's order: the sender, then the shutdown that
    /// releases a reader blocked in a receive, then the reader. Waits up to
    /// `waitMs` for each to be gone (0: only asks).
    void EndWorkers(int waitMs);
    bool ReaderStopRequested() const { return m_stopReader; }
    bool SenderStopRequested() const { return m_stopSender; }

    /// Sleeps for `ms` or until the sender's stop is requested; true when stopped.
    bool SenderWait(int ms);
    /// Waits until the reader's stop is requested.
    void ReaderIdle();

    /// Workers still alive; the panel watches them during a disconnect.
    std::atomic<ReadThread*> reader{nullptr};
    std::atomic<SendMessageThread*> sender{nullptr};

  private:
    UniqueSocket m_socket;
    const int m_generation;
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_stopReader{false};
    std::atomic<bool> m_stopSender{false};
    std::mutex m_lock;
    std::condition_variable m_wake;
};

/// One connection attempt, shared between the panel and its ConnectThread.
struct ConnectAttempt {
    int number = 0;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> finished{false};
};

/// Outcome of a connection attempt. Owns the connected socket until the panel
/// takes it; an outcome nobody takes closes its socket when it is destroyed.
class ConnectOutcomeEvent : public wxCommandEvent {
  public:
    ConnectOutcomeEvent(wxEventType type, int attempt, std::shared_ptr<UniqueSocket> socket)
        : wxCommandEvent(type, type), m_attempt(attempt), m_socket(std::move(socket)) {
        if (m_socket) SetExtraLong(m_socket->Get());
    }
    wxEvent* Clone() const override { return new ConnectOutcomeEvent(*this); }
    int Attempt() const { return m_attempt; }
    std::shared_ptr<UniqueSocket> Socket() const { return m_socket; }

  private:
    int m_attempt;
    std::shared_ptr<UniqueSocket> m_socket;
};

class ConnectThread : public wxThread {
  public:
    ConnectThread(wxEvtHandler* panel, std::string address, uint16_t port,
                  std::shared_ptr<ConnectAttempt> attempt);
    ~ConnectThread() override;

  protected:
    ExitCode Entry() override;

  private:
    wxEvtHandler* m_panel;
    std::string m_address;
    uint16_t m_port;
    std::shared_ptr<ConnectAttempt> m_attempt;
};

class ReadThread : public wxThread {
  public:
    ReadThread(TerminalPanel* panel, std::shared_ptr<LinkSession> link);
    ~ReadThread() override;

    /// Buffer sizes: a receive never takes more than the accumulation buffer
    /// can still hold, so it never overflows and always ends in a zero byte.
    static constexpr int kBufferSize = 128;
    static constexpr int kBatchMinimum = 20;

  protected:
    ExitCode Entry() override;

  private:
    TerminalPanel* m_panel;
    std::shared_ptr<LinkSession> m_link;
};

class SendMessageThread : public wxThread {
  public:
    SendMessageThread(TerminalPanel* panel, int periodMs, std::shared_ptr<LinkSession> link);
    ~SendMessageThread() override;

  protected:
    ExitCode Entry() override;

  private:
    TerminalPanel* m_panel;
    int m_periodMs;
    std::shared_ptr<LinkSession> m_link;
};

class DisconnectThread : public wxThread {
  public:
    DisconnectThread(std::shared_ptr<LinkSession> link, TerminalPanel* panel);

  protected:
    ExitCode Entry() override;

  private:
    std::shared_ptr<LinkSession> m_link;
    TerminalPanel* m_panel;
};

/// Accumulates received bytes into batches of at least kBatchMinimum bytes.
class ReadAccumulator {
  public:
    /// Room left for the next receive (never zero).
    int Room() const { return ReadThread::kBufferSize - 1 - m_count; }
    char* Tail() { return m_buffer + m_count; }
    /// Counts `n` bytes just received at Tail(); true when a batch is ready.
    bool Added(int n);
    char* Batch() { return m_buffer; }
    int Count() const { return m_count; }
    void Reset();

  private:
    char m_buffer[ReadThread::kBufferSize] = {0};
    int m_count = 0;
};
