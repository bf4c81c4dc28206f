#include "recorder/history_window.h"

#include "recorder/date_field.h"

#include "plot/plot_canvas.h"
#include "station/cycle.h"
#include "station/job_setup.h"
#include "station/local_time.h"
#include "station/translate.h"
#include "station/press_register.h"
#include "station/report_data.h"
#include "station/report_import.h"
#include "station/trail_export.h"
#include "station/verify.h"
#include "recorder/statistics_window.h"
#include "recorder/terminal_panel.h"
#include "plant/plant_queries.h"
#include "plant/plant_sender.h"
#include "plant/plant_server.h"
#include "records/integrity.h"
#include "records/record_store.h"
#include "records/record_writer.h"
#include "recorder/messages.h"
#include "recorder/report.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/listctrl.h>
#include <wx/display.h>
#include <wx/sizer.h>
#include <wx/wrapsizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/choicdlg.h>
#include <wx/utils.h>

#include <algorithm>

namespace {

/// The verdict and its reason in the reader's words.
std::string ResultWords(const Judgement& judgement) {
    switch (judgement.verdict) {
    case Verdict::None:
        return "";
    case Verdict::Pass:
        return Tr("Result: PASS");
    case Verdict::Fail:
        return TrFormat("Result: FAIL (%s)", CriterionWords(judgement.reason).c_str());
    case Verdict::Incomplete:
        break;
    }
    return TrFormat("Result: INCOMPLETE (%s)", NoteWords(judgement.reason).c_str());
}

constexpr long kPageRows = 200;
/// The plant's newest rows shown of a search.
constexpr int kPlantRows = 1000;
/// The most curves drawn over one another.
constexpr size_t kMostOverlaid = 8;

const char* const kColumns[] = {N_("Date"), N_("Press"),   N_("Operator"),   N_("Axle"),
                                N_("Side"), N_("Bearing"), N_("Peak force"), N_("Result")};
/// How the store's order names each column.
const char* const kColumnKeys[] = {"date", "press",   "operator", "axle",
                                   "side", "bearing", "peak",     "result"};
/// The setting that keeps the widths the user gave the columns.
const char* const kWidthsSetting = "history_columns";

/// Colours of overlaid curves after the first (navy): none is red or green,
/// which the results' words have; the legend says which curve is which.
const wxColour kOverlayColours[] = {{0, 150, 230}, {150, 0, 170}, {150, 85, 0}, {230, 140, 0},
                                    {90, 90, 90},  {220, 0, 220}, {0, 90, 160}};

wxString ResultShown(const RecordSummary& row) {
    return row.result.empty() ? TrW("no limits") : TrW(row.result.c_str());
}

} // namespace

HistoryList::HistoryList(wxWindow* parent, RecordStore& store, PanelHost* host)
    : wxListCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_HRULES),
      m_store(store), m_host(host) {
    int widths[] = {155, 80, 75, 95, 40, 100, 80, 105};
    // The widths the user set last, as "155,80,…".
    const wxArrayString kept =
        wxSplit(m_host ? m_host->ViewSetting(kWidthsSetting) : wxString(), ',');
    long width = 0;
    m_widthsKept = kept.size() == 8;
    for (size_t c = 0; c < kept.size() && m_widthsKept; ++c)
        m_widthsKept = kept[c].ToLong(&width) && width >= 20 && width <= 2000;
    for (int c = 0; c < 8; ++c) {
        if (m_widthsKept) kept[c].ToLong(&width);
        AppendColumn(TrW(kColumns[c]), c == 6 ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT,
                     m_widthsKept ? static_cast<int>(width) : FromDIP(widths[c]));
    }
    Bind(wxEVT_LIST_COL_END_DRAG, [this](wxListEvent& event) {
        event.Skip();
        CallAfter([this] { KeepWidths(); }); // the new width is set after the event
    });
}

long HistoryList::BaseColumn(long column) const {
    if (!m_plant) return column;
    return column == 1 ? -1 : column > 1 ? column - 1 : column;
}

void HistoryList::OrderByColumn(long column) {
    const long base = BaseColumn(column);
    if (base < 0 || base >= 8) return;
    const std::string key = kColumnKeys[base];
    if (m_orderBy == key)
        m_ascending = !m_ascending;
    else {
        m_orderBy = key;
        m_ascending = key != "date" && key != "peak"; // newest, largest first
    }
}

void HistoryList::ShowOrder() {
    const long base = m_orderBy.empty()
                          ? 0
                          : static_cast<long>(std::find(std::begin(kColumnKeys),
                                                        std::end(kColumnKeys), m_orderBy) -
                                              std::begin(kColumnKeys));
    ShowSortIndicator(static_cast<int>(ShownColumn(base)), !m_orderBy.empty() && m_ascending);
}

void HistoryList::FitColumns() {
    if (m_widthsKept) return;
    const long rows = std::min<long>(GetItemCount(), kPageRows);
    for (int c = 0; c < GetColumnCount(); ++c) {
        wxListItem heading;
        heading.SetMask(wxLIST_MASK_TEXT);
        GetColumn(c, heading);
        int widest = GetTextExtent(heading.GetText()).x + FromDIP(28); // and the sort arrow
        for (long r = 0; r < rows; ++r)
            widest = std::max(widest, GetTextExtent(OnGetItemText(r, c)).x + FromDIP(16));
        SetColumnWidth(c, std::min(widest, FromDIP(400)));
    }
}

void HistoryList::KeepWidths() {
    wxArrayString widths;
    for (long base = 0; base < 8; ++base)
        widths.Add(wxString::Format("%d", GetColumnWidth(static_cast<int>(ShownColumn(base)))));
    m_widthsKept = true;
    if (m_host) m_host->KeepViewSetting(kWidthsSetting, wxJoin(widths, ','));
}

void HistoryList::ShowPcColumn(bool on) {
    if (on == m_plant) return;
    m_plant = on;
    if (on)
        InsertColumn(1, "PC", wxLIST_FORMAT_LEFT, FromDIP(90));
    else
        DeleteColumn(1);
}

