#include "recorder/statistics_window.h"

#include "recorder/date_field.h"

#include "plant/plant_queries.h"
#include "plot/plot_canvas.h"
#include "page/report_page.h"
#include "recorder/messages.h"
#include "recorder/report.h"
#include "records/file_access.h"
#include "station/report_data.h"
#include "records/integrity.h"
#include "station/local_time.h"
#include "station/translate.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/utils.h>
#include <wx/display.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

const wxColour kPoint(20, 40, 120), kFlagged(200, 0, 0), kControl(0, 130, 60), kLimit(110, 0, 170),
    kEwma(230, 120, 0);

wxString Figure(double value, int decimals) {
    return std::isfinite(value) ? wxString::Format("%.*f", decimals, value)
                                : wxString("\xE2\x80\x94");
}

bool Tons(wxString text, double& value) {
    text.Trim(true).Trim(false);
    text.Replace(",", ".");
    const std::string digits(text.utf8_str());
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return !digits.empty() && ec == std::errc() && end == digits.data() + digits.size();
}

mpHorizontalLine* Line(mpWindow* plot, const wxColour& colour, wxPenStyle style) {
    auto* line = new mpHorizontalLine(wxPen(colour, 2, style));
    line->SetVisible(false);
    plot->AddLayer(line, false);
    return line;
}

} // namespace

