#include "recorder/terminal_panel.h"

#include "records/integrity.h"

#include "plot/plot_canvas.h"
#include "recorder/alarm.h"
#include "records/file_access.h"
#include "recorder/limits.h"
#include "recorder/recording_plot.h"
#include "recorder/local_time.h"
#include "recorder/render_timer.h"
#include "recorder/report_data.h"
#include "recorder/state_banner.h"
#include "records/plant_sender.h"
#include "records/record_writer.h"
#include "recorder/events.h"
#include "recorder/messages.h"
#include "recorder/translate.h"
#include "recorder/typed_number.h"

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/gdicmn.h>
#include <wx/dcclient.h>
#include <wx/combobox.h>
#include <wx/datetime.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>
#include <wx/valtext.h>

#include <algorithm>
#include <cmath>

namespace {

const wxFont& PressureFont() {
    static const wxFont font(10, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD);
    return font;
}

const wxFont& CaptionFont() {
    static const wxFont font(9, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL);
    return font;
}

/// Shrinks the label's font, from its own size down to 6 points, until `widest`
/// fits in `width` pixels on one line.
void FitFont(wxWindow* label, const wxString& widest, int width) {
    for (int points = label->GetFont().GetPointSize(); points > 6; --points) {
        wxFont font = label->GetFont();
        font.SetPointSize(points);
        label->SetFont(font);
        if (label->GetTextExtent(widest).x <= width) break;
    }
}

/// The button's picture scaled, keeping its proportions, to what the button
/// shows inside its frame at `size`.
void FitPicture(wxBitmapButton* button, const wxImage& picture, const wxSize& size) {
    if (!picture.IsOk()) return;
    const wxSize frame = button->GetBestSize() - wxSize(picture.GetWidth(), picture.GetHeight());
    const double scale = std::min(1.0, std::min(double(size.x - frame.x) / picture.GetWidth(),
                                                double(size.y - frame.y) / picture.GetHeight()));
    if (scale >= 1.0 || scale <= 0.2) return;
    button->SetBitmap(wxBitmap(picture.Scale(
        int(picture.GetWidth() * scale), int(picture.GetHeight() * scale), wxIMAGE_QUALITY_HIGH)));
    button->SetSize(size);
}

/// The background of the field that has the keyboard's focus.
const wxColour kFocusColour(214, 230, 255);

} // namespace

wxString StatusLine(const wxString& address, const wxString& port, const wxString& pressName) {
    return "IP: " + address + " - Port: " + port +
           " - Press: " + (pressName.empty() ? wxString("none") : pressName);
}

TerminalPanel::TerminalPanel(wxWindow* parent, PanelHost& host, int W, int H)
    : wxPanel(parent, ID_TERMINAL_PANEL, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL,
              "BRNTerminalPanel"),
      m_host(host) {
    m_alarmSound = std::make_unique<AlarmSound>(m_host.DataFile("icons/alarm.wav"));

    // The banner's digits grow with the screen, to be read from two metres.
    m_banner = new StateBanner(this, wxPoint(10, 2), W - 320, StateBanner::FigurePixelsFor(W, H));
    const int bannerHeight = m_banner->GetSize().y;
    // The curve is navy: red means alarm.
    CreatePlot(10, bannerHeight + 6, W - 320, (W - 320) * 3 / 5, kCurveColour);
    // Acknowledging a latched alarm: a button at the banner's right end and Esc.
    m_acknowledgeButton =
        new wxButton(m_banner, wxID_ANY, _("Acknowledge (Esc)"),
                     wxPoint(W - 320 - StateBanner::kAcknowledgeWidth, 4),
                     wxSize(StateBanner::kAcknowledgeWidth - 6, bannerHeight - 8));
    m_acknowledgeButton->Hide();
    m_acknowledgeButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { AcknowledgeAlarm(); });
    // The keys of a job without the mouse: Esc acknowledges the alarm, F5
    // starts, F6 stops, F8 writes the report, each only when its button may.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_ESCAPE && AcknowledgeAlarm()) return;
        for (const auto& [key, button] :
             {std::make_pair(WXK_F5, m_startButton), std::make_pair(WXK_F6, m_stopButton),
              std::make_pair(WXK_F8, m_printButton)})
            if (event.GetKeyCode() == key && button->IsEnabled()) {
                wxCommandEvent click(wxEVT_BUTTON, button->GetId());
                click.SetEventObject(button);
                button->ProcessWindowEvent(click);
                return;
            }
        event.Skip();
    });
    m_thresholds = ReadThresholds(kThresholdsFile);
    BuildControls(W);
    UpdateThresholdLine();
    UpdateLimitLines();
    FitIdleTimeAxis();
    UpdateStartButton();
    m_bannerTimer.SetOwner(this);
    Bind(
        wxEVT_TIMER, [this](wxTimerEvent&) { RefreshBanner(); }, m_bannerTimer.GetId());
    m_bannerTimer.Start(250);
    // The plot takes the height down to the panel's bottom, keeping a
    // 10-pixel gap there: on screens tall for their width (1280 x 1024,
    // 1024 x 768) the room under it is curve, not empty.
    Bind(wxEVT_SIZE, [this, W](wxSizeEvent& event) {
        event.Skip();
        const int room = GetClientSize().y - m_plot->GetPosition().y - 10;
        const int height = room > 100 ? room : (W - 320) * 3 / 5;
        if (m_plot->GetSize().y != height) m_plot->SetSize(wxSize(W - 320, height));
    });

    m_renderTimer =
        std::make_unique<RenderTimer>(*this, m_clockText, m_stopButton, m_recordingText);
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
    Bind(EVT_RECORD_END, &TerminalPanel::OnRecordEnd, this);
    m_reconnectTimer.SetOwner(this);
    Bind(wxEVT_TIMER, &TerminalPanel::OnReconnectTimer, this, m_reconnectTimer.GetId());
}

