#include "recorder/terminal_panel.h"

#include "plot/plot_canvas.h"
#include "recorder/alarm.h"
#include "recorder/events.h"
#include "recorder/messages.h"
#include "recorder/render_timer.h"
#include "recorder/report.h"
#include "recorder/state_banner.h"
#include "station/press_register.h"
#include "station/report_data.h"
#include "station/translate.h"
#include "station/typed_number.h"

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <algorithm>
#include <cmath>

TerminalPanel::TerminalPanel(wxWindow* parent, PanelHost& host, int W, int H)
    : wxPanel(parent, ID_TERMINAL_PANEL, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL,
              "BRNTerminalPanel"),
      m_host(host) {
    m_alarmSound = std::make_unique<AlarmSound>(m_host.DataFile("icons/alarm.wav"));
    m_ui = BuildPanelControls(this, W, H);
    m_thresholds = ReadThresholds(kThresholdsFile);
    BindControls(W);
    ApplyThreshold();
    UpdateLimitLines();
    FitIdleTimeAxis();
    UpdateStartButton();
    m_bannerTimer.SetOwner(this);
    Bind(
        wxEVT_TIMER, [this](wxTimerEvent&) { RefreshBanner(); }, m_bannerTimer.GetId());
    m_bannerTimer.Start(250);
    m_renderTimer = std::make_unique<RenderTimer>(
        m_ui.clockText, m_ui.stopButton, m_ui.recordingText,
        [this] { return m_station.WallSeconds(); }, [this] { m_station.CheckReadingsStopped(); });
    m_renderTimer->SetSecondsLeft([this] { return m_station.SecondsLeft(SteadyClock::now()); });
    m_renderTimer->Start(1000, wxTIMER_CONTINUOUS);
    SetBackgroundColour(*wxWHITE);
}

TerminalPanel::~TerminalPanel() {
    if (m_renderTimer) m_renderTimer->Stop();
    m_bannerTimer.Stop();
}

void TerminalPanel::BindControls(int W) {
    m_ui.acknowledgeButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { AcknowledgeAlarm(); });
    // The keys of a job without the mouse: Esc acknowledges the alarm, F5
    // starts, F6 stops, F8 writes the report, each only when its button may.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_ESCAPE && AcknowledgeAlarm()) return;
        for (const auto& [key, button] :
             {std::make_pair(WXK_F5, m_ui.startButton), std::make_pair(WXK_F6, m_ui.stopButton),
              std::make_pair(WXK_F8, m_ui.printButton)})
            if (event.GetKeyCode() == key && button->IsEnabled()) {
                wxCommandEvent click(wxEVT_BUTTON, button->GetId());
                click.SetEventObject(button);
                button->ProcessWindowEvent(click);
                return;
            }
        event.Skip();
    });
    // The plot takes the height down to the panel's bottom, keeping a
    // 10-pixel gap there: on screens tall for their width (1280 x 1024,
    // 1024 x 768) the room under it is curve, not empty.
    Bind(wxEVT_SIZE, [this, W](wxSizeEvent& event) {
        event.Skip();
        mpWindow* plot = m_ui.plot.plot;
        const int room = GetClientSize().y - plot->GetPosition().y - 10;
        const int height = room > 100 ? room : (W - 320) * 3 / 5;
        if (plot->GetSize().y != height) plot->SetSize(wxSize(W - 320, height));
    });
    m_ui.pressChoice->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        const int chosen = m_ui.pressChoice->GetSelection();
        if (chosen < 0 || chosen == static_cast<int>(m_connection.pressIndex)) return;
        if (!m_host.SelectPress(static_cast<unsigned>(chosen)))
            m_ui.pressChoice->SetSelection(m_connection.pressIndex); // refused: as it was
    });
    // A threshold being typed is not in force digit by digit ("3" of
    // "300" would alarm at once): it applies on Enter or when the field is
    // left.
    m_ui.alarmThreshold->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) {
        ApplyThreshold();
        KeepThreshold();
    });
    m_ui.alarmThreshold->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        event.Skip();
        ApplyThreshold();
        KeepThreshold();
    });
    m_ui.autoEndCheck->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) {
        m_host.KeepEndWhenReleased(m_ui.autoEndCheck->GetValue());
    });
    // Start waits for what a report cannot be without, and says what.
    for (wxTextCtrl* required :
         {m_ui.operatorId, m_ui.axleDesignation, m_ui.recordLength, m_ui.bearingDesignation})
        required->Bind(wxEVT_TEXT, [this](wxCommandEvent& event) {
            event.Skip();
            UpdateStartButton();
        });
    // What the axle side typed already had today, asked of the store.
    m_ui.axleDesignation->Bind(wxEVT_TEXT, [this](wxCommandEvent& event) {
        event.Skip();
        AskEarlier();
    });
    m_ui.mountingSide->Bind(wxEVT_CHOICE, [this](wxCommandEvent& event) {
        event.Skip();
        AskEarlier();
    });
    // Before the first recording the time axis shows the length set.
    m_ui.recordLength->Bind(wxEVT_TEXT, [this](wxCommandEvent& event) {
        event.Skip();
        FitIdleTimeAxis();
    });
    Bind(wxEVT_BUTTON, &TerminalPanel::OnConnect, this, ID_CONNECT);
    Bind(wxEVT_BUTTON, &TerminalPanel::OnDisconnect, this, ID_DISCONNECT);
    Bind(wxEVT_BUTTON, &TerminalPanel::OnStartStop, this, ID_START);
    Bind(wxEVT_BUTTON, &TerminalPanel::OnStartStop, this, ID_STOP);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { CreateReport(); }, ID_PRINT_REPORT);
    Bind(EVT_AUTOCONNECT, &TerminalPanel::OnConnect, this);
    Bind(EVT_EDIT_PARAMETERS, &TerminalPanel::OnEditConnection, this);
}