StatisticsWindow::StatisticsWindow(wxWindow* parent, std::unique_ptr<RecordStore> store,
                                   const MountingFilter& start, const std::string& plantConnection,
                                   bool plant, const PanelHost* host)
    : wxDialog(parent, wxID_ANY, _("Statistics"), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER | wxMAXIMIZE_BOX),
      m_store(std::move(store)), m_plantConnection(plantConnection), m_host(host) {
    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);
    wxBoxSizer* filters = new wxBoxSizer(wxHORIZONTAL);
    auto label = [&](const wxString& text) {
        filters->Add(new wxStaticText(this, wxID_ANY, text), 0,
                     wxALIGN_CENTRE_VERTICAL | wxLEFT | wxRIGHT, 5);
    };
    if (!m_plantConnection.empty()) {
        m_scope = new wxChoice(this, wxID_ANY);
        m_scope->Append(_("This PC"));
        m_scope->Append(_("Plant"));
        m_scope->SetSelection(plant ? 1 : 0);
        m_scope->SetToolTip(_("Plant: the recordings of every PC on the plant server, whose "
                              "statistics the server computes."));
        filters->Add(m_scope, 0, wxALIGN_CENTRE_VERTICAL | wxRIGHT, 6);
        m_pc = new wxChoice(this, wxID_ANY);
        m_pc->Append(_("All PCs"));
        m_pc->SetSelection(0);
        filters->Add(m_pc, 0, wxALIGN_CENTRE_VERTICAL | wxRIGHT, 6);
    }
    label(_("Bearing"));
    m_bearing = new wxTextCtrl(this, wxID_ANY, wxString::FromUTF8(start.bearing), wxDefaultPosition,
                               wxSize(FromDIP(150), -1));
    m_bearing->SetToolTip(_("The designation, letters without case; * any characters, ? one."));
    filters->Add(m_bearing, 0, wxALIGN_CENTRE_VERTICAL);
    label(_("Press"));
    m_press = new wxChoice(this, wxID_ANY);
    m_press->Append(_("All presses"));
    for (const std::string& press : m_store->Presses())
        m_press->Append(wxString::FromUTF8(press));
    if (!m_press->SetStringSelection(wxString::FromUTF8(start.press))) m_press->SetSelection(0);
    filters->Add(m_press, 0, wxALIGN_CENTRE_VERTICAL);
    label(_("From"));
    m_from = new DateField(this, start.from);
    filters->Add(m_from, 0, wxALIGN_CENTRE_VERTICAL);
    label(_("to"));
    m_until = new DateField(this, start.until ? start.until - 1 : 0);
    filters->Add(m_until, 0, wxALIGN_CENTRE_VERTICAL);
    label(_("Limits (t)"));
    m_lower = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxSize(FromDIP(60), -1));
    m_upper = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxSize(FromDIP(60), -1));
    m_lower->SetToolTip(_("Empty: the limits the recordings were judged by."));
    filters->Add(m_lower, 0, wxALIGN_CENTRE_VERTICAL | wxRIGHT, 4);
    filters->Add(m_upper, 0, wxALIGN_CENTRE_VERTICAL);
    column->Add(filters, 0, wxALL, 8);

    wxBoxSizer* middle = new wxBoxSizer(wxHORIZONTAL);
    wxBoxSizer* left = new wxBoxSizer(wxVERTICAL);
    wxFont big = GetFont();
    big.SetPointSize(big.GetPointSize() + 1);
    m_counts = new wxStaticText(this, wxID_ANY, "");
    m_figures = new wxStaticText(this, wxID_ANY, "");
    m_figures->SetFont(
        wxFont(big.GetPointSize(), wxFONTFAMILY_TELETYPE, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL));
    m_counts->SetFont(big);
    m_notes = new wxStaticText(this, wxID_ANY, "");
    m_notes->SetForegroundColour(wxColour(170, 90, 0));
    left->Add(m_counts, 0, wxBOTTOM, 10);
    left->Add(m_figures, 0, wxBOTTOM, 10);
    left->Add(m_notes, 0);
    middle->Add(left, 0, wxALL, 8);
    wxBoxSizer* charts = new wxBoxSizer(wxVERTICAL);
    m_individuals = MakeChart(_("Mounting (recording order)"), _("Peak force (t)"));
    m_ranges = MakeChart(_("Mounting (recording order)"), _("Moving range (t)"));
    m_histogram = MakeChart(_("Peak force (t)"), _("Mountings"));
    m_restChart = MakeChart(_("Mounting (recording order)"), _("Pressure at rest (bar)"));
    charts->Add(m_individuals, 3, wxEXPAND | wxBOTTOM, 4);
    wxBoxSizer* lower = new wxBoxSizer(wxHORIZONTAL);
    lower->Add(m_ranges, 1, wxEXPAND | wxRIGHT, 4);
    lower->Add(m_histogram, 1, wxEXPAND | wxRIGHT, 4);
    lower->Add(m_restChart, 1, wxEXPAND);
    charts->Add(lower, 2, wxEXPAND);
    middle->Add(charts, 1, wxEXPAND | wxALL, 8);
    column->Add(middle, 1, wxEXPAND);
    wxBoxSizer* buttons = new wxBoxSizer(wxHORIZONTAL);
    if (m_host) {
        auto* page = new wxButton(this, wxID_ANY, TrW("Export page\xE2\x80\xA6"));
        page->SetToolTip(_("The figures and charts as a PDF page for the review or the audit, "
                           "with the data they come from as a CSV file beside it."));
        page->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ExportPage(""); });
        buttons->Add(page, 0, wxALIGN_CENTRE_VERTICAL);
    }
    buttons->AddStretchSpacer();
    buttons->Add(DialogButtons(this, wxCLOSE), 0);
    column->Add(buttons, 0, wxALL | wxEXPAND, 8);
    SetSizer(column);

    // The individuals chart: limits, control lines, the EWMA, the points.
    m_lowerLimit = Line(m_individuals, kLimit, wxPENSTYLE_LONG_DASH);
    m_upperLimit = Line(m_individuals, kLimit, wxPENSTYLE_LONG_DASH);
    m_centre = Line(m_individuals, kControl, wxPENSTYLE_SOLID);
    m_lowerControl = Line(m_individuals, kControl, wxPENSTYLE_SHORT_DASH);
    m_upperControl = Line(m_individuals, kControl, wxPENSTYLE_SHORT_DASH);
    for (mpFXYVector** run : {&m_runLow, &m_runHigh}) {
        *run = new mpFXYVector();
        (*run)->SetContinuity(true);
        (*run)->SetPen(wxPen(wxColour(150, 170, 220), 1));
        m_individuals->AddLayer(*run, false);
    }
    m_ewma = new mpFXYVector(_("EWMA"));
    m_ewma->SetContinuity(true);
    m_ewma->SetPen(wxPen(kEwma, 2));
    m_individuals->AddLayer(m_ewma, false);
    m_points = new mpMarkers(3);
    m_points->SetPen(wxPen(kPoint));
    m_points->SetBrush(wxBrush(kPoint));
    m_individuals->AddLayer(m_points, false);
    m_flagged = new mpMarkers(5);
    m_flagged->SetPen(wxPen(kFlagged, 2));
    m_flagged->SetBrush(wxBrush(kFlagged));
    m_individuals->AddLayer(m_flagged, false);
    m_rangeCentre = Line(m_ranges, kControl, wxPENSTYLE_SOLID);
    m_rangeUpper = Line(m_ranges, kControl, wxPENSTYLE_SHORT_DASH);
    m_rangePoints = new mpMarkers(2);
    m_rangePoints->SetPen(wxPen(kPoint));
    m_rangePoints->SetBrush(wxBrush(kPoint));
    m_ranges->AddLayer(m_rangePoints, false);
    m_restPoints = new mpMarkers(2);
    m_restPoints->SetPen(wxPen(kPoint));
    m_restPoints->SetBrush(wxBrush(kPoint));
    m_restChart->AddLayer(m_restPoints, false);
    m_restEwma = new mpFXYVector(_("EWMA"));
    m_restEwma->SetContinuity(true);
    m_restEwma->SetPen(wxPen(kEwma, 2));
    m_restChart->AddLayer(m_restEwma, false);
    m_bars = new mpBars();
    m_bars->SetPen(wxPen(kPoint));
    m_bars->SetBrush(wxBrush(wxColour(150, 170, 220)));
    m_histogram->AddLayer(m_bars, false);
    for (mpFXYVector*& line : m_histogramLimits) {
        line = new mpFXYVector();
        line->SetContinuity(true);
        line->SetPen(wxPen(kLimit, 2, wxPENSTYLE_LONG_DASH));
        line->SetVisible(false);
        m_histogram->AddLayer(line, false);
    }

    const int display = parent ? wxDisplay::GetFromWindow(parent) : wxNOT_FOUND;
    const wxRect screen =
        wxDisplay(display == wxNOT_FOUND ? 0u : unsigned(display)).GetClientArea();
    SetSize(wxSize(screen.width * 95 / 100, screen.height * 90 / 100));
    Centre();
    m_bearing->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { Refresh(); });
    m_press->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { Refresh(); });
    for (DateField* date : {m_from, m_until})
        BindDateField(date, [this] { Refresh(); });
    for (wxTextCtrl* limit : {m_lower, m_upper})
        limit->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { Refresh(); });
    for (wxChoice* choice : {m_scope, m_pc})
        if (choice) choice->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { Refresh(); });
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Destroy(); }, wxID_CLOSE);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Destroy(); });
    SetEscapeId(wxID_CLOSE);
    Refresh();
}