TerminalPanel::~TerminalPanel() {
    // What is still queued for the store is written before anything goes;
    // what waits for the plant server stays in the store's outbox.
    m_recordWriter.reset();
    m_plantSender.reset();
    if (m_renderTimer) m_renderTimer->Stop();
    m_reconnectTimer.Stop();
    m_bannerTimer.Stop();
    // Every worker ends here, before anything they report to is gone.
    m_connectThread.reset();
    m_link.reset();
    m_closing.clear();
    if (m_cycle.m_recording)
        m_journal.Close("program closed");
    else
        m_journal.Discard();
}

int TerminalPanel::ButtonHeight() const {
    // 15 mm, for a gloved finger or a mouse pointer seen from a step away.
    int ppi = wxGetDisplayPPI().y;
    if (ppi < 72 || ppi > 400) ppi = 96;
    return std::max(40, (ppi * 15 * 10 + 253) / 254);
}

void TerminalPanel::BuildControls(int W) {
    const int x0 = W - 300;
    // Long press names end in an ellipsis at the screen's edge; the whole line
    // is the tooltip.
    m_statusText =
        new wxStaticText(this, wxID_ANY, "IP: none - Port: none - Press: none", wxPoint(x0, 55),
                         wxSize(290, 20), wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    const wxImage connectPicture(m_host.DataFile("icons/connectbtn.jpg"), wxBITMAP_TYPE_JPEG);
    const wxImage disconnectPicture(m_host.DataFile("icons/disconnectbtn.jpg"), wxBITMAP_TYPE_JPEG);
    // Without its picture file a button is blank, not an assertion box.
    auto bitmapOf = [](const wxImage& picture) {
        return picture.IsOk() ? wxBitmap(picture) : wxBitmap(88, 25);
    };
    m_connectButton = new wxBitmapButton(this, ID_CONNECT, bitmapOf(connectPicture),
                                         wxPoint(x0, 80), wxSize(88, 25), wxBU_AUTODRAW);
    m_disconnectButton = new wxBitmapButton(this, ID_DISCONNECT, bitmapOf(disconnectPicture),
                                            wxPoint(W - 205, 80), wxSize(88, 25), wxBU_AUTODRAW);
    FitPicture(m_connectButton, connectPicture, wxSize(88, 25));
    FitPicture(m_disconnectButton, disconnectPicture, wxSize(88, 25));
    m_disconnectButton->Disable();

    // The press in use, large, with a choice of its own.
    // Filled with the presses when the connection's settings are applied.
    m_pressChoice = new wxChoice(this, wxID_ANY, wxPoint(x0, 112), wxSize(290, -1));
    m_pressChoice->SetFont(wxFont(16, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD));
    m_pressChoice->SetSize(wxSize(290, m_pressChoice->GetBestSize().y));
    m_pressChoice->SetToolTip(_("The press in use"));
    m_pressChoice->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        const int chosen = m_pressChoice->GetSelection();
        if (chosen < 0 || chosen == m_pressIndex) return;
        if (!m_host.SelectPress(static_cast<unsigned>(chosen)))
            m_pressChoice->SetSelection(m_pressIndex); // refused: as it was
    });
    int y = m_pressChoice->GetPosition().y + m_pressChoice->GetSize().y + 8;
    new wxStaticLine(this, wxID_ANY, wxPoint(x0, y), wxSize(300, -1));
    y += 8;

    // Start, Stop and Print Report in one row, each at least 15 mm high.
    const int b = ButtonHeight();
    const wxFont buttonFont(12, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD);
    auto button = [&](int id, const wxString& label, int x, int width) {
        auto* made = new wxButton(this, id, label, wxPoint(x, y), wxSize(width, b));
        made->SetFont(buttonFont);
        made->Disable();
        return made;
    };
    m_startButton = button(ID_START, _("Start"), x0, 86);
    m_stopButton = button(ID_STOP, _("Stop"), x0 + 90, 86);
    m_printButton = button(ID_PRINT_REPORT, _("Print Report"), x0 + 180, 110);
    FitFont(m_printButton, m_printButton->GetLabel(), 100);
    m_startButton->SetToolTip("F5");
    m_stopButton->SetToolTip("F6");
    m_printButton->SetToolTip("F8");
    y += b + 6;

    m_clockText = new wxStaticText(this, wxID_ANY, "", wxPoint(x0, y), wxSize(140, 40),
                                   wxALIGN_CENTRE | wxST_NO_AUTORESIZE);
    // The longest date must fit on one line of the label, whatever the toolkit's
    // default font, or the time below it is cut off.
    FitFont(m_clockText, "September 30, 2026", 136);
    m_pressureText = new wxStaticText(this, wxID_ANY, _("Pressure: none"), wxPoint(x0 + 145, y),
                                      wxSize(145, 20), wxALIGN_CENTRE | wxST_NO_AUTORESIZE);
    m_pressureText->SetFont(PressureFont());
    FitFont(m_pressureText, wxString::Format(_("Pressure: %d bar"), 8888), 141);
    m_recordingText =
        new wxStaticText(this, wxID_ANY, _("Recording in progress..."), wxPoint(x0 + 145, y + 20),
                         wxSize(145, 20), wxALIGN_CENTRE | wxST_NO_AUTORESIZE);
    FitFont(m_recordingText, m_recordingText->GetLabel(), 141);
    m_recordingText->Hide();
    // Where the recording notice blinks during a recording, the last one's
    // peak force and verdict stay until the next recording starts.
    m_peakText = new wxStaticText(this, wxID_ANY, "", wxPoint(x0 + 145, y + 20), wxSize(145, 20),
                                  wxALIGN_CENTRE | wxST_NO_AUTORESIZE);
    m_peakText->SetFont(PressureFont());
    m_verdictText = new wxStaticText(this, wxID_ANY, "", wxPoint(x0, y + 42), wxSize(290, 28),
                                     wxALIGN_CENTRE | wxST_NO_AUTORESIZE);
    m_verdictText->SetFont(wxFont(16, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD));
    y += 76;
    new wxStaticLine(this, wxID_ANY, wxPoint(x0, y), wxSize(300, -1));
    y += 12;

    // A caption, and under it what is missing in its field.
    auto caption = [&](const wxString& text, int top) {
        wxStaticText* label =
            new wxStaticText(this, wxID_ANY, text, wxPoint(x0, top), wxSize(-1, 30));
        label->SetFont(CaptionFont());
        FitFont(label, text, 160);                  // never into its field at W - 135
        label->SetSize(label->GetTextExtent(text)); // in the font it fits in
    };
    auto hint = [&](int top) {
        auto* text = new wxStaticText(this, wxID_ANY, "", wxPoint(x0, top + 15), wxSize(160, 15),
                                      wxST_NO_AUTORESIZE);
        text->SetFont(CaptionFont());
        text->SetForegroundColour(wxColour(160, 0, 0));
        return text;
    };
    auto field = [&](int top, long style = 0) {
        auto* text =
            new wxTextCtrl(this, wxID_ANY, "", wxPoint(W - 135, top), wxSize(120, 30), style);
        // Longer names overflow the page and the file system's names.
        text->SetMaxLength(kJobFieldMaxLength);
        return text;
    };
    caption(_("Operator ID"), y);
    m_operatorHint = hint(y);
    m_operatorId = field(y);
    y += 35;
    caption(_("Axle designation"), y);
    m_axleHint = hint(y);
    m_axleDesignation = field(y, wxTE_PROCESS_ENTER);
    // A barcode scanner types the axle and Enter: on to the next field.
    m_axleDesignation->Bind(wxEVT_TEXT_ENTER,
                            [this](wxCommandEvent&) { m_mountingSide->SetFocus(); });
    y += 35;
    caption(_("Axle Mounting side"), y);
    m_mountingSides.Add("A");
    m_mountingSides.Add("B");
    m_mountingSide =
        new wxChoice(this, wxID_ANY, wxPoint(W - 135, y), wxSize(40, 30), m_mountingSides);
    m_mountingSide->SetSelection(0);
    // Some toolkits need more than 40 pixels to show the chosen side at all.
    m_mountingSide->SetSize(wxSize(std::max(40, m_mountingSide->GetBestSize().x), 30));
    y += 35;
    caption(_("Bearing designation"), y);
    m_bearingDesignation = field(y);
    y += 35;
    caption(_("Bearing production date"), y);
    m_productionDate = field(y);
    y += 35;
    caption(_("Bearing refurbishment date"), y);
    m_refurbishmentDate = field(y);
    y += 40;
    new wxStaticLine(this, wxID_ANY, wxPoint(x0, y), wxSize(300, -1));
    y += 12;

    caption(_("Alarm Threshold (bar)"), y);
    m_alarmThreshold = new wxTextCtrl(this, wxID_ANY, "0", wxPoint(W - 135, y), wxSize(120, 30), 0,
                                      wxTextValidator(wxFILTER_DIGITS));
    m_alarmThreshold->SetMaxLength(3);
    m_alarmOffText = new wxStaticText(this, wxID_ANY, _("Alarm off"), wxPoint(x0, y + 15));
    m_alarmOffText->SetForegroundColour(wxColour(160, 0, 0));
    m_alarmThreshold->Bind(wxEVT_TEXT, [this](wxCommandEvent& event) {
        event.Skip();
        UpdateThresholdLine();
    });
    m_alarmThreshold->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        event.Skip();
        KeepThreshold();
    });
    y += 35;
    caption(_("Record Length (s)"), y);
    m_lengthHint = hint(y);
    m_recordLength = new wxTextCtrl(this, wxID_ANY, "80", wxPoint(W - 135, y), wxSize(120, 30), 0,
                                    wxTextValidator(wxFILTER_DIGITS));
    m_recordLength->SetMaxLength(3);
    y += 40;
    m_autoEndCheck = new wxCheckBox(this, wxID_ANY, _("End 2 s after the pressure is released"),
                                    wxPoint(x0, y), wxSize(290, -1));
    m_autoEndCheck->SetValue(true);
    FitFont(m_autoEndCheck, m_autoEndCheck->GetLabel(), 260);
    m_autoEndCheck->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) {
        m_host.KeepEndWhenReleased(m_autoEndCheck->GetValue());
    });

    // Start waits for what a report cannot be without, and says what.
    for (wxTextCtrl* required : {m_operatorId, m_axleDesignation, m_recordLength})
        required->Bind(wxEVT_TEXT, [this](wxCommandEvent& event) {
            event.Skip();
            UpdateStartButton();
        });
    // Before the first recording the time axis shows the length set.
    m_recordLength->Bind(wxEVT_TEXT, [this](wxCommandEvent& event) {
        event.Skip();
        FitIdleTimeAxis();
    });
    // The field being typed in stands out, for a keyboard-only job.
    for (wxTextCtrl* text :
         {m_operatorId, m_axleDesignation, m_bearingDesignation, m_productionDate,
          m_refurbishmentDate, m_alarmThreshold, m_recordLength}) {
        text->Bind(wxEVT_SET_FOCUS, [text](wxFocusEvent& event) {
            event.Skip();
            text->SetBackgroundColour(kFocusColour);
            text->Refresh();
        });
        text->Bind(wxEVT_KILL_FOCUS, [text](wxFocusEvent& event) {
            event.Skip();
            text->SetBackgroundColour(wxNullColour);
            text->Refresh();
        });
    }
}

