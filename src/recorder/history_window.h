// The history of the record store: every recording, newest first, found by
// axle, bearing or operator, by date, press and result. The selected
// recording's curve is drawn with its limit lines and results; several
// selected are drawn over one another. A recording is printed again (the same
// page, marked as a reprint, and the reprint kept), exported as CSV, or its
// report's folder opened.
#pragma once

#include "page/report_page.h"
#include "records/record_store.h"
#include "recorder/recording_plot.h"

#include <map>
#include <memory>
#include <vector>

#include <wx/dialog.h>
#include <wx/listctrl.h>

class wxChoice;
class DateField;
class wxStaticText;
class wxTextCtrl;
class wxButton;
class TerminalPanel;

/// The list of recordings, shown without holding them all: rows are read
/// from the store a page at a time as they come into view.
class HistoryList : public wxListCtrl {
  public:
    /// Column widths the user set are kept through `host` (may be null).
    HistoryList(wxWindow* parent, RecordStore& store, class PanelHost* host = nullptr);
    /// A click on column `column`'s heading: ordered by it, the other way
    /// round on a second click. The next search lists in that order.
    void OrderByColumn(long column);
    const std::string& OrderBy() const { return m_orderBy; }
    bool Ascending() const { return m_ascending; }
    /// Each column as wide as its heading and the widest of the rows read,
    /// unless the user set the widths; those are kept.
    void FitColumns();
    void KeepWidths();
    /// Shows the recordings that `filter` finds; the count of them.
    int64_t ShowRecords(const RecordFilter& filter);
    /// Shows the rows the plant server found, with the PC of each.
    void ShowPlantRows(std::vector<RecordSummary> rows);
    const RecordSummary& Row(long index) const;
    bool ShowsPlant() const { return m_plant; }
    /// The result's word in its colour: PASS green, FAIL red, INCOMPLETE
    /// amber; the other columns as they are.
    wxItemAttr* OnGetItemColumnAttr(long item, long column) const override;

  protected:
    wxString OnGetItemText(long item, long column) const override;

  private:
    /// The PC's column, shown for the plant's rows only.
    void ShowPcColumn(bool on);
    /// The column of the store's rows shown at `column`; -1 for the PC's.
    long BaseColumn(long column) const;
    long ShownColumn(long base) const { return m_plant ? base + (base >= 1) : base; }
    void ShowOrder();
    RecordStore& m_store;
    PanelHost* m_host = nullptr;
    std::string m_orderBy;
    bool m_ascending = false;
    bool m_widthsKept = false; ///< set by the user: not fitted
    RecordFilter m_filter;
    mutable std::map<long, std::vector<RecordSummary>> m_pages;
    mutable wxItemAttr m_resultAttr;
    bool m_plant = false;
    std::vector<RecordSummary> m_plantRows;
};

class HistoryWindow : public wxDialog {
  public:
    HistoryWindow(wxWindow* parent, TerminalPanel& panel, std::unique_ptr<RecordStore> store);

    ~HistoryWindow() override;

    /// Applies the filters as they are set, in the scope chosen.
    void Search();
    /// Whether the plant server is searched rather than this PC's store.
    bool PlantScope() const;
    /// Draws the selected recordings.
    void ShowSelection();
    /// The page again, marked "Reprint of <date>", and the reprint kept.
    void PrintAgain();
    /// The selected recording's CSV file, where the operator chooses.
    void ExportCsv(const wxString& path = wxString());
    /// The plot by keyboard: + and - zoom, the arrows move the view by a
    /// tenth, Home shows the whole curve again. False for other keys.
    bool PlotKey(int keyCode);
    /// The filters set to a press's recordings since its last good
    /// calibration, up to the day a calibration found it out of tolerance.
    void ShowToAssess(const struct OutOfTolerance& finding);
    /// Every recording the filters find, one CSV row each, where the quality
    /// engineer chooses (asked for when `path` is empty); told, never silent.
    bool ExportList(const wxString& path = wxString());
    /// History → Changes: the audit trail of limits and password, newest first.
    class ChangesWindow* ShowChanges();
    /// The selected recordings judged by `program`, beside the verdicts they
    /// were signed with; null when none is selected.
    class EvaluationWindow* EvaluateWith(const Program& program);
    /// Teaches the envelope of `program` from the selected recordings and
    /// writes it, one version up, to `path`, for the quality engineer to
    /// import; false, told, when it cannot be taught.
    bool TeachInto(Program program, const wxString& path);