StatisticsWindow::~StatisticsWindow() {
    ++m_ticket; // an answer still on its way is not shown
    m_plantQueries.reset();
}

bool StatisticsWindow::PlantScope() const {
    return m_scope && m_scope->GetSelection() == 1;
}

mpWindow* StatisticsWindow::MakeChart(const wxString& xLabel, const wxString& yLabel) {
    auto* plot = new mpWindow(this, wxID_ANY, wxDefaultPosition, wxSize(200, 150), wxBORDER_SUNKEN);
    plot->SetColourTheme(*wxWHITE, *wxBLACK, wxColour(160, 160, 160));
    wxFont axisFont(10, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL);
    auto* x = new mpScaleX(xLabel, mpALIGN_BOTTOM, true, mpX_NORMAL);
    auto* y = new mpScaleY(yLabel, mpALIGN_LEFT, true);
    x->SetFont(axisFont);
    // The axis's name under its labels, clear of the points and bars.
    x->SetDrawOutsideMargins(false);
    y->SetFont(axisFont);
    plot->SetMargins(10, 20, 48, 70);
    plot->AddLayer(x, false);
    plot->AddLayer(y, false);
    return plot;
}

void StatisticsWindow::Refresh() {
    MountingFilter filter;
    wxString bearing = m_bearing->GetValue();
    filter.bearing = bearing.Trim(true).Trim(false).utf8_str();
    if (m_press->GetSelection() > 0) filter.press = m_press->GetStringSelection().utf8_str();
    // A date that is none is told in its field; the figures wait for it.
    wxString problem;
    if (!DayRange(m_from, m_until, &filter.from, &filter.until, &problem)) {
        m_notes->SetLabel(problem);
        return;
    }
    ForceLimits given;
    const bool haveLimits = Tons(m_lower->GetValue(), given.lowerTons) &&
                            Tons(m_upper->GetValue(), given.upperTons) &&
                            ValidLimits(given, nullptr);
    if (m_pc) m_pc->Enable(PlantScope());
    m_filter = filter;
    const int ticket = ++m_ticket;
    if (!PlantScope()) {
        m_asking = false;
        ShowFigures(StatisticsOf(*m_store, filter, haveLimits ? &given : nullptr));
        return;
    }
    if (!m_plantQueries) m_plantQueries = std::make_unique<PlantQueries>(m_plantConnection);
    const std::string pc =
        m_pc->GetSelection() > 0 ? std::string(m_pc->GetStringSelection().utf8_str()) : "";
    m_asking = true;
    m_notes->SetLabel(TrW("Asking the plant server\xE2\x80\xA6"));
    m_plantQueries->Ask(
        [this, ticket, filter, pc, given, haveLimits](PlantServer* server,
                                                      const std::string& unreachable) {
            PlantStatistics answer;
            std::vector<std::string> pcs, presses;
            std::string why = unreachable;
            const bool ok = server && server->Sources(pcs, presses, &why) &&
                            server->Statistics(filter, pc, answer, &why);
            CallAfter([this, ticket, ok, answer = std::move(answer), pcs = std::move(pcs),
                       presses = std::move(presses), why, given, haveLimits]() {
                if (ticket != m_ticket) return;
                m_asking = false;
                if (!ok) {
                    ShowFigures(MountingStatistics());
                    m_notes->SetLabel(wxString::Format(
                        TrW("The plant server cannot be asked: %s. This PC's recordings are "
                            "under \"This PC\"."),
                        wxString::FromUTF8(why)));
                    Layout();
                    return;
                }
                for (auto [choice, names] : {std::pair{m_pc, &pcs}, std::pair{m_press, &presses}})
                    for (const std::string& name : *names)
                        if (choice->FindString(wxString::FromUTF8(name), true) == wxNOT_FOUND)
                            choice->Append(wxString::FromUTF8(name));
                ShowFigures(StatisticsOf(answer, haveLimits ? &given : nullptr));
            });
            return ok;
        },
        "statistics");
}

