// The working panel of the program: the force-time plot on the left and, in a
// column along the right edge of the screen, the link status and buttons, the
// recording buttons, the clock, the live pressure, the job data of the report
// and the two recording settings. It runs the link's life cycle and the
// recording cycle; every effect on its controls happens on the GUI thread.
#pragma once

#include "recorder/cycle.h"

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include <wx/arrstr.h>
#include <wx/panel.h>

class wxStaticText;
class wxBitmapButton;
class wxButton;
class wxTextCtrl;
class wxComboBox;
class mpWindow;
class mpFXYVector;
class mpScaleX;
class mpScaleY;
class RenderTimer;
class AlarmSound;
class ReadThread;
class SendMessageThread;
class ConnectThread;
class LinkSession;
struct ConnectAttempt;

class TerminalPanel : public wxPanel {
  public:
    TerminalPanel(int displayWidth, int displayHeight);
    ~TerminalPanel() override;

    void CreatePlot(int x, int y, int width, int height, const wxColour& colour);

    // Link life cycle
    void SetConnectionParameters(const wxString& address, const wxString& port, bool autoconnect,
                                 bool skipQuestion, unsigned int pressIndex);
    void OnConnect(wxCommandEvent& event);
    void OnConnectOk(wxCommandEvent& event);
    void OnConnectFailed(wxCommandEvent& event);
    void OnDisconnect(wxCommandEvent& event);
    void OnEditConnection(wxCommandEvent& event);
    void ShowLinkError();

    // Recording cycle
    /// Called by the reader thread with a batch of received text: decodes the
    /// first complete reading there and hands its value to the GUI thread.
    void ProcessFrame(char* text, int length, int linkGeneration);
    /// The per-reading step, on the GUI thread.
    void ApplyReading(int bar);
    void OnStartStop(wxCommandEvent& event);
    /// Queues the record-end event of the current cycle.
    void PostRecordEnd();

    // Report
    void OnPrintReport(wxCommandEvent& event);
    void CreateReport();

    /// Told of every reading applied, after its effects (benchmarks).
    std::function<void(int bar)> m_readingObserver;

    /// Replaces the wall clock of the cycle (tests).
    void SetClock(Clock& clock) { m_cycle.SetClock(clock); }
    const RecordingCycle& Cycle() const { return m_cycle; }
    RecordingCycle& Cycle() { return m_cycle; }
    int RecordEndQuestions() const { return m_reportQuestions; }
    AlarmSound& Alarm() { return *m_alarmSound; }
    RenderTimer& Timer() { return *m_renderTimer; }

    // Link fields
    std::atomic<ReadThread*> m_readThread{nullptr};
    std::atomic<SendMessageThread*> m_sendThread{nullptr};
    ConnectThread* m_connectThread = nullptr; ///< never dereferenced; see m_attempt
    wxString m_stopTime, m_stopDate;
    int m_socket = 0;
    int m_connectState = 0;
    bool m_connected = false;
    bool m_autoConnect = false;
    bool m_skipQuestion = false;
    int m_pressIndex = 0;
    wxString m_ipAddress, m_portText;

    // Controls
    wxStaticText* m_statusText;
    wxBitmapButton* m_connectButton;
    wxBitmapButton* m_disconnectButton;
    wxButton* m_startButton;
    wxButton* m_stopButton;
    wxButton* m_printButton;
    wxStaticText* m_clockText;
    wxStaticText* m_pressureText;
    wxStaticText* m_recordingText;
    std::unique_ptr<RenderTimer> m_renderTimer;
    wxArrayString m_mountingSides;
    wxTextCtrl* m_operatorId;
    wxTextCtrl* m_axleDesignation;
    wxComboBox* m_mountingSide;
    wxTextCtrl* m_bearingDesignation;
    wxTextCtrl* m_productionDate;
    wxTextCtrl* m_refurbishmentDate;
    wxTextCtrl* m_recordLength;
    wxTextCtrl* m_alarmThreshold;
    std::unique_ptr<AlarmSound> m_alarmSound;
    mpWindow* m_plot = nullptr;
    mpFXYVector* m_curve = nullptr;
    mpScaleX* m_xAxis = nullptr;
    mpScaleY* m_yAxis = nullptr;

  private:
    void BuildControls(int W);
    void EndLinkWorkers();
    void OnRecordEnd(wxCommandEvent& event);

    SystemClock m_systemClock;
    RecordingCycle m_cycle{m_systemClock};
    std::shared_ptr<LinkSession> m_link;
    std::shared_ptr<ConnectAttempt> m_attempt;
    int m_attemptCount = 0;
    int m_linkCount = 0;
    int m_reportQuestions = 0;
};

/// "IP: <address> - Port: <port> - Press: <name>"; "none" for a missing press.
wxString StatusLine(const wxString& address, const wxString& port, const wxString& pressName);
