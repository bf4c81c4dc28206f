// The working panel of the program: the force-time plot on the left and, in a
// column along the right edge of the screen, the link status and buttons, the
// recording buttons, the clock, the live pressure, the job data of the report
// and the two recording settings. It runs the link's life cycle and the
// recording cycle; every effect on its controls happens on the GUI thread.
#pragma once

#include "link/link.h"
#include "recorder/banner_state.h"
#include "recorder/alarm_watch.h"
#include "recorder/limits.h"
#include "recorder/cycle.h"
#include "recorder/journal.h"
#include "recorder/panel_host.h"
#include "records/record_store.h"
#include "records/recording.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <wx/arrstr.h>
#include <wx/panel.h>
#include <wx/timer.h>

class wxStaticText;
class wxBitmapButton;
class wxButton;
class wxTextCtrl;
class wxComboBox;
class wxChoice;
class wxCheckBox;
class mpWindow;
class mpFXYVector;
class mpHorizontalLine;
class mpScaleX;
class mpScaleY;
class RenderTimer;
class AlarmSound;
class StateBanner;

/// The link's listener: every call is handed over to the GUI thread.
class TerminalPanel : public wxPanel, public LinkListener {
  public:
    TerminalPanel(wxWindow* parent, PanelHost& host, int displayWidth, int displayHeight);
    ~TerminalPanel() override;

    void CreatePlot(int x, int y, int width, int height, const wxColour& colour);

    // Link life cycle
    void SetConnectionParameters(const wxString& address, const wxString& port, bool autoconnect,
                                 bool skipQuestion, unsigned int pressIndex);
    void OnConnect(wxCommandEvent& event);
    void OnDisconnect(wxCommandEvent& event);
    void OnEditConnection(wxCommandEvent& event);
    /// While Start is pressed the module and the press stay as they were:
    /// true, after telling the operator, when a change must wait.
    bool RefuseChangeWhileRecording() const;
    bool Reconnecting() const { return m_reconnecting; }
    int ReconnectAttempt() const { return m_reconnectAttempt; }
    /// Readings handed over by the link so far (tests, benchmarks).
    long long ReadingsApplied() const { return m_readingsApplied; }

    // LinkListener, called on the link's threads
    void OnReadingsWaiting(int linkId) override;
    void OnLinkLost(int linkId, LinkLoss loss) override;

    // Recording cycle
    /// The per-reading step for a batch of readings, on the GUI thread.
    void ApplyReadings(const std::vector<Reading>& readings);
    void OnStartStop(wxCommandEvent& event);
    /// Queues the record-end event of the current cycle.
    void PostRecordEnd(RecordEnd why = RecordEnd::Completed);
    /// The countdown ran out: ends a recording whose readings stopped coming.
    void OnCountdownEnded();
    /// Ends a running recording for the program's exit, without a question.
    void EndForExit();
    /// Tells once of recordings that a crash or power cut interrupted.
    void ReportInterruptedJournals();
    /// The directory of reports and recording journals.
    std::string ReportDirectory() const;

    // Record store
    /// Opens the record store at `path` with its writer; a store that cannot
    /// be opened is told (box and banner), and recordings are still kept in
    /// their journals and CSV files. With a plant server (a libpq connection
    /// string) each recording kept is also queued for it and sent from there.
    void OpenRecordStore(const std::string& path, const std::string& plantServer = "");
    /// Hands the recording to the store's writer.
    void StoreRecording(const Recording& recording, RecordStatus status);
    /// Waits until everything handed to the store is written (tests, exit).
    void FlushRecordStore();
    /// Why the store cannot be written, or "".
    const std::string& StoreProblem() const { return m_storeProblem; }
    const std::string& StorePath() const { return m_storePath; }
    /// The plant server's connection string, "" when there is none.
    const std::string& PlantServerConnection() const { return m_plantServer; }
    /// The sender to the plant server, or null.
    class PlantSender* Sender() {
        return m_plantSender.get();
    }