    HistoryList* m_list = nullptr;
    wxTextCtrl* m_text = nullptr;
    DateField* m_from = nullptr;
    DateField* m_until = nullptr;
    wxChoice* m_scope = nullptr; ///< "This PC" or "Plant"; only with a plant server
    wxChoice* m_pc = nullptr;    ///< the plant's PCs, in the Plant scope
    wxStaticText* m_pcLabel = nullptr;
    wxChoice* m_press = nullptr;
    wxChoice* m_result = nullptr;
    wxStaticText* m_count = nullptr;
    wxStaticText* m_details = nullptr;
    wxButton* m_printAgain = nullptr;
    wxButton* m_exportCsv = nullptr;
    wxButton* m_openFolder = nullptr;
    wxButton* m_changes = nullptr;
    wxButton* m_exportList = nullptr;
    wxButton* m_toAssess = nullptr;
    wxButton* m_statistics = nullptr;
    wxButton* m_evaluate = nullptr;
    wxButton* m_teach = nullptr;
    RecordingPlot m_plot;
    /// The recordings drawn, the first with its lines.
    std::vector<Recording> m_shown;
    /// The curves after the first, and the legend naming each.
    std::vector<class mpFXYVector*> m_overlays;
    class mpInfoLegend* m_legend = nullptr;

  private:
    RecordFilter CurrentFilter() const;
    void OpenFolder();
    /// Every selected recording of this PC's store, whole; their identities
    /// into `names`.
    std::vector<Recording> LoadSelected(std::vector<std::string>* names = nullptr);
    /// A program of the store (any version) or of a file; false when none.
    bool ChooseProgram(const wxString& title, Program& program);
    /// Switches between this PC's store and the plant server.
    void ChangeScope();
    void SearchPlant(const RecordFilter& filter);
    /// Draws `m_shown` with its lines and results.
    void DrawShown();
    /// Puts `names` after the choice's first entry ("All …"), keeping the
    /// selection where it is still offered.
    static void OfferNames(wxChoice* choice, const std::vector<std::string>& names);
    TerminalPanel& m_panel;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<class PlantQueries> m_plantQueries;
    /// Answers of the plant server to an older question are not shown.
    int m_plantSearch = 0, m_plantSelection = 0;
    double m_fitX = 100, m_fitY = 100; ///< the whole of what is drawn
};

/// The audit trail: when, who, on which PC, the press, what changed, the old
/// and the new value, and the reason.
/// The audit trail, newest first, filtered by press, person and kind, and
/// exported as CSV as it is listed.
class ChangesWindow : public wxDialog {
  public:
    ChangesWindow(wxWindow* parent, const std::vector<struct Change>& changes);
    class wxListCtrl* m_list = nullptr;
    wxChoice* m_pressFilter = nullptr;
    wxChoice* m_whoFilter = nullptr;
    wxChoice* m_kindFilter = nullptr;
    /// What each filter offers, as kept (its first item is "All").
    std::vector<std::vector<std::string>> m_offered;
    std::string Chosen(size_t filter, const wxChoice* choice) const;
    wxStaticText* m_count = nullptr;
    /// Lists the entries the filters keep.
    void Refill();
    /// Writes what is listed to `path` (asked for when ""); told, never
    /// silent, and false when it could not be written.
    bool ExportCsv(const wxString& path);
    /// The same as pages for an auditor, one archivable PDF.
    bool ExportPdf(const wxString& path);
    /// The pages' fonts and colour profile, and the PC they are printed on.
    PageResources resources;
    std::string pcName;

  private:
    std::vector<struct Change> m_all, m_listed;
};

/// Recordings judged by another program: the verdict each was signed with,
/// the one the program gives, and its finding; the ones that differ in red.
class EvaluationWindow : public wxDialog {
  public:
    EvaluationWindow(wxWindow* parent, const Program& program,
                     const std::vector<Recording>& recordings);
    wxListCtrl* m_list = nullptr;
    wxStaticText* m_summary = nullptr;
};

/// Opens the history of the panel's record store, or tells why it cannot.
void ShowHistory(wxWindow* parent, TerminalPanel& panel);

/// Reads the reports of `directory` into the panel's record store and tells
/// how many were read, were there already and were skipped, and why.
void ImportReportsInto(TerminalPanel& panel, const wxString& directory);