void StatisticsWindow::ShowFigures(MountingStatistics shown) {
    m_shown = std::move(shown);
    const MountingStatistics& s = m_shown;
    auto count = [](size_t value) { return static_cast<unsigned long>(value); };
    m_counts->SetLabel(wxString::Format(TrW("%lu mountings\n%lu PASS, %lu FAIL, %lu INCOMPLETE\n"
                                            "%lu without a verdict, %lu re-mounts of an axle side"),
                                        count(s.mountings), count(s.pass), count(s.fail),
                                        count(s.incomplete), count(s.noVerdict),
                                        count(s.remounts)));
    const Capability& c = s.capability;
    const double none = std::nan("");
    wxString figures;
    auto row = [&](const wxString& word, const wxString& value) {
        figures += wxString::Format("%-6s %10s\n", word, value);
    };
    row("n", wxString::Format("%lu", count(s.summary.n)));
    row(_("mean"), Figure(s.summary.mean, 2) + " t");
    row("sd", Figure(s.summary.sd, 3) + " t");
    row("min", Figure(s.summary.min, 2) + " t");
    row("max", Figure(s.summary.max, 2) + " t");
    row("Cp", Figure(s.hasLimits ? c.cp : none, 2));
    row("Cpk", Figure(s.hasLimits ? c.cpk : none, 2));
    row("Pp", Figure(s.hasLimits ? c.pp : none, 2));
    row("Ppk", Figure(s.hasLimits ? c.ppk : none, 2));
    // Each criterion of the one program the recordings were judged by.
    if (!s.criteria.empty()) {
        figures += "\n" + wxString::Format(TrW("Criteria of %s:"), wxString::FromUTF8(s.program));
        for (const CriterionFigures& f : s.criteria)
            figures += wxString::Format(TrW("\n%d %s (%s), first NOK of %lu FAIL\n"
                                            "  mean %s  sd %s\n  min %s  max %s"),
                                        f.position, wxString::FromUTF8(f.kind),
                                        wxString::FromUTF8(f.unit), count(f.failed),
                                        Figure(f.summary.mean, 2), Figure(f.summary.sd, 3),
                                        Figure(f.summary.min, 2), Figure(f.summary.max, 2));
    }
    m_figures->SetLabel(figures);
    wxString notes;
    if (s.hasLimits)
        notes += wxString::Format(TrW("Against the limits %s \xE2\x80\xA6 %s t\n"),
                                  Figure(s.limits.lowerTons, 1), Figure(s.limits.upperTons, 1));
    else if (!s.limitsNote.empty())
        notes += TrW(s.limitsNote.c_str()) + "\n";
    if (s.summary.n > 0 && s.summary.n < Capability::kFewest)
        notes += wxString::Format(TrW("Fewer than %lu mountings: the capability is uncertain.\n"),
                                  count(Capability::kFewest));
    notes += wxString::Format(TrW("Control limits %s \xE2\x80\xA6 %s t (3\xCF\x83 within)\n"),
                              Figure(s.chart.lower, 2), Figure(s.chart.upper, 2));
    for (const ChartRule rule : {ChartRule::BeyondThreeSigma, ChartRule::NineOnOneSide,
                                 ChartRule::SixTrending, ChartRule::TwoOfThreeBeyondTwo}) {
        const size_t broken = s.ruleCounts[static_cast<size_t>(rule)];
        if (broken > 0)
            notes += wxString::FromUTF8(RuleWords(rule)) +
                     wxString::Format(broken == 1 ? TrW(": %lu point\n") : TrW(": %lu points\n"),
                                      count(broken));
    }
    if (s.trend.direction != 0)
        notes += s.trend.direction > 0 ? TrW("The peak force is rising: the press drifts.\n")
                                       : TrW("The peak force is falling: the press drifts.\n");
    if (s.restTrend.direction != 0)
        notes += s.restTrend.direction > 0
                     ? TrW("The pressure at rest is rising: check the transmitter's zero.\n")
                     : TrW("The pressure at rest is falling: check the transmitter's zero.\n");
    if (s.plant && !s.runs.empty() && s.runs.front().last > s.runs.front().first)
        notes += wxString::Format(
            TrW("Computed on the plant server; drawn in runs of %lu mountings (their mean, "
                "least and largest), the first %lu points that break a rule in red."),
            count(s.runs.front().last - s.runs.front().first + 1), count(s.breaks.size()));
    m_notes->SetLabel(notes);
    Layout();
    DrawCharts();
}