void HistoryList::ShowPlantRows(std::vector<RecordSummary> rows) {
    ShowPcColumn(true);
    m_pages.clear();
    m_plantRows = std::move(rows);
    SetItemCount(static_cast<long>(m_plantRows.size()));
    FitColumns();
    ShowOrder();
    Refresh();
}

int64_t HistoryList::ShowRecords(const RecordFilter& filter) {
    ShowPcColumn(false);
    m_plantRows.clear();
    m_filter = filter;
    m_pages.clear();
    int64_t total = 0;
    RecordFilter first = filter;
    first.limit = kPageRows;
    first.offset = 0;
    m_pages[0] = m_store.Find(first, &total);
    SetItemCount(static_cast<long>(total));
    FitColumns();
    ShowOrder();
    Refresh();
    return total;
}

const RecordSummary& HistoryList::Row(long index) const {
    static const RecordSummary none;
    if (m_plant)
        return index >= 0 && static_cast<size_t>(index) < m_plantRows.size()
                   ? m_plantRows[static_cast<size_t>(index)]
                   : none;
    const long page = index / kPageRows;
    auto found = m_pages.find(page);
    if (found == m_pages.end()) {
        RecordFilter f = m_filter;
        f.limit = kPageRows;
        f.offset = static_cast<int>(page * kPageRows);
        found = m_pages.emplace(page, m_store.Find(f)).first;
    }
    const size_t at = static_cast<size_t>(index % kPageRows);
    return at < found->second.size() ? found->second[at] : none;
}

wxItemAttr* HistoryList::OnGetItemColumnAttr(long item, long column) const {
    if (column != (m_plant ? 8 : 7)) return nullptr;
    const std::string& result = Row(item).result;
    if (result == "PASS")
        m_resultAttr.SetTextColour(wxColour(0, 120, 40));
    else if (result == "FAIL")
        m_resultAttr.SetTextColour(wxColour(190, 0, 0));
    else if (result == "INCOMPLETE")
        m_resultAttr.SetTextColour(wxColour(170, 100, 0));
    else
        return nullptr;
    return &m_resultAttr;
}

wxString HistoryList::OnGetItemText(long item, long column) const {
    const RecordSummary& row = Row(item);
    if (m_plant) {
        if (column == 1) return wxString::FromUTF8(row.pcName);
        if (column > 1) --column;
    }
    switch (column) {
    case 0:
        return wxString::FromUTF8(IsoDateTime(row.stoppedAt));
    case 1:
        return wxString::FromUTF8(row.press);
    case 2:
        return wxString::FromUTF8(row.operatorId);
    case 3:
        return wxString::FromUTF8(row.axle);
    case 4:
        return wxString::FromUTF8(row.side);
    case 5:
        return wxString::FromUTF8(row.bearing);
    case 6:
        return row.anySample ? wxString::Format("%.1f t", row.peakTons) : wxString("-");
    default:
        return ResultShown(row);
    }
}