//-----------------------------------------------------------------------------
// The job's value and the commands

JobFields TerminalPanel::Fields() const {
    JobFields f;
    f.job.operatorId = m_ui.operatorId->GetValue().utf8_str();
    f.job.axleDesignation = m_ui.axleDesignation->GetValue().utf8_str();
    const int side = m_ui.mountingSide->GetSelection();
    f.job.mountingSide = (side >= 0 && side < static_cast<int>(m_ui.mountingSides.size()))
                             ? m_ui.mountingSides[side].utf8_str()
                             : "A";
    f.job.bearingDesignation = m_ui.bearingDesignation->GetValue().utf8_str();
    f.job.productionDate = m_ui.productionDate->GetValue().utf8_str();
    f.job.refurbishmentDate = m_ui.refurbishmentDate->GetValue().utf8_str();
    f.recordLength = m_ui.recordLength->GetValue().ToStdWstring();
    f.alarmThreshold = m_ui.alarmThreshold->GetValue().ToStdWstring();
    const long press = m_connection.pressIndex;
    f.pressName = m_host.PressName(press).utf8_str();
    f.surface = m_host.Surface(press);
    if (const ForceLimits* limits = m_host.Limits(press)) {
        f.hasLimits = true;
        f.limits = *limits;
        m_host.LimitsSet(press, &f.limitsSetAt, &f.limitsSetBy);
    }
    f.moduleAddress = m_station.AddressText();
    f.pcName = wxGetHostName().utf8_str();
    f.programs = &m_station.Programs();
    f.programRequired = m_host.ProgramRequired();
    f.registered = m_host.Registered(press);
    f.calibrationRequired = m_host.CalibrationRequired();
    return f;
}

std::string TerminalPanel::ReportDirectory() const {
    const wxString directory = m_host.ReportDirectory();
    return std::string(directory.empty() ? "." : directory.utf8_str());
}

void TerminalPanel::OnStartStop(wxCommandEvent& event) {
    if (event.GetId() == ID_STOP) {
        m_station.Stop();
        return;
    }
    if (m_station.Running()) return;
    // Everything the report will say is fixed here.
    std::string why;
    RecordingSetup setup;
    if (!MakeSetup(Fields(), m_station.WallSeconds(), setup, &why) ||
        !m_station.Start(setup, m_ui.autoEndCheck->GetValue(), ReportDirectory(), &why)) {
        ::ShowError(wxString::FromUTF8(why));
        return;
    }
    // The length a recording may take moves its verdict: each new one is kept.
    m_host.KeepInTrail(kRecordLengthChange, setup.pressName, "",
                       std::to_string(setup.recordLengthSeconds) + " s", setup.job.operatorId);
}

bool TerminalPanel::AcknowledgeAlarm() {
    return m_station.Acknowledge(std::string(m_ui.operatorId->GetValue().utf8_str()));
}

