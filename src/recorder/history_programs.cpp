// What History does with mounting programs: the selected recordings judged
// by another program or version, beside the verdicts they were signed with
// (which stay as they were), and an envelope taught from them.
#include "recorder/history_window.h"

#include "recorder/messages.h"
#include "station/local_time.h"
#include "station/program_files.h"
#include "station/report_data.h"
#include "station/translate.h"

#include <wx/choicdlg.h>
#include <wx/filedlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

std::vector<Recording> HistoryWindow::LoadSelected(std::vector<std::string>* names) {
    std::vector<Recording> loaded;
    if (m_list->ShowsPlant()) return loaded;
    for (long i = m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); i != -1;
         i = m_list->GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
        Recording recording;
        if (!m_store->Load(m_list->Row(i).id, recording)) continue;
        if (names) names->push_back(recording.setup.uuid);
        loaded.push_back(std::move(recording));
    }
    return loaded;
}

bool HistoryWindow::ChooseProgram(const wxString& title, Program& program) {
    // Every version kept, withdrawn ones too, or a file.
    const std::vector<KeptProgram> kept = m_store->ProgramVersions();
    wxArrayString offered;
    for (const KeptProgram& k : kept)
        offered.Add(
            wxString::FromUTF8(k.program.Title() + (k.withdrawn ? Tr(" (withdrawn)") : "")));
    offered.Add(TrW("A program file (JSON)\xE2\x80\xA6"));
    wxSingleChoiceDialog chooser(this, _("Which program?"), title, offered);
    InOwnWords(&chooser);
    if (chooser.ShowModal() != wxID_OK) return false;
    const int chosen = chooser.GetSelection();
    if (chosen >= 0 && chosen < static_cast<int>(kept.size())) {
        program = kept[chosen].program;
        return true;
    }
    wxFileDialog file(this, title, "", "", _("Mounting programs (*.json)|*.json"),
                      wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (file.ShowModal() != wxID_OK) return false;
    std::string why;
    if (ReadProgramFile(std::string(file.GetPath().utf8_str()), program, &why, true)) return true;
    ShowError(wxString::FromUTF8(why));
    return false;
}

EvaluationWindow* HistoryWindow::EvaluateWith(const Program& program) {
    const std::vector<Recording> recordings = LoadSelected();
    if (recordings.empty()) {
        ShowInfo(m_list->ShowsPlant() ? _("Recordings of the plant server are evaluated on the PC "
                                          "that recorded them.")
                                      : _("Select the recordings to evaluate first."),
                 _("Evaluate"));
        return nullptr;
    }
    auto* window = new EvaluationWindow(this, program, recordings);
    window->Show();
    return window;
}

bool HistoryWindow::TeachInto(Program program, const wxString& path) {
    std::vector<std::string> names;
    const std::vector<Recording> recordings = LoadSelected(&names);
    std::vector<std::string> shown;
    for (const Recording& r : recordings)
        shown.push_back(r.setup.job.axleDesignation + r.setup.job.mountingSide + " " +
                        IsoDateTime(r.stoppedAt));
    std::string why;
    if (!TeachFromRecordings(program, recordings, shown, &why)) {
        ShowError(wxString::Format(_("No envelope taught: %s."), wxString::FromUTF8(why)));
        return false;
    }
    for (Criterion& c : program.criteria)
        if (c.kind == CriterionKind::Envelope) c.taughtFrom = names;
    // A new version: put in force only once the quality engineer imports it.
    ++program.version;
    if (!WriteProgramFile(std::string(path.utf8_str()), program, &why)) {
        ShowError(wxString::FromUTF8(why));
        return false;
    }
    ShowInfo(wxString::FromUTF8(TrFormat(
                 "The envelope of %s was taught from %zu recordings and written to %s. It is in "
                 "force once the quality engineer imports it under Modify \xE2\x86\x92 Mounting "
                 "Programs.",
                 program.Title().c_str(), recordings.size(), std::string(path.utf8_str()).c_str())),
             _("Teach envelope"));
    return true;
}

EvaluationWindow::EvaluationWindow(wxWindow* parent, const Program& program,
                                   const std::vector<Recording>& recordings)
    : wxDialog(parent, wxID_ANY,
               wxString::FromUTF8(TrFormat("Evaluated with %s", program.Title().c_str())),
               wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);
    m_list = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(FromDIP(900), FromDIP(320)),
                            wxLC_REPORT);
    const char* headings[] = {N_("Axle"),      N_("Stopped"), N_("Signed"),
                              N_("Judged by"), N_("Now"),     N_("Finding")};
    const int widths[] = {120, 150, 90, 150, 100, 290};
    for (int i = 0; i < 6; ++i)
        m_list->AppendColumn(TrW(headings[i]), wxLIST_FORMAT_LEFT, FromDIP(widths[i]));
    int differ = 0;
    for (const Recording& r : recordings) {
        const Judgement signed_ = r.Judged(), now = r.JudgedBy(program);
        const long row = m_list->InsertItem(
            m_list->GetItemCount(),
            wxString::FromUTF8(r.setup.job.axleDesignation + " " + r.setup.job.mountingSide));
        m_list->SetItem(row, 1, wxString::FromUTF8(IsoDateTime(r.stoppedAt)));
        m_list->SetItem(row, 2, wxString::FromUTF8(Tr(VerdictWord(signed_.verdict))));
        m_list->SetItem(row, 3,
                        wxString::FromUTF8(r.setup.program ? r.setup.program->Title()
                                                           : Tr("the press's limits")));
        m_list->SetItem(row, 4, wxString::FromUTF8(Tr(VerdictWord(now.verdict))));
        m_list->SetItem(row, 5, wxString::FromUTF8(CriterionWords(now.reason)));
        if (signed_.verdict != now.verdict) {
            m_list->SetItemTextColour(row, wxColour(170, 0, 0));
            ++differ;
        }
    }
    column->Add(m_list, 1, wxALL | wxEXPAND, 8);
    m_summary = new wxStaticText(
        this, wxID_ANY,
        wxString::Format(_("%zu recordings; %d would be judged otherwise. The signed verdicts "
                           "stay as they are."),
                         recordings.size(), differ));
    column->Add(m_summary, 0, wxLEFT | wxRIGHT, 8);
    column->Add(DialogButtons(this, wxCLOSE), 0, wxALL | wxEXPAND, 8);
    SetSizerAndFit(column);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Destroy(); }, wxID_CLOSE);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Destroy(); });
    SetEscapeId(wxID_CLOSE);
}