HistoryWindow::HistoryWindow(wxWindow* parent, TerminalPanel& panel,
                             std::unique_ptr<RecordStore> store)
    : wxDialog(parent, wxID_ANY, TrW("History of recordings"), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER | wxMAXIMIZE_BOX),
      m_panel(panel), m_store(std::move(store)) {
    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);

    // The filters, in one row above the list.
    wxBoxSizer* filters = new wxBoxSizer(wxHORIZONTAL);
    auto label = [&](const char* text) {
        // Each label in the reader's language.
        filters->Add(new wxStaticText(this, wxID_ANY, TrW(text)), 0,
                     wxALIGN_CENTRE_VERTICAL | wxLEFT | wxRIGHT, 5);
    };
    if (!panel.Job().PlantServerConnection().empty()) {
        m_scope = new wxChoice(this, wxID_ANY);
        m_scope->Append(TrW("This PC"));
        m_scope->Append(TrW("Plant"));
        m_scope->SetSelection(0);
        m_scope->SetToolTip(TrW("This PC: the recordings of this PC's record store.\n"
                                "Plant: every PC's recordings on the plant server."));
        filters->Add(m_scope, 0, wxALIGN_CENTRE_VERTICAL | wxRIGHT, 10);
    }
    label(N_("Axle, bearing, operator or report no."));
    m_text = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxSize(FromDIP(160), -1));
    filters->Add(m_text, 0, wxALIGN_CENTRE_VERTICAL);
    label(N_("From"));
    m_from = new DateField(this);
    filters->Add(m_from, 0, wxALIGN_CENTRE_VERTICAL);
    label(N_("to"));
    m_until = new DateField(this);
    filters->Add(m_until, 0, wxALIGN_CENTRE_VERTICAL);
    if (m_scope) {
        m_pcLabel = new wxStaticText(this, wxID_ANY, TrW("PC"));
        m_pcLabel->Hide();
        filters->Add(m_pcLabel, 0, wxALIGN_CENTRE_VERTICAL | wxLEFT | wxRIGHT, 5);
        m_pc = new wxChoice(this, wxID_ANY);
        m_pc->Append(TrW("All PCs"));
        m_pc->SetSelection(0);
        m_pc->Hide();
        filters->Add(m_pc, 0, wxALIGN_CENTRE_VERTICAL);
    }
    label(N_("Press"));
    m_press = new wxChoice(this, wxID_ANY);
    m_press->Append(TrW("All presses"));
    for (const std::string& press : m_store->Presses())
        m_press->Append(wxString::FromUTF8(press));
    m_press->SetSelection(0);
    filters->Add(m_press, 0, wxALIGN_CENTRE_VERTICAL);
    label(N_("Result"));
    m_result = new wxChoice(this, wxID_ANY);
    for (const char* result :
         {N_("All results"), N_("PASS"), N_("FAIL"), N_("INCOMPLETE"), N_("no limits")})
        m_result->Append(TrW(result));
    m_result->SetSelection(0);
    filters->Add(m_result, 0, wxALIGN_CENTRE_VERTICAL);
    column->Add(filters, 0, wxALL | wxEXPAND, 8);
    // How many were found, or why the plant server cannot be asked: a line
    // of its own, as long as the window is wide.
    m_count = new wxStaticText(this, wxID_ANY, "");
    column->Add(m_count, 0, wxLEFT | wxRIGHT | wxBOTTOM | wxEXPAND, 8);

    // The list on the left, the curves and their results on the right.
    const wxRect screen = wxDisplay(0u).GetClientArea();
    const int plotWidth = std::max(360, screen.width * 36 / 100);
    wxBoxSizer* middle = new wxBoxSizer(wxHORIZONTAL);
    m_list = new HistoryList(this, *m_store, &m_panel.Host());
    middle->Add(m_list, 1, wxEXPAND | wxRIGHT, 8);
    wxBoxSizer* right = new wxBoxSizer(wxVERTICAL);
    m_plot = MakeRecordingPlot(this, wxDefaultPosition, wxSize(plotWidth, plotWidth * 3 / 5),
                               kCurveColour);
    // Which curve is which, when several are drawn.
    m_legend = new mpInfoLegend(wxRect(FromDIP(70), FromDIP(8), 10, 10), wxWHITE_BRUSH);
    m_legend->SetVisible(false);
    m_plot.plot->AddLayer(m_legend, false);
    right->Add(m_plot.plot, 1, wxEXPAND);
    m_details =
        new wxStaticText(this, wxID_ANY, "", wxDefaultPosition, wxSize(plotWidth, FromDIP(60)));
    right->Add(m_details, 0, wxTOP | wxEXPAND, 6);
    middle->Add(right, 0, wxEXPAND);
    column->Add(middle, 1, wxLEFT | wxRIGHT | wxEXPAND, 8);

    // The buttons flow onto a second row where a language's words need it;
    // Close keeps its place at the right.
    wxWrapSizer* buttons = new wxWrapSizer(wxHORIZONTAL);
    // Without a printer the page is only saved again, and the button says so.
    m_printAgain = new wxButton(this, wxID_ANY,
                                ReportPrinter(panel.Host()).empty() ? TrW("Save again (PDF)")
                                                                    : TrW("Print again"));
    m_exportCsv = new wxButton(this, wxID_ANY, TrW("Export CSV\xE2\x80\xA6"));
    m_openFolder = new wxButton(this, wxID_ANY, TrW("Open folder"));
    m_changes = new wxButton(this, wxID_ANY, TrW("Changes\xE2\x80\xA6"));
    m_evaluate = new wxButton(this, wxID_ANY, TrW("Evaluate with\xE2\x80\xA6"));
    m_teach = new wxButton(this, wxID_ANY, TrW("Teach envelope\xE2\x80\xA6"));
    m_exportList = new wxButton(this, wxID_ANY, TrW("Export list\xE2\x80\xA6"));
    m_exportList->SetToolTip(TrW("Every recording the filters find, one CSV row each."));
    m_toAssess = new wxButton(this, wxID_ANY, TrW("To assess\xE2\x80\xA6"));
    m_statistics = new wxButton(this, wxID_ANY, TrW("Statistics\xE2\x80\xA6"));
    m_statistics->SetToolTip(TrW("The statistics of the press and period the filters select."));
    m_toAssess->SetToolTip(TrW("The recordings of a press since its last good calibration, when a "
                               "calibration found it out of tolerance."));
    for (wxButton* button : {m_printAgain, m_exportCsv, m_openFolder})
        buttons->Add(button, 0, wxRIGHT | wxBOTTOM, 8);
    buttons->AddSpacer(24);
    buttons->Add(m_evaluate, 0, wxRIGHT | wxBOTTOM, 8);
    buttons->Add(m_teach, 0, wxRIGHT | wxBOTTOM, 8);
    buttons->AddSpacer(24);
    buttons->Add(m_changes, 0, wxRIGHT | wxBOTTOM, 8);
    buttons->Add(m_exportList, 0, wxRIGHT | wxBOTTOM, 8);
    buttons->Add(m_toAssess, 0, wxRIGHT | wxBOTTOM, 8);
    buttons->Add(m_statistics, 0, wxRIGHT | wxBOTTOM, 8);
    wxBoxSizer* bottom = new wxBoxSizer(wxHORIZONTAL);
    bottom->Add(buttons, 1, wxEXPAND);
    // Not the toolkit's stock Close: GTK would show its own word, in English.
    wxButton* close = new wxButton(this, wxID_ANY, TrW("Close"));
    bottom->Add(close, 0, wxALIGN_BOTTOM);
    column->Add(bottom, 0, wxALL | wxEXPAND, 8);
    SetSizer(column);
    SetSize(wxSize(screen.width * 95 / 100, screen.height * 90 / 100));
    Centre();

    m_text->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { Search(); });
    for (DateField* date : {m_from, m_until})
        BindDateField(date, [this] { Search(); });
    m_press->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { Search(); });
    if (m_scope) {
        m_scope->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { ChangeScope(); });
        m_pc->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { Search(); });
    }
    m_result->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { Search(); });
    m_plot.plot->Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& event) {
        if (!PlotKey(event.GetKeyCode())) event.Skip();
    });
    m_list->Bind(wxEVT_LIST_COL_CLICK, [this](wxListEvent& event) {
        m_list->OrderByColumn(event.GetColumn());
        Search();
    });
    m_list->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent&) { ShowSelection(); });
    m_list->Bind(wxEVT_LIST_ITEM_DESELECTED, [this](wxListEvent&) { ShowSelection(); });
    m_printAgain->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { PrintAgain(); });
    m_exportCsv->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ExportCsv(); });
    m_openFolder->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OpenFolder(); });
    m_changes->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ShowChanges(); });
    m_exportList->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ExportList(); });
    m_statistics->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        const RecordFilter listed = CurrentFilter();
        MountingFilter start;
        start.press = listed.press;
        start.from = listed.from;
        start.until = listed.until;
        ShowStatistics(this, m_store->Path(), start, m_panel.Job().PlantServerConnection(),
                       PlantScope(), &m_panel.Host());
    });
    m_toAssess->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        const std::vector<OutOfTolerance> findings = OutOfToleranceFindings(*m_store);
        if (findings.empty()) {
            ShowInfo(_("No calibration has found a press out of tolerance."), _("To assess"));
            return;
        }
        wxArrayString texts;
        for (const OutOfTolerance& f : findings)
            texts.Add(wxString::FromUTF8(OutOfToleranceText(f, true)));
        wxSingleChoiceDialog choose(this, _("Which finding's recordings are to be assessed?"),
                                    _("To assess"), texts);
        InOwnWords(&choose);
        if (choose.ShowModal() == wxID_OK) ShowToAssess(findings[choose.GetSelection()]);
    });
    m_evaluate->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        Program program;
        if (ChooseProgram(_("Evaluate with"), program)) EvaluateWith(program);
    });
    m_teach->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        Program program;
        if (!ChooseProgram(_("Teach the envelope of"), program)) return;
        wxFileDialog file(this, _("Write the taught program"), "",
                          wxString::FromUTF8(FileNameSafe(program.name) + ".json"),
                          _("Mounting programs (*.json)|*.json"),
                          wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        if (file.ShowModal() == wxID_OK) TeachInto(program, file.GetPath());
    });
    close->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Destroy(); });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Destroy(); });
    SetEscapeId(close->GetId());

    Search();
    m_list->SetFocus();
}

