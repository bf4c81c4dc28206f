#include "recorder/recording_plot.h"

#include "station/report_data.h"

const wxColour kCurveColour(0, 50, 160);

#include "plot/plot_canvas.h"
#include "station/cycle.h"
#include "records/recording.h"

#include <wx/dcmemory.h>
#include <wx/intl.h>

#include <algorithm>
#include <cmath>

RecordingPlot MakeRecordingPlot(wxWindow* parent, const wxPoint& position, const wxSize& size,
                                const wxColour& curveColour) {
    RecordingPlot p;
    p.plot = new mpWindow(parent, wxID_ANY, position, size, wxBORDER_SUNKEN);
    p.plot->SetColourTheme(*wxWHITE, *wxBLACK, wxColour(96, 96, 96));

    p.curve = new mpFXYVector(wxEmptyString, 0);
    p.curve->SetContinuity(true);
    p.curve->SetPen(wxPen(curveColour, 2, wxPENSTYLE_SOLID));
    p.curve->SetDrawOutsideMargins(false);

    wxFont axisFont(11, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL);
    p.xAxis = new mpScaleX(_("Time (s)"), mpALIGN_BOTTOM, true, mpX_NORMAL);
    p.yAxis = new mpScaleY(_("Force (tons)"), mpALIGN_LEFT, true);
    p.xAxis->SetFont(axisFont);
    p.yAxis->SetFont(axisFont);
    p.xAxis->SetDrawOutsideMargins(false);
    p.yAxis->SetDrawOutsideMargins(false);

    // Margins wide enough for the widest label the axes can show, measured
    // with their font: a force label has up to four digits, a sign and two
    // decimals before it turns to an exponent; a time label is centred on its
    // tick, so the last one needs half its width right of the plot.
    wxBitmap scratch(8, 8);
    wxMemoryDC measure(scratch);
    measure.SetFont(axisFont);
    int forceWidth = 0;
    for (const char* widest : {"-8888.88", "-8.8e+88"})
        forceWidth = std::max(forceWidth, measure.GetTextExtent(widest).x);
    const int timeHalf = measure.GetTextExtent("8888").x / 2;
    p.plot->SetMargins(10, std::max(10, timeHalf + 4), 50, std::max(50, forceWidth + 10));
    p.plot->AddLayer(p.xAxis, true);
    p.plot->AddLayer(p.yAxis, true);
    p.thresholdLine = new mpHorizontalLine(wxPen(wxColour(230, 120, 0), 2, wxPENSTYLE_SHORT_DASH));
    p.thresholdLine->SetVisible(false);
    p.plot->AddLayer(p.thresholdLine, true);
    for (mpHorizontalLine** line : {&p.lowerLimitLine, &p.upperLimitLine}) {
        *line = new mpHorizontalLine(wxPen(wxColour(110, 0, 170), 2, wxPENSTYLE_LONG_DASH));
        (*line)->SetVisible(false);
        p.plot->AddLayer(*line, true);
    }
    // The criteria's lines in a muted teal, beneath the curve.
    const wxColour criteria(0, 128, 128);
    for (int k = 0; k < 6; ++k) {
        auto* box = new mpFXYVector(wxEmptyString, 0);
        box->SetContinuity(true);
        box->SetPen(wxPen(criteria, 2, wxPENSTYLE_SOLID));
        box->SetVisible(false);
        p.windows.push_back(box);
        p.plot->AddLayer(box, true);
    }
    p.holdLine = new mpHorizontalLine(wxPen(criteria, 2, wxPENSTYLE_DOT));
    p.holdLine->SetVisible(false);
    p.plot->AddLayer(p.holdLine, true);
    for (mpFXYVector** edge : {&p.envelopeLower, &p.envelopeUpper}) {
        *edge = new mpFXYVector(wxEmptyString, 0);
        (*edge)->SetContinuity(true);
        (*edge)->SetPen(wxPen(wxColour(120, 180, 180), 1, wxPENSTYLE_SOLID));
        (*edge)->SetVisible(false);
        p.plot->AddLayer(*edge, true);
    }
    p.plot->AddLayer(p.curve, true);
    p.plot->EnableDoubleBuffer(true);
    p.plot->EnableMousePanZoom(true);
    p.plot->SetScrollbars(false);
    p.plot->Fit(0, 100, 0, 100);
    p.xAxis->SetTicks(false);
    p.yAxis->SetTicks(false);
    return p;
}