    // Report
    void OnPrintReport(wxCommandEvent& event);
    /// The report of the running recording (marked incomplete), or else of
    /// the last one that ended, each with its own job data.
    void CreateReport();
    /// Writes the page and the CSV file of `recording`; with `reprintOf` (the
    /// first print's date) the same page marked as a reprint, under a name of
    /// its own. False when nothing was written.
    /// `written` gets the page's path and `pageSha256` its SHA-256.
    bool WriteReport(const Recording& recording, const std::string& reprintOf = "",
                     std::string* written = nullptr, std::string* pageSha256 = nullptr);
    /// The record store's writer, or null when the store cannot be used.
    class RecordWriter* Writer() {
        return m_recordWriter.get();
    }
    /// The recording that ended last, if any.
    const std::optional<Recording>& LastRecording() const { return m_lastRecording; }
    /// What the fields, the press and the link say now, or false with the
    /// reason for the operator when a recording cannot be made of it.
    bool TakeSetup(RecordingSetup& setup, std::string* why) const;

    /// Told of every reading applied, after its effects (benchmarks).
    std::function<void(int bar)> m_readingObserver;

    /// Replaces the wall clock of the cycle (tests).
    void SetClock(Clock& clock) {
        m_cycle.SetClock(clock);
        m_clock = &clock;
    }
    /// The wall clock's seconds: every date shown or written comes from here.
    int64_t WallSeconds() const { return m_clock->Now().seconds; }
    const RecordingCycle& Cycle() const { return m_cycle; }
    RecordingCycle& Cycle() { return m_cycle; }
    int RecordEndQuestions() const { return m_reportQuestions; }
    /// "Disconnected" boxes closed because the link came back.
    int LossBoxesClosed() const { return m_lossBoxesClosed; }
    AlarmSound& Alarm() { return *m_alarmSound; }
    RenderTimer& Timer() { return *m_renderTimer; }

    // Link fields
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
    wxChoice* m_mountingSide;
    wxTextCtrl* m_bearingDesignation;
    wxTextCtrl* m_productionDate;
    wxTextCtrl* m_refurbishmentDate;
    wxTextCtrl* m_recordLength;
    wxTextCtrl* m_alarmThreshold;
    /// The press in use, large, with its own choice.
    wxChoice* m_pressChoice = nullptr;
    static constexpr long kPressChoices = 10;
    /// Beside the fields Start needs: what is missing in them.
    wxStaticText* m_operatorHint = nullptr;
    wxStaticText* m_axleHint = nullptr;
    wxStaticText* m_lengthHint = nullptr;
    /// The recording ends 2 s after the pressure is released (on by default).
    wxCheckBox* m_autoEndCheck = nullptr;
    /// "" when Start may be pressed, else what is missing ("the operator
    /// ID"); the hints shown beside each field.
    std::string MissingForStart(std::string* operatorHint = nullptr,
                                std::string* axleHint = nullptr,
                                std::string* lengthHint = nullptr) const;
    /// Start is enabled only when connected, idle and nothing is missing.
    void UpdateStartButton();
    /// The time axis's length before any curve: the record length set, or
    /// 100 s while it is not valid.
    int IdleSeconds() const;
    void FitIdleTimeAxis();
    /// The height of the job's buttons: 15 mm on this screen.
    int ButtonHeight() const;
    std::unique_ptr<AlarmSound> m_alarmSound;
    /// The alarm on every reading while connected, latched until acknowledged.
    AlarmWatch m_alarmWatch;
    wxButton* m_acknowledgeButton = nullptr;
    /// Acknowledges the alarm (the button and Esc) in the name of the
    /// operator; false when none was latched.
    bool AcknowledgeAlarm();
    /// The alarm threshold of each press, kept in alarm.ini.
    ThresholdTable m_thresholds;
    /// Keeps the threshold typed for the selected press.
    void KeepThreshold();
    /// The sound could not be played: said once, beside the threshold.
    bool m_soundFailed = false;
    mpWindow* m_plot = nullptr;
    mpFXYVector* m_curve = nullptr;
    /// The alarm threshold's force on the plot, while a threshold is set.
    mpHorizontalLine* m_thresholdLine = nullptr;
    /// "Alarm off", "No sound device", or the threshold against the limits.
    wxStaticText* m_alarmOffText = nullptr;
    void UpdateThresholdLine();
    /// The selected press's force limits on the plot, while it has limits.
    mpHorizontalLine* m_lowerLimitLine = nullptr;
    mpHorizontalLine* m_upperLimitLine = nullptr;
    void UpdateLimitLines();
    /// The force axis's top for a fitted top: high enough that the upper
    /// force limit, when the press has one, is on the plot.
    double PlotTop(double fittedTop) const;
    /// The state banner above the plot, and the last cycle's peak force and
    /// verdict, shown from its end until the next recording starts.
    StateBanner* m_banner = nullptr;
    wxStaticText* m_peakText = nullptr;
    wxStaticText* m_verdictText = nullptr;
    /// What the banner says now.
    BannerInputs BannerState() const;
    void RefreshBanner();
    mpScaleX* m_xAxis = nullptr;
    mpScaleY* m_yAxis = nullptr;