void TerminalPanel::CreateReport() {
    RecordingSetup idle;
    MakeSetup(Fields(), m_station.WallSeconds(), idle, nullptr);
    WriteReport(m_station.ToPrint(idle));
}

bool TerminalPanel::WriteReport(const Recording& recording, const Reprint& reprint,
                                std::string* written, std::string* pageSha256) {
    ReportFiles files;
    if (!WriteReportFiles(this, m_host, m_station.WallSeconds(), recording, reprint, &files))
        return false;
    if (written) *written = files.pdfPath;
    if (pageSha256) *pageSha256 = files.pageSha256;
    if (reprint.Is()) return true;
    // The stored recording learns where its report is, and the page's hash.
    m_station.ReportWritten(recording, files.pdfPath, files.csvPath, files.pageSha256);
    // The next axle's job: its fields are emptied and the axle field takes
    // the focus (a scanner fills it); the operator stays, also after a
    // restart.
    if (!m_station.Running()) {
        for (wxTextCtrl* field : {m_ui.axleDesignation, m_ui.bearingDesignation,
                                  m_ui.productionDate, m_ui.refurbishmentDate})
            field->ChangeValue("");
        m_ui.mountingSide->SetSelection(0);
        ShowEarlier("");
        m_host.KeepOperator(m_ui.operatorId->GetValue());
        UpdateStartButton();
        m_ui.axleDesignation->SetFocus();
    }
    TellReportWritten(recording, files);
    return true;
}

void TerminalPanel::ReportInterruptedJournals() {
    m_station.KeepJournals(ReportDirectory());
}

void TerminalPanel::OnJournalsKept(const std::string& text, bool interrupted) {
    ShowInfo(wxString::FromUTF8(text),
             interrupted ? _("Interrupted recording") : _("Recordings kept from their journals"));
}

//-----------------------------------------------------------------------------
// What the station tells

void TerminalPanel::OnStateChanged() {
    const bool connected = m_station.Connected(), reconnecting = m_station.Reconnecting();
    m_ui.connectButton->Enable(!connected && !reconnecting);
    m_ui.disconnectButton->Enable(connected || reconnecting); // also stops a reconnection
    if (!connected) m_ui.pressureText->SetLabel(_("Pressure: none"));
    m_ui.statusText->SetLabel(
        reconnecting ? wxString::Format(_(L"Module lost \u2014 reconnecting to %s (attempt %d)"),
                                        wxString::FromUTF8(m_station.AddressText()),
                                        m_station.ReconnectAttempt())
                     : StatusLine(m_connection.address, m_connection.port,
                                  m_host.PressName(m_connection.pressIndex)));
    const bool running = m_station.Running();
    if (running != m_shownRunning) {
        m_shownRunning = running;
        m_ui.stopButton->Enable(running);
        LockSetupFields(running);
        ApplyThreshold();
        UpdateLimitLines();
        // The job's fields grey out: the keyboard goes to Stop, so that F6,
        // F8 and Esc reach the panel whatever had the focus before.
        if (running && IsShownOnScreen()) m_ui.stopButton->SetFocus();
    }
    UpdateStartButton();
    m_ui.acknowledgeButton->Show(m_station.Alarm().Latched());
    RefreshBanner();
}

void TerminalPanel::OnReadings(const ReadingsStep& step) {
    const RecordingCycle& cycle = m_station.Cycle();
    if (step.recordingStarted) {
        m_ui.peakText->SetLabel("");
        m_ui.verdictText->SetLabel("");
        m_renderTimer->StartCountdown(m_station.Setup().recordLengthSeconds);
        m_ui.printButton->Enable();
    }
    if (step.lengthReached) m_renderTimer->StopCountdown();
    m_ui.pressureText->SetLabel(wxString::Format(_("Pressure: %d bar"), step.bar));
    m_ui.acknowledgeButton->Show(m_station.Alarm().Latched());
    RefreshBanner();
    if (!m_station.Running()) ShowCalibration(); // the zero at rest
    if (step.appended && m_ui.plot.curve) {
        const auto& times = cycle.m_times;
        if (step.restarted)
            m_ui.plot.curve->SetData(times, cycle.m_forces);
        else
            m_ui.plot.curve->AppendData(times.data() + step.firstNew,
                                        cycle.m_forces.data() + step.firstNew,
                                        times.size() - step.firstNew);
        if (step.fitX != m_fitX || step.fitY != m_fitY) {
            m_fitX = step.fitX;
            m_fitY = step.fitY;
            m_plotTop = PlotTop(m_fitY);
            m_ui.plot.plot->Fit(0, m_fitX, 0, m_plotTop);
        } else {
            m_ui.plot.plot->Refresh(false);
        }
    }
    if (m_readingObserver) m_readingObserver(step.bar);
}