std::string TerminalPanel::MissingForStart(std::string* operatorHint, std::string* axleHint,
                                           std::string* lengthHint) const {
    const bool noOperator = m_operatorId->GetValue().Strip(wxString::both).empty();
    const bool noAxle = m_axleDesignation->GetValue().Strip(wxString::both).empty();
    int seconds = 0;
    const bool badLength =
        !ParseRecordLength(m_recordLength->GetValue().ToStdWstring(), seconds, nullptr);
    if (operatorHint) *operatorHint = noOperator ? Tr("required for Start") : "";
    if (axleHint) *axleHint = noAxle ? Tr("required for Start") : "";
    if (lengthHint) *lengthHint = badLength ? Tr("1 to 999 s") : "";
    if (noOperator) return Tr("the operator ID");
    if (noAxle) return Tr("the axle designation");
    if (badLength) return Tr("a record length of 1 to 999 s");
    return "";
}

int TerminalPanel::IdleSeconds() const {
    int seconds = 0;
    return ParseRecordLength(m_recordLength->GetValue().ToStdWstring(), seconds, nullptr) ? seconds
                                                                                          : 100;
}

void TerminalPanel::FitIdleTimeAxis() {
    if (m_fitX > 0 || m_cycle.m_armed || m_cycle.m_recording) return; // a curve is shown
    m_plot->Fit(0, IdleSeconds(), 0, m_plotTop);
}

