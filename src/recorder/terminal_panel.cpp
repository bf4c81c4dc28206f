#include "recorder/terminal_panel.h"

#include "link/threads.h"
#include "plot/plot_canvas.h"
#include "recorder/alarm.h"
#include "recorder/decoder.h"
#include "recorder/render_timer.h"
#include "shell/events.h"
#include "shell/main_window.h"
#include "shell/messages.h"
#include "shell/paths.h"

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/datetime.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/valtext.h>

#include <algorithm>

namespace {

const wxFont& PressureFont() {
    static const wxFont font(10, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD);
    return font;
}

const wxFont& CaptionFont() {
    static const wxFont font(9, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL);
    return font;
}

} // namespace

wxString StatusLine(const wxString& address, const wxString& port, const wxString& pressName) {
    return "IP: " + address + " - Port: " + port +
           " - Press: " + (pressName.empty() ? wxString("none") : pressName);
}

TerminalPanel::TerminalPanel(int W, int /*displayHeight*/)
    : wxPanel(MainWindow::GetInstance()->m_frame, ID_TERMINAL_PANEL, wxDefaultPosition,
              wxDefaultSize, wxTAB_TRAVERSAL, "BRNTerminalPanel") {
    m_alarmSound = std::make_unique<AlarmSound>(DataPath("icons/alarm.wav"));
    m_cycle.m_lastAlarm = m_systemClock.Now();

    CreatePlot(10, 50, W - 320, (W - 320) * 3 / 5, wxColour(255, 0, 0));
    BuildControls(W);

    m_renderTimer = std::make_unique<RenderTimer>(m_clockText, m_stopButton, m_recordingText);
    m_renderTimer->Start(1000, wxTIMER_CONTINUOUS);

    SetBackgroundColour(*wxWHITE);

    Bind(wxEVT_BUTTON, &TerminalPanel::OnConnect, this, ID_CONNECT);
    Bind(wxEVT_BUTTON, &TerminalPanel::OnDisconnect, this, ID_DISCONNECT);
    Bind(wxEVT_BUTTON, &TerminalPanel::OnStartStop, this, ID_START);
    Bind(wxEVT_BUTTON, &TerminalPanel::OnStartStop, this, ID_STOP);
    Bind(wxEVT_BUTTON, &TerminalPanel::OnPrintReport, this, ID_PRINT_REPORT);
    Bind(EVT_AUTOCONNECT, &TerminalPanel::OnConnect, this);
    Bind(EVT_LINK_LOST, &TerminalPanel::OnDisconnect, this);
    Bind(EVT_EDIT_PARAMETERS, &TerminalPanel::OnEditConnection, this);
    // Bound once for the panel's life, so every event runs its handler once.
    Bind(EVT_CONNECT_OK, &TerminalPanel::OnConnectOk, this);
    Bind(EVT_CONNECT_FAILED, &TerminalPanel::OnConnectFailed, this);
    Bind(EVT_RECORD_END, &TerminalPanel::OnRecordEnd, this);
}

TerminalPanel::~TerminalPanel() {
    if (m_renderTimer) m_renderTimer->Stop();
    EndLinkWorkers();
}