void TerminalPanel::OnAlarmSound() {
    if (m_alarmSound->Play() || m_soundFailed) return;
    m_soundFailed = true; // said once, beside the threshold
    fprintf(stderr, "The alarm sound cannot be played.\n");
    UpdateThresholdLine();
}

void TerminalPanel::OnCycleEnded(bool recorded) {
    OnStateChanged();
    if (!recorded) return;
    m_renderTimer->StopCountdown();
    // The whole curve across the width, also when it ended before its length.
    m_fitX = FitSeconds(m_station.Cycle().LastTime());
    m_ui.plot.plot->Fit(0, m_fitX, 0, m_plotTop);
}

void TerminalPanel::AskToAcknowledge(const std::string& text) {
    ShowInfo(wxString::FromUTF8(text), _("Alarm"));
}

void TerminalPanel::ShowPrinter() {
    const std::string printer = ReportPrinter(m_host);
    m_ui.printButton->SetLabel(printer.empty() ? _("Save Report") : _("Print Report"));
    FitFont(m_ui.printButton, m_ui.printButton->GetLabel(), 100);
    m_ui.printButton->SetToolTip(
        printer.empty()
            ? TrW("F8 \xE2\x80\x94 no printer is set: the page is saved as a PDF file")
            : wxString::Format(TrW("F8 \xE2\x80\x94 the page is saved and printed on %s"),
                               wxString::FromUTF8(printer)));
}

void TerminalPanel::AskEarlier() {
    const JobData job = Fields().job;
    if (job.axleDesignation.empty()) ShowEarlier("");
    m_station.AskEarlier(job.axleDesignation, job.mountingSide, m_station.WallSeconds());
}

void TerminalPanel::OnEarlierRecordings(const std::string& axle, const std::string& side,
                                        const std::vector<RecordSummary>& found) {
    const JobData job = Fields().job;
    if (axle != job.axleDesignation || side != job.mountingSide) return; // typed on since
    ShowEarlier(EarlierNote(axle, side, found));
}

void TerminalPanel::ShowEarlier(const std::string& note) {
    const wxString text = wxString::FromUTF8(note);
    if (m_ui.earlierText->GetLabel() == text) return;
    m_ui.earlierText->SetLabel(text);
    m_ui.earlierText->Wrap(m_ui.earlierText->GetSize().x);
    m_ui.earlierText->SetToolTip(text);
}

void TerminalPanel::OnRecordingKept(const Recording& recording) {
    AskEarlier(); // the one just kept counts
    const RecordingResults results = recording.Results();
    const Judgement judgement = recording.Judged();
    m_ui.peakText->SetLabel(wxString::Format(_("Peak %.1f t"), results.peakForceTons));
    // INCOMPLETE is a word of its own, never folded into FAIL.
    const bool incomplete = judgement.verdict == Verdict::Incomplete ||
                            (judgement.verdict == Verdict::None && !recording.incomplete.empty());
    m_ui.verdictText->SetLabel(incomplete                           ? _("INCOMPLETE")
                               : judgement.verdict == Verdict::Pass ? _("PASS")
                               : judgement.verdict == Verdict::Fail ? _("FAIL")
                                                                    : wxString());
    m_ui.verdictText->SetFont(
        wxFont(16, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD));
    FitFont(m_ui.verdictText, m_ui.verdictText->GetLabel(), 116);
    m_ui.verdictText->SetForegroundColour(incomplete ? wxColour(170, 100, 0)
                                          : judgement.verdict == Verdict::Pass
                                              ? wxColour(0, 140, 60)
                                              : wxColour(200, 0, 0));
    RefreshBanner();
}

void TerminalPanel::AskForReport(const Recording& recording) {
    if (AskYesNo(ReportQuestion(recording.setup.job), _("Print REPORT?"))) CreateReport();
}

bool TerminalPanel::ShowLossNotice(const std::string& text) {
    return ShowNotice(wxString::FromUTF8(text), _("Disconnected"), &m_lossBox);
}