void TerminalPanel::UpdateStartButton() {
    std::string operatorHint, axleHint, lengthHint;
    const std::string missing = MissingForStart(&operatorHint, &axleHint, &lengthHint);
    m_operatorHint->SetLabel(wxString::FromUTF8(operatorHint));
    m_axleHint->SetLabel(wxString::FromUTF8(axleHint));
    m_lengthHint->SetLabel(wxString::FromUTF8(lengthHint));
    const bool idle = !m_cycle.m_armed && !m_cycle.m_recording;
    m_startButton->Enable(m_connected && idle && missing.empty());
    m_startButton->SetToolTip(
        missing.empty() ? wxString("F5")
                        : wxString::FromUTF8("F5 \xE2\x80\x94 " + Tr("Start needs ") + missing));
}

void TerminalPanel::UpdateThresholdLine() {
    // While a cycle runs, what it was started with; else what is set now.
    const bool running = m_cycle.m_armed || m_cycle.m_recording;
    const int threshold = running ? m_setup.alarmThresholdBar
                                  : LeadingInt(m_alarmThreshold->GetValue().ToStdWstring());
    const double surface = running ? m_setup.surface : m_host.Surface(m_pressIndex);
    const bool on = threshold > 0 && std::isfinite(surface) && surface > 0;
    if (on) {
        m_thresholdLine->SetValue(ForceTons(threshold, surface));
        m_thresholdLine->SetName(
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
        note = against.find("above") != std::string::npos ? _("Above upper limit")
                                                          : _("Below lower limit");
    m_alarmOffText->SetLabel(note);
    m_alarmOffText->SetToolTip(m_soundFailed ? wxString("The alarm sound cannot be played: the "
                                                        "alarm is shown on the screen only.")
                                             : wxString::FromUTF8(against));
    m_alarmOffText->Show(!note.empty());
    m_thresholdLine->SetVisible(on);
    m_plot->Refresh(false);
}

void TerminalPanel::KeepThreshold() {
    if (m_cycle.m_armed || m_cycle.m_recording) return;
    const std::string press(m_host.PressName(m_pressIndex).utf8_str());
    if (press.empty()) return;
    const int bar = LeadingInt(m_alarmThreshold->GetValue().ToStdWstring());
    const auto kept = m_thresholds.find(press);
    if (kept != m_thresholds.end() && kept->second == bar) return;
    if (kept == m_thresholds.end() && bar <= 0) return;
    m_thresholds[press] = bar;
    std::string why;
    if (!WriteThresholds(kThresholdsFile, m_thresholds, &why))
        fprintf(stderr, "%s cannot be written: %s\n", kThresholdsFile, why.c_str());
}

bool TerminalPanel::AcknowledgeAlarm() {
    const std::string who = m_cycle.m_armed || m_cycle.m_recording
                                ? m_setup.job.operatorId
                                : std::string(m_operatorId->GetValue().utf8_str());
    if (!m_alarmWatch.Acknowledge(m_clock->Now().seconds, who)) return false;
    m_acknowledgeButton->Hide();
    RefreshBanner();
    return true;
}

const ForceLimits* TerminalPanel::ShownLimits() const {
    if (m_cycle.m_armed || m_cycle.m_recording)
        return m_setup.hasLimits ? &m_setup.limits : nullptr;
    return m_host.Limits(m_pressIndex);
}

void TerminalPanel::UpdateLimitLines() {
    const ForceLimits* limits = ShownLimits();
    if (limits) {
        m_lowerLimitLine->SetValue(limits->lowerTons);
        m_upperLimitLine->SetValue(limits->upperTons);
        m_lowerLimitLine->SetName(_("Lower ") + wxString::FromUTF8(CsvNumber(limits->lowerTons)) +
                                  " t");
        m_upperLimitLine->SetName(_("Upper ") + wxString::FromUTF8(CsvNumber(limits->upperTons)) +
                                  " t");
    }
    m_lowerLimitLine->SetVisible(limits != nullptr);
    m_upperLimitLine->SetVisible(limits != nullptr);
    // Refitted only when the limits move the axis's top, so the operator's
    // view stays as it was otherwise.
    const double top = PlotTop(m_fitY > 0 ? m_fitY : 100);
    if (top == m_plotTop) {
        m_plot->Refresh(false);
        return;
    }
    m_plotTop = top;
    m_plot->Fit(0, m_fitX > 0 ? m_fitX : IdleSeconds(), 0, top);
}

double TerminalPanel::PlotTop(double fittedTop) const {
    const ForceLimits* limits = ShownLimits();
    return limits ? std::max(fittedTop, limits->upperTons * 1.1) : fittedTop;
}

BannerInputs TerminalPanel::BannerState() const {
    BannerInputs in;
    if (m_connected)
        in.link = LinkPhase::Connected;
    else if (m_reconnecting)
        in.link = LinkPhase::Reconnecting;
    else if (m_connectThread)
        in.link = LinkPhase::Connecting;
    in.address = std::string(AddressText().utf8_str());
    in.reconnectAttempt = m_reconnectAttempt;
    in.haveReading = m_haveReading;
    in.bar = m_lastBar;
    const bool running = m_cycle.m_armed || m_cycle.m_recording;
    in.surface = running ? m_setup.surface : m_host.Surface(m_pressIndex);
    in.armed = m_cycle.m_armed;
    in.recording = m_cycle.m_recording && !m_cycle.m_lengthReached;
    if (in.recording) in.secondsLeft = m_renderTimer->SecondsShown();
    in.alarmThreshold =
        running ? m_setup.alarmThresholdBar : LeadingInt(m_alarmThreshold->GetValue());
    in.journalProblem = m_journal.IsOpen() ? m_journal.Problem() : "";
    in.storeProblem = m_storeProblem;
    in.alarmAbove = m_connected && m_alarmWatch.Above();
    in.alarmLatched = m_connected && m_alarmWatch.Latched();
    if (const AlarmRecord* alarm = m_alarmWatch.Last()) in.alarm = *alarm;
    if (in.alarmLatched)
        in.aboveThresholdMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - m_alarmSince)
                .count();
    in.done = m_done;
    in.lowSinceDone = m_lowSinceDone;
    in.results = m_doneResults;
    in.judgement = m_doneJudgement;
    in.incomplete = m_doneIncomplete;
    return in;
}

void TerminalPanel::RefreshBanner() {
    m_banner->SetBanner(ComposeBanner(BannerState()));
}

void TerminalPanel::CreatePlot(int x, int y, int width, int height, const wxColour& colour) {
    const RecordingPlot p = MakeRecordingPlot(this, wxPoint(x, y), wxSize(width, height), colour);
    m_plot = p.plot;
    m_xAxis = p.xAxis;
    m_yAxis = p.yAxis;
    m_thresholdLine = p.thresholdLine;
    m_lowerLimitLine = p.lowerLimitLine;
    m_upperLimitLine = p.upperLimitLine;
    m_curve = p.curve;
}

//-----------------------------------------------------------------------------
// Recording cycle

void TerminalPanel::ApplyReadings(const std::vector<Reading>& readings) {
    if (readings.empty()) return;
    m_readingsApplied += static_cast<long long>(readings.size());

    CycleInputs inputs;
    inputs.recordLengthSeconds = m_setup.recordLengthSeconds;
    inputs.surface = m_setup.surface;
    inputs.endWhenReleased = m_endWhenReleased;

    // Read once a batch, not once a reading: the field, and the wall clock
    // for the dates an alarm keeps (a batch spans milliseconds).
    const int typedThreshold = LeadingInt(m_alarmThreshold->GetValue().ToStdWstring());
    const int64_t now = m_clock->Now().seconds;

    size_t firstNew = m_cycle.m_times.size();
    bool restarted = false, appended = false;
    double fitX = m_fitX, fitY = m_fitY;
    for (const Reading& reading : readings) {
        ReadingEffects fx = m_cycle.OnReading(reading.bar, reading.arrival, inputs);
        if (fx.recordingStarted) {
            restarted = true;
            firstNew = 0;
            m_done = false;
            m_peakText->SetLabel("");
            m_verdictText->SetLabel("");
            m_renderTimer->StartCountdown();
            m_printButton->Enable();
            m_journal.AppendLine(JournalStartLine(m_cycle.m_recordStartWall.seconds));
            m_alarmWatch.BeginRecording();
        }
        // The alarm watches every reading, whether a recording runs or not.
        const int threshold =
            m_cycle.m_armed || m_cycle.m_recording ? m_setup.alarmThresholdBar : typedThreshold;
        const double seconds =
            m_cycle.m_recording
                ? std::chrono::duration<double>(reading.arrival - m_cycle.m_recordStart).count()
                : -1;
        const bool wasLatched = m_alarmWatch.Latched();
        const AlarmWatch::Step alarm =
            m_alarmWatch.OnReading(reading.bar, threshold, reading.arrival, now, seconds);
        if (m_alarmWatch.Latched() && !wasLatched) m_alarmSince = reading.arrival;
        if (alarm.sound && !m_alarmSound->Play() && !m_soundFailed) {
            m_soundFailed = true; // said once, beside the threshold
            fprintf(stderr, "The alarm sound cannot be played.\n");
            UpdateThresholdLine();
        }
        if (fx.recordEnd) {
            PostRecordEnd();
            m_renderTimer->StopCountdown();
        }
        if (fx.appended) {
            appended = true;
            fitX = fx.fitXMax;
            fitY = fx.fitYMax;
        }
    }
    m_pressureText->SetLabel(wxString::Format(_("Pressure: %d bar"), readings.back().bar));
    m_haveReading = true;
    m_lastBar = readings.back().bar;
    for (const Reading& reading : readings)
        if (reading.bar <= 4) m_lowSinceDone = true;
    m_acknowledgeButton->Show(m_alarmWatch.Latched());
    RefreshBanner();

    const auto& times = m_cycle.m_times;
    if (appended) {
        for (size_t i = firstNew; i < times.size(); ++i)
            m_journal.Append(times[i], m_cycle.m_forces[i], m_cycle.m_pressures[i]);
        m_journal.FlushIfDue(SteadyClock::now());
    }
    if (appended && m_curve) {
        if (restarted)
            m_curve->SetData(times, m_cycle.m_forces);
        else
            m_curve->AppendData(times.data() + firstNew, m_cycle.m_forces.data() + firstNew,
                                times.size() - firstNew);
        if (fitX != m_fitX || fitY != m_fitY) {
            m_fitX = fitX;
            m_fitY = fitY;
            m_plotTop = PlotTop(fitY);
            m_plot->Fit(0, fitX, 0, m_plotTop);
        } else {
            m_plot->Refresh(false);
        }
    }
    if (m_readingObserver)
        for (const Reading& reading : readings)
            m_readingObserver(reading.bar);
}

std::string TerminalPanel::ReportDirectory() const {
    wxString directory = m_host.ReportDirectory();
    return std::string(directory.empty() ? "." : directory.utf8_str());
}

bool TerminalPanel::TakeSetup(RecordingSetup& setup, std::string* why) const {
    setup = RecordingSetup();
    JobData& job = setup.job;
    job.operatorId = m_operatorId->GetValue().utf8_str();
    job.axleDesignation = m_axleDesignation->GetValue().utf8_str();
    const int side = m_mountingSide->GetSelection();
    job.mountingSide = (side >= 0 && side < static_cast<int>(m_mountingSides.size()))
                           ? m_mountingSides[side].utf8_str()
                           : "A";
    job.bearingDesignation = m_bearingDesignation->GetValue().utf8_str();
    job.productionDate = m_productionDate->GetValue().utf8_str();
    job.refurbishmentDate = m_refurbishmentDate->GetValue().utf8_str();
    setup.pressName = m_host.PressName(m_pressIndex).utf8_str();
    setup.surface = m_host.Surface(m_pressIndex);
    if (const ForceLimits* limits = m_host.Limits(m_pressIndex)) {
        setup.hasLimits = true;
        setup.limits = *limits;
        m_host.LimitsSet(m_pressIndex, &setup.limitsSetAt, &setup.limitsSetBy);
    }
    setup.moduleAddress = AddressText().utf8_str();
    setup.armedAt = m_clock->Now().seconds;
    setup.version = kProgramVersion;
    setup.uuid = NewRecordingId();
    setup.pcName = wxGetHostName().utf8_str();

    if (!(std::isfinite(setup.surface) && setup.surface > 0)) {
        if (why)
            *why = "The press \"" + setup.pressName +
                   "\" has no valid surface in superfici.ini, so no force can be recorded. "
                   "Enter its surface in cm\xC2\xB2 (a number above 0) in superfici.ini and "
                   "start the program again.";
        return false;
    }
    std::string reason;
    if (!ParseRecordLength(m_recordLength->GetValue().ToStdWstring(), setup.recordLengthSeconds,
                           &reason) ||
        !ParseAlarmThreshold(m_alarmThreshold->GetValue().ToStdWstring(), setup.alarmThresholdBar,
                             &reason) ||
        (setup.hasLimits && !ValidLimits(setup.limits, &reason))) {
        if (why) *why = reason;
        return false;
    }
    return true;
}

bool TerminalPanel::OpenJournal(std::string* why) {
    return m_journal.Open(ReportDirectory(), FileStamp(m_setup.armedAt), JournalHeader(m_setup),
                          SteadyClock::now(), why);
}

Recording TerminalPanel::CurrentRecording() const {
    Recording r;
    r.setup = m_setup;
    r.times = m_cycle.m_times;
    r.forces = m_cycle.m_forces;
    r.pressures = m_cycle.m_pressures;
    r.startedAt = m_cycle.m_recordStartWall.seconds;
    r.stoppedAt = m_stoppedAt;
    r.incomplete = m_cycle.IncompleteText();
    r.startNote = m_cycle.StartNote();
    r.alarms = m_alarmWatch.RecordingAlarms();
    if (!m_journal.Problem().empty())
        r.journalProblem =
            "the journal of this recording could not be written (" + m_journal.Problem() + ")";
    return r;
}

void TerminalPanel::LockSetupFields(bool locked) {
    for (wxWindow* field : std::initializer_list<wxWindow*>{
             m_operatorId, m_axleDesignation, m_mountingSide, m_bearingDesignation,
             m_productionDate, m_refurbishmentDate, m_alarmThreshold, m_recordLength, m_pressChoice,
             m_autoEndCheck})
        field->Enable(!locked);
}

void TerminalPanel::PostRecordEnd(RecordEnd why) {
    wxCommandEvent event = MakeProgramEvent(EVT_RECORD_END);
    event.SetInt(m_cycle.Generation());
    event.SetExtraLong(static_cast<long>(why));
    wxPostEvent(this, event);
}

void TerminalPanel::OnRecordEnd(wxCommandEvent& event) {
    // Record-end events queued by an earlier cycle, or after this one has
    // already ended, have nothing to end: one question per cycle.
    if (event.GetInt() != m_cycle.Generation()) return;
    if (!m_cycle.m_armed && !m_cycle.m_recording) return;
    FinishCycle(static_cast<RecordEnd>(event.GetExtraLong()), true);
}

void TerminalPanel::OnCountdownEnded() {
    // The recording ends with the sample that reaches its length; the
    // countdown ends it only when readings no longer come.
    if (!m_cycle.m_recording || m_cycle.m_lengthReached) return;
    if (SteadyClock::now() - m_cycle.m_lastSampleArrival > std::chrono::seconds(1))
        PostRecordEnd(RecordEnd::ReadingsStopped);
}

void TerminalPanel::EndForExit() {
    if (m_cycle.m_armed || m_cycle.m_recording) FinishCycle(RecordEnd::ProgramClosed, false);
}

void TerminalPanel::OnStartStop(wxCommandEvent& event) {
    const int id = event.GetId();
    if (id == ID_START) {
        if (m_cycle.m_armed || m_cycle.m_recording) return;
        // Everything the report will say is fixed here.
        std::string why;
        RecordingSetup setup;
        if (!TakeSetup(setup, &why)) {
            ShowError(wxString::FromUTF8(why));
            return;
        }
        m_setup = setup;
        m_endWhenReleased = m_autoEndCheck->GetValue();
        // A recording that could not be kept through a crash is not started.
        if (!OpenJournal(&why)) {
            ShowError("The recording cannot start: its journal cannot be written in the folder " +
                      wxString::FromUTF8(ReportDirectory()) + "/recordings (" +
                      wxString::FromUTF8(why) +
                      wxString::FromUTF8(").\nChoose another folder with Modify \xE2\x86\x92 "
                                         "Change PDF Directory, or free the disk."));
            return;
        }
        m_cycle.Arm();
        m_startButton->Disable();
        m_stopButton->Enable();
        LockSetupFields(true);
        UpdateThresholdLine();
        UpdateLimitLines();
        RefreshBanner();
        return;
    }
    if (id == ID_STOP) FinishCycle(RecordEnd::Operator, true);
}

void TerminalPanel::FinishCycle(RecordEnd why, bool ask) {
    const bool wasRecording = m_cycle.Disarm(why);
    UpdateStartButton();
    m_stopButton->Disable();
    LockSetupFields(false);
    m_stoppedAt = m_clock->Now().seconds;
    UpdateThresholdLine();
    UpdateLimitLines();

    RefreshBanner();
    if (!wasRecording) {
        m_journal.Discard(); // armed, but nothing was recorded
        return;
    }
    m_renderTimer->StopCountdown();
    // The whole curve across the width, also when it ended before its length.
    m_fitX = FitSeconds(m_cycle.LastTime());
    m_plot->Fit(0, m_fitX, 0, m_plotTop);
    // An alarm of this recording still latched is acknowledged before the
    // recording is kept, so the page and the store say when and by whom.
    const std::vector<AlarmRecord> alarms = m_alarmWatch.RecordingAlarms();
    if (ask && m_alarmWatch.Latched() && !alarms.empty()) {
        ShowInfo("ALARM during this recording: " + wxString::FromUTF8(AlarmText(alarms.back())) +
                     ".\nPress OK to acknowledge it.",
                 "Alarm");
        AcknowledgeAlarm();
    }
    m_lastRecording = CurrentRecording();
    // What its CSV file will hold is fixed now; the store and the page both
    // carry its hash.
    m_lastRecording->csvSha256 = Sha256Hex(CurveCsvText(*m_lastRecording));
    // Kept before the report question: answering No loses nothing.
    StoreRecording(*m_lastRecording, m_lastRecording->incomplete.empty()
                                         ? RecordStatus::Complete
                                         : RecordStatus::Incomplete);
    const std::string incomplete = m_lastRecording->incomplete;
    m_done = true;
    m_lowSinceDone = false;
    m_doneResults = m_lastRecording->Results();
    m_doneJudgement = m_lastRecording->Judged();
    m_peakText->SetLabel(wxString::Format(_("Peak %.1f t"), m_doneResults.peakForceTons));
    // INCOMPLETE is a word of its own, never folded into FAIL.
    m_doneIncomplete = !incomplete.empty();
    m_verdictText->SetLabel(m_doneIncomplete                           ? _("INCOMPLETE")
                            : m_doneJudgement.verdict == Verdict::Pass ? _("PASS")
                            : m_doneJudgement.verdict == Verdict::Fail ? _("FAIL")
                                                                       : wxString());
    m_verdictText->SetFont(wxFont(16, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD));
    FitFont(m_verdictText, m_verdictText->GetLabel(), 116);
    m_verdictText->SetForegroundColour(m_doneIncomplete ? wxColour(170, 100, 0)
                                       : m_doneJudgement.verdict == Verdict::Pass
                                           ? wxColour(0, 140, 60)
                                           : wxColour(200, 0, 0));
    RefreshBanner();
    m_journal.Close(!incomplete.empty() ? incomplete
                    : !m_cycle.EndText().empty()
                        ? m_cycle.EndText()
                        : "completed at " + CsvNumber(m_cycle.LastTime()) + " s");
    if (!m_journal.Problem().empty())
        m_lastRecording->journalProblem =
            "the journal of this recording could not be written (" + m_journal.Problem() + ")";
    if (!ask) {
        if (why == RecordEnd::Disconnected)
            ShowError("Module disconnected. Please check the Wi-Fi connection and retry.");
        return;
    }
    if (m_connected) {
        ++m_reportQuestions;
        if (AskYesNo(ReportQuestion(m_lastRecording->setup.job), _("Print REPORT?")))
            CreateReport();
    } else {
        ShowError("Module disconnected. Please check the Wi-Fi connection and retry.");
    }
}

void TerminalPanel::OpenRecordStore(const std::string& path, const std::string& plantServer) {
    // The writer first: it nudges the sender.
    m_recordWriter.reset();
    m_plantSender.reset();
    m_storeLock.reset();
    m_storePath = path;
    m_plantServer = plantServer;
    m_storeProblem.clear();
    std::string why;
    // One program writes a store: a second one, from another working
    // directory, is told instead of mixing its recordings in.
    m_storeLock = std::make_unique<FileLock>();
    if (!m_storeLock->Acquire(path + ".lock", &why)) {
        m_storeLock.reset();
        CallAfter([this, why] { OnStoreFailed(why); });
        return;
    }
    std::unique_ptr<RecordStore> store = RecordStore::Open(path, &why);
    if (!store) {
        CallAfter([this, why] { OnStoreFailed(why); });
        return;
    }
    store->QueueForPlant(!plantServer.empty());
    m_recordWriter = std::make_unique<RecordWriter>(std::move(store));
    if (plantServer.empty()) return;
    m_plantSender =
        std::make_unique<PlantSender>(path, plantServer, [this](const PlantSendStatus& status) {
            const std::string waiting = WaitingText(status);
            const wxString text = wxString::FromUTF8(
                waiting.empty() ? "No recording waiting for the plant server" : waiting);
            CallAfter([this, text] { m_host.ShowPlantStatus(text); });
        });
}

void TerminalPanel::StoreRecording(const Recording& recording, RecordStatus status) {
    if (!m_recordWriter) return;
    Recording stored = recording;
    if (stored.csvSha256.empty()) stored.csvSha256 = Sha256Hex(CurveCsvText(stored));
    m_recordWriter->Post(
        [stored = std::move(stored), status](RecordStore& store, std::string* why) {
            return store.Add(stored, status, nullptr, why);
        },
        [this](bool ok, const std::string& why) {
            if (!ok) CallAfter([this, why] { OnStoreFailed(why); });
            // On the writer's thread, which ends before the sender does.
            if (ok && m_plantSender) m_plantSender->Nudge();
        });
}

void TerminalPanel::FlushRecordStore() {
    if (m_recordWriter) m_recordWriter->Drain();
}

void TerminalPanel::OnStoreFailed(const std::string& why) {
    const bool told = !m_storeProblem.empty();
    m_storeProblem = why.empty() ? "cannot be written" : why;
    RefreshBanner();
    if (told) return;
    ShowError("The record store " + wxString::FromUTF8(m_storePath) +
              " cannot be used: " + wxString::FromUTF8(m_storeProblem) +
              ".\nRecordings are still kept in their journals and CSV files.");
}

void TerminalPanel::ReportInterruptedJournals() {
    std::vector<std::string> found = FindInterruptedJournals(ReportDirectory());
    wxString text;
    for (const std::string& path : found) {
        // Armed when the program ended, nothing recorded: nothing to tell.
        if (!JournalHasRecording(path)) {
            RemovePath(path);
            continue;
        }
        // Kept in the store, marked interrupted, with what the journal holds.
        Recording recording;
        if (ReadJournal(path, recording)) {
            if (recording.setup.uuid.empty()) recording.setup.uuid = NewRecordingId();
            char ended[80];
            std::snprintf(ended, sizeof ended, "interrupted at %.1f s (the program ended)",
                          recording.LastTime());
            recording.incomplete = ended;
            StoreRecording(recording, RecordStatus::Interrupted);
        }
        MarkJournalInterrupted(path);
        if (!text.empty()) text += "\n";
        text += "The recording of " + wxString::FromUTF8(JournalStartText(path)) +
                " was interrupted; its data is in " + wxString::FromUTF8(path) + ".";
    }
    if (!text.empty()) ShowInfo(text, "Interrupted recording");
}