void TerminalPanel::BuildControls(int W) {
    m_statusText = new wxStaticText(this, wxID_ANY, "IP: none - Port: none - Press: none",
                                    wxPoint(W - 300, 55), wxSize(140, 20));
    m_connectButton = new wxBitmapButton(
        this, ID_CONNECT, wxBitmap(DataPath("icons/connectbtn.jpg"), wxBITMAP_TYPE_JPEG),
        wxPoint(W - 300, 80), wxSize(88, 25), wxBU_AUTODRAW);
    m_disconnectButton = new wxBitmapButton(
        this, ID_DISCONNECT, wxBitmap(DataPath("icons/disconnectbtn.jpg"), wxBITMAP_TYPE_JPEG),
        wxPoint(W - 205, 80), wxSize(88, 25), wxBU_AUTODRAW);
    m_disconnectButton->Disable();
    new wxStaticLine(this, wxID_ANY, wxPoint(W - 300, 115), wxSize(300, -1));

    m_startButton = new wxButton(this, ID_START, "Start", wxPoint(W - 300, 140), wxSize(120, 40));
    m_startButton->Disable();
    m_clockText = new wxStaticText(this, wxID_ANY, "", wxPoint(W - 170, 140), wxSize(120, 40),
                                   wxALIGN_CENTRE | wxST_NO_AUTORESIZE);
    // The longest date must fit on one line of the label, whatever the toolkit's
    // default font, or the time below it is cut off.
    for (int points = m_clockText->GetFont().GetPointSize(); points > 6; --points) {
        wxFont font = m_clockText->GetFont();
        font.SetPointSize(points);
        m_clockText->SetFont(font);
        if (m_clockText->GetTextExtent("September 30, 2026").x <= 116) break;
    }
    m_stopButton = new wxButton(this, ID_STOP, "Stop", wxPoint(W - 300, 185), wxSize(120, 40));
    m_stopButton->Disable();
    m_pressureText = new wxStaticText(this, wxID_ANY, "Pressure: none", wxPoint(W - 170, 185),
                                      wxSize(120, 40), wxALIGN_CENTRE | wxST_NO_AUTORESIZE);
    m_pressureText->SetFont(PressureFont());
    m_printButton =
        new wxButton(this, ID_PRINT_REPORT, "Print Report", wxPoint(W - 300, 230), wxSize(120, 40));
    m_printButton->Disable();
    m_recordingText =
        new wxStaticText(this, wxID_ANY, "Recording in progress...", wxPoint(W - 170, 230),
                         wxSize(120, 40), wxALIGN_CENTRE | wxST_NO_AUTORESIZE);
    m_recordingText->Hide();
    new wxStaticLine(this, wxID_ANY, wxPoint(W - 300, 285), wxSize(300, -1));

    auto caption = [&](const char* text, int y) {
        wxStaticText* label =
            new wxStaticText(this, wxID_ANY, text, wxPoint(W - 300, y), wxSize(-1, 30));
        label->SetFont(CaptionFont());
    };
    auto field = [&](int y) {
        return new wxTextCtrl(this, wxID_ANY, "", wxPoint(W - 135, y), wxSize(120, 30));
    };
    caption("Operator ID", 308);
    m_operatorId = field(300);
    caption("Axle designation", 343);
    m_axleDesignation = field(335);
    caption("Axle Mounting side", 378);
    m_mountingSides.Add("A");
    m_mountingSides.Add("B");
    m_mountingSide = new wxComboBox(this, wxID_ANY, "A", wxPoint(W - 135, 370), wxSize(40, 30),
                                    m_mountingSides, wxCB_READONLY);
    m_mountingSide->SetSelection(0);
    // Some toolkits need more than 40 pixels to show the chosen side at all.
    m_mountingSide->SetSize(wxSize(std::max(40, m_mountingSide->GetBestSize().x), 30));
    caption("Bearing designation", 413);
    m_bearingDesignation = field(405);
    caption("Bearing production date", 448);
    m_productionDate = field(440);
    caption("Bearing refurbishment date", 483);
    m_refurbishmentDate = field(475);
    new wxStaticLine(this, wxID_ANY, wxPoint(W - 300, 530), wxSize(300, -1));

    caption("Alarm Threshold (bar)", 550);
    m_alarmThreshold = new wxTextCtrl(this, wxID_ANY, "0", wxPoint(W - 135, 545), wxSize(120, 30),
                                      0, wxTextValidator(wxFILTER_NUMERIC));
    m_alarmThreshold->SetMaxLength(3);
    caption("Record Length (s)", 585);
    m_recordLength = new wxTextCtrl(this, wxID_ANY, "80", wxPoint(W - 135, 580), wxSize(120, 30), 0,
                                    wxTextValidator(wxFILTER_NUMERIC));
    m_recordLength->SetMaxLength(3);
}