void TerminalPanel::CloseLossNotice() {
    if (m_lossBox) m_lossBox->Dismiss();
}

void TerminalPanel::ShowError(const std::string& text) {
    ::ShowError(wxString::FromUTF8(text));
}

void TerminalPanel::OnPlantStatus(const std::string& text) {
    m_host.ShowPlantStatus(wxString::FromUTF8(text));
}

//-----------------------------------------------------------------------------
// The fields, the lines and the banner

void TerminalPanel::UpdateStartButton() {
    // Only what Start needs, on every keystroke in those fields.
    JobFields typed;
    typed.job.operatorId = m_ui.operatorId->GetValue().utf8_str();
    typed.job.axleDesignation = m_ui.axleDesignation->GetValue().utf8_str();
    typed.recordLength = m_ui.recordLength->GetValue().ToStdWstring();
    typed.job.bearingDesignation = m_ui.bearingDesignation->GetValue().utf8_str();
    typed.pressName = m_host.PressName(m_connection.pressIndex).utf8_str();
    typed.programs = &m_station.Programs();
    typed.programRequired = m_host.ProgramRequired();
    std::string operatorHint, axleHint, lengthHint;
    const std::string missing = MissingForStart(typed, &operatorHint, &axleHint, &lengthHint);
    ShowProgram(typed);
    ShowCalibration();
    m_ui.operatorHint->SetLabel(wxString::FromUTF8(operatorHint));
    m_ui.axleHint->SetLabel(wxString::FromUTF8(axleHint));
    m_ui.lengthHint->SetLabel(wxString::FromUTF8(lengthHint));
    m_ui.startButton->Enable(m_station.Connected() && !m_station.Running() && missing.empty());
    m_ui.startButton->SetToolTip(
        missing.empty() ? wxString("F5")
                        : wxString::FromUTF8("F5 \xE2\x80\x94 " + Tr("Start needs ") + missing));
}

void TerminalPanel::ShowCalibration() {
    // While a cycle runs, what was noted at its Start.
    wxString text;
    bool warning = true;
    if (m_station.Running()) {
        text = wxString::FromUTF8(m_station.Setup().calibrationNote);
    } else if (const PressEntry* press = m_host.Registered(m_connection.pressIndex)) {
        const CalibrationStatus status = CalibrationAt(*press, m_station.WallSeconds());
        warning = status.state != CalibrationState::Valid;
        switch (status.state) {
        case CalibrationState::NotRecorded:
            text = _("Calibration not recorded");
            break;
        case CalibrationState::DueSoon:
            text = status.daysLeft == 0
                       ? _("Calibration due today")
                       : wxString::Format(_("Calibration due in %d days"), status.daysLeft);
            break;
        case CalibrationState::Overdue:
            text = _("CALIBRATION OVERDUE: Start refused");
            break;
        case CalibrationState::OverdueAllowed:
            text = _("CALIBRATION OVERDUE: recording allowed");
            break;
        case CalibrationState::Valid:
            break;
        }
    }
    if (const int rest = m_station.RestPressure(); rest > kRestLimitBar) {
        if (!text.empty()) text += wxString::FromUTF8(" \xC2\xB7 ");
        text += wxString::Format(_("At rest: %d bar, check the zero"), rest);
        warning = true;
    }
    m_ui.calibrationText->SetForegroundColour(warning ? wxColour(170, 90, 0) : *wxBLACK);
    if (m_ui.calibrationText->GetLabel() != text) {
        m_ui.calibrationText->SetLabel(text);
        m_ui.calibrationText->SetToolTip(text);
    }
}

void TerminalPanel::ProgramsChanged(std::vector<Program> programs) {
    m_station.SetPrograms(std::move(programs));
    UpdateStartButton();
}