void StatisticsWindow::DrawCharts() {
    const MountingStatistics& s = m_shown;
    // Every peak, or the plant's runs of consecutive mountings.
    const size_t n = s.SeriesLength();
    std::vector<double> x, y, low, high, rx, ry;
    if (s.plant) {
        for (const PlantStatistics::Run& run : s.runs) {
            x.push_back((run.first + run.last) / 2.0 + 1);
            y.push_back(run.mean);
            low.push_back(run.min);
            high.push_back(run.max);
            if (std::isfinite(run.maxRange)) {
                rx.push_back(x.back());
                ry.push_back(run.maxRange);
            }
        }
    } else {
        for (size_t i = 0; i < n; ++i) {
            x.push_back(static_cast<double>(i + 1));
            if (i > 0) {
                rx.push_back(x.back());
                ry.push_back(std::fabs(s.peaks[i] - s.peaks[i - 1]));
            }
        }
        y = s.peaks;
    }
    m_points->SetData(x, y);
    const bool runs = s.plant && !s.runs.empty() && s.runs.front().last > s.runs.front().first;
    if (!runs) low.clear(), high.clear();
    m_runLow->SetData(runs ? x : std::vector<double>{}, low);
    m_runHigh->SetData(runs ? x : std::vector<double>{}, high);
    std::vector<double> flaggedX, flaggedY;
    for (size_t k = 0; k < s.breaks.size(); ++k) {
        flaggedX.push_back(static_cast<double>(s.breaks[k].at + 1));
        flaggedY.push_back(s.breakValues[k]);
    }
    m_flagged->SetData(flaggedX, flaggedY);
    m_ewma->SetVisible(!s.plant);
    m_ewma->SetData(s.plant ? std::vector<double>{} : x,
                    s.plant ? std::vector<double>{} : Ewma(s.peaks));
    const bool chart = s.HasChart();
    const std::pair<mpHorizontalLine*, double> lines[] = {
        {m_centre, s.chart.centre},
        {m_lowerControl, s.chart.lower},
        {m_upperControl, s.chart.upper},
    };
    for (const auto& [line, value] : lines) {
        line->SetVisible(chart);
        line->SetValue(value);
    }
    m_lowerLimit->SetVisible(s.hasLimits);
    m_upperLimit->SetVisible(s.hasLimits);
    m_lowerLimit->SetValue(s.limits.lowerTons);
    m_upperLimit->SetValue(s.limits.upperTons);
    const auto [lowY, highY] = s.IndividualsSpan();
    const double pad = std::max(0.5, (highY - lowY) * 0.08);
    m_individuals->Fit(0, std::max<double>(n, 1) + 1, lowY - pad, highY + pad);

    // Moving ranges.
    m_rangePoints->SetData(rx, ry);
    m_rangeCentre->SetVisible(chart);
    m_rangeUpper->SetVisible(chart);
    m_rangeCentre->SetValue(s.chart.mrBar);
    m_rangeUpper->SetValue(s.chart.mrUpper);
    const double topRange = std::max(chart ? s.chart.mrUpper : 1.0,
                                     ry.empty() ? 1.0 : *std::max_element(ry.begin(), ry.end()));
    m_ranges->Fit(0, std::max<double>(n, 1) + 1, 0, topRange * 1.1);

    // The histogram: about √n bins (5 to 30) across the values.
    std::vector<double> centres, counts;
    for (const HistogramBin& bin : s.histogram) {
        centres.push_back((bin.low + bin.high) / 2);
        counts.push_back(static_cast<double>(bin.count));
    }
    if (!s.histogram.empty()) m_bars->SetWidth((s.histogram[0].high - s.histogram[0].low) * 0.9);
    m_bars->SetData(centres, counts);
    const double tallest = counts.empty() ? 1 : *std::max_element(counts.begin(), counts.end());
    const double limitValues[] = {s.limits.lowerTons, s.limits.upperTons};
    for (int k = 0; k < 2; ++k) {
        m_histogramLimits[k]->SetVisible(s.hasLimits);
        m_histogramLimits[k]->SetData({limitValues[k], limitValues[k]}, {0, tallest * 1.1});
    }
    const auto [lowX, highX] = s.HistogramSpan();
    const double padX = std::max(0.5, (highX - lowX) * 0.08);
    m_histogram->Fit(lowX - padX, highX + padX, 0, tallest * 1.15);
    // The pressure at rest before each Start, where it is known.
    std::vector<double> restX;
    for (double at : s.restAt)
        restX.push_back(at + 1);
    m_restPoints->SetData(restX, s.rest);
    m_restEwma->SetData(restX, Ewma(s.rest));
    const double restTop = s.rest.empty() ? 4 : std::max(4.0, s.restSummary.max + 1);
    m_restChart->Fit(0, std::max<double>(n, 1) + 1, -0.5, restTop);
    for (mpWindow* plot : {m_individuals, m_ranges, m_histogram, m_restChart})
        plot->Refresh(false);
}