void TerminalPanel::CreatePlot(int x, int y, int width, int height, const wxColour& colour) {
    m_plot = new mpWindow(this, wxID_ANY, wxPoint(x, y), wxSize(width, height), wxBORDER_SUNKEN);
    m_plot->SetColourTheme(*wxWHITE, *wxBLACK, wxColour(96, 96, 96));

    m_curve = new mpFXYVector(_(""), 0);
    m_curve->SetContinuity(true);
    m_curve->SetPen(wxPen(colour, 2, wxPENSTYLE_SOLID));
    m_curve->SetDrawOutsideMargins(false);

    wxFont axisFont(11, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL);
    m_xAxis = new mpScaleX("Time (s)", mpALIGN_BOTTOM, true, mpX_NORMAL);
    m_yAxis = new mpScaleY("Force (tons)", mpALIGN_LEFT, true);
    m_xAxis->SetFont(axisFont);
    m_yAxis->SetFont(axisFont);
    m_xAxis->SetDrawOutsideMargins(false);
    m_yAxis->SetDrawOutsideMargins(false);

    m_plot->SetMargins(10, 10, 50, 50);
    m_plot->AddLayer(m_xAxis, true);
    m_plot->AddLayer(m_yAxis, true);
    m_plot->AddLayer(m_curve, true);
    m_plot->EnableDoubleBuffer(true);
    m_plot->EnableMousePanZoom(true);
    m_plot->SetScrollbars(false);
    m_plot->Fit(0, 100, 0, 100);
    static_cast<mpScaleX*>(m_plot->GetLayer(0))->SetTicks(false);
    static_cast<mpScaleY*>(m_plot->GetLayer(1))->SetTicks(false);
}

//-----------------------------------------------------------------------------
// Recording cycle

void TerminalPanel::ProcessFrame(char* text, int length, int linkGeneration) {
    std::optional<int> value = DecodeReading(text, static_cast<size_t>(length));
    if (!value) return;
    const int bar = *value;
    CallAfter([this, bar, linkGeneration] {
        // A reading of a link that is closing or closed has no effect.
        if (!m_connected || !m_link || m_link->Generation() != linkGeneration) return;
        ApplyReading(bar);
    });
}

void TerminalPanel::ApplyReading(int bar) {
    m_pressureText->SetLabel(wxString::Format("Pressure: %d bar", bar));

    CycleInputs inputs;
    inputs.alarmThreshold = m_alarmThreshold->GetValue().ToStdWstring();
    inputs.recordLength = m_recordLength->GetValue().ToStdWstring();
    inputs.surface = MainWindow::GetInstance()->Surface(m_pressIndex);
    ReadingEffects fx = m_cycle.OnReading(bar, inputs);

    if (fx.recordingStarted) {
        m_renderTimer->StartCountdown();
        m_printButton->Enable();
    }
    if (fx.playAlarm) m_alarmSound->Play();
    if (fx.recordEnd) {
        PostRecordEnd();
        m_renderTimer->StopCountdown();
    }
    if (fx.appended && m_curve) {
        m_curve->SetData(m_cycle.m_times, m_cycle.m_forces);
        m_plot->Fit(0, fx.fitXMax, 0, fx.fitYMax);
    }
    if (m_readingObserver) m_readingObserver(bar);
}

void TerminalPanel::PostRecordEnd() {
    wxCommandEvent event = MakeProgramEvent(EVT_RECORD_END);
    event.SetInt(m_cycle.Generation());
    wxPostEvent(this, event);
}

void TerminalPanel::OnRecordEnd(wxCommandEvent& event) {
    // Record-end events queued by an earlier cycle, or after this one has
    // already ended, have nothing to end: one question per cycle.
    if (event.GetInt() != m_cycle.Generation()) return;
    if (!m_cycle.m_armed && !m_cycle.m_recording) return;
    OnStartStop(event);
}

void TerminalPanel::OnStartStop(wxCommandEvent& event) {
    const int id = event.GetId();
    if (id == ID_START) {
        m_cycle.Arm();
        m_startButton->Disable();
        m_stopButton->Enable();
        m_recordLength->Disable();
        return;
    }
    if (id != ID_STOP && id != EVT_RECORD_END) return;

    const bool wasRecording = m_cycle.Disarm();
    if (m_connected) m_startButton->Enable();
    m_stopButton->Disable();
    m_recordLength->Enable();

    wxDateTime now = wxDateTime::UNow();
    m_stopTime = now.Format("%X", wxDateTime::TimeZone(wxDateTime::Local));
    m_stopDate = now.Format("%Y%m%d", wxDateTime::TimeZone(wxDateTime::GMT1));

    if (!wasRecording) return;
    if (m_connected) {
        m_renderTimer->StopCountdown();
        ++m_reportQuestions;
        if (AskYesNo("Do you want to print a REPORT", "Print REPORT?")) CreateReport();
    } else {
        ShowError("Module disconnected. Please check the Wi-Fi connection and retry.");
    }
}