void TerminalPanel::ShowProgram(const JobFields& typed) {
    // While a cycle runs, the program it was started with.
    std::string refusal;
    const Program* program =
        m_station.Running() ? m_station.Setup().program.get() : ChosenProgram(typed, &refusal);
    wxString text;
    if (!refusal.empty())
        text = typed.job.bearingDesignation.find_first_not_of(" \t") == std::string::npos
                   ? _("Scan the bearing: it needs its program")
                   : _("No program for this bearing here");
    else if (program != nullptr)
        text = _("Program: ") + wxString::FromUTF8(program->Title()) +
               (program->alarmThresholdBar > 0
                    ? wxString::FromUTF8(" \xC2\xB7 ") +
                          wxString::Format(_("alarm %d bar"), program->alarmThresholdBar)
                    : wxString());
    else if (!m_station.Programs().empty() || typed.programRequired)
        text = _("No program: the press's limits");
    m_ui.programText->SetForegroundColour(refusal.empty() ? wxColour(20, 40, 110)
                                                          : wxColour(160, 0, 0));
    if (!m_station.Running() &&
        (program ? !m_shownProgram || m_shownProgram->Title() != program->Title()
                 : m_shownProgram != nullptr)) {
        m_shownProgram = program ? std::make_shared<const Program>(*program) : nullptr;
        UpdateLimitLines();
    }
    if (m_ui.programText->GetLabel() != text) {
        m_ui.programText->SetLabel(text);
        // The whole reason, where the label has room for its start only.
        m_ui.programText->SetToolTip(refusal.empty() ? text : wxString::FromUTF8(refusal));
    }
    // The program's record length is shown where it is typed; its alarm
    // threshold is named beside it, the press's own threshold kept as set.
    if (program != nullptr && program->recordLengthSeconds > 0 && !m_station.Running())
        m_ui.recordLength->ChangeValue(wxString::Format("%d", program->recordLengthSeconds));
}

void TerminalPanel::LockSetupFields(bool locked) {
    // The job fields, the threshold and the record length are what the
    // running cycle was started with.
    for (wxWindow* field : std::initializer_list<wxWindow*>{
             m_ui.operatorId, m_ui.axleDesignation, m_ui.mountingSide, m_ui.bearingDesignation,
             m_ui.productionDate, m_ui.refurbishmentDate, m_ui.alarmThreshold, m_ui.recordLength,
             m_ui.pressChoice, m_ui.autoEndCheck})
        field->Enable(!locked);
}

int TerminalPanel::IdleSeconds() const {
    int seconds = 0;
    return ParseRecordLength(m_ui.recordLength->GetValue().ToStdWstring(), seconds, nullptr)
               ? seconds
               : 100;
}

void TerminalPanel::FitIdleTimeAxis() {
    if (m_fitX > 0 || m_station.Running()) return; // a curve is shown
    m_ui.plot.plot->Fit(0, IdleSeconds(), 0, m_plotTop);
}

void TerminalPanel::ApplyThreshold() {
    m_station.SetIdleThreshold(LeadingInt(m_ui.alarmThreshold->GetValue().ToStdWstring()));
    UpdateThresholdLine();
}

void TerminalPanel::UpdateThresholdLine() {
    // While a cycle runs, what it was started with; else what is set now.
    const int threshold = m_station.WatchedThreshold();
    const double surface =
        m_station.Running() ? m_station.Setup().surface : m_host.Surface(m_connection.pressIndex);
    const bool on = threshold > 0 && std::isfinite(surface) && surface > 0;
    mpHorizontalLine* line = m_ui.plot.thresholdLine;
    if (on) {
        line->SetValue(ForceTons(threshold, surface));
        line->SetName(
            wxString::Format(_("Alarm %d bar = %.0f t"), threshold, ForceTons(threshold, surface)));
    }
    // Beside the threshold: off, no sound, or a threshold beyond the limits.
    const std::string against = ThresholdAgainstLimits(threshold, surface, ShownLimits());
    wxString note;
    if (threshold <= 0)
        note = _("Alarm off");
    else if (m_soundFailed)
        note = _("No sound device");
    else if (!against.empty())
        note = ForceTons(threshold, surface) > ShownLimits()->upperTons ? _("Above upper limit")
                                                                        : _("Below lower limit");
    m_ui.alarmOffText->SetLabel(note);
    m_ui.alarmOffText->SetToolTip(m_soundFailed ? _("The alarm sound cannot be played: the alarm "
                                                    "is shown on the screen only.")
                                                : wxString::FromUTF8(against));
    m_ui.alarmOffText->Show(!note.empty());
    line->SetVisible(on);
    m_ui.plot.plot->Refresh(false);
}