  private:
    void BuildControls(int W);
    void OnRecordEnd(wxCommandEvent& event);
    /// The stop half of the cycle: disarms, takes the stop time, closes the
    /// journal and asks for the report when connected.
    void FinishCycle(RecordEnd why, bool ask);
    /// Opens the journal of the cycle armed with `m_setup`; false, with the
    /// reason, when it cannot be written.
    bool OpenJournal(std::string* why);
    /// The running (or just ended) cycle as a recording of `m_setup`.
    Recording CurrentRecording() const;
    /// The job fields, the threshold and the record length are what the
    /// running cycle was started with: locked while it is armed.
    void LockSetupFields(bool locked);
    /// The force limits drawn: those of the running cycle, else the press's.
    const ForceLimits* ShownLimits() const;

    // Link life cycle (connection.cpp)
    std::unique_ptr<ConnectThread> StartConnectThread();
    void OnConnectOutcome(ConnectResult& result);
    void StartLink(UniqueSocket socket);
    void DrainReadings(int linkId);
    void HandleLinkLost(int linkId, LinkLoss loss);
    void ScheduleReconnect();
    /// Closes the link and connects to the module now set (a new address).
    void ReconnectToNewModule();
    void OnReconnectTimer(wxTimerEvent& event);
    void StopReconnecting();
    void ShowClosedButtons();
    wxString AddressText() const;

    PanelHost& m_host;
    SystemClock m_systemClock;
    RecordingCycle m_cycle{m_systemClock};
    Clock* m_clock = &m_systemClock;
    RecordingSetup m_setup;        ///< taken at Start for the armed or running cycle
    bool m_endWhenReleased = true; ///< taken at Start with m_setup
    std::optional<Recording> m_lastRecording;
    std::unique_ptr<class RecordWriter> m_recordWriter;
    std::unique_ptr<class FileLock> m_storeLock;
    std::string m_storePath, m_storeProblem, m_plantServer;
    std::unique_ptr<class PlantSender> m_plantSender;
    /// Tells the operator once, in a box and on the banner, that the store
    /// failed; on the GUI thread.
    void OnStoreFailed(const std::string& why);
    int64_t m_stoppedAt = 0;
    RecordingJournal m_journal;
    std::unique_ptr<Link> m_link;
    std::unique_ptr<ConnectThread> m_connectThread;
    std::vector<std::unique_ptr<DisconnectThread>> m_closing;
    UniqueSocket m_connectedSocket; ///< outcome of the running attempt
    int m_connectCause = 0;
    std::vector<Reading> m_taken;
    wxTimer m_reconnectTimer;
    bool m_reconnecting = false;
    int m_reconnectAttempt = 0;
    SteadyTime m_linkStartedAt; ///< a link that held 30 s ends the back-off
    /// The box that told of the loss, while it is open: one box for a module
    /// that keeps dropping.
    class NoticeBox* m_lossBox = nullptr;
    int m_attemptCount = 0;
    int m_linkCount = 0;
    int m_reportQuestions = 0;
    int m_lossBoxesClosed = 0;
    long long m_readingsApplied = 0;
    bool m_haveReading = false; ///< a reading came on the current link
    int m_lastBar = 0;
    SteadyTime m_alarmSince; ///< the latched alarm's first reading, for the banner's flashing
    bool m_done = false;     ///< a cycle ended with a recording, and no new one started
    bool m_lowSinceDone = false;
    RecordingResults m_doneResults;
    Judgement m_doneJudgement;
    bool m_doneIncomplete = false;
    wxTimer m_bannerTimer;
    double m_fitX = -1, m_fitY = -1;
    double m_plotTop = 100; ///< the force axis's top as last fitted
};

/// "IP: <address> - Port: <port> - Press: <name>"; "none" for a missing press.
wxString StatusLine(const wxString& address, const wxString& port, const wxString& pressName);
