// File → Statistics… (and History → Statistics… for what its filters
// select): the mountings of a bearing type and press over a period, counted
// by verdict, with the peak force's figures and capability, its individuals
// chart (the rules' points marked, the EWMA over it), its moving-range chart
// and its histogram against the limits. Drawn with the program's canvas.
#pragma once

#include "records/record_store.h"
#include "station/mounting_statistics.h"

#include <wx/dialog.h>

#include <memory>
#include <string>

class PanelHost;
class PlantQueries;
class mpWindow;
class mpMarkers;
class mpFXYVector;
class mpBars;
class mpHorizontalLine;
class wxChoice;
class DateField;
class wxStaticText;
class wxTextCtrl;

class StatisticsWindow : public wxDialog {
  public:
    /// With a `plantConnection`, the scope can be the plant server's
    /// recordings, whose statistics the server computes.
    StatisticsWindow(wxWindow* parent, std::unique_ptr<RecordStore> store,
                     const MountingFilter& start = {}, const std::string& plantConnection = "",
                     bool plant = false, const PanelHost* host = nullptr);
    ~StatisticsWindow() override;

    /// Reads the filters and shows the figures and charts of what they find;
    /// for the plant, once the server has answered.
    void Refresh();
    const MountingStatistics& Shown() const { return m_shown; }
    bool PlantScope() const;
    /// Writes the statistics page of what is shown to `path` (a PDF), with
    /// the data it is computed from as a CSV file beside it, and says where;
    /// with `path` empty, asks where. False when it was not written (told).
    bool ExportPage(const wxString& path);
    /// What the figures were selected by, in words.
    std::string Selection() const;
    /// Whether an answer of the plant server is awaited.
    bool Asking() const { return m_asking; }

    wxChoice* m_scope = nullptr; ///< This PC, Plant; only with a plant server
    wxChoice* m_pc = nullptr;    ///< the plant's PCs
    wxTextCtrl* m_bearing = nullptr;
    wxChoice* m_press = nullptr;
    DateField* m_from = nullptr;
    DateField* m_until = nullptr;
    wxTextCtrl* m_lower = nullptr;
    wxTextCtrl* m_upper = nullptr;
    wxStaticText* m_counts = nullptr;
    wxStaticText* m_figures = nullptr;
    wxStaticText* m_notes = nullptr;
    mpWindow* m_individuals = nullptr;
    mpWindow* m_ranges = nullptr;
    mpWindow* m_histogram = nullptr;
    mpWindow* m_restChart = nullptr; ///< the pressure at rest before each Start
    mpMarkers* m_points = nullptr;   ///< every peak, in recording order
    mpMarkers* m_flagged = nullptr;  ///< the points that break a rule

  private:
    mpWindow* MakeChart(const wxString& xLabel, const wxString& yLabel);
    void ShowFigures(MountingStatistics shown);
    void DrawCharts();
    std::unique_ptr<RecordStore> m_store;
    std::string m_plantConnection;
    const PanelHost* m_host = nullptr;
    MountingFilter m_filter; ///< of what is shown
    std::unique_ptr<PlantQueries> m_plantQueries;
    int m_ticket = 0;
    bool m_asking = false;
    MountingStatistics m_shown;
    mpFXYVector *m_runLow = nullptr, *m_runHigh = nullptr;
    mpFXYVector* m_ewma = nullptr;
    mpMarkers* m_rangePoints = nullptr;
    mpMarkers* m_restPoints = nullptr;
    mpFXYVector* m_restEwma = nullptr;
    mpBars* m_bars = nullptr;
    mpFXYVector* m_histogramLimits[2] = {nullptr, nullptr};
    mpHorizontalLine *m_centre = nullptr, *m_upperControl = nullptr, *m_lowerControl = nullptr;
    mpHorizontalLine *m_lowerLimit = nullptr, *m_upperLimit = nullptr;
    mpHorizontalLine *m_rangeCentre = nullptr, *m_rangeUpper = nullptr;
};

/// Opens the statistics of the store at `storePath` from `start`, or tells
/// why the store cannot be used.
StatisticsWindow* ShowStatistics(wxWindow* parent, const std::string& storePath,
                                 const MountingFilter& start = {},
                                 const std::string& plantConnection = "", bool plant = false,
                                 const PanelHost* host = nullptr);