void TerminalPanel::KeepThreshold() {
    if (m_station.Running()) return;
    const std::string press(m_host.PressName(m_connection.pressIndex).utf8_str());
    if (press.empty()) return;
    const int bar = LeadingInt(m_ui.alarmThreshold->GetValue().ToStdWstring());
    const auto kept = m_thresholds.find(press);
    if (kept != m_thresholds.end() && kept->second == bar) return;
    if (kept == m_thresholds.end() && bar <= 0) return;
    auto said = [](int value) { return value > 0 ? std::to_string(value) + " bar" : "off"; };
    const std::string before = kept == m_thresholds.end() ? "off" : said(kept->second);
    m_thresholds[press] = bar;
    std::string why;
    if (!WriteThresholds(kThresholdsFile, m_thresholds, &why))
        fprintf(stderr, "%s cannot be written: %s\n", kThresholdsFile, why.c_str());
    m_host.KeepInTrail(kAlarmThresholdChange, press, before, said(bar),
                       std::string(m_ui.operatorId->GetValue().utf8_str()));
}

const ForceLimits* TerminalPanel::ShownLimits() const {
    // While a cycle runs, what it is judged by; else what the next Start
    // would be judged by.
    const bool running = m_station.Running();
    const RecordingSetup& setup = m_station.Setup();
    const Program* program = running ? setup.program.get() : m_shownProgram.get();
    const ForceLimits* limits = running ? (setup.hasLimits ? &setup.limits : nullptr)
                                        : m_host.Limits(m_connection.pressIndex);
    return PeakLimitsOf(program, limits, m_shownLimits) ? &m_shownLimits : nullptr;
}

const RecordingSetup* TerminalPanel::DrawnSetup() const {
    if (m_station.Running()) return &m_station.Setup();
    const std::optional<Recording>& last = m_station.LastRecording();
    return last ? &last->setup : nullptr;
}

const ForceLimits* TerminalPanel::DrawnLimits() const {
    // The curve on the plot with the lines it was judged by; before the
    // first, what the next Start would be judged by.
    const RecordingSetup* drawn = DrawnSetup();
    if (drawn == nullptr) return ShownLimits();
    return PeakLimitsOf(drawn->program.get(), drawn->hasLimits ? &drawn->limits : nullptr,
                        m_drawnLimits)
               ? &m_drawnLimits
               : nullptr;
}

void TerminalPanel::UpdateLimitLines() {
    const RecordingSetup* drawn = DrawnSetup();
    ShowCriteria(m_ui.plot, drawn ? drawn->program.get() : m_shownProgram.get());
    const ForceLimits* limits = DrawnLimits();
    mpHorizontalLine* lower = m_ui.plot.lowerLimitLine;
    mpHorizontalLine* upper = m_ui.plot.upperLimitLine;
    if (limits) {
        lower->SetValue(limits->lowerTons);
        upper->SetValue(limits->upperTons);
        lower->SetName(_("Lower ") + wxString::FromUTF8(CsvNumber(limits->lowerTons)) + " t");
        upper->SetName(_("Upper ") + wxString::FromUTF8(CsvNumber(limits->upperTons)) + " t");
    }
    lower->SetVisible(limits != nullptr);
    upper->SetVisible(limits != nullptr);
    // Refitted only when the limits move the axis's top, so the operator's
    // view stays as it was otherwise.
    const double top = PlotTop(m_fitY > 0 ? m_fitY : 100);
    if (top == m_plotTop) {
        m_ui.plot.plot->Refresh(false);
        return;
    }
    m_plotTop = top;
    m_ui.plot.plot->Fit(0, m_fitX > 0 ? m_fitX : IdleSeconds(), 0, top);
}

double TerminalPanel::PlotTop(double fittedTop) const {
    const ForceLimits* limits = DrawnLimits();
    return limits ? std::max(fittedTop, limits->upperTons * 1.1) : fittedTop;
}

void TerminalPanel::RefreshBanner() {
    BannerInputs in = m_station.BannerState();
    if (!m_station.Running()) {
        in.surface = m_host.Surface(m_connection.pressIndex);
        const PressEntry* press = m_host.Registered(m_connection.pressIndex);
        const CalibrationState state = press ? CalibrationAt(*press, m_station.WallSeconds()).state
                                             : CalibrationState::NotRecorded;
        in.calibrationOverdue =
            state == CalibrationState::Overdue || state == CalibrationState::OverdueAllowed;
    }
    if (in.recording) in.secondsLeft = m_renderTimer ? m_renderTimer->SecondsShown() : 0;
    m_ui.banner->SetBanner(ComposeBanner(in));
}