HistoryWindow::~HistoryWindow() {
    // Its thread hands answers to this window: it ends first.
    m_plantQueries.reset();
}

bool HistoryWindow::PlantScope() const {
    return m_scope && m_scope->GetSelection() == 1;
}

void HistoryWindow::OfferNames(wxChoice* choice, const std::vector<std::string>& names) {
    const wxString selected = choice->GetStringSelection();
    while (choice->GetCount() > 1)
        choice->Delete(1);
    for (const std::string& name : names)
        choice->Append(wxString::FromUTF8(name));
    if (!choice->SetStringSelection(selected)) choice->SetSelection(0);
}

void HistoryWindow::ChangeScope() {
    const bool plant = PlantScope();
    m_pc->Show(plant);
    m_pcLabel->Show(plant);
    // This PC's presses; the plant's come with its first answer.
    if (!plant) OfferNames(m_press, m_store->Presses());
    const bool reprints = !plant;
    m_printAgain->Show(reprints);
    m_openFolder->Show(reprints);
    m_exportList->Show(reprints);
    m_statistics->Show(reprints);
    m_toAssess->Show(reprints);
    Layout();
    Search();
}

RecordFilter HistoryWindow::CurrentFilter() const {
    RecordFilter filter;
    filter.text = m_text->GetValue().Trim().Trim(false).utf8_str();
    wxString problem;
    DayRange(m_from, m_until, &filter.from, &filter.until, &problem);
    if (m_press->GetSelection() > 0) filter.press = m_press->GetStringSelection().utf8_str();
    static const char* const kResults[] = {"", "PASS", "FAIL", "INCOMPLETE", "NONE"};
    filter.result = kResults[std::max(0, m_result->GetSelection())];
    filter.orderBy = m_list->OrderBy();
    filter.ascending = m_list->Ascending();
    return filter;
}

void HistoryWindow::ShowToAssess(const OutOfTolerance& finding) {
    const RecordFilter wanted = finding.Recordings();
    m_text->ChangeValue("");
    m_result->SetSelection(0);
    const wxString press = wxString::FromUTF8(finding.press);
    if (!m_press->SetStringSelection(press)) {
        m_press->Append(press);
        m_press->SetStringSelection(press);
    }
    m_from->SetDay(wanted.from);
    m_until->SetDay(wanted.until > 0 ? wanted.until - 1 : 0);
    Search();
    m_count->SetLabel(m_count->GetLabel() + wxString::FromUTF8(Tr(" to assess \xE2\x80\x94 ") +
                                                               OutOfToleranceText(finding, true)));
}

