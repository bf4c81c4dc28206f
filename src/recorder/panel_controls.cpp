#include "recorder/panel_controls.h"
#include "recorder/render_timer.h"

#include "plot/plot_canvas.h"
#include "recorder/events.h"
#include "recorder/panel_host.h"
#include "recorder/state_banner.h"
#include "records/recording.h"

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/gdicmn.h>
#include <wx/image.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/valtext.h>

#include <algorithm>

wxString StatusLine(const wxString& address, const wxString& port, const wxString& pressName) {
    const wxString none = _("none");
    return wxString::Format(_("IP: %s - Port: %s - Press: %s"), address.empty() ? none : address,
                            port.empty() ? none : port, pressName.empty() ? none : pressName);
}

namespace {

const wxFont& PressureFont() {
    static const wxFont font(10, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD);
    return font;
}

const wxFont& CaptionFont() {
    static const wxFont font(9, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL);
    return font;
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

/// A link button's picture: its word in the operator's language, white and
/// bold on the button's colour, as large as fits (the pictures on file
/// carried English words whatever the language).
wxImage WordPicture(const wxColour& colour, const wxString& word, const wxSize& size) {
    wxBitmap bitmap(size);
    {
        wxMemoryDC dc(bitmap);
        dc.SetBackground(wxBrush(colour));
        dc.Clear();
        wxFont font(12, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD);
        dc.SetFont(font);
        while (font.GetPointSize() > 6 && dc.GetTextExtent(word).x > size.x - 6) {
            font.SetPointSize(font.GetPointSize() - 1);
            dc.SetFont(font);
        }
        const wxSize text = dc.GetTextExtent(word);
        dc.SetTextForeground(*wxWHITE);
        dc.DrawText(word, (size.x - text.x) / 2, (size.y - text.y) / 2);
    }
    return bitmap.ConvertToImage();
}

/// The background of the field that has the keyboard's focus.
const wxColour kFocusColour(214, 230, 255);

} // namespace

void FitFont(wxWindow* label, const wxString& widest, int width) {
    for (int points = label->GetFont().GetPointSize(); points > 6; --points) {
        wxFont font = label->GetFont();
        font.SetPointSize(points);
        label->SetFont(font);
        if (label->GetTextExtent(widest).x <= width) break;
    }
}

int JobButtonHeight() {
    // 15 mm, for a gloved finger or a mouse pointer seen from a step away.
    int ppi = wxGetDisplayPPI().y;
    if (ppi < 72 || ppi > 400) ppi = 96;
    return std::max(40, (ppi * 15 * 10 + 253) / 254);
}

PanelControls BuildPanelControls(wxWindow* panel, int W, int H) {
    PanelControls c;
    // The banner's digits grow with the screen, to be read from two metres.
    c.banner = new StateBanner(panel, wxPoint(10, 2), W - 320, StateBanner::FigurePixelsFor(W, H));
    const int bannerHeight = c.banner->GetSize().y;
    // The curve is navy: red means alarm.
    c.plot = MakeRecordingPlot(panel, wxPoint(10, bannerHeight + 6),
                               wxSize(W - 320, (W - 320) * 3 / 5), kCurveColour);
    // Acknowledging a latched alarm: a button at the banner's right end (and Esc).
    c.acknowledgeButton =
        new wxButton(c.banner, wxID_ANY, _("Acknowledge (Esc)"),
                     wxPoint(W - 320 - StateBanner::kAcknowledgeWidth, 4),
                     wxSize(StateBanner::kAcknowledgeWidth - 6, bannerHeight - 8));
    c.acknowledgeButton->Hide();

    const int x0 = W - 300;
    // Long press names end in an ellipsis at the screen's edge; the whole line
    // is the tooltip.
    c.statusText = new wxStaticText(panel, wxID_ANY, StatusLine("", "", ""), wxPoint(x0, 55),
                                    wxSize(290, 20), wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    const wxImage connectPicture = WordPicture(wxColour(46, 125, 50), _("Connect"), wxSize(88, 25));
    const wxImage disconnectPicture =
        WordPicture(wxColour(198, 40, 40), _("Disconnect"), wxSize(88, 25));
    auto bitmapOf = [](const wxImage& picture) {
        return picture.IsOk() ? wxBitmap(picture) : wxBitmap(88, 25);
    };
    c.connectButton = new wxBitmapButton(panel, ID_CONNECT, bitmapOf(connectPicture),
                                         wxPoint(x0, 80), wxSize(88, 25), wxBU_AUTODRAW);
    c.disconnectButton = new wxBitmapButton(panel, ID_DISCONNECT, bitmapOf(disconnectPicture),
                                            wxPoint(W - 205, 80), wxSize(88, 25), wxBU_AUTODRAW);
    FitPicture(c.connectButton, connectPicture, wxSize(88, 25));
    FitPicture(c.disconnectButton, disconnectPicture, wxSize(88, 25));
    c.disconnectButton->Disable();
    c.connectButton->SetToolTip(_("Connect"));
    c.disconnectButton->SetToolTip(_("Disconnect"));

    // The press in use, large, with a choice of its own; filled with the
    // presses when the connection's settings are applied.
    c.pressChoice = new wxChoice(panel, wxID_ANY, wxPoint(x0, 112), wxSize(290, -1));
    c.pressChoice->SetFont(wxFont(16, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD));
    c.pressChoice->SetSize(wxSize(290, c.pressChoice->GetBestSize().y));
    c.pressChoice->SetToolTip(_("The press in use"));
    int y = c.pressChoice->GetPosition().y + c.pressChoice->GetSize().y + 4;
    c.programText = new wxStaticText(panel, wxID_ANY, "", wxPoint(x0, y), wxSize(290, 22),
                                     wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    c.programText->SetFont(wxFont(13, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD));
    y += 24;
    // The press's calibration when it asks for attention: not recorded, due
    // soon, overdue.
    c.calibrationText = new wxStaticText(panel, wxID_ANY, "", wxPoint(x0, y), wxSize(290, 20),
                                         wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    c.calibrationText->SetFont(
        wxFont(11, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD));
    y += 22;
    new wxStaticLine(panel, wxID_ANY, wxPoint(x0, y), wxSize(300, -1));
    y += 8;

    // Start, Stop and Print Report in one row, each at least 15 mm high.
    const int b = JobButtonHeight();
    const wxFont buttonFont(12, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD);
    auto button = [&](int id, const wxString& label, int x, int width) {
        auto* made = new wxButton(panel, id, label, wxPoint(x, y), wxSize(width, b));
        made->SetFont(buttonFont);
        made->Disable();
        return made;
    };
    c.startButton = button(ID_START, _("Start"), x0, 86);
    c.stopButton = button(ID_STOP, _("Stop"), x0 + 90, 86);
    c.printButton = button(ID_PRINT_REPORT, _("Print Report"), x0 + 180, 110);
    FitFont(c.printButton, c.printButton->GetLabel(), 100);
    c.startButton->SetToolTip("F5");
    c.stopButton->SetToolTip("F6");
    c.printButton->SetToolTip("F8");
    y += b + 6;

    c.clockText = new wxStaticText(panel, wxID_ANY, "", wxPoint(x0, y), wxSize(140, 40),
                                   wxALIGN_CENTRE | wxST_NO_AUTORESIZE);
    // The longest date must fit on one line of the label, whatever the toolkit's
    // default font, or the time below it is cut off.
    wxString longestDay;
    for (int month = 1; month <= 12; ++month) {
        const wxString day = ClockDay(2026, month, 30);
        if (c.clockText->GetTextExtent(day).x > c.clockText->GetTextExtent(longestDay).x)
            longestDay = day;
    }
    FitFont(c.clockText, longestDay, 136);
    c.pressureText = new wxStaticText(panel, wxID_ANY, _("Pressure: none"), wxPoint(x0 + 145, y),
                                      wxSize(145, 20), wxALIGN_CENTRE | wxST_NO_AUTORESIZE);
    c.pressureText->SetFont(PressureFont());
    FitFont(c.pressureText, wxString::Format(_("Pressure: %d bar"), 8888), 141);
    c.recordingText =
        new wxStaticText(panel, wxID_ANY, _("Recording in progress..."), wxPoint(x0 + 145, y + 20),
                         wxSize(145, 20), wxALIGN_CENTRE | wxST_NO_AUTORESIZE);
    FitFont(c.recordingText, c.recordingText->GetLabel(), 141);
    c.recordingText->Hide();
    // Where the recording notice blinks during a recording, the last one's
    // peak force and verdict stay until the next recording starts.
    c.peakText = new wxStaticText(panel, wxID_ANY, "", wxPoint(x0 + 145, y + 20), wxSize(145, 20),
                                  wxALIGN_CENTRE | wxST_NO_AUTORESIZE);
    c.peakText->SetFont(PressureFont());
    c.verdictText = new wxStaticText(panel, wxID_ANY, "", wxPoint(x0, y + 42), wxSize(290, 28),
                                     wxALIGN_CENTRE | wxST_NO_AUTORESIZE);
    c.verdictText->SetFont(wxFont(16, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD));
    y += 76;
    new wxStaticLine(panel, wxID_ANY, wxPoint(x0, y), wxSize(300, -1));
    y += 12;

    // A caption, and under it what is missing in its field.
    auto caption = [&](const wxString& text, int top) {
        wxStaticText* label =
            new wxStaticText(panel, wxID_ANY, text, wxPoint(x0, top), wxSize(-1, 30));
        label->SetFont(CaptionFont());
        FitFont(label, text, 160);                  // never into its field at W - 135
        label->SetSize(label->GetTextExtent(text)); // in the font it fits in
    };
    auto hint = [&](int top) {
        auto* text = new wxStaticText(panel, wxID_ANY, "", wxPoint(x0, top + 15), wxSize(160, 15),
                                      wxST_NO_AUTORESIZE);
        text->SetFont(CaptionFont());
        text->SetForegroundColour(wxColour(160, 0, 0));
        return text;
    };
    auto field = [&](int top, long style = 0) {
        auto* text =
            new wxTextCtrl(panel, wxID_ANY, "", wxPoint(W - 135, top), wxSize(120, 30), style);
        // Longer names overflow the page and the file system's names.
        text->SetMaxLength(kJobFieldMaxLength);
        return text;
    };
    caption(_("Operator ID"), y);
    c.operatorHint = hint(y);
    c.operatorId = field(y);
    y += 35;
    caption(_("Axle designation"), y);
    c.axleHint = hint(y);
    c.axleDesignation = field(y, wxTE_PROCESS_ENTER);
    y += 35;
    caption(_("Axle Mounting side"), y);
    c.mountingSides.Add("A");
    c.mountingSides.Add("B");
    c.mountingSide =
        new wxChoice(panel, wxID_ANY, wxPoint(W - 135, y), wxSize(40, 30), c.mountingSides);
    c.mountingSide->SetSelection(0);
    // Some toolkits need more than 40 pixels to show the chosen side at all.
    c.mountingSide->SetSize(wxSize(std::max(40, c.mountingSide->GetBestSize().x), 30));
    // A barcode scanner types the axle and Enter: on to the next field.
    c.axleDesignation->Bind(wxEVT_TEXT_ENTER,
                            [side = c.mountingSide](wxCommandEvent&) { side->SetFocus(); });
    y += 35;
    caption(_("Bearing designation"), y);
    c.bearingDesignation = field(y);
    y += 35;
    caption(_("Bearing production date"), y);
    c.productionDate = field(y);
    y += 35;
    caption(_("Bearing refurbishment date"), y);
    c.refurbishmentDate = field(y);
    y += 31;
    // What this axle side already had today: a re-mount never hides a FAIL.
    // Two short lines, so that the column still fits a 768-pixel screen.
    c.earlierText =
        new wxStaticText(panel, wxID_ANY, "", wxPoint(x0, y), wxSize(290, 22), wxST_NO_AUTORESIZE);
    c.earlierText->SetFont(wxFont(8, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD));
    c.earlierText->SetForegroundColour(wxColour(160, 0, 0));
    y += 23;
    new wxStaticLine(panel, wxID_ANY, wxPoint(x0, y), wxSize(300, -1));
    y += 12;

    caption(_("Alarm Threshold (bar)"), y);
    c.alarmThreshold = new wxTextCtrl(panel, wxID_ANY, "0", wxPoint(W - 135, y), wxSize(120, 30),
                                      wxTE_PROCESS_ENTER, wxTextValidator(wxFILTER_DIGITS));
    c.alarmThreshold->SetMaxLength(3);
    c.alarmOffText = new wxStaticText(panel, wxID_ANY, _("Alarm off"), wxPoint(x0, y + 15));
    c.alarmOffText->SetForegroundColour(wxColour(160, 0, 0));
    y += 35;
    caption(_("Record Length (s)"), y);
    c.lengthHint = hint(y);
    c.recordLength = new wxTextCtrl(panel, wxID_ANY, "80", wxPoint(W - 135, y), wxSize(120, 30), 0,
                                    wxTextValidator(wxFILTER_DIGITS));
    c.recordLength->SetMaxLength(3);
    y += 40;
    c.autoEndCheck = new wxCheckBox(panel, wxID_ANY, _("End 2 s after the pressure is released"),
                                    wxPoint(x0, y), wxSize(290, -1));
    c.autoEndCheck->SetValue(true);
    FitFont(c.autoEndCheck, c.autoEndCheck->GetLabel(), 260);

    // The field being typed in stands out, for a keyboard-only job.
    for (wxTextCtrl* text :
         {c.operatorId, c.axleDesignation, c.bearingDesignation, c.productionDate,
          c.refurbishmentDate, c.alarmThreshold, c.recordLength}) {
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
    return c;
}
