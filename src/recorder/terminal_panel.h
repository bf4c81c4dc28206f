// The working panel of the program, a view of the press job: it builds the
// controls, turns the fields into the job's value when Start is pressed,
// shows what the station tells (the banner, the curve, the verdict), and asks
// the station's questions through the program's message functions. The job
// itself runs in the Station it holds.
#pragma once

#include "recorder/panel_controls.h"
#include "recorder/panel_host.h"
#include "recorder/gui_executor.h"
#include "recorder/report.h"
#include "station/job_setup.h"
#include "station/limits.h"
#include "station/station.h"

#include <functional>
#include <memory>

#include <wx/panel.h>
#include <wx/timer.h>

class AlarmSound;
class NoticeBox;
class RenderTimer;
struct ReportFiles;

/// The module and press in use, as the connection dialog sets them.
struct ConnectionSettings {
    wxString address, port;
    bool autoconnect = false;
    bool skipQuestion = false;
    unsigned pressIndex = 0;
};

class TerminalPanel : public wxPanel, private StationListener {
  public:
    TerminalPanel(wxWindow* parent, PanelHost& host, int displayWidth, int displayHeight);
    const PanelHost& Host() const { return m_host; }
    PanelHost& Host() { return m_host; }
    ~TerminalPanel() override;

    const PanelControls& Controls() const { return m_ui; }
    Station& Job() { return m_station; }
    const Station& Job() const { return m_station; }

    /// Applies the connection dialog's values: another module is connected
    /// anew, another press brings its alarm threshold.
    void SetConnectionParameters(const wxString& address, const wxString& port, bool autoconnect,
                                 bool skipQuestion, unsigned int pressIndex);
    const ConnectionSettings& Connection() const { return m_connection; }
    /// While Start is pressed the module and the press stay as they were:
    /// true, after telling the operator, when a change must wait.
    bool RefuseChangeWhileRecording() const;

    /// Print Report: the running recording (marked incomplete), or else the
    /// last one that ended, each with its own job data.
    void CreateReport();
    /// Writes the page and the CSV file of `recording` and tells the
    /// operator; a reprint is the same page marked as one. False when
    /// nothing was written.
    bool WriteReport(const Recording& recording, const Reprint& reprint = {},
                     std::string* written = nullptr, std::string* pageSha256 = nullptr);
    /// Print Report says what it does: print, or only save a PDF file when
    /// no printer is set.
    void ShowPrinter();
    /// Asks the store what the axle side typed already had today; the note
    /// under the job's fields follows.
    void AskEarlier();
    /// Keeps and tells once of recordings that a crash or power cut interrupted.
    void ReportInterruptedJournals();
    /// The directory of reports and recording journals.
    std::string ReportDirectory() const;
    /// The press's force limits were set anew: their lines follow.
    void LimitsChanged() { UpdateLimitLines(); }
    /// The mounting programs in force changed: the next Start is judged by them.
    void ProgramsChanged(std::vector<Program> programs);

    /// Told of every reading applied, after its effects (benchmarks).
    void SetReadingObserver(std::function<void(int bar)> observer) {
        m_readingObserver = std::move(observer);
    }
    AlarmSound& Alarm() { return *m_alarmSound; }
    RenderTimer& Timer() { return *m_renderTimer; }

  private:
    // StationListener
    void OnStateChanged() override;
    void OnReadings(const ReadingsStep& step) override;
    void OnAlarmSound() override;
    void OnCycleEnded(bool recorded) override;
    void AskToAcknowledge(const std::string& text) override;
    void OnRecordingKept(const Recording& recording) override;
    void AskForReport(const Recording& recording) override;
    bool ShowLossNotice(const std::string& text) override;
    void CloseLossNotice() override;
    void ShowError(const std::string& text) override;
    void OnJournalsKept(const std::string& text, bool interrupted) override;
    void OnPlantStatus(const std::string& text) override;
    void OnEarlierRecordings(const std::string& axle, const std::string& side,
                             const std::vector<RecordSummary>& found) override;
    void ShowEarlier(const std::string& note);

    void BindControls(int displayWidth);
    void OnStartStop(wxCommandEvent& event);
    void OnConnect(wxCommandEvent& event);
    void OnDisconnect(wxCommandEvent& event);
    void OnEditConnection(wxCommandEvent& event);
    /// What the fields, the press and the link say now.
    JobFields Fields() const;
    /// The program the typed bearing is judged by, beside the press.
    /// The press's calibration beside the press, when it asks for attention.
    void ShowCalibration();
    void ShowProgram(const JobFields& typed);
    void UpdateStartButton();
    void LockSetupFields(bool locked);
    /// The threshold typed, its line on the plot and the note beside it.
    /// The threshold typed, in force, and its line.
    void ApplyThreshold();
    void UpdateThresholdLine();
    void KeepThreshold();
    /// The force limits drawn: those of the running cycle, else the press's.
    const ForceLimits* ShownLimits() const;
    /// The setup of the curve on the plot (running or last), null before any.
    const RecordingSetup* DrawnSetup() const;
    /// The lines the curve on the plot is judged by.
    const ForceLimits* DrawnLimits() const;
    void UpdateLimitLines();
    /// The force axis's top: high enough that the upper limit is on the plot.
    double PlotTop(double fittedTop) const;
    /// The time axis's length before any curve: the record length set.
    int IdleSeconds() const;
    void FitIdleTimeAxis();
    void RefreshBanner();
    bool AcknowledgeAlarm();

    PanelHost& m_host;
    PanelControls m_ui;
    GuiExecutor m_executor{*this};
    Station m_station{m_executor, *this};
    ConnectionSettings m_connection;
    ThresholdTable m_thresholds; ///< the alarm threshold of each press, kept in alarm.ini
    std::unique_ptr<AlarmSound> m_alarmSound;
    bool m_soundFailed = false; ///< said once, beside the threshold
    std::unique_ptr<RenderTimer> m_renderTimer;
    wxTimer m_bannerTimer;
    NoticeBox* m_lossBox = nullptr; ///< the loss notice, while it is open
    bool m_shownRunning = false;    ///< the lines and fields follow a cycle's start and end
    double m_fitX = -1, m_fitY = -1;
    double m_plotTop = 100; ///< the force axis's top as last fitted
    /// The program the typed bearing would be judged by, drawn on the plot.
    std::shared_ptr<const Program> m_shownProgram;
    mutable ForceLimits m_shownLimits; ///< what ShownLimits points to
    mutable ForceLimits m_drawnLimits; ///< what DrawnLimits points to
    std::function<void(int bar)> m_readingObserver;
};