void ShowLines(const RecordingPlot& p, int thresholdBar, double surface,
               const ForceLimits* limits) {
    const bool alarm = thresholdBar > 0 && std::isfinite(surface) && surface > 0;
    if (alarm) {
        const double tons = ForceTons(thresholdBar, surface);
        p.thresholdLine->SetValue(tons);
        p.thresholdLine->SetName(wxString::Format(_("Alarm %d bar = %.0f t"), thresholdBar, tons));
    }
    p.thresholdLine->SetVisible(alarm);
    if (limits) {
        p.lowerLimitLine->SetValue(limits->lowerTons);
        p.upperLimitLine->SetValue(limits->upperTons);
        p.lowerLimitLine->SetName(_("Lower ") + wxString::FromUTF8(CsvNumber(limits->lowerTons)) +
                                  " t");
        p.upperLimitLine->SetName(_("Upper ") + wxString::FromUTF8(CsvNumber(limits->upperTons)) +
                                  " t");
    }
    p.lowerLimitLine->SetVisible(limits != nullptr);
    p.upperLimitLine->SetVisible(limits != nullptr);
}

void ShowCriteria(const RecordingPlot& p, const Program* program, double riseStart) {
    size_t boxes = 0;
    bool hold = false, envelope = false;
    for (const Criterion& c : program ? program->criteria : std::vector<Criterion>()) {
        if (c.kind == CriterionKind::Window && boxes < p.windows.size()) {
            const double a = riseStart + c.fromSeconds, b = riseStart + c.toSeconds;
            p.windows[boxes]->SetData({a, b, b, a, a},
                                      {c.minTons, c.minTons, c.maxTons, c.maxTons, c.minTons});
            p.windows[boxes]->SetVisible(true);
            ++boxes;
        } else if (c.kind == CriterionKind::Hold && !hold) {
            hold = true;
            p.holdLine->SetValue(c.aboveTons);
            p.holdLine->SetName(wxString::Format(_("Hold %s t for %s s"),
                                                 wxString::FromUTF8(CsvNumber(c.aboveTons)),
                                                 wxString::FromUTF8(CsvNumber(c.minSeconds))));
        } else if (c.kind == CriterionKind::Envelope && !c.envelope.empty()) {
            envelope = true;
            std::vector<double> t, lower, upper;
            for (const EnvelopePoint& e : c.envelope) {
                t.push_back(riseStart + e.seconds);
                lower.push_back(e.lowerTons);
                upper.push_back(e.upperTons);
            }
            p.envelopeLower->SetData(t, lower);
            p.envelopeUpper->SetData(t, upper);
        }
    }
    for (size_t k = boxes; k < p.windows.size(); ++k)
        p.windows[k]->SetVisible(false);
    p.holdLine->SetVisible(hold);
    p.envelopeLower->SetVisible(envelope);
    p.envelopeUpper->SetVisible(envelope);
}

double FitTons(double peakTons, double upperLimitTons) {
    double top = peakTons + peakTons * 20 / 100;
    if (!(top > 0)) top = 100;
    return std::max(top, upperLimitTons * 1.1);
}

wxImage RecordingPicture(wxWindow* parent, const Recording& recording, const wxSize& size,
                         const wxColour& curveColour) {
    RecordingPlot p = MakeRecordingPlot(parent, wxPoint(0, 0), size, curveColour);
    p.plot->Hide();
    p.curve->SetData(recording.times, recording.forces);
    const RecordingSetup& setup = recording.setup;
    ForceLimits limits;
    const bool peak =
        PeakLimitsOf(setup.program.get(), setup.hasLimits ? &setup.limits : nullptr, limits);
    ShowLines(p, setup.alarmThresholdBar, setup.surface, peak ? &limits : nullptr);
    ShowCriteria(p, setup.program.get(),
                 RiseStart(ViewOf(recording.times, recording.forces, &recording.pressures)));
    const RecordingResults results = recording.Results();
    const wxImage picture = p.plot->RenderImage(
        size, 0, FitSeconds(recording.LastTime()), 0,
        FitTons(results.any ? results.peakForceTons : 0, peak ? limits.upperTons : 0));
    p.plot->Destroy();
    return picture;
}