bool HistoryWindow::ExportList(const wxString& path) {
    wxString target = path;
    if (target.empty()) {
        wxFileDialog chooser(this, _("Export list"), "", "recordings.csv",
                             _("CSV files (*.csv)|*.csv"), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        if (chooser.ShowModal() != wxID_OK) return false;
        target = chooser.GetPath();
    }
    int64_t count = 0;
    const std::string csv = RecordingListCsv(*m_store, CurrentFilter(), &count);
    std::string why;
    if (!WriteFileBytes(std::string(target.utf8_str()), csv, &why)) {
        ShowError(wxString::Format(_("The list cannot be written to %s (%s)."), target,
                                   wxString::FromUTF8(why)));
        return false;
    }
    ShowInfo(wxString::Format(count == 1 ? _("%lld recording exported to %s.")
                                         : _("%lld recordings exported to %s."),
                              static_cast<long long>(count), target),
             _("Export list"));
    return true;
}

void HistoryWindow::Search() {
    // A date that is none is told in its field and here; the list stays.
    int64_t from = 0, until = 0;
    wxString problem;
    if (!DayRange(m_from, m_until, &from, &until, &problem)) {
        m_count->SetLabel(problem);
        return;
    }
    const RecordFilter filter = CurrentFilter();
    // Dates the wrong way round find nothing: said, not "0 recordings".
    if (filter.until != 0 && filter.until <= filter.from) {
        ++m_plantSearch; // an answer still on its way is not shown
        if (m_list->ShowsPlant())
            m_list->ShowPlantRows({});
        else
            m_list->ShowRecords(filter);
        m_count->SetLabel(wxString::Format(
            TrW("From %s is after to %s: no recording can be in both. Set the dates again."),
            m_from->GetValue(), m_until->GetValue()));
        ShowSelection();
        return;
    }
    if (PlantScope()) {
        SearchPlant(filter);
        return;
    }
    ++m_plantSearch; // an answer still on its way is not shown
    const int64_t total = m_list->ShowRecords(filter);
    m_count->SetLabel(wxString::Format(total == 1 ? TrW("%lld recording") : TrW("%lld recordings"),
                                       static_cast<long long>(total)));
    if (total > 0) {
        m_list->SetItemState(0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                             wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
        m_list->EnsureVisible(0);
    }
    ShowSelection();
}

void HistoryWindow::SearchPlant(const RecordFilter& asked) {
    if (!m_plantQueries)
        m_plantQueries = std::make_unique<PlantQueries>(m_panel.Job().PlantServerConnection());
    const int ticket = ++m_plantSearch;
    RecordFilter filter = asked;
    filter.limit = kPlantRows;
    const std::string pc =
        m_pc->GetSelection() > 0 ? std::string(m_pc->GetStringSelection().utf8_str()) : "";
    m_count->SetLabel(TrW("Asking the plant server\xE2\x80\xA6"));
    m_plantQueries->Ask(
        [this, ticket, filter, pc](PlantServer* server, const std::string& unreachable) {
            std::vector<RecordSummary> rows;
            std::vector<std::string> pcs, presses;
            int64_t total = 0;
            std::string why = unreachable;
            const bool ok = server && server->Sources(pcs, presses, &why) &&
                            server->Find(filter, pc, rows, &total, &why);
            CallAfter([this, ticket, ok, rows = std::move(rows), pcs = std::move(pcs),
                       presses = std::move(presses), total, why]() mutable {
                if (ticket != m_plantSearch || !PlantScope()) return;
                if (!ok) {
                    m_list->ShowPlantRows({});
                    m_count->SetLabel(wxString::Format(
                        _("The plant server cannot be asked: %s. This PC's recordings are under "
                          "\"This PC\"."),
                        wxString::FromUTF8(why)));
                    ShowSelection();
                    return;
                }
                OfferNames(m_pc, pcs);
                OfferNames(m_press, presses);
                const size_t shown = rows.size();
                m_list->ShowPlantRows(std::move(rows));
                wxString count =
                    wxString::Format(total == 1 ? _("%lld recording on the plant server")
                                                : _("%lld recordings on the plant server"),
                                     static_cast<long long>(total));
                if (static_cast<int64_t>(shown) < total)
                    count += wxString::Format(_(", the newest %zu shown"), shown);
                m_count->SetLabel(count);
                if (shown > 0) {
                    m_list->SetItemState(0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                                         wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
                    m_list->EnsureVisible(0);
                }
                ShowSelection();
            });
            return ok || !server;
        },
        "search");
}

void HistoryWindow::ShowSelection() {
    std::vector<long> selected;
    for (long i = m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
         i != -1 && selected.size() < kMostOverlaid;
         i = m_list->GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        selected.push_back(i);
    m_shown.clear();
    if (!m_list->ShowsPlant()) {
        for (long i : selected) {
            Recording recording;
            if (m_store->Load(m_list->Row(i).id, recording))
                m_shown.push_back(std::move(recording));
        }
        DrawShown();
        return;
    }
    // The plant's curves come from the server.
    const int ticket = ++m_plantSelection;
    DrawShown();
    if (selected.empty() || !m_plantQueries) return;
    std::vector<RecordSummary> rows;
    for (long i : selected)
        rows.push_back(m_list->Row(i));
    m_plantQueries->Ask(
        [this, ticket, rows](PlantServer* server, const std::string& unreachable) {
            std::vector<Recording> loaded;
            std::string why = unreachable, changed;
            bool ok = server != nullptr;
            for (const RecordSummary& row : rows) {
                Recording recording;
                if (!ok || !(ok = server->Load(row.uuid, recording, nullptr, &why))) break;
                // A row changed on the server after it arrived is named.
                const std::string problem = PlantCopyProblem(recording, &row);
                if (changed.empty() && !problem.empty())
                    changed =
                        TrFormat("Report %s: %s.", ReportNumber(row.uuid).c_str(), problem.c_str());
                loaded.push_back(std::move(recording));
            }
            CallAfter([this, ticket, ok, loaded = std::move(loaded), why, changed]() mutable {
                if (ticket != m_plantSelection || !m_list->ShowsPlant()) return;
                m_shown = std::move(loaded);
                DrawShown();
                if (!ok)
                    m_details->SetLabel(wxString::Format(_("The plant server cannot be asked: %s."),
                                                         wxString::FromUTF8(why)));
                else if (!changed.empty())
                    m_details->SetLabel(wxString::FromUTF8(changed));
            });
            return ok || !server;
        },
        "selection");
}

void HistoryWindow::DrawShown() {
    for (mpFXYVector* overlay : m_overlays)
        m_plot.plot->DelLayer(overlay, true, false);
    m_overlays.clear();

    const bool one = m_shown.size() == 1;
    m_printAgain->Enable(one && !m_list->ShowsPlant());
    m_exportCsv->Enable(one);
    m_openFolder->Enable(one && !m_list->ShowsPlant());
    m_plot.thresholdLine->SetVisible(false);
    m_plot.lowerLimitLine->SetVisible(false);
    m_plot.upperLimitLine->SetVisible(false);
    if (m_shown.empty()) {
        m_plot.curve->SetData({}, {});
        m_details->SetLabel("");
        m_plot.plot->Fit(0, 100, 0, 100);
        return;
    }
    const Recording& first = m_shown.front();
    m_plot.curve->SetData(first.times, first.forces);
    double lastTime = first.LastTime(), peak = first.Results().peakForceTons, upper = 0;
    // The limits are drawn when every curve was judged by the same ones (one
    // press, one program version): a curve is never drawn against another
    // press's lines.
    auto limitsOf = [](const Recording& r, ForceLimits& limits) {
        return PeakLimitsOf(r.setup.program.get(), r.setup.hasLimits ? &r.setup.limits : nullptr,
                            limits);
    };
    ForceLimits limits;
    const bool judged = limitsOf(first, limits);
    bool sameLimits = true;
    std::vector<std::string> presses;
    for (const Recording& r : m_shown) {
        ForceLimits other;
        const bool otherJudged = limitsOf(r, other);
        if (otherJudged != judged || (judged && (other.lowerTons != limits.lowerTons ||
                                                 other.upperTons != limits.upperTons)))
            sameLimits = false;
        if (std::find(presses.begin(), presses.end(), r.setup.pressName) == presses.end())
            presses.push_back(r.setup.pressName);
    }
    const bool drawLimits = judged && sameLimits;
    if (drawLimits) upper = limits.upperTons;
    ShowLines(m_plot, one ? first.setup.alarmThresholdBar : 0, first.setup.surface,
              drawLimits ? &limits : nullptr);
    ShowCriteria(m_plot, one || sameLimits ? first.setup.program.get() : nullptr,
                 RiseStart(ViewOf(first.times, first.forces, &first.pressures)));
    // Each curve named in the legend: axle, side, date and result.
    auto legendName = [](const Recording& r) {
        const Judgement judgement = r.Judged();
        const std::string result =
            judgement.verdict == Verdict::Pass                                  ? Tr("PASS")
            : judgement.verdict == Verdict::Fail                                ? Tr("FAIL")
            : judgement.verdict == Verdict::Incomplete || !r.incomplete.empty() ? Tr("INCOMPLETE")
                                                                                : Tr("no limits");
        return wxString::FromUTF8(r.setup.job.axleDesignation + " " + r.setup.job.mountingSide +
                                  " \xC2\xB7 " + IsoDateTime(r.stoppedAt).substr(0, 16) +
                                  " \xC2\xB7 " + r.setup.pressName + " \xC2\xB7 " + result);
    };
    // Named for the legend only, not written along the curve.
    m_plot.curve->SetName(one ? wxString() : legendName(first));
    m_plot.curve->ShowName(false);
    m_legend->SetVisible(!one);
    for (size_t k = 1; k < m_shown.size(); ++k) {
        auto* overlay = new mpFXYVector(legendName(m_shown[k]), 0);
        overlay->ShowName(false);
        overlay->SetContinuity(true);
        overlay->SetPen(wxPen(kOverlayColours[(k - 1) % 7], 2));
        overlay->SetDrawOutsideMargins(false);
        overlay->SetData(m_shown[k].times, m_shown[k].forces);
        m_plot.plot->AddLayer(overlay, false);
        m_overlays.push_back(overlay);
        lastTime = std::max(lastTime, m_shown[k].LastTime());
        peak = std::max(peak, m_shown[k].Results().peakForceTons);
    }
    m_fitX = FitSeconds(lastTime);
    m_fitY = FitTons(peak, upper);
    m_plot.plot->Fit(0, m_fitX, 0, m_fitY);

    if (!one) {
        wxString pressNames;
        for (const std::string& press : presses)
            pressNames += (pressNames.empty() ? "" : ", ") + wxString::FromUTF8(press);
        m_details->SetLabel(wxString::Format(TrW("%zu recordings drawn over one another (%s)."),
                                             m_shown.size(), pressNames) +
                            "\n" +
                            (drawLimits ? TrW("All were judged by the limits drawn.")
                             : judged || !sameLimits
                                 ? TrW("They were judged by different limits: none are drawn.")
                                 : TrW("None was judged by limits.")));
        return;
    }
    const RecordingResults results = first.Results();
    const Judgement judgement = first.Judged();
    wxString text = wxString::FromUTF8(
        first.setup.job.axleDesignation + " " + first.setup.job.mountingSide + " \xC2\xB7 " +
        first.setup.pressName +
        (m_list->ShowsPlant() ? " \xC2\xB7 " + first.setup.pcName : std::string()) + " \xC2\xB7 " +
        IsoDateTime(first.stoppedAt));
    if (results.any)
        text += "\n" + wxString::Format(TrW("Peak %.1f t (%.1f kN) at %.1f s \xC2\xB7 %d bar"),
                                        results.peakForceTons,
                                        results.peakForceTons * kKiloNewtonPerTon,
                                        results.peakTimeSeconds, results.peakBar);
    if (first.setup.program)
        text += "\n" + _("Program ") +
                wxString::FromUTF8(first.setup.program->Title() + " \xC2\xB7 " +
                                   ResultWords(judgement));
    else if (first.setup.hasLimits)
        text += "\n" + TrW("Limits ") +
                wxString::FromUTF8(LimitsText(first.setup.limits) + " \xC2\xB7 " +
                                   ResultWords(judgement));
    if (!first.incomplete.empty())
        text += "\n" + TrW("INCOMPLETE: ") + wxString::FromUTF8(NoteWords(first.incomplete));
    m_details->SetLabel(text);
}

bool HistoryWindow::PlotKey(int keyCode) {
    mpWindow* plot = m_plot.plot;
    const double x0 = plot->GetDesiredXmin(), x1 = plot->GetDesiredXmax();
    const double y0 = plot->GetDesiredYmin(), y1 = plot->GetDesiredYmax();
    const double dx = (x1 - x0) / 10, dy = (y1 - y0) / 10;
    switch (keyCode) {
    case '+':
    case '=':
    case WXK_NUMPAD_ADD:
        plot->Fit(x0 + dx, x1 - dx, y0 + dy, y1 - dy);
        return true;
    case '-':
    case WXK_NUMPAD_SUBTRACT:
        plot->Fit(x0 - dx, x1 + dx, y0 - dy, y1 + dy);
        return true;
    case WXK_LEFT:
        plot->Fit(x0 - dx, x1 - dx, y0, y1);
        return true;
    case WXK_RIGHT:
        plot->Fit(x0 + dx, x1 + dx, y0, y1);
        return true;
    case WXK_UP:
        plot->Fit(x0, x1, y0 + dy, y1 + dy);
        return true;
    case WXK_DOWN:
        plot->Fit(x0, x1, y0 - dy, y1 - dy);
        return true;
    case WXK_HOME:
        plot->Fit(0, m_fitX, 0, m_fitY);
        return true;
    default:
        return false;
    }
}

ChangesWindow::ChangesWindow(wxWindow* parent, const std::vector<Change>& changes)
    : wxDialog(parent, wxID_ANY, _("Audit trail"), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      m_all(changes) {
    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);
    wxBoxSizer* filters = new wxBoxSizer(wxHORIZONTAL);
    // The kinds of change are kept in English and offered in the reader's words.
    auto choice = [&](const wxString& label, const std::vector<std::string>& values,
                      bool translated) {
        filters->Add(new wxStaticText(this, wxID_ANY, label), 0, wxALIGN_CENTRE_VERTICAL | wxLEFT,
                     8);
        m_offered.push_back(values);
        wxArrayString items;
        items.Add(_("All"));
        for (const std::string& value : values)
            items.Add(wxString::FromUTF8(translated ? Tr(value.c_str()) : value));
        wxChoice* made = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, items);
        made->SetSelection(0);
        made->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { Refill(); });
        filters->Add(made, 0, wxLEFT, 4);
        return made;
    };
    m_pressFilter = choice(_("Press"), TrailPresses(changes), false);
    m_whoFilter = choice(_("Who"), TrailPeople(changes), false);
    m_kindFilter = choice(_("What"), TrailKinds(changes), true);
    wxButton* exportButton = new wxButton(this, wxID_ANY, TrW("Export CSV\xE2\x80\xA6"));
    exportButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ExportCsv(""); });
    wxButton* pagesButton = new wxButton(this, wxID_ANY, TrW("Export PDF\xE2\x80\xA6"));
    pagesButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ExportPdf(""); });
    filters->AddStretchSpacer();
    filters->Add(exportButton, 0, wxRIGHT, 8);
    filters->Add(pagesButton, 0, wxRIGHT, 8);
    column->Add(filters, 0, wxTOP | wxEXPAND, 8);
    m_count = new wxStaticText(this, wxID_ANY, "");
    column->Add(m_count, 0, wxALL, 8);
    m_list = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                            wxLC_REPORT | wxLC_SINGLE_SEL);
    const char* const headings[] = {N_("When"), N_("Who"),       N_("PC"),        N_("Press"),
                                    N_("What"), N_("Old value"), N_("New value"), N_("Reason")};
    for (int c = 0; c < 8; ++c)
        m_list->AppendColumn(TrW(headings[c]));
    column->Add(m_list, 1, wxLEFT | wxRIGHT | wxEXPAND, 8);
    column->Add(DialogButtons(this, wxCLOSE), 0, wxALL | wxEXPAND, 8);
    SetSizer(column);
    Refill();
    const wxRect screen = wxDisplay(wxDisplay::GetFromWindow(parent)).GetClientArea();
    SetSize(wxSize(screen.width * 80 / 100, screen.height * 60 / 100));
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Destroy(); }, wxID_CLOSE);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Destroy(); });
    SetEscapeId(wxID_CLOSE);
    Centre();
}