std::string StatisticsWindow::Selection() const {
    std::string words;
    auto add = [&](const std::string& part) {
        words += (words.empty() ? "" : " \xC2\xB7 ") + part;
    };
    add(m_filter.bearing.empty() ? TrFormat("every bearing")
                                 : TrFormat("bearing %s", m_filter.bearing.c_str()));
    add(m_filter.press.empty() ? TrFormat("every press")
                               : TrFormat("press %s", m_filter.press.c_str()));
    if (m_filter.from || m_filter.until)
        add(TrFormat("from %s to %s",
                     m_filter.from ? IsoDate(m_filter.from).c_str() : "\xE2\x80\x94",
                     m_filter.until ? IsoDate(m_filter.until - 1).c_str() : "\xE2\x80\x94"));
    if (PlantScope())
        add(m_pc->GetSelection() > 0
                ? TrFormat("PC %s on the plant server",
                           std::string(m_pc->GetStringSelection().utf8_str()).c_str())
                : TrFormat("every PC on the plant server"));
    else
        add(TrFormat("this PC"));
    if (m_shown.hasLimits && (m_lower->GetValue().Trim().size() > 0))
        add(TrFormat("against the limits %s to %s t", CsvNumber(m_shown.limits.lowerTons).c_str(),
                     CsvNumber(m_shown.limits.upperTons).c_str()));
    return words;
}

