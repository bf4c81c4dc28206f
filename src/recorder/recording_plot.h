// The force-time plot of a recording: the canvas with its axes, the alarm
// threshold's line, the two limit lines and the curve. The panel shows the
// live recording on one; the report draws a recording that ended on another,
// never shown, so a page always shows its own recording's curve and lines.
#pragma once

#include <wx/colour.h>
#include <wx/gdicmn.h>
#include <wx/image.h>

#include <vector>

class wxWindow;
class mpWindow;
class mpFXYVector;
class mpHorizontalLine;
class mpScaleX;
class mpScaleY;
struct Recording;
struct ForceLimits;
struct Program;
struct RecordingPlot;

/// The threshold and limit lines of a plot, shown with their values and
/// named on the plot ("Alarm 300 bar = 383 t", "Upper 420 t", "Lower 350 t");
/// hidden when there is no threshold (0) or no limits (null).
void ShowLines(const RecordingPlot& plot, int thresholdBar, double surface,
               const ForceLimits* limits);

/// The recorded curve's colour on screen and on the page: navy, as red
/// means alarm.
extern const wxColour kCurveColour;

struct RecordingPlot {
    mpWindow* plot = nullptr;
    mpScaleX* xAxis = nullptr;
    mpScaleY* yAxis = nullptr;
    mpHorizontalLine* thresholdLine = nullptr;
    mpHorizontalLine* lowerLimitLine = nullptr;
    mpHorizontalLine* upperLimitLine = nullptr;
    /// What the program's criteria draw, under the curve: its windows as
    /// boxes, the hold's force, the envelope's two edges.
    std::vector<mpFXYVector*> windows;
    mpHorizontalLine* holdLine = nullptr;
    mpFXYVector* envelopeLower = nullptr;
    mpFXYVector* envelopeUpper = nullptr;
    mpFXYVector* curve = nullptr;
};

/// Shows what the criteria of `program` draw, `riseStart` seconds into the
/// curve (the criteria count from the start of the rise); nothing for null.
/// Windows beyond the plot's boxes are not drawn.
void ShowCriteria(const RecordingPlot& plot, const Program* program, double riseStart = 0);

/// The canvas as a child of `parent` with every layer; the lines hidden, the
/// view 0 to 100 s and 0 to 100 t.
RecordingPlot MakeRecordingPlot(wxWindow* parent, const wxPoint& position, const wxSize& size,
                                const wxColour& curveColour);

/// The view's top for a peak of `peakTons` and an upper limit (0 for none):
/// room above the peak, and the upper limit always on the plot.
double FitTons(double peakTons, double upperLimitTons);

/// The whole curve of `recording` with its threshold and limits, at `size`.
wxImage RecordingPicture(wxWindow* parent, const Recording& recording, const wxSize& size,
                         const wxColour& curveColour);