void ChangesWindow::Refill() {
    m_listed = FilterTrail(
        m_all, {Chosen(0, m_pressFilter), Chosen(1, m_whoFilter), Chosen(2, m_kindFilter)});
    m_list->DeleteAllItems();
    long row = 0;
    for (const Change& change : m_listed) {
        m_list->InsertItem(row, IsoDateTime(change.at));
        const std::string cells[] = {
            change.who,      change.pcName,   change.press, Tr(change.what.c_str()),
            change.oldValue, change.newValue, change.reason};
        for (int c = 0; c < 7; ++c)
            m_list->SetItem(row, c + 1, wxString::FromUTF8(cells[c]));
        ++row;
    }
    // Each column as wide as its heading or its widest cell.
    for (int c = 0; c < 8; ++c) {
        m_list->SetColumnWidth(c, wxLIST_AUTOSIZE_USEHEADER);
        const int heading = m_list->GetColumnWidth(c);
        if (m_listed.empty()) continue;
        m_list->SetColumnWidth(c, wxLIST_AUTOSIZE);
        if (m_list->GetColumnWidth(c) < heading) m_list->SetColumnWidth(c, heading);
    }
    m_count->SetLabel(
        m_all.empty() ? _("No change was made yet.")
        : m_listed.size() == m_all.size()
            ? wxString::Format(_("%d changes, newest first."), static_cast<int>(m_all.size()))
            : wxString::Format(_("%d of %d changes, newest first."),
                               static_cast<int>(m_listed.size()), static_cast<int>(m_all.size())));
}