bool StatisticsWindow::ExportPage(const wxString& path) {
    if (m_asking) {
        ShowInfo(TrW("The plant server has not answered yet."), TrW("Statistics"));
        return false;
    }
    wxString target = path;
    const int64_t now = wxDateTime::Now().GetTicks();
    if (target.empty()) {
        wxFileDialog chooser(this, TrW("Export the statistics page"), "",
                             wxString::FromUTF8("statistics-" + IsoDate(now) + ".pdf"),
                             TrW("PDF files (*.pdf)|*.pdf"), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        if (chooser.ShowModal() != wxID_OK) return false;
        target = chooser.GetPath();
    }
    wxFileName csvFile(target);
    csvFile.SetExt("csv");
    PageResources resources;
    wxString missing;
    if (!m_host || !FindPageResources(*m_host, &resources, &missing)) {
        ShowError(TrW("The statistics page was not written: ") + missing +
                  TrW(" was not found. Install the program again."));
        return false;
    }
    StatisticsPageFacts facts;
    facts.statistics = &m_shown;
    facts.identity = NewRecordingId();
    facts.selection = Selection();
    facts.madeAt = now;
    facts.pcName = wxGetHostName().utf8_str();
    facts.version = kProgramVersion;
    const std::string csv = StatisticsCsv(m_shown, facts.identity, facts.selection, now);
    facts.csvName = csvFile.GetFullName().utf8_str();
    facts.csvSha256 = Sha256Hex(csv);
    std::string pdf, why;
    if (!MakeStatisticsPage(facts, resources, &pdf, &why) ||
        !WriteFileBytes(std::string(csvFile.GetFullPath().utf8_str()), csv, &why) ||
        !WriteFileBytes(std::string(target.utf8_str()), pdf, &why)) {
        ShowError(TrW("The statistics page was not written: ") + wxString::FromUTF8(why) + " (" +
                  target + ").");
        return false;
    }
    ShowInfo(wxString::Format(TrW("The statistics page %s was written to %s, with its data %s."),
                              wxString::FromUTF8(ReportNumber(facts.identity)), target,
                              csvFile.GetFullName()),
             TrW("Statistics"));
    return true;
}

StatisticsWindow* ShowStatistics(wxWindow* parent, const std::string& storePath,
                                 const MountingFilter& start, const std::string& plantConnection,
                                 bool plant, const PanelHost* host) {
    std::string why;
    std::unique_ptr<RecordStore> store = RecordStore::Open(storePath, &why);
    if (!store) {
        ShowError(wxString::Format(
            _("The statistics cannot be shown: the record store %s cannot be used: %s."),
            wxString::FromUTF8(storePath), wxString::FromUTF8(why)));
        return nullptr;
    }
    auto* window =
        new StatisticsWindow(parent, std::move(store), start, plantConnection, plant, host);
    window->Show();
    return window;
}
