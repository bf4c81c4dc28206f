// The terminal panel's controls and where they stand: the banner and the plot
// on the left, and in a column along the right edge the link's status and
// buttons, the press, the job's buttons, the clock and the live pressure, the
// job's fields and the two recording settings. Built once; the panel fills
// and enables them.
#pragma once

#include "recorder/recording_plot.h"

#include <wx/arrstr.h>

class wxStaticText;
class wxBitmapButton;
class wxButton;
class wxTextCtrl;
class wxChoice;
class wxCheckBox;
class StateBanner;

struct PanelControls {
    StateBanner* banner = nullptr;
    wxButton* acknowledgeButton = nullptr; ///< on the banner, while an alarm is latched
    RecordingPlot plot;
    wxStaticText* statusText = nullptr;
    wxBitmapButton* connectButton = nullptr;
    wxBitmapButton* disconnectButton = nullptr;
    wxChoice* pressChoice = nullptr; ///< the press in use, large
    /// The mounting program the typed bearing is judged by, large, or why
    /// it cannot be mounted.
    wxStaticText* programText = nullptr;
    wxStaticText* calibrationText = nullptr;
    wxButton* startButton = nullptr;
    wxButton* stopButton = nullptr;
    wxButton* printButton = nullptr;
    wxStaticText* clockText = nullptr;
    wxStaticText* pressureText = nullptr;
    wxStaticText* recordingText = nullptr; ///< blinks while a recording runs
    /// The last recording's peak force and verdict, until the next one starts.
    wxStaticText* peakText = nullptr;
    wxStaticText* verdictText = nullptr;
    wxTextCtrl* operatorId = nullptr;
    wxTextCtrl* axleDesignation = nullptr;
    wxArrayString mountingSides;
    wxChoice* mountingSide = nullptr;
    wxTextCtrl* bearingDesignation = nullptr;
    wxTextCtrl* productionDate = nullptr;
    wxTextCtrl* refurbishmentDate = nullptr;
    wxTextCtrl* alarmThreshold = nullptr;
    /// "Alarm off", "No sound device", or the threshold against the limits.
    wxStaticText* alarmOffText = nullptr;
    wxTextCtrl* recordLength = nullptr;
    /// Beside the fields Start needs: what is missing in them.
    wxStaticText* operatorHint = nullptr;
    wxStaticText* axleHint = nullptr;
    wxStaticText* lengthHint = nullptr;
    wxStaticText* earlierText = nullptr; ///< the axle side's recordings earlier today
    /// The recording ends 2 s after the pressure is released (on by default).
    wxCheckBox* autoEndCheck = nullptr;
};

/// The presses a choice offers at most.
constexpr long kPressChoices = 10;

/// Every control of the panel, laid out for a display `W` x `H` pixels.
PanelControls BuildPanelControls(wxWindow* panel, int W, int H);

/// The height of the job's buttons: 15 mm on this screen.
int JobButtonHeight();

/// Shrinks the label's font, from its own size down to 6 points, until
/// `widest` fits in `width` pixels on one line.
void FitFont(wxWindow* label, const wxString& widest, int width);

/// "IP: <address> - Port: <port> - Press: <name>"; "none" for what is missing.
wxString StatusLine(const wxString& address, const wxString& port, const wxString& pressName);