std::string ChangesWindow::Chosen(size_t filter, const wxChoice* choice) const {
    const int selected = choice->GetSelection();
    return selected > 0 ? m_offered[filter][selected - 1] : std::string();
}

bool ChangesWindow::ExportPdf(const wxString& path) {
    wxString target = path;
    if (target.empty()) {
        wxFileDialog chooser(this, _("Export the audit trail as pages"), "", "audit-trail.pdf",
                             _("PDF files (*.pdf)|*.pdf"), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        if (chooser.ShowModal() != wxID_OK) return false;
        target = chooser.GetPath();
    }
    std::string selection;
    for (wxChoice* filter : {m_pressFilter, m_whoFilter, m_kindFilter})
        if (filter->GetSelection() > 0)
            selection += (selection.empty() ? "" : ", ") +
                         std::string(filter->GetStringSelection().utf8_str());
    TrailPagesFacts facts;
    facts.changes = &m_listed;
    facts.selection =
        selection.empty() ? Tr("Every entry") : TrFormat("Entries of %s", selection.c_str());
    facts.pcName = pcName;
    facts.version = kProgramVersion;
    facts.madeAt = wxDateTime::Now().GetTicks();
    std::string pdf, why;
    if (!MakeTrailPages(facts, resources, &pdf, &why) ||
        !WriteFileBytes(std::string(target.utf8_str()), pdf, &why)) {
        ShowError(wxString::Format(_("The audit trail was not exported: %s (%s)."),
                                   wxString::FromUTF8(why), target));
        return false;
    }
    ShowInfo(wxString::Format(_("%d changes exported to %s."), static_cast<int>(m_listed.size()),
                              target),
             _("Audit trail"));
    return true;
}

bool ChangesWindow::ExportCsv(const wxString& path) {
    wxString target = path;
    if (target.empty()) {
        wxFileDialog chooser(this, _("Export the audit trail"), "", "audit-trail.csv",
                             _("CSV files (*.csv)|*.csv"), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        if (chooser.ShowModal() != wxID_OK) return false;
        target = chooser.GetPath();
    }
    std::string why;
    if (!WriteFileBytes(std::string(target.utf8_str()), TrailCsvText(m_listed), &why)) {
        ShowError(
            wxString::Format(_("The audit trail was not exported: %s cannot be written (%s)."),
                             target, wxString::FromUTF8(why)));
        return false;
    }
    ShowInfo(wxString::Format(_("%d changes exported to %s."), static_cast<int>(m_listed.size()),
                              target),
             _("Audit trail"));
    return true;
}

ChangesWindow* HistoryWindow::ShowChanges() {
    ChangesWindow* window = new ChangesWindow(this, m_store->Changes());
    wxString missing;
    FindPageResources(m_panel.Host(), &window->resources, &missing);
    window->pcName = wxGetHostName().utf8_str();
    window->Show();
    return window;
}

void HistoryWindow::PrintAgain() {
    // A reprint is kept in the store of the PC that recorded.
    if (m_shown.size() != 1 || m_list->ShowsPlant()) return;
    const Recording& recording = m_shown.front();
    Reprint reprint;
    reprint.firstPrinted = IsoDateTime(recording.stoppedAt);
    // Whoever is at the panel, else the one logged in to the PC.
    const wxString by = m_panel.Controls().operatorId->GetValue().Strip(wxString::both);
    reprint.by = (by.empty() ? wxGetUserId() : by).utf8_str();
    std::string firstPdf;
    m_store->ReportFiles(recording.setup.uuid, &firstPdf, &reprint.csvPath);
    std::string written, pageSha256;
    if (!m_panel.WriteReport(recording, reprint, &written, &pageSha256)) return;
    std::string why;
    if (!m_store->AddReprint(recording.setup.uuid, m_panel.Job().WallSeconds(), written, &why,
                             pageSha256))
        ShowError(wxString::Format(
            _("The reprint was written to %s but not kept in the record store: %s."),
            wxString::FromUTF8(written), wxString::FromUTF8(why)));
    else if (PlantSender* sender = m_panel.Job().Sender())
        sender->Nudge(); // its seal to the plant server
}

void HistoryWindow::ExportCsv(const wxString& path) {
    if (m_shown.size() != 1) return;
    const Recording& recording = m_shown.front();
    wxString target = path;
    if (target.empty()) {
        const wxString name = wxString::FromUTF8(ReportFileName(recording.setup.job.axleDesignation,
                                                                recording.setup.job.mountingSide,
                                                                FileDate(recording.stoppedAt)));
        wxFileDialog chooser(this, _("Export CSV"), "", name.BeforeLast('.') + ".csv",
                             _("CSV files (*.csv)|*.csv"), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        if (chooser.ShowModal() != wxID_OK) return;
        target = chooser.GetPath();
    }
    std::string why;
    if (!WriteCurveCsv(std::string(target.utf8_str()), recording, &why)) {
        ShowError(wxString::Format(_("The CSV file %s cannot be written (%s)."), target,
                                   wxString::FromUTF8(why)));
        return;
    }
    // Said where it went: a file dialog's folder is easily forgotten.
    ShowInfo(wxString::Format(TrW("The CSV file of report %s (axle %s %s) was written to %s."),
                              wxString::FromUTF8(ReportNumber(recording.setup.uuid)),
                              wxString::FromUTF8(recording.setup.job.axleDesignation),
                              wxString::FromUTF8(recording.setup.job.mountingSide), target),
             TrW("Export CSV"));
}

void HistoryWindow::OpenFolder() {
    if (m_shown.size() != 1) return;
    // The folder of its report once printed, else the report directory.
    const long selected = m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    const std::string pdf = selected >= 0 ? m_list->Row(selected).pdfPath : "";
    const wxString folder = pdf.empty() ? wxString::FromUTF8(m_panel.ReportDirectory())
                                        : wxFileName(wxString::FromUTF8(pdf)).GetPath();
    wxLaunchDefaultApplication(wxFileName::DirName(folder).GetFullPath());
}

void ShowHistory(wxWindow* parent, TerminalPanel& panel) {
    std::string why;
    std::unique_ptr<RecordStore> store = RecordStore::Open(panel.Job().StorePath(), &why);
    if (!store) {
        ShowError(wxString::Format(
            _("The history cannot be shown: the record store %s cannot be used: %s."),
            wxString::FromUTF8(panel.Job().StorePath()), wxString::FromUTF8(why)));
        return;
    }
    panel.Job().FlushRecordStore(); // the recording that just ended is in the list
    (new HistoryWindow(parent, panel, std::move(store)))->Show();
}

void ImportReportsInto(TerminalPanel& panel, const wxString& directory) {
    std::string why;
    std::unique_ptr<RecordStore> store = RecordStore::Open(panel.Job().StorePath(), &why);
    if (!store) {
        ShowError(
            wxString::Format(_("Nothing was imported: the record store %s cannot be used: %s."),
                             wxString::FromUTF8(panel.Job().StorePath()), wxString::FromUTF8(why)));
        return;
    }
    store->QueueForPlant(!panel.Job().PlantServerConnection().empty());
    std::unique_ptr<wxBusyCursor> busy = std::make_unique<wxBusyCursor>();
    const ImportOutcome outcome = ImportReports(std::string(directory.utf8_str()), *store,
                                                std::string(wxGetHostName().utf8_str()));
    busy.reset();
    if (PlantSender* sender = panel.Job().Sender()) sender->Nudge();
    const wxString text = "Reports in " + directory + ": " + wxString::FromUTF8(outcome.Summary());
    if (outcome.failure.empty())
        ShowInfo(text, "Import Reports");
    else
        ShowError(text);
}
